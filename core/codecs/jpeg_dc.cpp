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

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/codecs/codecs.h"

namespace nocturo::codecs {

namespace {

constexpr int kLookBits = 13;
constexpr int kDcLookBits = 10;  // DC codes are short; a small table stays in cache

// DC look-up: the code's length (0: longer than the look-up) and the
// number of magnitude bits that follow it; where both fit the look-up, also
// their total and the difference they encode.
struct DcEntry {
    int16_t difference = 0;
    uint8_t bits = 0;  // 0: the difference is read separately
    uint8_t codeBits = 0;
    uint8_t magnitudeBits = 0;
};

// AC look-up: the whole symbols (code and magnitude bits) that the next
// kLookBits bits hold, up to and including an end of block. An advance of
// 16 is a run of zeros, 64 or more an end of block. The entry may be used
// while the block's position is below `safeBelow`: past it, a symbol before
// the last would already end the block, and the rest belongs to the next.
struct alignas(4) AcEntry {
    uint8_t bits = 0;
    uint8_t advance = 0;
    uint8_t safeBelow = 0;
};

// The first of those symbols alone, for the blocks that end without an end
// of block; firstBits 0: the symbol is decoded the slow way.
struct AcFirst {
    uint8_t firstBits = 0;
    uint8_t firstAdvance = 0;
};

struct HuffTable {
    bool defined = false;
    std::array<DcEntry, 1 << kDcLookBits> dc{};
    std::array<AcEntry, 1 << kLookBits> ac{};
    std::array<AcFirst, 1 << kLookBits> acFirst{};
    // Canonical decoding, for the symbols the look-up does not hold.
    std::array<int32_t, 18> maxCode{};
    std::array<int32_t, 17> valOffset{};
    std::array<uint8_t, 256> values{};
};

// Fills `table` from a DHT segment's counts and symbols; false when the
// counts describe no valid code.
bool BuildTable(const uint8_t* counts, const uint8_t* symbols, int symbolCount, bool ac,
                HuffTable& table) {
    table.defined = false;
    table.dc.fill(DcEntry{});
    table.ac.fill(AcEntry{});
    table.acFirst.fill(AcFirst{});
    table.values.fill(0);
    std::copy(symbols, symbols + symbolCount, table.values.begin());
    // Single symbols first: code length and symbol for every look-up value.
    std::array<uint8_t, 1 << kLookBits> lengthOf{};
    std::array<uint8_t, 1 << kLookBits> symbolOf{};
    int32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        const int n = counts[length - 1];
        table.valOffset[length] = k - code;
        // A valid code has room for its codes, and no code of all ones.
        if (n != 0 && code + n >= (1 << length)) {
            return false;
        }
        for (int i = 0; i < n; ++i, ++k, ++code) {
            if (length <= kLookBits) {
                const int shift = kLookBits - length;
                for (int fill = 0; fill < (1 << shift); ++fill) {
                    const auto at = static_cast<size_t>((code << shift) | fill);
                    lengthOf[at] = static_cast<uint8_t>(length);
                    symbolOf[at] = symbols[k];
                }
            }
        }
        table.maxCode[length] = n != 0 ? code - 1 : -1;
        code <<= 1;
    }
    table.maxCode[17] = 0x7fffffff;  // ends a search through a damaged code
    // One AC symbol at the top of `bits`: its whole length and advance, or
    // 0 when it does not fit in `room` bits.
    auto whole = [&](uint32_t bits, int room, int& advance) {
        const int length = lengthOf[bits];
        const int run = symbolOf[bits] >> 4;
        const int magnitude = symbolOf[bits] & 15;
        if (length == 0 || length + magnitude > room) {
            return 0;
        }
        advance = magnitude != 0 ? run + 1 : (run == 15 ? 16 : 64);
        return length + magnitude;
    };
    constexpr uint32_t kMask = (1u << kLookBits) - 1;
    for (uint32_t bits = 0; bits <= kMask; ++bits) {
        if (!ac) {
            const int length = lengthOf[bits];
            const int magnitude = symbolOf[bits];
            if (length != 0 && length <= kDcLookBits) {
                DcEntry& entry = table.dc[bits >> (kLookBits - kDcLookBits)];
                entry.codeBits = static_cast<uint8_t>(length);
                entry.magnitudeBits = static_cast<uint8_t>(magnitude);
                if (length + magnitude <= kDcLookBits) {
                    const int raw = static_cast<int>(bits >> (kLookBits - length - magnitude)) &
                                    ((1 << magnitude) - 1);
                    entry.bits = static_cast<uint8_t>(length + magnitude);
                    entry.difference =
                        static_cast<int16_t>(magnitude == 0 || raw >= (1 << (magnitude - 1))
                                                 ? raw
                                                 : raw - (1 << magnitude) + 1);
                }
            }
            continue;
        }
        AcEntry entry;
        int used = 0;
        int total = 0;
        int prefix = 0;
        while (used < kLookBits && total < 64) {
            int advance = 0;
            const int length = whole((bits << used) & kMask, kLookBits - used, advance);
            if (length == 0) {
                break;
            }
            if (used == 0) {
                table.acFirst[bits] = {static_cast<uint8_t>(length), static_cast<uint8_t>(advance)};
            }
            prefix = total;
            used += length;
            total += advance;
        }
        if (used != 0) {
            entry.bits = static_cast<uint8_t>(used);
            entry.advance = static_cast<uint8_t>(std::min(total, 255));
            entry.safeBelow = static_cast<uint8_t>(std::max(0, 64 - prefix));
        }
        table.ac[bits] = entry;
    }
    table.defined = true;
    return true;
}

// Big-endian bits of the entropy-coded data, stuffed zero bytes removed.
// A marker ends the data: the reader then supplies zero bits and counts
// them, so that a scan that needed them is found out afterwards.
class BitReader {
  public:
    BitReader(const uint8_t* data, const uint8_t* end) : p_(data), end_(end) {}

    // Inline throughout, so that the reader lives in registers.
    [[gnu::always_inline]] void Fill() {
        if (end_ - p_ >= 8) {
            uint64_t word;
            std::memcpy(&word, p_, 8);
            // No 0xFF byte among the next eight: take them at once.
            const uint64_t inverted = ~word;
            if (((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) == 0) {
                word = __builtin_bswap64(word);
                const int bytes = (64 - count_) >> 3;
                bits_ |= (word >> (64 - bytes * 8)) << (64 - count_ - bytes * 8);
                count_ += bytes * 8;
                p_ += bytes;
                return;
            }
        }
        while (count_ <= 56) {
            uint64_t byte = 0;
            if (p_ < end_ && *p_ != 0xFF) {
                byte = *p_++;
            } else if (end_ - p_ >= 2 && p_[1] == 0x00) {
                byte = 0xFF;
                p_ += 2;
            } else {
                padded_ += 8;  // a marker or the end of the file
            }
            bits_ |= byte << (56 - count_);
            count_ += 8;
        }
    }

    [[gnu::always_inline]] uint32_t Peek(int n) const {
        return static_cast<uint32_t>(bits_ >> (64 - n));
    }
    [[gnu::always_inline]] void Drop(int n) {
        bits_ <<= n;
        count_ -= n;
    }
    int Count() const { return count_; }
    // Reads n (1..16) bits as a signed coefficient difference.
    int32_t Receive(int n) {
        const auto raw = static_cast<int32_t>(Peek(n));
        Drop(n);
        return raw < (1 << (n - 1)) ? raw - (1 << n) + 1 : raw;
    }
    // True when the scan used bits that the data does not hold.
    bool RanPastData() const { return padded_ > count_; }
    bool FarPastData() const { return padded_ > 512; }

    // At a restart interval's end: the rest of the byte is padding, and the
    // next marker must be the expected restart marker.
    bool Restart(int marker) {
        if (padded_ > count_) {
            return false;
        }
        // Bytes already in the buffer were read before the marker; all of
        // them are padding of the interval just ended.
        bits_ = 0;
        count_ = 0;
        padded_ = 0;
        if (end_ - p_ < 2 || p_[0] != 0xFF || p_[1] != marker) {
            return false;
        }
        p_ += 2;
        return true;
    }

  private:
    uint64_t bits_ = 0;
    int count_ = 0;
    int padded_ = 0;
    const uint8_t* p_;
    const uint8_t* end_;
};

// Decodes one Huffman symbol from the next 16 bits the slow way.
int SlowSymbol(uint32_t peek, const HuffTable& table, int& length) {
    int n = 1;
    while (n <= 16 && static_cast<int32_t>(peek >> (16 - n)) > table.maxCode[n]) {
        ++n;
    }
    if (n > 16) {
        return -1;
    }
    length = n;
    const int index = static_cast<int>(peek >> (16 - n)) + table.valOffset[n];
    return index >= 0 && index < 256 ? table.values[static_cast<size_t>(index)] : -1;
}

// Skips one block's AC coefficients, up to several symbols a look-up. It
// works on its own copy of the reader, which the compiler keeps in registers.
[[gnu::always_inline]] inline bool SkipAc(BitReader& shared, const HuffTable& acTable) {
    BitReader reader = shared;
    int k = 1;
    bool ended = false;
    while (!ended) {
        if (reader.Count() < 32) {
            reader.Fill();
        }
        // Two look-ups a refill: each takes at most kLookBits.
        for (int twice = 0; twice < 2 && !ended; ++twice) {
            const uint32_t peek = reader.Peek(kLookBits);
            const AcEntry e = acTable.ac[peek];
            if (k < e.safeBelow) {
                reader.Drop(e.bits);
                k += e.advance;
                ended = k >= 64;
                continue;
            }
            if (const AcFirst f = acTable.acFirst[peek]; f.firstBits != 0) {
                // Near the block's end: one symbol at a time.
                reader.Drop(f.firstBits);
                k += f.firstAdvance;
                ended = k >= 64;
                continue;
            }
            if (reader.Count() < 32) {
                reader.Fill();
            }
            int length = 0;
            const int symbol = SlowSymbol(reader.Peek(16), acTable, length);
            if (symbol < 0) {
                return false;
            }
            reader.Drop(length);
            const int run = symbol >> 4;
            const int size = symbol & 15;
            reader.Drop(size);
            k += size != 0 ? run + 1 : (run == 15 ? 16 : 64);
            ended = k >= 64;
            break;  // the slow symbol may have used many bits
        }
    }
    shared = reader;
    return true;
}

struct Component {
    int id = 0;
    int frameIndex = 0;
    int h = 1;
    int v = 1;
    int quantTable = 0;
    int dcTable = 0;
    int acTable = 0;
    int inScan = -1;
    int blocksWide = 0;  // of the component's plane, whole MCUs
    int blocksHigh = 0;
    std::vector<uint8_t> plane;  // one sample per block: the block's mean
};

int Segment16(const uint8_t* p) {
    return (p[0] << 8) | p[1];
}

// The block's mean sample as a 1 x 1 inverse DCT gives it.
inline uint8_t DcSample(int32_t dc, int quant) {
    const int32_t value = ((dc * quant + 4) >> 3) + 128;
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace

bool DecodeJpegDc(const uint8_t* data, size_t size, RgbImage& out, int& fullWidth,
                  int& fullHeight) {
    fullWidth = 0;
    fullHeight = 0;
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return false;
    }
    // The tables are large; each thread keeps its own between files.
    thread_local std::array<HuffTable, 4> dcTables;
    thread_local std::array<HuffTable, 4> acTables;
    for (size_t i = 0; i < 4; ++i) {
        dcTables[i].defined = false;
        acTables[i].defined = false;
    }
    std::array<int, 4> quantDc{};
    std::array<bool, 4> quantDefined{};
    std::vector<Component> components;
    int width = 0;
    int height = 0;
    int restartInterval = 0;
    bool adobe = false;
    int adobeTransform = 0;
    bool jfif = false;
    const uint8_t* p = data + 2;
    const uint8_t* const end = data + size;
    // Markers up to the start of the scan.
    while (true) {
        if (end - p < 4 || p[0] != 0xFF) {
            return false;
        }
        const int marker = p[1];
        if (marker == 0xFF) {
            ++p;  // fill byte
            continue;
        }
        const int length = Segment16(p + 2);
        if (length < 2 || end - (p + 2) < length) {
            return false;
        }
        if (marker == 0xDA) {
            break;  // the scan
        }
        const uint8_t* seg = p + 4;
        const int segLength = length - 2;
        switch (marker) {
            case 0xC0:
            case 0xC1: {  // baseline and extended Huffman
                if (!components.empty() || segLength < 6 || seg[0] != 8) {
                    return false;
                }
                height = Segment16(seg + 1);
                width = Segment16(seg + 3);
                const int count = seg[5];
                if ((count != 1 && count != 3) || segLength != 6 + 3 * count || width <= 0 ||
                    height <= 0 || int64_t{width} * height > kMaxPixels) {
                    return false;
                }
                for (int c = 0; c < count; ++c) {
                    Component component;
                    component.id = seg[6 + 3 * c];
                    component.frameIndex = c;
                    component.h = seg[7 + 3 * c] >> 4;
                    component.v = seg[7 + 3 * c] & 15;
                    component.quantTable = seg[8 + 3 * c];
                    if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4 ||
                        component.quantTable > 3) {
                        return false;
                    }
                    components.push_back(std::move(component));
                }
                break;
            }
            case 0xC4: {  // Huffman tables
                int at = 0;
                while (at < segLength) {
                    if (segLength - at < 17) {
                        return false;
                    }
                    const int cls = seg[at] >> 4;
                    const int id = seg[at] & 15;
                    int symbolCount = 0;
                    for (int i = 0; i < 16; ++i) {
                        symbolCount += seg[at + 1 + i];
                    }
                    if (cls > 1 || id > 3 || symbolCount > 256 ||
                        segLength - at - 17 < symbolCount) {
                        return false;
                    }
                    HuffTable& table = cls == 0 ? dcTables[static_cast<size_t>(id)]
                                                : acTables[static_cast<size_t>(id)];
                    if (!BuildTable(seg + at + 1, seg + at + 17, symbolCount, cls == 1, table)) {
                        return false;
                    }
                    at += 17 + symbolCount;
                }
                break;
            }
            case 0xDB: {  // quantisation tables: only the DC entry matters
                int at = 0;
                while (at < segLength) {
                    const int precision = seg[at] >> 4;
                    const int id = seg[at] & 15;
                    const int tableBytes = precision == 0 ? 64 : 128;
                    if (precision > 1 || id > 3 || segLength - at - 1 < tableBytes) {
                        return false;
                    }
                    quantDc[static_cast<size_t>(id)] =
                        precision == 0 ? seg[at + 1] : Segment16(seg + at + 1);
                    quantDefined[static_cast<size_t>(id)] = true;
                    at += 1 + tableBytes;
                }
                break;
            }
            case 0xDD:  // restart interval
                if (segLength != 2) {
                    return false;
                }
                restartInterval = Segment16(seg);
                break;
            case 0xE0:
                jfif = jfif || (segLength >= 5 && std::memcmp(seg, "JFIF\0", 5) == 0);
                break;
            case 0xEE:
                if (!adobe && segLength >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
                    adobe = true;
                    adobeTransform = seg[11];
                }
                break;
            default:
                // Progressive, lossless and arithmetic frames, a second
                // picture, DNL, and any marker that should not be here.
                if (marker >= 0xC2 && marker <= 0xCF) {
                    return false;
                }
                if (marker < 0xE1 && marker != 0xFE) {
                    return false;
                }
                break;
        }
        p += 2 + length;
    }
    // The colour space as the full decoder would assume it: without JFIF,
    // an Adobe marker may say RGB, and so may component ids 'R', 'G', 'B'.
    if (components.empty()) {
        return false;
    }
    if (components.size() == 3 && !jfif) {
        const bool rgbIds =
            components[0].id == 'R' && components[1].id == 'G' && components[2].id == 'B';
        if (adobe ? adobeTransform == 0 : rgbIds) {
            return false;
        }
    }
    // The scan header: every component, in one interleaved scan.
    {
        const int length = Segment16(p + 2);
        const uint8_t* seg = p + 4;
        const int count = length >= 3 ? seg[0] : 0;
        if (count != static_cast<int>(components.size()) || length != 6 + 2 * count) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const int id = seg[1 + 2 * i];
            auto found = std::find_if(components.begin(), components.end(),
                                      [&](const Component& c) { return c.id == id; });
            if (found == components.end() || found->inScan >= 0) {
                return false;
            }
            found->inScan = i;
            found->dcTable = seg[2 + 2 * i] >> 4;
            found->acTable = seg[2 + 2 * i] & 15;
            if (found->dcTable > 3 || found->acTable > 3 ||
                !dcTables[static_cast<size_t>(found->dcTable)].defined ||
                !acTables[static_cast<size_t>(found->acTable)].defined ||
                !quantDefined[static_cast<size_t>(found->quantTable)]) {
                return false;
            }
        }
        const uint8_t* tail = seg + 1 + 2 * count;
        if (tail[0] != 0 || tail[1] != 63 || tail[2] != 0) {
            return false;
        }
        p += 2 + length;
    }
    // Components in scan order; the MCU grid.
    std::sort(components.begin(), components.end(),
              [](const Component& a, const Component& b) { return a.inScan < b.inScan; });
    int hMax = 1;
    int vMax = 1;
    int blocksPerMcu = 0;
    for (const Component& c : components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
        blocksPerMcu += c.h * c.v;
    }
    if (blocksPerMcu > 10) {
        return false;
    }
    for (const Component& c : components) {
        if (hMax % c.h != 0 || vMax % c.v != 0) {
            return false;  // sampling ratios that are not whole numbers
        }
    }
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
        c.blocksWide = mcusWide * c.h;
        c.blocksHigh = mcusHigh * c.v;
        c.plane.assign(static_cast<size_t>(c.blocksWide) * c.blocksHigh, 0);
    }

    // The entropy-coded data.
    BitReader reader(p, end);
    std::array<int32_t, 4> predictor{};
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
            const int quant = quantDc[static_cast<size_t>(c.quantTable)];
            for (int by = 0; by < c.v; ++by) {
                uint8_t* row = c.plane.data() + static_cast<size_t>(mcuY * c.v + by) * c.blocksWide;
                for (int bx = 0; bx < c.h; ++bx) {
                    if (reader.Count() < 32) {
                        reader.Fill();
                    }
                    // DC: the difference to the previous block's value.
                    int magnitude = 0;
                    const DcEntry& dcEntry = dcTable.dc[reader.Peek(kDcLookBits)];
                    if (dcEntry.bits != 0) {
                        reader.Drop(dcEntry.bits);
                        predictor[ci] += dcEntry.difference;
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
                    if (magnitude > 11) {
                        return false;
                    }
                    if (magnitude != 0) {
                        predictor[ci] += reader.Receive(magnitude);
                    }
                    row[mcuX * c.h + bx] = DcSample(predictor[ci], quant);
                    if (!SkipAc(reader, acTable)) {
                        return false;
                    }
                }
            }
        }
        if (reader.FarPastData()) {
            return false;
        }
    }
    if (reader.RanPastData()) {
        return false;
    }

    // Each output pixel: its luma block, and the chroma blocks covering it.
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
                components[0].plane.data() + static_cast<size_t>(y) * components[0].blocksWide;
            for (int x = 0; x < outWidth; ++x, o += 3) {
                o[0] = o[1] = o[2] = g[x];
            }
            continue;
        }
        const uint8_t* rows[3];
        int stepX[3];
        for (int i = 0; i < 3; ++i) {
            const Component& c = *ycc[i];
            rows[i] = c.plane.data() + static_cast<size_t>(y * c.v / vMax) * c.blocksWide;
            stepX[i] = hMax / c.h;
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
