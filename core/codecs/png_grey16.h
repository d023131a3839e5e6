#pragma once
// The 16-bit grey PNG of a frame map, written on two threads with the very
// bytes libpng writes on one.
//
// libpng spends about as long choosing each row's filter as zlib spends
// compressing it. Here one thread filters bands of rows, choosing as libpng
// chooses (the smallest sum of the filtered bytes taken as signed, the
// first of equal sums in the order None, Sub, Up, Average, Paeth), while the
// calling thread compresses the bands already filtered with libpng's zlib
// settings and cuts the stream into IDAT chunks of libpng's size. Small
// pictures, for which libpng narrows zlib's window, and pictures one pixel
// wide or high, for which it drops filters, stay with libpng.

#include <cstdint>
#include <vector>

namespace nocturo::codecs {

/// True when EncodeGrey16Bands writes the picture (else libpng does).
bool Grey16BandsApply(int width, int height);

/// Appends the PNG to out; false (out as it was) when zlib or memory fails.
bool EncodeGrey16Bands(int width, int height, const uint16_t* samples, int level,
                       std::vector<uint8_t>& out);

}  // namespace nocturo::codecs
