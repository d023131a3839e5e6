// BMP files and the device-independent bitmaps that icons embed, read and
// written by hand: the format is small, and its odd corners (OS/2 headers,
// bit-field masks, run-length streams) are easier to bound here than in a
// library.
//
// Every size the file declares is checked against the bytes that are really
// there before the picture is allocated; after the allocation nothing can
// fail except a run-length stream that stops early.

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/little_endian.h"

namespace nocturo::codecs {

namespace {

enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

// A run-length stream can declare a large picture in a few bytes and leave
// it black with skip codes. Encoders write runs (at most 255 pixels per two
// bytes), so even a stream that skips generously stays far below 2048
// pixels per byte; a declared size beyond that, past a small allowance, is
// a size the data cannot hold and is refused before allocating.
constexpr uint64_t kRlePixelsPerByte = 2048;
constexpr uint64_t kRleFreePixels = uint64_t{1} << 20;

// One colour channel of a 16- or 32-bit pixel: which bits hold it and how
// they scale to 0..255.
class Channel {
  public:
    explicit Channel(uint32_t mask) : mask_(mask) {
        if (mask_ == 0) {
            return;  // a channel without bits reads as 0
        }
        while (((mask_ >> shift_) & 1u) == 0) {
            ++shift_;
        }
        max_ = mask_ >> shift_;
        // Small channels (every 16-bit one, the usual 8-bit ones) go through
        // a table; wide ones are rare enough to be scaled per pixel.
        if (max_ <= 0xFFFF) {
            table_.resize(static_cast<size_t>(max_) + 1);
            for (uint32_t v = 0; v <= max_; ++v) {
                table_[v] = Scale(v);
            }
        }
    }

    uint8_t operator()(uint32_t pixel) const {
        if (max_ == 0) {
            return 0;
        }
        const uint32_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? Scale(v) : table_[v];
    }

  private:
    // Rounded, so that a full channel of any width becomes 255 and not, say,
    // the 248 that shifting five bits would give.
    uint8_t Scale(uint32_t v) const {
        return static_cast<uint8_t>((uint64_t{v} * 255 + max_ / 2) / max_);
    }

    uint32_t mask_ = 0;
    int shift_ = 0;
    uint32_t max_ = 0;
    std::vector<uint8_t> table_;
};

struct Dib {
    int width = 0;
    int height = 0;  // rows of picture (half the stored height in icons)
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kRgb;
    std::array<uint32_t, 3> masks{};  // red, green, blue
    // Palette as blue, green, red; entries the file does not define stay
    // black, so any index reads something sane.
    std::array<std::array<uint8_t, 3>, 256> palette{};
    size_t pixelStart = 0;  // offset of the pixel data within the buffer
};

// Reads the info header that starts at dibStart, its masks and its palette,
// and works out where the pixels start. pixelOffset is the file header's
// offset of the pixels, or 0 when there is none (icon entries).
bool ParseDib(const uint8_t* data, size_t size, size_t dibStart, uint32_t pixelOffset,
              bool iconEntry, Dib& dib) {
    if (size < dibStart || size - dibStart < 4) {
        return false;
    }
    const uint8_t* h = data + dibStart;
    const uint32_t headerSize = U32(h);
    const bool core = headerSize == 12;
    const bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                         headerSize == 108 || headerSize == 124;
    // OS/2 2.x headers may be cut anywhere from 16 to 64 bytes; missing
    // fields read as zero.
    const bool os2 = !windows && headerSize >= 16 && headerSize <= 64;
    if ((!core && !windows && !os2) || size - dibStart < headerSize) {
        return false;
    }
    auto field = [&](size_t offset) -> uint32_t {
        return offset + 4 <= headerSize ? U32(h + offset) : 0;
    };

    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t colorsUsed = 0;
    if (core) {
        width = U16(h + 4);
        height = U16(h + 6);
        planes = U16(h + 8);
        dib.bits = U16(h + 10);
        dib.compression = kRgb;
    } else {
        width = I32(h + 4);
        height = I32(h + 8);
        planes = U16(h + 12);
        dib.bits = U16(h + 14);
        dib.compression = field(16);
        colorsUsed = field(32);
    }
    if (planes != 1 || width <= 0 || height == 0) {
        return false;
    }
    dib.topDown = height < 0;
    height = height < 0 ? -height : height;  // int64: INT32_MIN negates safely
    if (iconEntry) {
        height /= 2;  // the AND mask follows the colour rows
    }
    if (height == 0 || height > std::numeric_limits<int32_t>::max() ||
        width * height > kMaxPixels) {
        return false;
    }
    dib.width = static_cast<int>(width);
    dib.height = static_cast<int>(height);

    switch (dib.bits) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return false;
    }

    // OS/2 numbers its compressions differently from 3 on (Huffman, RLE24);
    // neither is supported, and neither are printer-only JPEG/PNG payloads.
    size_t maskBytes = 0;
    switch (dib.compression) {
        case kRgb:
            break;
        case kRle8:
        case kRle4:
            if (dib.bits != (dib.compression == kRle8 ? 8 : 4) || dib.topDown) {
                return false;
            }
            break;
        case kBitFields:
        case kAlphaBitFields:
            if (os2 || (dib.bits != 16 && dib.bits != 32)) {
                return false;
            }
            if (headerSize < 52) {
                // Masks follow a plain info header.
                maskBytes = dib.compression == kBitFields ? 12 : 16;
                if (size - dibStart - headerSize < maskBytes) {
                    return false;
                }
                const uint8_t* m = h + headerSize;
                dib.masks = {U32(m), U32(m + 4), U32(m + 8)};
            } else {
                dib.masks = {field(40), field(44), field(48)};
            }
            break;
        default:
            return false;
    }
    if (dib.compression == kRgb) {
        if (dib.bits == 16) {
            dib.masks = {0x7C00, 0x03E0, 0x001F};
        } else if (dib.bits == 32) {
            dib.masks = {0xFF0000, 0x00FF00, 0x0000FF};
        }
    }

    // The palette. Pictures of more than 8 bits may carry one too; it is
    // skipped but has to be accounted for when there is no pixel offset.
    const size_t entrySize = core ? 3 : 4;
    const size_t paletteStart = dibStart + headerSize + maskBytes;
    uint64_t entries = colorsUsed;
    const bool implied = dib.bits <= 8 && (core || colorsUsed == 0);
    if (implied) {
        entries = uint64_t{1} << dib.bits;
    } else if (entries * entrySize > size - paletteStart) {
        return false;  // a declared palette larger than the file
    }
    uint64_t pixelStart = paletteStart + entries * entrySize;
    if (pixelOffset != 0 && pixelOffset >= paletteStart) {
        // The file header says where the pixels are. Some files leave a gap
        // after the palette; OS/2 files may cut the palette short, which
        // only this offset reveals.
        if (pixelOffset > size) {
            return false;
        }
        entries = std::min<uint64_t>(entries, (pixelOffset - paletteStart) / entrySize);
        pixelStart = pixelOffset;
    } else if (pixelStart > size) {
        return false;
    }
    if (dib.bits <= 8) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(entries, 256));
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = data + paletteStart + i * entrySize;
            dib.palette[i] = {p[0], p[1], p[2]};
        }
    }
    dib.pixelStart = static_cast<size_t>(pixelStart);

    if (dib.compression == kRle8 || dib.compression == kRle4) {
        const uint64_t streamBytes = size - dib.pixelStart;
        const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
        return pixels <= std::max(kRleFreePixels, streamBytes * kRlePixelsPerByte);
    }
    // Uncompressed rows are padded to four bytes. Many writers drop the
    // padding after the last row, so only the pixels of that row must be
    // there.
    const uint64_t rowBits = static_cast<uint64_t>(width) * static_cast<uint64_t>(dib.bits);
    const uint64_t stride = (rowBits + 31) / 32 * 4;
    const uint64_t needed = stride * static_cast<uint64_t>(height - 1) + (rowBits + 7) / 8;
    return needed <= size - dib.pixelStart;
}

void DecodeRows(const uint8_t* data, const Dib& dib, RgbImage& out) {
    const int width = dib.width;
    const size_t stride =
        (static_cast<size_t>(width) * static_cast<size_t>(dib.bits) + 31) / 32 * 4;
    const Channel red(dib.masks[0]);
    const Channel green(dib.masks[1]);
    const Channel blue(dib.masks[2]);
    const bool plain32 = dib.bits == 32 && dib.masks[0] == 0xFF0000 && dib.masks[1] == 0x00FF00 &&
                         dib.masks[2] == 0x0000FF;

    for (int r = 0; r < dib.height; ++r) {
        const uint8_t* src = data + dib.pixelStart + static_cast<size_t>(r) * stride;
        uint8_t* dst = out.Row(dib.topDown ? r : dib.height - 1 - r);
        switch (dib.bits) {
            case 1:
            case 2:
            case 4:
            case 8: {
                const int bits = dib.bits;
                const int perByte = 8 / bits;
                const unsigned indexMask = (1u << bits) - 1;
                for (int x = 0; x < width; ++x, dst += 3) {
                    const int shift = 8 - bits * (x % perByte + 1);
                    const unsigned index = (src[x / perByte] >> shift) & indexMask;
                    std::memcpy(dst, dib.palette[index].data(), 3);
                }
                break;
            }
            case 16:
                for (int x = 0; x < width; ++x, src += 2, dst += 3) {
                    const uint32_t pixel = U16(src);
                    dst[0] = blue(pixel);
                    dst[1] = green(pixel);
                    dst[2] = red(pixel);
                }
                break;
            case 24:
                std::memcpy(dst, src, static_cast<size_t>(width) * 3);
                break;
            case 32:
                if (plain32) {
                    // Blue, green, red, then an unused or alpha byte.
                    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                        dst[0] = src[0];
                        dst[1] = src[1];
                        dst[2] = src[2];
                    }
                } else {
                    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
                        const uint32_t pixel = U32(src);
                        dst[0] = blue(pixel);
                        dst[1] = green(pixel);
                        dst[2] = red(pixel);
                    }
                }
                break;
            default:
                break;
        }
    }
}

// Plays a BI_RLE8 or BI_RLE4 stream. Pixels the stream skips (delta codes,
// early end of line or of bitmap) stay black. Some writers let a run go on
// into the row's padding; such runs are cut at the row's end, and whatever
// follows on that row is dropped until the end-of-line code. A delta that
// leaves the picture marks a damaged stream, as does data that ends while
// rows remain: both give false. Nothing is ever written outside the rows.
bool DecodeRle(const uint8_t* data, size_t size, const Dib& dib, RgbImage& out) {
    for (int y = 0; y < dib.height; ++y) {
        std::memset(out.Row(y), 0, out.Stride());
    }
    const bool four = dib.compression == kRle4;
    const uint8_t* p = data + dib.pixelStart;
    const uint8_t* const end = data + size;
    const unsigned width = static_cast<unsigned>(dib.width);
    const unsigned height = static_cast<unsigned>(dib.height);
    unsigned x = 0;
    unsigned y = 0;  // counted from the bottom row, as the stream stores it
    auto row = [&] { return out.Row(static_cast<int>(height - 1 - y)); };

    while (y < height) {
        if (end - p < 2) {
            return false;
        }
        const unsigned count = p[0];
        const unsigned value = p[1];
        p += 2;
        if (count > 0) {
            // Encoded run: one index, or two alternating nibbles.
            const unsigned shown = std::min(count, width - x);
            uint8_t* dst = row() + size_t{x} * 3;
            for (unsigned i = 0; i < shown; ++i, dst += 3) {
                const unsigned index = four ? ((i & 1) ? value & 0x0F : value >> 4) : value;
                std::memcpy(dst, dib.palette[index].data(), 3);
            }
            x += shown;
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of bitmap
                return true;
            case 2:  // delta: right and up
                if (end - p < 2 || p[0] > width - x || p[1] > height - y) {
                    return false;
                }
                x += p[0];
                y += p[1];
                p += 2;
                break;
            default: {
                // Absolute run of `value` pixels, padded to a 16-bit boundary.
                const size_t bytes = four ? (value + 1) / 2 : value;
                const size_t padded = (bytes + 1) & ~size_t{1};
                if (static_cast<size_t>(end - p) < bytes) {
                    return false;
                }
                const unsigned shown = std::min(value, width - x);
                uint8_t* dst = row() + size_t{x} * 3;
                for (unsigned i = 0; i < shown; ++i, dst += 3) {
                    const unsigned index =
                        four ? ((i & 1) ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i];
                    std::memcpy(dst, dib.palette[index].data(), 3);
                }
                x += shown;
                p += std::min(padded, static_cast<size_t>(end - p));
                break;
            }
        }
    }
    return true;
}

bool DecodeDibAt(const uint8_t* data, size_t size, size_t dibStart, uint32_t pixelOffset,
                 bool iconEntry, RgbImage& out) {
    Dib dib;
    if (!ParseDib(data, size, dibStart, pixelOffset, iconEntry, dib)) {
        return false;
    }
    if (!out.Resize(dib.width, dib.height)) {
        return false;
    }
    if (dib.compression == kRle8 || dib.compression == kRle4) {
        return DecodeRle(data, size, dib, out);
    }
    DecodeRows(data, dib, out);
    return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, RgbImage& out) {
    if (data == nullptr || size < kFileHeaderSize || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    return DecodeDibAt(data, size, kFileHeaderSize, U32(data + 10), false, out);
}

bool DecodeDib(const uint8_t* data, size_t size, bool iconEntry, RgbImage& out) {
    if (data == nullptr) {
        return false;
    }
    return DecodeDibAt(data, size, 0, 0, iconEntry, out);
}

bool EncodeBmp(const RgbImage& image, std::vector<uint8_t>& out) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0 || image.Depth() != 8) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t stride = (rowBytes + 3) & ~size_t{3};
    const uint64_t pixelBytes = uint64_t{stride} * static_cast<uint64_t>(height);
    const uint64_t fileBytes = kFileHeaderSize + kInfoHeaderSize + pixelBytes;
    if (fileBytes > std::numeric_limits<uint32_t>::max()) {
        return false;  // the size fields are 32 bits
    }
    const size_t base = out.size();
    try {
        out.resize(base + static_cast<size_t>(fileBytes));  // zero-filled: padding stays 0
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    uint8_t* f = out.data() + base;
    f[0] = 'B';
    f[1] = 'M';
    PutU32(f + 2, static_cast<uint32_t>(fileBytes));
    PutU32(f + 10, kFileHeaderSize + kInfoHeaderSize);
    uint8_t* h = f + kFileHeaderSize;
    PutU32(h, kInfoHeaderSize);
    PutU32(h + 4, static_cast<uint32_t>(width));
    PutU32(h + 8, static_cast<uint32_t>(height));  // positive: bottom-up
    PutU16(h + 12, 1);                             // planes
    PutU16(h + 14, 24);                            // bits per pixel
    PutU32(h + 16, kRgb);
    PutU32(h + 20, static_cast<uint32_t>(pixelBytes));
    PutU32(h + 24, 2835);  // 72 dpi in pixels per metre
    PutU32(h + 28, 2835);
    uint8_t* pixels = h + kInfoHeaderSize;
    for (int r = 0; r < height; ++r) {
        std::memcpy(pixels + static_cast<size_t>(r) * stride, image.Row(height - 1 - r), rowBytes);
    }
    return true;
}

}  // namespace nocturo::codecs
