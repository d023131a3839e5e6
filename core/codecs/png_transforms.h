// What the PNG decoder and the point reader share of libpng's set-up.

#pragma once

#include <png.h>

namespace nocturo::codecs {

/// Asks libpng for 8-bit BGR rows whatever the file stores: stored values,
/// no gamma correction, palettes and grey expanded, alpha dropped rather
/// than composited. Call before png_read_update_info.
void SetBgr8Transforms(png_structp png, int colourType, int bitDepth);

/// The warning handler of reading, with libpng's benign errors let through
/// as warnings (png_set_benign_errors on): every one but surplus compressed
/// data after the last row ends the read as an error does.
void OnPngReadWarning(png_structp png, png_const_charp message);

}  // namespace nocturo::codecs
