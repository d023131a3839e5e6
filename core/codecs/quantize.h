#pragma once
// Colour reduction for formats limited to a palette (GIF).

#include <array>
#include <cstdint>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::codecs {

struct PaletteImage {
    std::vector<std::array<uint8_t, 3>> palette;  ///< red, green, blue; at most 256 entries
    std::vector<uint8_t> indices;                 ///< width * height, row by row from the top
};

/// Reduces a 24-bit picture to at most maxColours colours (clamped to
/// 1..256). A picture with no more colours than that keeps them exactly, in
/// the order they first appear. Otherwise the palette comes from median cut
/// refined by k-means, and every pixel takes its nearest palette colour, with
/// no dithering. An empty picture gives an empty result.
PaletteImage Quantize(const RgbImage& image, int maxColours = 256);

}  // namespace nocturo::codecs
