// TIFF through libtiff, first page only, read from and written to memory.
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
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/tiff_strips.h"

namespace nocturo::codecs {

namespace {

// No single libtiff allocation may exceed this. It bounds what a hostile
// directory (a strip count of millions, a huge strip) can make libtiff
// allocate, and still leaves room for a 40-megapixel 16-bit single strip.
constexpr tmsize_t kMaxLibtiffAlloc = tmsize_t{256} << 20;
// Largest buffer of our own for one strip band or one row of tiles.
constexpr uint64_t kMaxBandBytes = uint64_t{256} << 20;

// ---- Handles and memory streams -------------------------------------------

// Errors and warnings are dropped per handle (several decoders may run on
// different threads); returning 1 keeps libtiff's global handlers, which
// print to stderr, from running as well.
int SilentHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> QuietOptions() {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), SilentHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), SilentHandler, nullptr);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibtiffAlloc);
    }
    return options;
}

// Position arithmetic shared by the reader and the writer. libtiff passes
// negative offsets as wrapped unsigned values, so plain wrapping addition
// gives the right answer; results beyond any real file are refused.
toff_t SeekTo(uint64_t& pos, uint64_t size, toff_t offset, int whence) {
    uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = pos;
    } else if (whence == SEEK_END) {
        base = size;
    } else if (whence != SEEK_SET) {
        return static_cast<toff_t>(-1);
    }
    const uint64_t target = base + offset;
    if (target > static_cast<uint64_t>(INT64_MAX)) {
        return static_cast<toff_t>(-1);
    }
    pos = target;
    return target;
}

int CloseNothing(thandle_t) {
    return 0;
}
void UnmapNothing(thandle_t, void*, toff_t) {}

struct MemoryReader {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos;
};

tmsize_t ReaderRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* reader = static_cast<MemoryReader*>(handle);
    if (count <= 0 || reader->pos >= reader->size) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), reader->size - reader->pos);
    std::memcpy(buffer, reader->data + reader->pos, n);
    reader->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t ReaderWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t ReaderSeek(thandle_t handle, toff_t offset, int whence) {
    auto* reader = static_cast<MemoryReader*>(handle);
    return SeekTo(reader->pos, reader->size, offset, whence);
}

toff_t ReaderSize(thandle_t handle) {
    return static_cast<MemoryReader*>(handle)->size;
}

// Handing libtiff the bytes as a mapped file lets it decode strips in place
// instead of copying each one first. libtiff never writes to a mapping that
// it opened for reading.
int ReaderMap(thandle_t handle, void** base, toff_t* size) {
    auto* reader = static_cast<MemoryReader*>(handle);
    *base = const_cast<uint8_t*>(reader->data);
    *size = reader->size;
    return 1;
}

struct MemoryWriter {
    std::vector<uint8_t>* out;
    size_t start;  // where our file begins in *out
    uint64_t pos;
    bool failed;
};

uint64_t WrittenSize(const MemoryWriter& writer) {
    return writer.out->size() - writer.start;
}

tmsize_t WriterWrite(thandle_t handle, void* buffer, tmsize_t count) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    if (count < 0 || writer->failed) {
        return -1;
    }
    const uint64_t end = writer->pos + static_cast<uint64_t>(count);
    try {
        if (end > WrittenSize(*writer)) {
            writer->out->resize(writer->start + end);
        }
    } catch (const std::exception&) {
        // Exceptions must not cross libtiff's C frames.
        writer->failed = true;
        return -1;
    }
    std::memcpy(writer->out->data() + writer->start + writer->pos, buffer,
                static_cast<size_t>(count));
    writer->pos = end;
    return count;
}

tmsize_t WriterRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    const uint64_t size = WrittenSize(*writer);
    if (count <= 0 || writer->pos >= size) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), size - writer->pos);
    std::memcpy(buffer, writer->out->data() + writer->start + writer->pos, n);
    writer->pos += n;
    return static_cast<tmsize_t>(n);
}

toff_t WriterSeek(thandle_t handle, toff_t offset, int whence) {
    auto* writer = static_cast<MemoryWriter*>(handle);
    return SeekTo(writer->pos, WrittenSize(*writer), offset, whence);
}

toff_t WriterSize(thandle_t handle) {
    return WrittenSize(*static_cast<MemoryWriter*>(handle));
}

int WriterMap(thandle_t, void**, toff_t*) {
    return 0;
}

// ---- Sample conversion -----------------------------------------------------

inline uint8_t Reduce16(uint16_t v) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255 + 32767) / 65535);
}

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);  // libtiff hands samples over in host order
    return v;
}

// How one sample is stored. Everything is scaled to 8 bits the way 16-bit
// samples are: the full range of the stored type onto 0..255, rounded (for
// signed samples the lowest value is black). Floating-point samples run from
// 0 to 1, as stacking programs export them.
enum class Sample { k8, k12, k16, k32, k32Signed, kFloat };

inline uint8_t Reduce32(uint32_t v) {
    return static_cast<uint8_t>((uint64_t{v} * 255 + 0x7FFFFFFF) / 0xFFFFFFFFu);
}

inline uint8_t SampleAt(Sample type, const uint8_t* row, size_t i) {
    switch (type) {
        case Sample::k8:
            return row[i];
        case Sample::k12: {
            // Packed, first sample in the high bits.
            const uint8_t* p = row + i * 3 / 2;
            const uint32_t v =
                (i & 1) == 0 ? (p[0] << 4) | (p[1] >> 4) : ((p[0] & 0x0F) << 8) | p[1];
            return static_cast<uint8_t>((v * 255 + 2047) / 4095);
        }
        case Sample::k16:
            return Reduce16(Load16(row + 2 * i));
        case Sample::k32: {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            return Reduce32(v);
        }
        case Sample::k32Signed: {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            return Reduce32(v ^ 0x80000000u);  // -2^31 .. 2^31-1 onto 0 .. 2^32-1
        }
        case Sample::kFloat: {
            float v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            // NaN fails both comparisons and comes out black.
            if (!(v > 0.0f)) {
                return 0;
            }
            return v >= 1.0f ? 255 : static_cast<uint8_t>(v * 255.0f + 0.5f);
        }
    }
    return 0;
}

// How the samples of the first page map to BGR.
struct Layout {
    // kIndexed: grey and palette samples of up to 8 bits, through table.
    enum Kind { kIndexed, kGrey, kRgb } kind = kIndexed;
    Sample sample = Sample::k8;
    int bitsPerSample = 8;
    int samplesPerPixel = 1;  // samples per pixel within one row of a plane
    bool contiguous = true;
    bool invertGrey = false;
    // Grey and palette pictures of up to 8 bits: BGR of every sample value.
    uint8_t table[256][3] = {};
};

template <Sample type>
void ConvertWide(const Layout& layout, const uint8_t* src, uint8_t* dst, uint32_t n) {
    const size_t spp = static_cast<size_t>(layout.samplesPerPixel);
    if (layout.kind == Layout::kGrey) {
        const uint8_t flip = layout.invertGrey ? 255 : 0;
        for (uint32_t x = 0; x < n; ++x, dst += 3) {
            dst[0] = dst[1] = dst[2] = static_cast<uint8_t>(SampleAt(type, src, x * spp) ^ flip);
        }
    } else {
        for (uint32_t x = 0; x < n; ++x, dst += 3) {
            dst[0] = SampleAt(type, src, x * spp + 2);
            dst[1] = SampleAt(type, src, x * spp + 1);
            dst[2] = SampleAt(type, src, x * spp);
        }
    }
}

// Converts n pixels of one interleaved row (or of the single plane of a grey
// or palette picture).
void ConvertRow(const Layout& layout, const uint8_t* src, uint8_t* dst, uint32_t n) {
    const int spp = layout.samplesPerPixel;
    if (layout.kind == Layout::kIndexed) {
        if (layout.bitsPerSample == 8) {
            for (uint32_t x = 0; x < n; ++x, src += spp, dst += 3) {
                std::memcpy(dst, layout.table[*src], 3);
            }
        } else {
            // 1, 2 or 4 bits, one sample per pixel, first pixel in the high
            // bits.
            const int bits = layout.bitsPerSample;
            const int perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (uint32_t x = 0; x < n; ++x, dst += 3) {
                const int shift = 8 - bits * (1 + static_cast<int>(x % perByte));
                const unsigned index = (src[x / perByte] >> shift) & mask;
                std::memcpy(dst, layout.table[index], 3);
            }
        }
        return;
    }
    switch (layout.sample) {
        case Sample::k8:
            // The common case, kept free of per-sample dispatch.
            for (uint32_t x = 0; x < n; ++x, src += spp, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
            break;
        case Sample::k12:
            ConvertWide<Sample::k12>(layout, src, dst, n);
            break;
        case Sample::k16:
            ConvertWide<Sample::k16>(layout, src, dst, n);
            break;
        case Sample::k32:
            ConvertWide<Sample::k32>(layout, src, dst, n);
            break;
        case Sample::k32Signed:
            ConvertWide<Sample::k32Signed>(layout, src, dst, n);
            break;
        case Sample::kFloat:
            ConvertWide<Sample::kFloat>(layout, src, dst, n);
            break;
    }
}

// Puts one plane row of a planar RGB picture into its channel.
void PutPlane(const Layout& layout, int sample, const uint8_t* src, uint8_t* dst, uint32_t n) {
    dst += 2 - sample;  // R, G, B planes go to bytes 2, 1, 0
    for (uint32_t x = 0; x < n; ++x, dst += 3) {
        *dst = SampleAt(layout.sample, src, x);
    }
}

bool IsPlanarRgb(const Layout& layout) {
    return !layout.contiguous && layout.kind == Layout::kRgb;
}

// ---- Sample conversion at 16 bits per channel -------------------------------
//
// The scaling above with 65535 for 255: 16-bit samples keep their values,
// 8-bit ones are widened exactly (v * 257), wider ones are rounded onto
// 0..65535.

inline uint16_t SampleAt16(Sample type, const uint8_t* row, size_t i) {
    switch (type) {
        case Sample::k8:
            return Widen8(row[i]);
        case Sample::k12: {
            const uint8_t* p = row + i * 3 / 2;
            const uint32_t v =
                (i & 1) == 0 ? (p[0] << 4) | (p[1] >> 4) : ((p[0] & 0x0F) << 8) | p[1];
            return static_cast<uint16_t>((v * 65535 + 2047) / 4095);
        }
        case Sample::k16:
            return Load16(row + 2 * i);
        case Sample::k32: {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            return static_cast<uint16_t>((uint64_t{v} * 65535 + 0x7FFFFFFF) / 0xFFFFFFFFu);
        }
        case Sample::k32Signed: {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            v ^= 0x80000000u;  // -2^31 .. 2^31-1 onto 0 .. 2^32-1
            return static_cast<uint16_t>((uint64_t{v} * 65535 + 0x7FFFFFFF) / 0xFFFFFFFFu);
        }
        case Sample::kFloat: {
            float v;
            std::memcpy(&v, row + 4 * i, sizeof v);
            if (!(v > 0.0f)) {
                return 0;
            }
            return v >= 1.0f ? 65535 : static_cast<uint16_t>(v * 65535.0f + 0.5f);
        }
    }
    return 0;
}

// BGR at 16 bits of every index of a grey or palette picture of up to 8
// bits: the 8-bit table widened, except that a palette of 16-bit entries
// keeps its entries as they are.
struct Table16 {
    uint16_t bgr[256][3];
};

void MakeTable16(TIFF* tif, const Layout& layout, Table16& table) {
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c) {
            table.bgr[i][c] = Widen8(layout.table[i][c]);
        }
    }
    uint16_t photometric = 0;
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) ||
        photometric != PHOTOMETRIC_PALETTE ||
        !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        return;
    }
    const int entries = 1 << layout.bitsPerSample;  // at most 8 bits, checked by DirectLayout
    bool eightBit = true;
    for (int i = 0; i < entries && eightBit; ++i) {
        eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
    }
    for (int i = 0; i < entries && !eightBit; ++i) {
        table.bgr[i][0] = blue[i];
        table.bgr[i][1] = green[i];
        table.bgr[i][2] = red[i];
    }
}

template <Sample type>
void ConvertWide16(const Layout& layout, const uint8_t* src, uint16_t* dst, uint32_t n) {
    const size_t spp = static_cast<size_t>(layout.samplesPerPixel);
    if (layout.kind == Layout::kGrey) {
        const uint16_t flip = layout.invertGrey ? 65535 : 0;
        for (uint32_t x = 0; x < n; ++x, dst += 3) {
            dst[0] = dst[1] = dst[2] = static_cast<uint16_t>(SampleAt16(type, src, x * spp) ^ flip);
        }
    } else {
        for (uint32_t x = 0; x < n; ++x, dst += 3) {
            dst[0] = SampleAt16(type, src, x * spp + 2);
            dst[1] = SampleAt16(type, src, x * spp + 1);
            dst[2] = SampleAt16(type, src, x * spp);
        }
    }
}

// ConvertRow at 16 bits per channel.
void ConvertRow16(const Layout& layout, const Table16& table, const uint8_t* src, uint16_t* dst,
                  uint32_t n) {
    if (layout.kind == Layout::kIndexed) {
        const int bits = layout.bitsPerSample;
        const int perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        const int spp = layout.samplesPerPixel;
        for (uint32_t x = 0; x < n; ++x, dst += 3) {
            unsigned index = src[x * spp];
            if (bits != 8) {
                const int shift = 8 - bits * (1 + static_cast<int>(x % perByte));
                index = (src[x / perByte] >> shift) & mask;
            }
            std::memcpy(dst, table.bgr[index], sizeof table.bgr[index]);
        }
        return;
    }
    switch (layout.sample) {
        case Sample::k8:
            ConvertWide16<Sample::k8>(layout, src, dst, n);
            break;
        case Sample::k12:
            ConvertWide16<Sample::k12>(layout, src, dst, n);
            break;
        case Sample::k16:
            ConvertWide16<Sample::k16>(layout, src, dst, n);
            break;
        case Sample::k32:
            ConvertWide16<Sample::k32>(layout, src, dst, n);
            break;
        case Sample::k32Signed:
            ConvertWide16<Sample::k32Signed>(layout, src, dst, n);
            break;
        case Sample::kFloat:
            ConvertWide16<Sample::kFloat>(layout, src, dst, n);
            break;
    }
}

// Where decoded rows go: the picture at its depth. The depth is looked at
// once per row, never per pixel.
struct RowWriter {
    const Layout& layout;
    const Table16* table16;  // set for a 16-bit picture
    RgbImage& out;

    // n pixels of one interleaved row (or of a grey or palette plane) into
    // row y from column x on.
    void Row(const uint8_t* src, int y, uint32_t x, uint32_t n) const {
        if (table16 != nullptr) {
            ConvertRow16(layout, *table16, src, out.Row16(y) + size_t{x} * 3, n);
        } else {
            ConvertRow(layout, src, out.Row(y) + size_t{x} * 3, n);
        }
    }

    // One plane row of a planar RGB picture into its channel.
    void Plane(int sample, const uint8_t* src, int y, uint32_t x, uint32_t n) const {
        if (table16 == nullptr) {
            PutPlane(layout, sample, src, out.Row(y) + size_t{x} * 3, n);
            return;
        }
        uint16_t* dst = out.Row16(y) + size_t{x} * 3 + (2 - sample);
        for (uint32_t i = 0; i < n; ++i, dst += 3) {
            *dst = SampleAt16(layout.sample, src, i);
        }
    }
};

// Decides whether the page takes the direct path, and fills layout if so.
bool DirectLayout(TIFF* tif, Layout& layout) {
    uint16_t bits = 1, spp = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t photometric = 0, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (bits == 0 || spp < 1 ||
        (planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE)) {
        return false;
    }
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        // Without the tag libtiff takes the first sample as grey and makes
        // the others extra samples; other readers follow it.
        uint16_t extra = 0;
        uint16_t* kinds = nullptr;
        TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds);
        if (spp - extra != 1) {
            return false;
        }
        photometric = PHOTOMETRIC_MINISBLACK;
    }
    const bool unsignedInt = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 32) {
        layout.sample = Sample::kFloat;
    } else if (format == SAMPLEFORMAT_INT && bits == 32) {
        layout.sample = Sample::k32Signed;
    } else if (!unsignedInt) {
        return false;
    } else if (bits == 8) {
        layout.sample = Sample::k8;
    } else if (bits == 16) {
        layout.sample = Sample::k16;
    } else if (bits == 32) {
        layout.sample = Sample::k32;
    }
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG &&
        planar == PLANARCONFIG_CONTIG) {
        // Let the JPEG codec upsample and convert: rows come out as RGB.
        if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
            return false;
        }
        photometric = PHOTOMETRIC_RGB;
    }
    layout.bitsPerSample = bits;
    layout.contiguous = planar == PLANARCONFIG_CONTIG || spp == 1;
    // A plane holds one sample per pixel.
    layout.samplesPerPixel = layout.contiguous ? spp : 1;
    const bool wide = bits == 16 || bits == 32;

    switch (photometric) {
        case PHOTOMETRIC_RGB:
            if (spp < 3 || (bits != 8 && !wide)) {
                return false;
            }
            layout.kind = Layout::kRgb;
            return true;
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE: {
            const bool white = photometric == PHOTOMETRIC_MINISWHITE;
            if (wide || bits == 12) {
                if (bits == 12) {
                    // Packed samples: read as one sample per pixel only.
                    if (layout.samplesPerPixel != 1) {
                        return false;
                    }
                    layout.sample = Sample::k12;
                }
                layout.kind = Layout::kGrey;
                layout.invertGrey = white;
                return true;
            }
            if (layout.sample == Sample::kFloat) {
                return false;
            }
            if (bits != 8 && (bits > 8 || 8 % bits != 0 || layout.samplesPerPixel != 1)) {
                return false;
            }
            layout.kind = Layout::kIndexed;
            const int top = (1 << bits) - 1;
            for (int i = 0; i <= top; ++i) {
                const int v = i * 255 / top;
                std::memset(layout.table[i], white ? 255 - v : v, 3);
            }
            return true;
        }
        case PHOTOMETRIC_PALETTE: {
            uint16_t* red = nullptr;
            uint16_t* green = nullptr;
            uint16_t* blue = nullptr;
            if (layout.sample == Sample::kFloat || bits > 8 || 8 % bits != 0 || spp != 1 ||
                !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
                return false;
            }
            const int entries = 1 << bits;
            // Some old writers store 8-bit colour maps; a map with no entry
            // above 255 is taken as one.
            bool eightBit = true;
            for (int i = 0; i < entries && eightBit; ++i) {
                eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
            }
            for (int i = 0; i < entries; ++i) {
                layout.table[i][0] = eightBit ? static_cast<uint8_t>(blue[i]) : Reduce16(blue[i]);
                layout.table[i][1] = eightBit ? static_cast<uint8_t>(green[i]) : Reduce16(green[i]);
                layout.table[i][2] = eightBit ? static_cast<uint8_t>(red[i]) : Reduce16(red[i]);
            }
            layout.kind = Layout::kIndexed;
            return true;
        }
        default:
            return false;
    }
}

// ---- Reading ---------------------------------------------------------------

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

bool ReadStrips(TIFF* tif, const RowWriter& writer) {
    const Layout& layout = writer.layout;
    const RgbImage& out = writer.out;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0 || static_cast<uint64_t>(lineSize) > kMaxBandBytes) {
        return false;
    }
    const std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[lineSize]);
    if (!line) {
        return false;
    }
    const auto width = static_cast<uint32_t>(out.Width());
    // Planes are read one after the other, each from top to bottom: libtiff
    // decodes scanlines only forwards within a strip.
    const int planes = IsPlanarRgb(layout) ? 3 : 1;
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

// ---- Writing -----------------------------------------------------------------

// 8 bits per channel: LZW. 16 bits: Deflate at zlib's fastest level, which on
// 16-bit noise beats LZW in size and speed (the sky's low bits do not
// compress at any level). Both with the horizontal predictor.
bool SetTiffCompression(TIFF* t, bool wide) {
    if (!wide) {
        return TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
               TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    return TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
           TIFFSetField(t, TIFFTAG_ZIPQUALITY, 1) &&
           TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
}

// One 16-bit BGR row as RGB samples in host order, as libtiff takes them.
void RgbRow16(const uint16_t* src, int width, uint8_t* line) {
    for (int x = 0; x < width; ++x, src += 3, line += 6) {
        const uint16_t rgb[3] = {src[2], src[1], src[0]};
        std::memcpy(line, rgb, sizeof rgb);
    }
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out) {
    return DecodeTiff(data, size, out, 8);
}

bool DecodeTiff(const uint8_t* data, size_t size, RgbImage& out, int depth) {
    if (data == nullptr || size < 8 || (depth != 8 && depth != 16)) {
        return false;
    }
    const auto options = QuietOptions();
    if (!options) {
        return false;
    }
    MemoryReader reader{data, size, 0};
    // Opening reads the first directory; later pages are never looked at.
    const TiffHandle tif(TIFFClientOpenExt("memory", "r", &reader, ReaderRead, ReaderWrite,
                                           ReaderSeek, CloseNothing, ReaderSize, ReaderMap,
                                           UnmapNothing, options.get()));
    return tif && DecodeFirstPage(tif.get(), size, depth, out);
}

bool EncodeTiff(const RgbImage& image, std::vector<uint8_t>& out) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0) {
        return false;
    }
    const auto options = QuietOptions();
    if (!options) {
        return false;
    }
    MemoryWriter writer{&out, out.size(), 0, false};
    bool ok = false;
    {
        const TiffHandle tif(TIFFClientOpenExt("memory", "w", &writer, WriterRead, WriterWrite,
                                               WriterSeek, CloseNothing, WriterSize, WriterMap,
                                               UnmapNothing, options.get()));
        if (tif) {
            TIFF* t = tif.get();
            // Strips of about 256 KB: few enough for a short offset table,
            // small enough that a reader never needs much memory for one.
            const uint32_t rowsPerStrip =
                std::max<uint32_t>(1, static_cast<uint32_t>((size_t{256} << 10) / image.Stride()));
            const bool wide = image.Depth() == 16;
            ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) &&
                 TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) &&
                 TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, image.Depth()) &&
                 TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
                 TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                 TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                 SetTiffCompression(t, wide) &&
                 TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
                 TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0) &&
                 TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.0) &&
                 TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            std::vector<uint8_t> line;
            if (ok) {
                try {
                    line.resize(image.Stride());
                } catch (const std::bad_alloc&) {
                    ok = false;
                }
            }
            for (int y = 0; ok && y < height; ++y) {
                if (wide) {
                    RgbRow16(image.Row16(y), width, line.data());
                } else {
                    const uint8_t* src = image.Row(y);
                    uint8_t* dst = line.data();
                    for (int x = 0; x < width; ++x, src += 3, dst += 3) {
                        dst[0] = src[2];
                        dst[1] = src[1];
                        dst[2] = src[0];
                    }
                }
                ok = TIFFWriteScanline(t, line.data(), static_cast<uint32_t>(y), 0) == 1;
            }
            ok = ok && TIFFWriteDirectory(t) == 1;
        }
    }
    ok = ok && !writer.failed;
    if (!ok) {
        out.resize(writer.start);  // no partial file is left behind
    }
    return ok;
}

}  // namespace nocturo::codecs
