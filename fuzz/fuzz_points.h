#pragma once
// What the targets that compare a fast reader with its decoder check: where
// the decoder loads a file, the fast reader answers for the same picture
// (Unsupported hands the file to the decoder, which is always right).
// Where the decoder refuses it, a fast reader may still answer for a point
// above damaged data, but only with a sane size.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/codecs/codecs.h"
#include "core/point_reader.h"

namespace nocturo::fuzz {

using PointReader = codecs::PointResult (*)(const uint8_t*, size_t, int, int, PointSample&);

// A point picked by the bytes, so that the fuzzer reaches every row band.
inline uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ULL;
    for (size_t i = 0; i < size; ++i) {
        h = (h ^ data[i]) * 1099511628211ULL;
    }
    return h;
}

inline void CheckPoints(const uint8_t* data, size_t size,
                        bool (*decode)(const uint8_t*, size_t, RgbImage&), PointReader read) {
    RgbImage full;
    const bool loaded = decode(data, size, full);
    const int w = loaded ? full.Width() : 64;
    const int h = loaded ? full.Height() : 64;
    const uint64_t hash = Hash(data, size);
    const int points[][2] = {{0, 0},
                             {w - 1, h - 1},
                             {w / 2, h / 2},
                             {static_cast<int>(hash % static_cast<uint64_t>(w)),
                              static_cast<int>((hash >> 32) % static_cast<uint64_t>(h))},
                             {-1, h / 3}};
    for (const auto& point : points) {
        PointSample sample;
        const codecs::PointResult result = read(data, size, point[0], point[1], sample);
        if (result == codecs::PointResult::Unsupported) {
            continue;
        }
        if (result == codecs::PointResult::Failed) {
            if (loaded) {
                std::abort();  // refuses a file that loads
            }
            continue;
        }
        if (sample.width <= 0 || sample.height <= 0 ||
            int64_t{sample.width} * sample.height > kMaxPixels) {
            std::abort();
        }
        if (!loaded) {
            continue;
        }
        const bool inside = point[0] >= 0 && point[1] >= 0 && point[0] < w && point[1] < h;
        if (sample.width != w || sample.height != h || sample.inside != inside) {
            std::abort();
        }
        if (inside) {
            const uint8_t* p = full.Row(point[1]) + static_cast<size_t>(point[0]) * 3;
            if (sample.blue != p[0] || sample.green != p[1] || sample.red != p[2]) {
                std::abort();  // another pixel than the decoder's
            }
        }
    }
}

}  // namespace nocturo::fuzz
