// What the PNG decoder and the point reader share of libpng's set-up.

#pragma once

#include <png.h>

namespace nocturo::codecs {

/// Asks libpng for 8-bit BGR rows whatever the file stores: stored values,
/// no gamma correction, palettes and grey expanded, alpha dropped rather
/// than composited. Call before png_read_update_info.
void SetBgr8Transforms(png_structp png, int colourType, int bitDepth);

}  // namespace nocturo::codecs
