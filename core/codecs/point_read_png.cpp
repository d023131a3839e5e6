// One pixel of a PNG: rows are inflated and unfiltered up to the point's row
// and no further. An interlaced file stores seven reduced pictures one after
// the other; the point lies in exactly one of them, so reading stops after
// that pass's row instead. The transforms are the decoder's, so the pixel is
// the one a full decode gives.

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "core/codecs/png_transforms.h"
#include "core/point_reader.h"
#include "core/rgb_image.h"

namespace nocturo::codecs {

namespace {

constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;  // as the decoder
constexpr uint64_t kMaxDeflateRatio = 1032;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos) {
        png_error(png, "unexpected end of data");
    }
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

struct ReadHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadHandles() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Where pixel (x, y) is stored: the pass (0 for a plain file), the row of
// that pass and the column within it. Rows of earlier passes come first.
struct StoredPlace {
    int pass = 0;
    png_uint_32 row = 0;
    png_uint_32 column = 0;
};

StoredPlace PlaceOf(png_uint_32 x, png_uint_32 y, bool interlaced) {
    StoredPlace place;
    if (!interlaced) {
        place.row = y;
        place.column = x;
        return place;
    }
    for (int pass = 0; pass < 7; ++pass) {
        if (PNG_ROW_IN_INTERLACE_PASS(y, pass) && PNG_COL_IN_INTERLACE_PASS(x, pass)) {
            place.pass = pass;
            place.row = (y - PNG_PASS_START_ROW(pass)) >> PNG_PASS_ROW_SHIFT(pass);
            place.column = (x - PNG_PASS_START_COL(pass)) >> PNG_PASS_COL_SHIFT(pass);
            break;
        }
    }
    return place;
}

// Jumped over by png_error: no locals with destructors here.
bool Read(png_structp png, png_infop info, const size_t dataSize, int x, int y, PointSample& sample,
          png_bytep row, size_t rowCapacity, bool& supported) {
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (width == 0 || height == 0 || pixels > static_cast<uint64_t>(kMaxPixels)) {
        return false;
    }
    const uint64_t stored =
        (static_cast<uint64_t>(width) * png_get_channels(png, info) * bitDepth + 7) / 8;
    if (static_cast<uint64_t>(height) * (1 + stored) / kMaxDeflateRatio > dataSize) {
        return false;
    }
    sample.width = static_cast<int>(width);
    sample.height = static_cast<int>(height);
    sample.inside =
        x >= 0 && y >= 0 && static_cast<uint64_t>(x) < width && static_cast<uint64_t>(y) < height;
    if (!sample.inside) {
        return true;
    }

    SetBgr8Transforms(png, colourType, bitDepth);
    // No interlace handling: libpng then hands out each pass's reduced rows
    // in file order, skipping passes that hold no pixel.
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) > rowCapacity) {
        supported = false;
        return false;
    }

    const bool interlaced = interlace != PNG_INTERLACE_NONE;
    const StoredPlace place =
        PlaceOf(static_cast<png_uint_32>(x), static_cast<png_uint_32>(y), interlaced);
    for (int pass = 0; pass <= place.pass; ++pass) {
        png_uint_32 rows = height;
        if (interlaced) {
            if (PNG_PASS_COLS(width, pass) == 0) {
                continue;  // libpng skips an empty pass
            }
            rows = PNG_PASS_ROWS(height, pass);
        }
        const png_uint_32 last = pass == place.pass ? place.row : rows - 1;
        for (png_uint_32 r = 0; rows > 0 && r <= last; ++r) {
            png_read_row(png, row, nullptr);
        }
    }
    const png_bytep pixel = row + static_cast<size_t>(place.column) * 3;
    sample.blue = pixel[0];
    sample.green = pixel[1];
    sample.red = pixel[2];
    return true;
}

template <typename... Args>
bool Guarded(png_structp png, Args&... args) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    return Read(png, args...);
}

}  // namespace

PointResult ReadPngPoint(const uint8_t* data, size_t size, int x, int y, PointSample& sample) {
    if (data == nullptr || size < 8 + 25 + 12 || png_sig_cmp(data, 0, 8) != 0) {
        return PointResult::Failed;
    }
    ReadHandles h;
    h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngReadWarning);
    if (h.png == nullptr) {
        return PointResult::Failed;
    }
    h.info = png_create_info_struct(h.png);
    if (h.info == nullptr) {
        return PointResult::Failed;
    }
    MemoryReader reader{data, size, 0};
    png_set_read_fn(h.png, &reader, ReadFromMemory);
    // As the decoder: surplus data after the last row is harmless, every
    // other benign error is an error.
    png_set_benign_errors(h.png, 1);
    png_set_crc_action(h.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_user_limits(h.png, static_cast<png_uint_32>(kMaxPixels),
                        static_cast<png_uint_32>(kMaxPixels));
    png_set_chunk_malloc_max(h.png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(h.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static const png_byte kTrns[] = "tRNS";
    png_set_keep_unknown_chunks(h.png, PNG_HANDLE_CHUNK_NEVER, kTrns, 1);

    // The row buffer is sized from the header's bytes before libpng starts,
    // so that nothing owning memory lives across its jump. Bounded as the
    // decoder bounds the whole picture.
    const uint32_t width = (uint32_t{data[16]} << 24) | (uint32_t{data[17]} << 16) |
                           (uint32_t{data[18]} << 8) | uint32_t{data[19]};
    const uint32_t height = (uint32_t{data[20]} << 24) | (uint32_t{data[21]} << 16) |
                            (uint32_t{data[22]} << 8) | uint32_t{data[23]};
    const uint64_t pixels = uint64_t{width} * height;
    if (width == 0 || height == 0 || pixels > static_cast<uint64_t>(kMaxPixels) ||
        pixels / 8 / kMaxDeflateRatio > size) {
        return PointResult::Failed;
    }
    std::vector<png_byte> row;
    try {
        row.resize(static_cast<size_t>(width) * 3);
    } catch (const std::bad_alloc&) {
        return PointResult::Failed;
    }
    png_infop info = h.info;
    png_bytep rowData = row.data();
    size_t capacity = row.size();
    bool supported = true;
    if (Guarded(h.png, info, size, x, y, sample, rowData, capacity, supported)) {
        return PointResult::Read;
    }
    return supported ? PointResult::Failed : PointResult::Unsupported;
}

}  // namespace nocturo::codecs
