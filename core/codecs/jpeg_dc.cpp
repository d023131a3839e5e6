// The 1/8-size picture of a baseline JPEG from its DC coefficients alone.
//
// Measuring a night needs only the mean of each 8 x 8 block, and a block's
// mean is its DC coefficient. At that scale a general decoder spends nearly
// all its time decoding the entropy-coded AC coefficients it then throws
// away; this scanner skips each of them with one table look-up (code and
// magnitude bits together), which is about twice as fast.
//
// Only the common case is handled: 8-bit baseline or extended Huffman
// coding, one scan holding every component, grey or YCbCr with whole
// sampling ratios, with or without restart intervals. Everything else, and
// every file that looks damaged in any way, is left to the full decoder
// (`false`), which then decides whether the file loads.
//
// What it answers is exactly what TurboJPEG's own 1/8 decode gives. Where
// the chroma is subsampled in both directions (4:2:0), that decode scales
// the chroma blocks to 2 x 2 samples instead of upsampling them: those
// blocks have their low coefficients decoded and go through the same 2 x 2
// inverse DCT. Blocks with values so extreme that libjpeg's C and SIMD
// arithmetic could part ways are left to the full decoder too.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/jpeg_dc_huffman.h"
#include "core/codecs/jpeg_header.h"

namespace nocturo::codecs {

namespace {

using dc::BitReader;
using dc::BuildTable;
using dc::DcEntry;
using dc::HuffTable;
using dc::JpegComponent;
using dc::JpegHeader;
using dc::kDcLookBits;
using dc::kEndOfBlock;
using dc::kLookBits;
using dc::kNaturalOrder;
using dc::kValueLookBits;
using dc::ReadJpegHeader;
using dc::SkipAc;
using dc::SlowSymbol;
using dc::ValueEntry;

// libjpeg's 2 x 2 inverse DCT reads coefficients 0, 1, 3, 5 and 7 of rows 0,
// 1, 3, 5 and 7. Its first pass weighs each column: row 0 as the even part,
// rows 1, 3, 5 and 7 by these weights (13 fraction bits) as the odd part;
// its second pass weighs the columns' results the same way.
constexpr int32_t kIdctWeight[8] = {0, 29692, 0, -10426, 0, 6967, 0, -5906};
// A dequantised coefficient beyond this could overflow the 16-bit products
// and lanes of libjpeg's SIMD form, where this one would not: left to the
// full decoder. No real picture comes near.
constexpr int32_t kIdctLimit = 1024;

// The first pass of the 2 x 2 inverse DCT, per column, summed while the
// block is decoded.
struct ColumnSums {
    int32_t even[8];
    int32_t odd[8];
};

// Decodes one block's AC coefficients as libjpeg stores them and adds each
// to the column sums of the 2 x 2 inverse DCT (rows and columns it does not
// read weigh nothing or are never used). Each position is given a value at
// most once, so adding is storing.
[[gnu::always_inline]] inline bool DecodeAcSums(BitReader& shared, const HuffTable& table,
                                                const int16_t* quant, ColumnSums& sums) {
    BitReader reader = shared;
    for (int k = 1; k < 64; ++k) {
        if (reader.Count() < 32) {
            reader.Fill();
        }
        const ValueEntry entry = table.valued[reader.Peek(kValueLookBits)];
        int run = entry.run;
        int value = entry.value;
        if (entry.bits != 0) {
            reader.Drop(entry.bits);
        } else {
            int length = 0;
            const int symbol = SlowSymbol(reader.Peek(16), table, length);
            if (symbol < 0) {
                return false;
            }
            reader.Drop(length);
            const int size = symbol & 15;
            run = symbol >> 4;
            value = 0;
            if (size != 0) {
                value = reader.Receive(size);
            } else if (run != 15) {
                run = kEndOfBlock;
            }
        }
        if (run == kEndOfBlock) {
            break;
        }
        k += run;
        const int at = kNaturalOrder[k];
        const int32_t z = value * quant[at];
        if (z < -kIdctLimit || z > kIdctLimit) {
            return false;
        }
        const int row = at >> 3;
        sums.even[at & 7] += row == 0 ? z * (1 << 15) : 0;
        sums.odd[at & 7] += z * kIdctWeight[row];
    }
    shared = reader;
    return true;
}

// libjpeg's table for the inverse DCT's output: index (value & 1023), where
// value is the sample minus 128. Within -512..511 it clamps to 0..255;
// beyond, it wraps.
struct RangeLimit {
    std::array<uint8_t, 1024> table{};
    constexpr RangeLimit() {
        for (int i = 0; i < 1024; ++i) {
            table[static_cast<size_t>(i)] = static_cast<uint8_t>(i < 128   ? 128 + i
                                                                 : i < 512 ? 255
                                                                 : i < 896 ? 0
                                                                           : i - 896);
        }
    }
    uint8_t operator()(int32_t value) const {
        return table[static_cast<size_t>(static_cast<uint32_t>(value) & 1023)];
    }
};
constexpr RangeLimit kRangeLimit;

// A block's value as libjpeg holds it: the running sum of differences wraps
// at 32 bits and is then stored in 16.
inline int16_t Coefficient(uint32_t predictor) {
    return static_cast<int16_t>(static_cast<uint16_t>(predictor));
}

// The block's mean sample as libjpeg's 1 x 1 inverse DCT gives it. The
// quantiser is held in 16 signed bits there, so a 16-bit table's values
// above 32767 count as negative.
inline uint8_t DcSample(int16_t dc, int16_t quant) {
    return kRangeLimit((dc * quant + 4) >> 3);
}

// The second pass of libjpeg's 2 x 2 inverse DCT: samples row by row. False
// where libjpeg's SIMD form could part from this one: its output beyond
// -512..511 is clamped there but wraps here.
[[gnu::always_inline]] inline bool Idct2x2(const ColumnSums& sums, uint8_t* out) {
    auto descale = [&](int column, int32_t sign) {
        return (sums.even[column] + sign * sums.odd[column] + (1 << 12)) >> 13;
    };
    auto row = [&](int32_t sign, int64_t& left, int64_t& right) {
        const int64_t even = int64_t{descale(0, sign)} * (1 << 15);
        const int64_t odd = int64_t{descale(1, sign)} * kIdctWeight[1] +
                            int64_t{descale(3, sign)} * kIdctWeight[3] +
                            int64_t{descale(5, sign)} * kIdctWeight[5] +
                            int64_t{descale(7, sign)} * kIdctWeight[7];
        left = (even + odd + (1 << 19)) >> 20;
        right = (even - odd + (1 << 19)) >> 20;
    };
    int64_t values[4];
    row(1, values[0], values[1]);
    row(-1, values[2], values[3]);
    uint64_t outside = 0;
    for (const int64_t value : values) {
        outside |= static_cast<uint64_t>(value + 512) >> 10;
    }
    if (outside != 0) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        out[i] = kRangeLimit(static_cast<int32_t>(values[i]));
    }
    return true;
}

struct Component : JpegComponent {
    explicit Component(const JpegComponent& c) : JpegComponent(c) {}
    // Samples per block a side in the 1/8 decode: 1, or 2 for chroma that
    // is subsampled in both directions.
    int scale = 1;
    int samplesWide = 0;  // of the component's plane, whole MCUs
    int samplesHigh = 0;
    std::vector<uint8_t> plane;
};

// Where the data after the scan leads, skipping what libjpeg skips: bytes
// before a marker, fill bytes, stuffed zeros. True for the end marker or the
// end of the data (libjpeg supplies the end marker then).
bool EndsAfterScan(const uint8_t* p, const uint8_t* end) {
    while (true) {
        while (p < end && *p != 0xFF) {
            ++p;
        }
        while (p < end && *p == 0xFF) {
            ++p;
        }
        if (p >= end) {
            return true;
        }
        if (*p != 0x00) {
            return *p == 0xD9;
        }
        ++p;
    }
}

}  // namespace

bool DecodeJpegDc(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                  int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    // The tables are large; each thread keeps its own between files.
    thread_local std::array<HuffTable, 4> dcTables;
    thread_local std::array<HuffTable, 4> acTables;
    JpegHeader header;
    if (!ReadJpegHeader(data, size, dcTables, acTables, header)) {
        return false;
    }
    const int width = header.width;
    const int height = header.height;
    const int restartInterval = header.restartInterval;
    const auto& quant = header.quant;
    // The colour space as the full decoder would assume it: without JFIF,
    // an Adobe marker may say RGB, and so may component ids 'R', 'G', 'B'.
    if (header.components.size() == 3 && !header.jfif) {
        const std::vector<JpegComponent>& c = header.components;
        const auto id = [&](int frameIndex) {
            return std::find_if(
                       c.begin(), c.end(),
                       [&](const JpegComponent& one) { return one.frameIndex == frameIndex; })
                ->id;
        };
        const bool rgbIds = id(0) == 'R' && id(1) == 'G' && id(2) == 'B';
        if (header.adobe ? header.adobeTransform == 0 : rgbIds) {
            return false;
        }
    }
    std::vector<Component> components(header.components.begin(), header.components.end());
    int hMax = header.hMax;
    int vMax = header.vMax;
    const uint8_t* const p = header.scan;
    const uint8_t* const end = data + size;
    const int outWidth = (width + 7) / 8;
    const int outHeight = (height + 7) / 8;
    int mcusWide = 0;
    int mcusHigh = 0;
    if (components.size() == 1) {
        // A single-component scan is not interleaved: one block per MCU.
        components[0].h = components[0].v = 1;
        hMax = vMax = 1;
        mcusWide = outWidth;
        mcusHigh = outHeight;
    } else {
        mcusWide = (width + 8 * hMax - 1) / (8 * hMax);
        mcusHigh = (height + 8 * vMax - 1) / (8 * vMax);
    }
    for (Component& c : components) {
        // TurboJPEG scales a component's blocks up while the sampling
        // leaves room for it in both directions, rather than upsampling.
        while (c.scale < 8 && hMax % (c.h * c.scale * 2) == 0 && vMax % (c.v * c.scale * 2) == 0) {
            c.scale *= 2;
        }
        if (c.scale > 2) {
            return false;
        }
        c.samplesWide = mcusWide * c.h * c.scale;
        c.samplesHigh = mcusHigh * c.v * c.scale;
        c.plane.assign(static_cast<size_t>(c.samplesWide) * c.samplesHigh, 0);
    }

    // The entropy-coded data.
    BitReader reader(p, end);
    std::array<uint32_t, 4> predictor{};  // wraps as libjpeg's does
    const int64_t mcuCount = int64_t{mcusWide} * mcusHigh;
    int restartsLeft = restartInterval;
    int nextRestart = 0;
    for (int64_t mcu = 0; mcu < mcuCount; ++mcu) {
        if (restartInterval != 0) {
            if (restartsLeft == 0) {
                if (!reader.Restart(0xD0 + nextRestart)) {
                    return false;
                }
                nextRestart = (nextRestart + 1) & 7;
                restartsLeft = restartInterval;
                predictor = {};
            }
            --restartsLeft;
        }
        const int mcuX = static_cast<int>(mcu % mcusWide);
        const int mcuY = static_cast<int>(mcu / mcusWide);
        for (size_t ci = 0; ci < components.size(); ++ci) {
            Component& c = components[ci];
            const HuffTable& dcTable = dcTables[static_cast<size_t>(c.dcTable)];
            const HuffTable& acTable = acTables[static_cast<size_t>(c.acTable)];
            const int16_t* q = quant[static_cast<size_t>(c.quantTable)].data();
            for (int by = 0; by < c.v; ++by) {
                const int sampleY = (mcuY * c.v + by) * c.scale;
                uint8_t* row = c.plane.data() + static_cast<size_t>(sampleY) * c.samplesWide;
                for (int bx = 0; bx < c.h; ++bx) {
                    if (reader.Count() < 32) {
                        reader.Fill();
                    }
                    // DC: the difference to the previous block's value.
                    int magnitude = 0;
                    const DcEntry& dcEntry = dcTable.dc[reader.Peek(kDcLookBits)];
                    if (dcEntry.bits != 0) {
                        reader.Drop(dcEntry.bits);
                        predictor[ci] += static_cast<uint32_t>(int32_t{dcEntry.difference});
                    } else if (dcEntry.codeBits != 0) {
                        reader.Drop(dcEntry.codeBits);
                        magnitude = dcEntry.magnitudeBits;
                    } else {
                        int length = 0;
                        magnitude = SlowSymbol(reader.Peek(16), dcTable, length);
                        if (magnitude < 0) {
                            return false;
                        }
                        reader.Drop(length);
                    }
                    if (magnitude != 0) {
                        predictor[ci] += static_cast<uint32_t>(reader.Receive(magnitude));
                    }
                    const int sampleX = (mcuX * c.h + bx) * c.scale;
                    if (c.scale == 1) {
                        row[sampleX] = DcSample(Coefficient(predictor[ci]), q[0]);
                        if (!SkipAc(reader, acTable)) {
                            return false;
                        }
                        continue;
                    }
                    // The DC coefficient starts column 0's even part.
                    const int32_t dc = int32_t{Coefficient(predictor[ci])} * q[0];
                    if (dc < -kIdctLimit || dc > kIdctLimit) {
                        return false;
                    }
                    ColumnSums sums = {{dc * (1 << 15)}, {}};
                    uint8_t samples[4];
                    if (!DecodeAcSums(reader, acTable, q, sums) || !Idct2x2(sums, samples)) {
                        return false;
                    }
                    row[sampleX] = samples[0];
                    row[sampleX + 1] = samples[1];
                    row[c.samplesWide + sampleX] = samples[2];
                    row[c.samplesWide + sampleX + 1] = samples[3];
                }
            }
        }
        if (reader.FarPastData()) {
            return false;
        }
    }
    if (reader.RanPastData() || !EndsAfterScan(reader.Position(), end)) {
        return false;
    }

    // Each output pixel from the samples of every component covering it.
    if (!out.Resize(outWidth, outHeight)) {
        return false;
    }
    // Components in frame order: Y, Cb, Cr.
    const Component* ycc[3] = {};
    for (const Component& c : components) {
        ycc[c.frameIndex] = &c;
    }
    for (int y = 0; y < outHeight; ++y) {
        uint8_t* o = out.Row(y);
        if (components.size() == 1) {
            const uint8_t* g =
                components[0].plane.data() + static_cast<size_t>(y) * components[0].samplesWide;
            for (int x = 0; x < outWidth; ++x, o += 3) {
                o[0] = o[1] = o[2] = g[x];
            }
            continue;
        }
        const uint8_t* rows[3];
        int stepX[3];
        for (int i = 0; i < 3; ++i) {
            const Component& c = *ycc[i];
            // Samples are repeated where the sampling leaves fewer than one
            // per output pixel.
            rows[i] =
                c.plane.data() + static_cast<size_t>(y / (vMax / (c.v * c.scale))) * c.samplesWide;
            stepX[i] = hMax / (c.h * c.scale);
        }
        for (int x = 0; x < outWidth; ++x, o += 3) {
            const int lum = rows[0][x / stepX[0]];
            const int cb = rows[1][x / stepX[1]] - 128;
            const int cr = rows[2][x / stepX[2]] - 128;
            // The full decoder's fixed-point YCbCr to RGB.
            constexpr int kHalf = 1 << 15;
            const int r = lum + ((91881 * cr + kHalf) >> 16);
            const int g = lum + ((-22554 * cb - 46802 * cr + kHalf) >> 16);
            const int b = lum + ((116130 * cb + kHalf) >> 16);
            o[0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
            o[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
            o[2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
        }
    }
    fullWidth = width;
    fullHeight = height;
    return true;
}

}  // namespace nocturo::codecs
