#pragma once
// What every decoder target checks beyond the sanitizers: a decoder that
// reports success hands over a picture of sane size whose every byte can be
// read, at 8 or 16 bits per channel.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/codecs/codecs.h"

namespace nocturo::fuzz {

using Decoder = bool (*)(const uint8_t*, size_t, RgbImage&);

inline void CheckDecode(Decoder decode, const uint8_t* data, size_t size) {
    RgbImage out;
    if (!decode(data, size, out)) {
        return;
    }
    if (out.Width() <= 0 || out.Height() <= 0 ||
        static_cast<int64_t>(out.Width()) * out.Height() > kMaxPixels) {
        std::abort();
    }
    // Touch every pixel so that a row the decoder never allocated shows up.
    unsigned sum = 0;
    for (int y = 0; y < out.Height(); ++y) {
        const uint8_t* row = out.Row(y);
        for (size_t x = 0; x < out.Stride(); ++x) {
            sum += row[x];
        }
    }
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace nocturo::fuzz
