// One pixel of a TIFF: only the directory and the strip or tile holding the
// point are read, with ordinary reads (a memory map would turn a frame
// rewritten meanwhile into a fault that kills the process). A strip is
// decoded row by row down to the point's row, as the decoder reads it: a
// compressed run that crosses a row's end gives the same pixels both ways.

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/codecs/tiff_memory.h"
#include "core/codecs/tiff_strips.h"
#include "core/point_reader.h"
#include "core/rgb_image.h"

namespace nocturo::codecs {

namespace {

// The largest strip or tile decoded for one point: the decoder's band limit.
constexpr tmsize_t kMaxChunkBytes = tmsize_t{256} << 20;

// libtiff's view of a ByteSource: a position, and reads from it.
struct Stream {
    const ByteSource* source;
    uint64_t pos;
};

tmsize_t StreamRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* stream = static_cast<Stream*>(handle);
    const auto size = static_cast<uint64_t>(stream->source->Size());
    if (count <= 0 || stream->pos >= size) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), size - stream->pos);
    if (!stream->source->ReadAt(static_cast<int64_t>(stream->pos), buffer, n)) {
        return -1;
    }
    stream->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t StreamWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t StreamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<Stream*>(handle);
    return tiff::SeekTo(stream->pos, static_cast<uint64_t>(stream->source->Size()), offset, whence);
}

toff_t StreamSize(thandle_t handle) {
    return static_cast<toff_t>(static_cast<Stream*>(handle)->source->Size());
}

void SetPixel(PointSample& sample, const uint8_t* p, bool rgb) {
    if (rgb) {
        sample.blue = p[2];
        sample.green = p[1];
        sample.red = p[0];
    } else {
        sample.blue = sample.green = sample.red = p[0];
    }
}

}  // namespace

// 8-bit RGB stored interleaved, and 8-bit grey, whichever compression: what
// cameras' converters and stacking programs export. The rest goes to the
// decoder.
PointResult ReadTiffPoint(const ByteSource& source, int x, int y, PointSample& sample) {
    const tiff::TiffOptions options = tiff::QuietOptions(kMaxChunkBytes);
    if (!options) {
        return PointResult::Unsupported;
    }
    Stream stream{&source, 0};
    const tiff::TiffHandle tif(TIFFClientOpenExt(
        "point", "r", &stream, StreamRead, StreamWrite, StreamSeek, tiff::CloseNothing, StreamSize,
        tiff::MapNothing, tiff::UnmapNothing, options.get()));
    if (!tif) {
        return PointResult::Unsupported;  // the decoder decides what is wrong
    }
    TIFF* t = tif.get();
    uint8_t* dngVersion = nullptr;
    if (TIFFGetField(t, TIFFTAG_DNGVERSION, &dngVersion)) {
        return PointResult::Unsupported;  // a DNG: its first page may be a preview
    }
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, spp = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t photometric = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    const bool hasPhotometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    const bool rgb = photometric == PHOTOMETRIC_RGB && spp >= 3 && planar == PLANARCONFIG_CONTIG;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && spp == 1;
    if (!hasPhotometric || bits != 8 || format != SAMPLEFORMAT_UINT || (!rgb && !grey) ||
        width == 0 || height == 0 || uint64_t{width} * height > static_cast<uint64_t>(kMaxPixels) ||
        width > INT32_MAX || height > INT32_MAX) {
        return PointResult::Unsupported;
    }
    // What the decoder refuses before reading a pixel, refused here too.
    if (!TiffStripsInsideData(t, static_cast<uint64_t>(source.Size()), width, height)) {
        return PointResult::Failed;
    }
    sample.width = static_cast<int>(width);
    sample.height = static_cast<int>(height);
    sample.inside =
        x >= 0 && y >= 0 && static_cast<uint32_t>(x) < width && static_cast<uint32_t>(y) < height;
    if (!sample.inside) {
        return PointResult::Read;
    }
    const auto px = static_cast<uint32_t>(x);
    const auto py = static_cast<uint32_t>(y);
    const size_t pixelBytes = rgb ? 3 : 1;

    if (TIFFIsTiled(t)) {
        // The decoder reads whole tiles: so does this.
        uint32_t tileWidth = 0, tileHeight = 0;
        if (!TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(t, TIFFTAG_TILELENGTH, &tileHeight) || tileWidth == 0 ||
            tileHeight == 0) {
            return PointResult::Failed;
        }
        const tmsize_t tileBytes = TIFFTileSize(t);
        const tmsize_t rowBytes = TIFFTileRowSize(t);
        const size_t offset = static_cast<size_t>(py % tileHeight) * static_cast<size_t>(rowBytes) +
                              static_cast<size_t>(px % tileWidth) * spp;
        if (tileBytes <= 0 || rowBytes <= 0 || tileBytes > kMaxChunkBytes ||
            offset + pixelBytes > static_cast<size_t>(tileBytes)) {
            return PointResult::Failed;
        }
        std::vector<uint8_t> tile;
        try {
            tile.resize(static_cast<size_t>(tileBytes));
        } catch (const std::bad_alloc&) {
            return PointResult::Failed;
        }
        if (TIFFReadTile(t, tile.data(), px, py, 0, 0) < 0) {
            return PointResult::Failed;
        }
        SetPixel(sample, tile.data() + offset, rgb);
        return PointResult::Read;
    }

    // Rows from the top of the point's strip down to the point, as the
    // decoder's scanline reads decode them.
    const tmsize_t lineBytes = TIFFScanlineSize(t);
    if (lineBytes <= 0 || lineBytes > kMaxChunkBytes ||
        static_cast<size_t>(px) * spp + pixelBytes > static_cast<size_t>(lineBytes)) {
        return PointResult::Failed;
    }
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, height);
    std::vector<uint8_t> line;
    try {
        line.resize(static_cast<size_t>(lineBytes));
    } catch (const std::bad_alloc&) {
        return PointResult::Failed;
    }
    for (uint32_t row = py - py % rowsPerStrip; row <= py; ++row) {
        if (TIFFReadScanline(t, line.data(), row, 0) < 0) {
            return PointResult::Failed;
        }
    }
    SetPixel(sample, line.data() + static_cast<size_t>(px) * spp, rgb);
    return PointResult::Read;
}

}  // namespace nocturo::codecs
