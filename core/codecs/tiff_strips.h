#pragma once
// What the TIFF decoder and the TIFF point reader both ask of a page before
// reading any pixel, so that the point reader refuses what the decoder
// refuses.

#include <tiffio.h>

#include <cstdint>

namespace nocturo::codecs {

/// Every strip or tile of the current page lies inside dataSize bytes, and
/// together they can hold width x height pixels.
bool TiffStripsInsideData(TIFF* tif, uint64_t dataSize, uint32_t width, uint32_t height);

}  // namespace nocturo::codecs
