// TIFF pictures read through libtiff, first page only, from memory.
//
// The usual layouts (grey, palette and RGB at 8 or 16 bits, grey and RGB at
// 32 bits, unsigned or signed integer or floating point, 12-bit grey; strips
// or tiles, interleaved or planar, any built-in compression) are read a
// scanline or a tile at a time and converted straight into the picture's rows. Anything
// else (CMYK, YCbCr without JPEG, Lab, odd bit depths) goes through libtiff's
// RGBA reader, one strip or one row of tiles at a time. Asked for 16 bits per
// channel, the direct path keeps 16-bit samples; the RGBA reader's 8 bits are
// widened.

#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/tiff_layout.h"
#include "core/codecs/tiff_memory.h"
#include "core/codecs/tiff_strips.h"

namespace nocturo::codecs {

namespace {

using tiff::DirectLayout;
using tiff::IsPlanarRgb;
using tiff::Layout;
using tiff::MakeTable16;
using tiff::RowWriter;
using tiff::Table16;

// Largest buffer of our own for one strip band or one row of tiles.
constexpr uint64_t kMaxBandBytes = uint64_t{256} << 20;

// The most a byte of compressed strip data can expand to in a real file.
// Deflate and LZW have hard limits (a 12-bit LZW code stands for at most 4096
// bytes); PackBits turns 2 bytes into at most 128. A CCITT row that repeats
// the row above costs a single bit, so a fax page compresses about as far as
// it is wide; 4096:1 takes pages up to that width. JPEG costs about a bit per
// block of 64 pixels of up to 4 samples. Coders that can go further on flat
// data (LZMA, Zstandard, and those we do not name) get a loose bound that
// still keeps a few kilobytes from declaring gigabytes.
uint64_t MaxExpansion(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_LZW:
            return 4096 * 8 / 9;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return 4096;
        case COMPRESSION_JPEG:
        case COMPRESSION_OJPEG:
            return 64 * 4 * 8;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_PIXARLOG:
            return 1032;
        default:
            return 65536;
    }
}

// Pictures this small may be stored any way at all; their bytes cost nothing.
constexpr uint64_t kFreeBytes = uint64_t{1} << 20;

}  // namespace

// Every strip or tile must lie inside the data, so that a truncated file
// fails before the picture is allocated, and together they must be able to
// hold the picture: a few hundred bytes may not declare a gigabyte of
// pixels. Uncompressed strips must hold at least one sample per pixel
// (chroma may be subsampled).
bool TiffStripsInsideData(TIFF* tif, uint64_t dataSize, uint32_t width, uint32_t height) {
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (count == 0) {
        return false;
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        int error = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, i, &error);
        const uint64_t bytes = TIFFGetStrileByteCountWithErr(tif, i, &error);
        if (error != 0 || bytes == 0 || offset > dataSize || bytes > dataSize - offset) {
            return false;
        }
        total += bytes;
    }
    uint16_t compression = COMPRESSION_NONE, bits = 1, spp = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    if (compression == COMPRESSION_NONE) {
        return total >= uint64_t{width} * height * bits / 8;
    }
    // Both factors are 16-bit fields: no overflow within kMaxPixels.
    const uint64_t rawBytes = uint64_t{width} * height * bits * spp / 8;
    if (rawBytes <= kFreeBytes) {
        return true;
    }
    const uint64_t ratio = MaxExpansion(compression);
    return total >= rawBytes / ratio;
}

namespace {

// Deflate strips are read whole: a full strip lets libtiff hand them to
// libdeflate, about twice as fast as zlib, which it must use when asked for
// one scanline. Other coders stay with scanlines, which cut a PackBits run
// that runs on past its row as the point reader does. Strips above
// kMaxWholeStripBytes (a picture stored as one huge strip) are read a
// scanline at a time as well, so that no second frame-sized buffer is
// needed.
constexpr uint64_t kMaxWholeStripBytes = uint64_t{64} << 20;

bool ReadWholeStrips(TIFF* tif, const RowWriter& writer, tmsize_t stripSize, tmsize_t lineSize,
                     uint32_t rowsPerStrip) {
    const RgbImage& out = writer.out;
    const std::unique_ptr<uint8_t[]> strip(new (std::nothrow) uint8_t[stripSize]);
    if (!strip) {
        return false;
    }
    const auto width = static_cast<uint32_t>(out.Width());
    const auto height = static_cast<uint32_t>(out.Height());
    const uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
    const int planes = IsPlanarRgb(writer.layout) ? 3 : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t s = 0; s < stripsPerPlane; ++s) {
            const uint32_t first = s * rowsPerStrip;
            const uint32_t rows = std::min(rowsPerStrip, height - first);
            const tmsize_t need = lineSize * static_cast<tmsize_t>(rows);
            const auto index = static_cast<uint32_t>(plane) * stripsPerPlane + s;
            if (TIFFReadEncodedStrip(tif, index, strip.get(), -1) < need) {
                return false;
            }
            for (uint32_t r = 0; r < rows; ++r) {
                const uint8_t* line = strip.get() + static_cast<size_t>(r) * lineSize;
                const int y = static_cast<int>(first + r);
                if (planes == 3) {
                    writer.Plane(plane, line, y, 0, width);
                } else {
                    writer.Row(line, y, 0, width);
                }
            }
        }
    }
    return true;
}

bool ReadStrips(TIFF* tif, const RowWriter& writer) {
    const Layout& layout = writer.layout;
    const RgbImage& out = writer.out;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0 || static_cast<uint64_t>(lineSize) > kMaxBandBytes) {
        return false;
    }
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, static_cast<uint32_t>(out.Height()));
    const tmsize_t stripSize = TIFFStripSize(tif);
    const int planes = IsPlanarRgb(layout) ? 3 : 1;
    const uint64_t stripsPerPlane =
        rowsPerStrip == 0
            ? 0
            : (uint64_t{static_cast<uint32_t>(out.Height())} + rowsPerStrip - 1) / rowsPerStrip;
    // Only where the strips are exactly what the rows need: anything odd
    // (a strip table of another length, a strip size libtiff computes
    // differently) keeps to the scanline reader.
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const bool deflate =
        compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE;
    if (deflate && rowsPerStrip > 0 && stripSize > 0 &&
        static_cast<uint64_t>(stripSize) <= kMaxWholeStripBytes &&
        stripSize == lineSize * static_cast<tmsize_t>(rowsPerStrip) &&
        stripsPerPlane * planes <= TIFFNumberOfStrips(tif)) {
        return ReadWholeStrips(tif, writer, stripSize, lineSize, rowsPerStrip);
    }
    const std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[lineSize]);
    if (!line) {
        return false;
    }
    const auto width = static_cast<uint32_t>(out.Width());
    // Planes are read one after the other, each from top to bottom: libtiff
    // decodes scanlines only forwards within a strip.
    for (int plane = 0; plane < planes; ++plane) {
        for (int y = 0; y < out.Height(); ++y) {
            if (TIFFReadScanline(tif, line.get(), static_cast<uint32_t>(y),
                                 static_cast<uint16_t>(plane)) < 0) {
                return false;
            }
            if (planes == 3) {
                writer.Plane(plane, line.get(), y, 0, width);
            } else {
                writer.Row(line.get(), y, 0, width);
            }
        }
    }
    return true;
}

bool ReadTiles(TIFF* tif, const RowWriter& writer) {
    const Layout& layout = writer.layout;
    const RgbImage& out = writer.out;
    uint32_t tileWidth = 0, tileHeight = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) ||
        !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight) || tileWidth == 0 || tileHeight == 0) {
        return false;
    }
    const tmsize_t tileSize = TIFFTileSize(tif);
    const tmsize_t tileRowSize = TIFFTileRowSize(tif);
    const auto width = static_cast<uint32_t>(out.Width());
    const auto height = static_cast<uint32_t>(out.Height());
    // A tile far larger than the picture only serves to make us allocate.
    const uint64_t tileArea = uint64_t{tileWidth} * tileHeight;
    if (tileSize <= 0 || tileRowSize <= 0 || static_cast<uint64_t>(tileSize) > kMaxBandBytes ||
        tileArea > std::max<uint64_t>(uint64_t{4} * width * height, uint64_t{1} << 20)) {
        return false;
    }
    const std::unique_ptr<uint8_t[]> tile(new (std::nothrow) uint8_t[tileSize]);
    if (!tile) {
        return false;
    }
    const int planes = IsPlanarRgb(layout) ? 3 : 1;
    for (uint32_t ty = 0; ty < height; ty += tileHeight) {
        const uint32_t rows = std::min(tileHeight, height - ty);
        for (uint32_t tx = 0; tx < width; tx += tileWidth) {
            const uint32_t columns = std::min(tileWidth, width - tx);
            for (int plane = 0; plane < planes; ++plane) {
                if (TIFFReadTile(tif, tile.get(), tx, ty, 0, static_cast<uint16_t>(plane)) < 0) {
                    return false;
                }
                for (uint32_t r = 0; r < rows; ++r) {
                    const uint8_t* src = tile.get() + static_cast<size_t>(r) * tileRowSize;
                    const int y = static_cast<int>(ty + r);
                    if (planes == 3) {
                        writer.Plane(plane, src, y, tx, columns);
                    } else {
                        writer.Row(src, y, tx, columns);
                    }
                }
            }
        }
    }
    return true;
}

// libtiff's RGBA reader, used for everything the direct path does not know.
// It is driven one strip (or one row of tiles) at a time, so only one band of
// RGBA pixels exists at once.
bool ReadThroughRgba(TIFF* tif, RgbImage& out) {
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message)) {
        return false;
    }
    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif, 1, message)) {
        return false;
    }
    const std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> end(&image, TIFFRGBAImageEnd);
    // Pixels as stored: the orientation tag is not applied, and bands come
    // out top row first.
    image.orientation = ORIENTATION_TOPLEFT;
    image.req_orientation = ORIENTATION_TOPLEFT;

    const auto width = static_cast<uint32_t>(out.Width());
    const auto height = static_cast<uint32_t>(out.Height());
    uint32_t band = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    }
    band = std::min(band, height);
    if (band == 0 || uint64_t{width} * band * 4 > kMaxBandBytes) {
        return false;
    }
    const std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[size_t{width} * band]);
    if (!raster) {
        return false;
    }
    for (uint32_t row = 0; row < height; row += band) {
        const uint32_t rows = std::min(band, height - row);
        image.row_offset = static_cast<int>(row);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster.get(), width, rows)) {
            return false;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* src = raster.get() + size_t{r} * width;
            uint8_t* dst = out.Row(static_cast<int>(row + r));
            for (uint32_t x = 0; x < width; ++x, dst += 3) {
                dst[0] = static_cast<uint8_t>(TIFFGetB(src[x]));
                dst[1] = static_cast<uint8_t>(TIFFGetG(src[x]));
                dst[2] = static_cast<uint8_t>(TIFFGetR(src[x]));
            }
        }
    }
    return true;
}

bool DecodeFirstPage(TIFF* tif, uint64_t dataSize, int depth, RgbImage& out) {
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
        return false;
    }
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX ||
        uint64_t{width} * height > static_cast<uint64_t>(kMaxPixels)) {
        return false;
    }
    if (!TiffStripsInsideData(tif, dataSize, width, height)) {
        return false;
    }
    Layout layout;
    const bool direct = DirectLayout(tif, layout);
    if (!direct) {
        // libtiff's RGBA reader delivers 8 bits per channel, widened after.
        return out.Resize(static_cast<int>(width), static_cast<int>(height)) &&
               ReadThroughRgba(tif, out) && out.ConvertDepth(depth);
    }
    if (!out.Resize(static_cast<int>(width), static_cast<int>(height), depth)) {
        return false;
    }
    std::unique_ptr<Table16> table16;
    if (depth == 16) {
        table16.reset(new (std::nothrow) Table16);
        if (!table16) {
            return false;
        }
        MakeTable16(tif, layout, *table16);
    }
    const RowWriter writer{layout, table16.get(), out};
    return TIFFIsTiled(tif) ? ReadTiles(tif, writer) : ReadStrips(tif, writer);
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out) {
    return DecodeTiff(data, size, out, 8);
}

bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out, int depth) {
    if (data == nullptr || size < 8 || (depth != 8 && depth != 16)) {
        return false;
    }
    const auto options = tiff::QuietOptions();
    if (!options) {
        return false;
    }
    tiff::MemoryReader reader{data, size, 0};
    // Opening reads the first directory; later pages are never looked at.
    const tiff::TiffHandle tif = tiff::OpenMemoryReader(reader, options.get());
    return tif && DecodeFirstPage(tif.get(), size, depth, out);
}

}  // namespace nocturo::codecs
