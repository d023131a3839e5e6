// One pixel of a BMP: only its headers and the three bytes of the pixel are
// read.

#include <cstring>

#include "core/point_reader.h"
#include "core/rgb_image.h"

namespace nocturo::codecs {

namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

// Plain 24-bit files, as cameras' converters and the program itself write
// them. Anything else (palettes, masks, compression, odd headers, pixels
// that do not all fit in the file) is left to the decoder.
PointResult ReadBmpPoint(const ByteSource& source, int x, int y, PointSample& sample) {
    uint8_t head[14 + 40];
    if (source.Size() < static_cast<int64_t>(sizeof head) || !source.ReadAt(0, head, sizeof head)) {
        return PointResult::Unsupported;
    }
    const uint8_t* info = head + 14;
    const uint32_t offset = U32(head + 10);
    const uint32_t headerSize = U32(info);
    const auto width = static_cast<int32_t>(U32(info + 4));
    const auto storedHeight = static_cast<int32_t>(U32(info + 8));
    const uint32_t planesAndBits = U32(info + 12);
    const uint32_t compression = U32(info + 16);
    if ((headerSize != 40 && headerSize != 108 && headerSize != 124) ||
        planesAndBits != (1u | (24u << 16)) || compression != 0 || width <= 0 ||
        storedHeight == 0 || storedHeight == INT32_MIN || offset < 14 + headerSize) {
        return PointResult::Unsupported;
    }
    const int64_t height = storedHeight < 0 ? -int64_t{storedHeight} : storedHeight;
    const int64_t stride = (int64_t{width} * 24 + 31) / 32 * 4;
    if (int64_t{width} * height > kMaxPixels || offset + stride * height > source.Size()) {
        return PointResult::Unsupported;
    }
    sample.width = width;
    sample.height = static_cast<int>(height);
    sample.inside = x >= 0 && y >= 0 && x < sample.width && y < sample.height;
    if (!sample.inside) {
        return PointResult::Read;
    }
    const int64_t storedRow = storedHeight < 0 ? y : height - 1 - y;
    uint8_t pixel[3];
    if (!source.ReadAt(offset + storedRow * stride + int64_t{x} * 3, pixel, 3)) {
        return PointResult::Failed;
    }
    sample.blue = pixel[0];
    sample.green = pixel[1];
    sample.red = pixel[2];
    return PointResult::Read;
}

}  // namespace nocturo::codecs
