// The sample conversions of the TIFF decoder. Everything is scaled to 8 bits
// the way 16-bit samples are; the 16-bit conversions below do the same with
// 65535 for 255.

#include "core/codecs/tiff_layout.h"

#include <cstring>

namespace nocturo::codecs::tiff {

namespace {

inline uint8_t Reduce16(uint16_t v) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255 + 32767) / 65535);
}

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);  // libtiff hands samples over in host order
    return v;
}

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

}  // namespace

bool IsPlanarRgb(const Layout& layout) {
    return !layout.contiguous && layout.kind == Layout::kRgb;
}

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

void RowWriter::Row(const uint8_t* src, int y, uint32_t x, uint32_t n) const {
    if (table16 != nullptr) {
        ConvertRow16(layout, *table16, src, out.Row16(y) + size_t{x} * 3, n);
    } else {
        ConvertRow(layout, src, out.Row(y) + size_t{x} * 3, n);
    }
}

void RowWriter::Plane(int sample, const uint8_t* src, int y, uint32_t x, uint32_t n) const {
    if (table16 == nullptr) {
        PutPlane(layout, sample, src, out.Row(y) + size_t{x} * 3, n);
        return;
    }
    uint16_t* dst = out.Row16(y) + size_t{x} * 3 + (2 - sample);
    for (uint32_t i = 0; i < n; ++i, dst += 3) {
        *dst = SampleAt16(layout.sample, src, i);
    }
}

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

}  // namespace nocturo::codecs::tiff
