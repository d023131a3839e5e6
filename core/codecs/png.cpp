// PNG through libpng's low-level interface, decoding straight into the rows
// of the picture.
//
// libpng reports errors by calling our error callback, which longjmps back to
// the setjmp in Guarded(). A longjmp skips C++ destructors, so the functions
// it jumps over (ReadPixels, WritePixels) hold no object with a destructor,
// and everything that owns memory (the png_struct, the output vector) lives
// in the callers of Guarded().

#include <png.h>
#include <zlib.h>

#include <bit>
#include <csetjmp>
#include <cstring>
#include <new>

#include "core/codecs/codecs.h"
#include "core/codecs/png_grey16.h"
#include "core/codecs/png_transforms.h"

namespace nocturo::codecs {

namespace {

// The largest ancillary chunk libpng may allocate. We skip every ancillary
// chunk anyway; this only bounds what a hostile file could make it buffer.
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;

// Deflate never shrinks data by more than this factor, so a file must hold at
// least raw size / kMaxDeflateRatio bytes of image data.
constexpr uint64_t kMaxDeflateRatio = 1032;

// zlib's fastest level. Night-sky pictures are mostly sensor noise, which no
// level compresses well: on a noisy 24-megapixel sky, level 3 saved 3 % and
// level 6 saved 13 % for two and six times the time, and a run that saves
// every step writes hundreds of these.
constexpr int kCompressionLevel = Z_BEST_SPEED;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos) {
        png_error(png, "unexpected end of data");  // longjmps; never returns
    }
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

void WriteToVector(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    // An exception must not unwind through libpng's C frames: turn it into
    // the library's own error path.
    bool ok = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        png_error(png, "out of memory");
    }
}

void FlushNothing(png_structp) {}

// Must not return: when an error callback returns, libpng prints the message
// and aborts the process.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Warnings are dropped: a picture loader has nobody to show them to, and
// libpng would otherwise print them to stderr.
void OnPngWarning(png_structp, png_const_charp) {}

struct ReadHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadHandles() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct WriteHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteHandles() { png_destroy_write_struct(&png, &info); }
};

// Bytes of one decompressed, filtered row as stored in the file.
uint64_t StoredRowBytes(uint32_t width, int channels, int bitDepth) {
    return (static_cast<uint64_t>(width) * static_cast<uint64_t>(channels * bitDepth) + 7) / 8;
}

// Runs work(args...) with libpng's error exit set up: any png_error inside
// ends here as false. Kept apart from the work itself so that no local of
// the work is live across the setjmp.
template <typename Work, typename... Args>
bool Guarded(png_structp png, Work work, Args&... args) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    return work(png, args...);
}

// Palette, grey and alpha pictures become plain RGB at the file's depth.
void ExpandToRgb(png_structp png, int colourType, int bitDepth) {
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        png_set_gray_to_rgb(png);
    }
    if ((colourType & PNG_COLOR_MASK_ALPHA) != 0) {
        png_set_strip_alpha(png);
    }
}

// At 16 bits per channel: 16-bit files keep their samples, narrower ones are
// widened the way an 8-bit load is (v * 257, libpng repeats each byte).
// Samples come in host order.
void SetBgr16Transforms(png_structp png, int colourType, int bitDepth) {
    ExpandToRgb(png, colourType, bitDepth);
    if (bitDepth < 16) {
        png_set_expand_16(png);
    }
    if constexpr (std::endian::native == std::endian::little) {
        png_set_swap(png);
    }
    png_set_bgr(png);
}

// Jumped over by png_error: no locals with destructors here.
bool ReadPixels(png_structp png, png_infop info, const size_t dataSize, const int depth,
                RgbImage& out) {
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (width == 0 || height == 0 || pixels > static_cast<uint64_t>(kMaxPixels)) {
        return false;
    }
    // A header may claim any size; refuse one that the rest of the file
    // cannot possibly hold before a byte of the picture is allocated.
    const uint64_t rawBytes = static_cast<uint64_t>(height) *
                              (1 + StoredRowBytes(width, png_get_channels(png, info), bitDepth));
    if (rawBytes / kMaxDeflateRatio > dataSize) {
        return false;
    }

    if (depth == 16) {
        SetBgr16Transforms(png, colourType, bitDepth);
    } else {
        SetBgr8Transforms(png, colourType, bitDepth);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    // The rows below are written straight into the picture, so the row
    // libpng delivers must be exactly one picture row.
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != depth ||
        png_get_rowbytes(png, info) != RgbImage::BytesFor(static_cast<int>(width), 1, depth)) {
        return false;
    }
    if (!out.Resize(static_cast<int>(width), static_cast<int>(height), depth)) {
        return false;
    }
    // For interlaced files each pass fills in more pixels of rows that
    // already hold the earlier passes, so the rows must be the final ones.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, out.Row(static_cast<int>(y)), nullptr);
        }
    }
    // Reads up to IEND, checking the rest of the compressed stream and the
    // CRCs on the way: a file cut short after its last row is still cut short.
    png_read_end(png, nullptr);
    return true;
}

// Jumped over by png_error: no locals with destructors here.
bool WritePixels(png_structp png, png_infop info, const RgbImage& image) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()),
                 static_cast<png_uint_32>(image.Height()), image.Depth(), PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    // libpng reorders a copy of each row; the picture stays untouched. PNG
    // stores 16-bit samples big-endian.
    png_set_bgr(png);
    if (std::endian::native == std::endian::little && image.Depth() == 16) {
        png_set_swap(png);
    }
    for (int y = 0; y < image.Height(); ++y) {
        png_write_row(png, image.Row(y));
    }
    png_write_end(png, nullptr);
    return true;
}

// A writer into out with our error handlers; false when libpng cannot
// make one.
bool OpenWriter(WriteHandles& h, std::vector<uint8_t>& out) {
    h.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (h.png == nullptr) {
        return false;
    }
    h.info = png_create_info_struct(h.png);
    if (h.info == nullptr) {
        return false;
    }
    png_set_write_fn(h.png, &out, WriteToVector, FlushNothing);
    // The default limit (one million pixels a side) is below widths we accept.
    png_set_user_limits(h.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    return true;
}

}  // namespace

namespace {

// Compressed data that goes on after the last row: deflate input after the
// stream's end, more rows than the picture has, or IDAT chunks after the
// stream ended. Every row is complete by then, and common writers leave such
// files behind.
bool IsSurplusData(const char* message) {
    static const char* const kSurplus[] = {"Extra compressed data", "Too much image data",
                                           "Too many IDATs found"};
    const size_t length = std::strlen(message);
    for (const char* surplus : kSurplus) {
        const size_t n = std::strlen(surplus);
        if (length >= n && std::strcmp(message + length - n, surplus) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Reading lets libpng's "benign" errors through as warnings, and turns every
// one but surplus data back into an error: data that ends early, a damaged
// deflate stream or a bad checksum must not load as a partly black picture.
void OnPngReadWarning(png_structp png, png_const_charp message) {
    if (!IsSurplusData(message)) {
        png_longjmp(png, 1);
    }
}

void SetBgr8Transforms(png_structp png, int colourType, int bitDepth) {
    if (bitDepth == 16) {
        png_set_strip_16(png);
    }
    ExpandToRgb(png, colourType, bitDepth);
    png_set_bgr(png);
}

bool DecodePng(const uint8_t* data, size_t size, RgbImage& out) {
    return DecodePng(data, size, out, 8);
}

bool DecodePng(const uint8_t* data, size_t size, RgbImage& out, int depth) {
    // Signature, IHDR chunk and at least one more chunk header.
    if (data == nullptr || size < 8 + 25 + 12 || png_sig_cmp(data, 0, 8) != 0 ||
        (depth != 8 && depth != 16)) {
        return false;
    }
    ReadHandles h;
    h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngReadWarning);
    if (h.png == nullptr) {
        return false;
    }
    h.info = png_create_info_struct(h.png);
    if (h.info == nullptr) {
        return false;
    }
    MemoryReader reader{data, size, 0};
    png_set_read_fn(h.png, &reader, ReadFromMemory);

    // Benign errors arrive as warnings, where OnPngReadWarning sorts them.
    png_set_benign_errors(h.png, 1);
    png_set_crc_action(h.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_user_limits(h.png, static_cast<png_uint_32>(kMaxPixels),
                        static_cast<png_uint_32>(kMaxPixels));
    png_set_chunk_malloc_max(h.png, kMaxChunkBytes);
    // Only the pixels matter: skip every ancillary chunk (colour profiles,
    // gamma, text, transparency) unparsed, so none of them can fail a
    // picture or change its stored values. Their CRCs are still checked.
    png_set_keep_unknown_chunks(h.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static const png_byte kTrns[] = "tRNS";
    png_set_keep_unknown_chunks(h.png, PNG_HANDLE_CHUNK_NEVER, kTrns, 1);

    png_infop info = h.info;
    return Guarded(h.png, ReadPixels, info, size, depth, out);
}

bool EncodePng(const RgbImage& image, std::vector<uint8_t>& out) {
    if (image.Width() <= 0 || image.Height() <= 0) {
        return false;
    }
    WriteHandles h;
    if (!OpenWriter(h, out)) {
        return false;
    }
    const size_t start = out.size();
    png_infop info = h.info;
    if (!Guarded(h.png, WritePixels, info, image)) {
        out.resize(start);  // no half-written file in the caller's buffer
        return false;
    }
    return true;
}

namespace {

struct Grey16 {
    int width;
    int height;
    const uint16_t* samples;
};

bool WriteGrey16(png_structp png, png_infop info, const Grey16& picture) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 16, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    // PNG stores samples big-endian; libpng swaps a copy of each row.
    if constexpr (std::endian::native == std::endian::little) {
        png_set_swap(png);
    }
    for (int y = 0; y < picture.height; ++y) {
        const uint16_t* row = picture.samples + static_cast<size_t>(y) * picture.width;
        png_write_row(png, reinterpret_cast<png_const_bytep>(row));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool EncodePngGrey16(int width, int height, const uint16_t* samples, std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0 || samples == nullptr ||
        static_cast<int64_t>(width) * height > kMaxPixels) {
        return false;
    }
    // Large maps are filtered and compressed on two threads, to the same bytes.
    if (Grey16BandsApply(width, height) &&
        EncodeGrey16Bands(width, height, samples, kCompressionLevel, out)) {
        return true;
    }
    WriteHandles h;
    if (!OpenWriter(h, out)) {
        return false;
    }
    const size_t start = out.size();
    png_infop info = h.info;
    const Grey16 picture{width, height, samples};
    if (!Guarded(h.png, WriteGrey16, info, picture)) {
        out.resize(start);
        return false;
    }
    return true;
}

}  // namespace nocturo::codecs
