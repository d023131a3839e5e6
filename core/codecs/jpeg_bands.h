#pragma once
// A JPEG encoded in horizontal bands on several threads and joined into one
// file with restart markers. The pixels it decodes to are exactly those of
// the one-thread encode (EncodeJpeg at the same quality, full colour
// resolution): every 8 x 8 block is transformed and quantised alike, and a
// restart marker only resets the running DC prediction, which both sides of
// the join agree on.

#include <cstdint>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::codecs {

/// Encodes image as a baseline JPEG of the given quality, 4:4:4, accurate
/// DCT, in up to `threads` bands encoded at once (1 encodes on the calling
/// thread), with a restart marker after every row of 8 x 8 blocks. Appends
/// the file's bytes to out; false (out unchanged) when encoding fails.
bool EncodeJpegBands(const RgbImage& image, int quality, int threads, std::vector<uint8_t>& out);

}  // namespace nocturo::codecs
