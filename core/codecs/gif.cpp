// GIF through giflib. Decoding reads record by record and stops after the
// first image, so an animation costs no more than its first frame. Encoding
// reduces the picture to a palette with Quantize().
//
// giflib reports errors through return codes (GIF_ERROR) and an error code,
// never by printing or jumping, so plain C++ objects are safe here.

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "core/codecs/codecs.h"
#include "core/codecs/quantize.h"

namespace nocturo::codecs {

namespace {

// GIF sizes are 16-bit.
constexpr int kMaxGifSide = 65535;

// LZW codes are at most 12 bits long and stand for at most 4096 pixels, so
// one byte of image data yields at most 4096 * 8 / 12 pixels.
constexpr uint64_t kMaxPixelsPerByte = 2731;

// Screens up to this size are accepted whatever the file size: a small
// frame on a larger background is legal, and this much is cheap to paint.
constexpr uint64_t kBackgroundOnlyPixels = uint64_t{16} << 20;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

// giflib treats a short read as the end of the data and fails the call.
int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const size_t n = std::min(static_cast<size_t>(length), reader->size - reader->pos);
    std::memcpy(out, reader->data + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;  // a short write makes giflib fail the call
    }
    return length;
}

struct DecoderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using Decoder = std::unique_ptr<GifFileType, DecoderCloser>;

struct EncoderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, MapFreer>;

// A colour map as 256 BGR entries; indices the map does not have are black.
using Lookup = std::array<std::array<uint8_t, 3>, 256>;

Lookup MakeLookup(const ColorMapObject* map) {
    Lookup lookup{};
    const int count = std::min(map->ColorCount, 256);
    for (int i = 0; i < count; ++i) {
        const GifColorType& c = map->Colors[i];
        lookup[static_cast<size_t>(i)] = {c.Blue, c.Green, c.Red};
    }
    return lookup;
}

// A file without any colour table leaves the colours to the reader; its
// indices are shown as grey levels.
Lookup GreyLookup() {
    Lookup lookup{};
    for (size_t i = 0; i < lookup.size(); ++i) {
        const auto v = static_cast<uint8_t>(i);
        lookup[i] = {v, v, v};
    }
    return lookup;
}

bool ValidMap(const ColorMapObject* map) {
    return map != nullptr && map->ColorCount > 0 && map->Colors != nullptr;
}

// Skips an extension, keeping the transparent index of a graphics control
// block (-1 when there is none).
bool ReadExtension(GifFileType* gif, int& transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        return false;
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock gcb{};
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
            transparent = gcb.TransparentColor;
        }
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

// Paints the frame described by gif->Image onto the screen in out, clipped
// to the screen; transparent pixels leave the background showing.
bool ReadFrame(GifFileType* gif, const Lookup& colours, int transparent, RgbImage& out) {
    const GifImageDesc& desc = gif->Image;
    const int frameWidth = desc.Width;
    const int frameHeight = desc.Height;
    if (frameWidth <= 0 || frameHeight <= 0) {
        return true;  // nothing to paint
    }
    std::vector<GifPixelType> line(static_cast<size_t>(frameWidth));
    // Interlaced frames store rows 0, 8, 16, ..., then 4, 12, ..., then
    // 2, 6, ..., then the odd rows.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = desc.Interlace ? kStart[pass] : 0;
        const int step = desc.Interlace ? kStep[pass] : 1;
        for (int row = start; row < frameHeight; row += step) {
            if (DGifGetLine(gif, line.data(), frameWidth) == GIF_ERROR) {
                return false;
            }
            const int y = desc.Top + row;
            if (y >= out.Height()) {
                continue;
            }
            uint8_t* dst = out.Row(y);
            const int x0 = desc.Left;
            const int count = std::min(frameWidth, out.Width() - x0);
            for (int i = 0; i < count; ++i) {
                const GifPixelType index = line[static_cast<size_t>(i)];
                if (index == transparent) {
                    continue;
                }
                const auto& c = colours[index];
                uint8_t* p = dst + static_cast<size_t>(x0 + i) * 3;
                p[0] = c[0];
                p[1] = c[1];
                p[2] = c[2];
            }
        }
    }
    return true;
}

// The reader is the one giflib reads through, so its position shows how much
// of the file is left.
bool DecodeFirstFrame(GifFileType* gif, const MemoryReader& reader, RgbImage& out) {
    const int width = gif->SWidth;
    const int height = gif->SHeight;
    const uint64_t screenPixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (width <= 0 || height <= 0 || screenPixels > static_cast<uint64_t>(kMaxPixels)) {
        return false;
    }
    if (screenPixels > kBackgroundOnlyPixels && screenPixels / kMaxPixelsPerByte > reader.size) {
        return false;
    }

    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif, transparent)) {
                return false;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) {
            return false;  // the trailer, or garbage, before any image
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            return false;
        }
        break;
    }

    const GifImageDesc& desc = gif->Image;
    if (desc.Left < 0 || desc.Top < 0) {
        return false;
    }
    const uint64_t framePixels = static_cast<uint64_t>(std::max(desc.Width, 0)) *
                                 static_cast<uint64_t>(std::max(desc.Height, 0));
    if (framePixels / kMaxPixelsPerByte > reader.size - reader.pos) {
        return false;  // more pixels than the rest of the file can encode
    }
    const ColorMapObject* map = ValidMap(desc.ColorMap) ? desc.ColorMap : gif->SColorMap;

    if (!out.Resize(width, height)) {
        return false;
    }
    std::array<uint8_t, 3> background{0, 0, 0};
    if (ValidMap(gif->SColorMap) && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
        background = {c.Blue, c.Green, c.Red};
    }
    FillImage(out, background[0], background[1], background[2]);
    return ReadFrame(gif, ValidMap(map) ? MakeLookup(map) : GreyLookup(), transparent, out);
}

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, RgbImage& out) {
    // Header and logical screen descriptor.
    if (data == nullptr || size < 13) {
        return false;
    }
    MemoryReader reader{data, size, 0};
    int error = 0;
    Decoder gif(DGifOpen(&reader, ReadFromMemory, &error));
    if (!gif) {
        return false;
    }
    return DecodeFirstFrame(gif.get(), reader, out);
}

bool EncodeGif(const RgbImage& image, std::vector<uint8_t>& out) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0 || width > kMaxGifSide || height > kMaxGifSide ||
        image.Depth() != 8) {
        return false;
    }
    PaletteImage reduced = Quantize(image, 256);
    const size_t colours = reduced.palette.size();
    if (colours == 0 || colours > 256 ||
        reduced.indices.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    // GIF colour tables hold a power of two entries, at least two.
    int bits = 1;
    while ((size_t{1} << bits) < colours) {
        ++bits;
    }
    std::vector<GifColorType> table(size_t{1} << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours; ++i) {
        table[i] = {reduced.palette[i][0], reduced.palette[i][1], reduced.palette[i][2]};
    }
    ColourMap map(GifMakeMapObject(1 << bits, table.data()));
    if (!map) {
        return false;
    }

    const size_t start = out.size();
    int error = 0;
    std::unique_ptr<GifFileType, EncoderCloser> gif(EGifOpen(&out, WriteToVector, &error));
    bool ok = gif != nullptr;
    if (ok) {
        EGifSetGifVersion(gif.get(), true);
        ok = EGifPutScreenDesc(gif.get(), width, height, 8, 0, map.get()) == GIF_OK &&
             EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_OK;
    }
    for (int y = 0; ok && y < height; ++y) {
        GifPixelType* row = reduced.indices.data() + static_cast<size_t>(y) * width;
        ok = EGifPutLine(gif.get(), row, width) == GIF_OK;
    }
    if (ok) {
        // Closing writes the trailer; it frees the handle whatever happens.
        ok = EGifCloseFile(gif.release(), &error) == GIF_OK;
    }
    if (!ok) {
        gif.reset();
        out.resize(start);
    }
    return ok;
}

}  // namespace nocturo::codecs
