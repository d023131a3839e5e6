#include "core/codecs/jpeg_cut.h"

#include <algorithm>
#include <array>

#include "core/codecs/jpeg_dc_huffman.h"
#include "core/codecs/jpeg_header.h"
#include "core/rgb_image.h"

namespace nocturo::codecs {

namespace {

using dc::BitReader;
using dc::BuildTable;
using dc::DcEntry;
using dc::HuffTable;
using dc::JpegComponent;
using dc::JpegHeader;
using dc::JpegSegment;
using dc::kDcLookBits;
using dc::kEndOfBlock;
using dc::kValueLookBits;
using dc::ReadJpegHeader;
using dc::SkipAc;
using dc::SlowSymbol;
using dc::ValueEntry;

// The code of each DC symbol (a difference's bit count), to write the
// differences the cut changes; length 0: the table has no such symbol.
struct DcCodes {
    std::array<uint16_t, 16> code{};
    std::array<uint8_t, 16> length{};
};

void BuildDcCodes(const uint8_t* counts, const uint8_t* symbols, DcCodes& codes) {
    codes = DcCodes{};
    uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length, code <<= 1) {
        for (int i = 0; i < counts[length - 1]; ++i, ++k, ++code) {
            if (symbols[k] < 16 && codes.length[symbols[k]] == 0) {
                codes.code[symbols[k]] = static_cast<uint16_t>(code);
                codes.length[symbols[k]] = static_cast<uint8_t>(length);
            }
        }
    }
}

// Bits into entropy-coded bytes, a zero stuffed after every 0xFF.
class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(uint32_t bits, int n) {  // n <= 32
        if (n == 0) {
            return;
        }
        bits_ = (bits_ << n) | (bits & static_cast<uint32_t>((uint64_t{1} << n) - 1));
        count_ += n;
        while (count_ >= 8) {
            count_ -= 8;
            const auto byte = static_cast<uint8_t>(bits_ >> count_);
            out_.push_back(byte);
            if (byte == 0xFF) {
                out_.push_back(0x00);
            }
        }
    }
    // The last byte is filled with ones, as encoders pad it.
    void Finish() { Put(0x7F, (8 - count_) & 7); }

  private:
    std::vector<uint8_t>& out_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

// One DC difference, decoded.
[[gnu::always_inline]] inline bool DcDifference(BitReader& reader, const HuffTable& table,
                                                int32_t& difference) {
    if (reader.Count() < 32) {
        reader.Fill();
    }
    const DcEntry& entry = table.dc[reader.Peek(kDcLookBits)];
    if (entry.bits != 0) {
        reader.Drop(entry.bits);
        difference = entry.difference;
        return true;
    }
    int magnitude = entry.magnitudeBits;
    if (entry.codeBits != 0) {
        reader.Drop(entry.codeBits);
    } else {
        int length = 0;
        magnitude = SlowSymbol(reader.Peek(16), table, length);
        if (magnitude < 0 || magnitude > 15) {
            return false;
        }
        reader.Drop(length);
    }
    difference = magnitude != 0 ? reader.Receive(magnitude) : 0;
    return true;
}

// The tables of each block of an MCU, in order, and its component.
struct BlockTables {
    const HuffTable* dc = nullptr;
    const HuffTable* ac = nullptr;
    int component = 0;
};

// Skips `mcus` MCUs without restart markers, summing the DC differences.
// The reader is a local copy throughout, so that it stays in registers.
bool SkipMcus(BitReader& shared, const BlockTables* blocks, int count, int64_t mcus,
              std::array<uint32_t, 4>& predictor) {
    BitReader reader = shared;
    uint32_t sums[4] = {predictor[0], predictor[1], predictor[2], predictor[3]};
    for (int64_t mcu = 0; mcu < mcus; ++mcu) {
        for (int b = 0; b < count; ++b) {
            int32_t difference = 0;
            if (!DcDifference(reader, *blocks[b].dc, difference) ||
                !SkipAc(reader, *blocks[b].ac)) {
                return false;
            }
            sums[blocks[b].component] += static_cast<uint32_t>(difference);
        }
        if (reader.FarPastData()) {
            return false;
        }
    }
    shared = reader;
    predictor = {sums[0], sums[1], sums[2], sums[3]};
    return true;
}

// Copies one block's AC symbols, bit for bit.
bool CopyAc(BitReader& reader, const HuffTable& table, BitWriter& writer) {
    for (int k = 1; k < 64; ++k) {
        if (reader.Count() < 32) {
            reader.Fill();
        }
        const ValueEntry entry = table.valued[reader.Peek(kValueLookBits)];
        int bits = entry.bits;
        int run = entry.run;
        if (bits == 0) {
            int length = 0;
            const int symbol = SlowSymbol(reader.Peek(16), table, length);
            if (symbol < 0) {
                return false;
            }
            bits = length + (symbol & 15);
            run = (symbol & 15) != 0 || (symbol >> 4) == 15 ? symbol >> 4 : kEndOfBlock;
        }
        writer.Put(reader.Peek(bits), bits);
        reader.Drop(bits);
        if (run == kEndOfBlock) {
            break;
        }
        k += run;
    }
    return true;
}

}  // namespace

bool CutJpegAroundRow(const uint8_t* data, size_t size, int y, std::vector<uint8_t>& out,
                      JpegCut& cut) {
    cut = JpegCut{};
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8 || y < 0) {
        return false;
    }
    // Large tables: each thread keeps its own between files.
    thread_local std::array<HuffTable, 4> dcTables;
    thread_local std::array<HuffTable, 4> acTables;
    thread_local std::vector<JpegSegment> segments;
    JpegHeader header;
    if (!ReadJpegHeader(data, size, dcTables, acTables, header, &segments)) {
        return false;
    }
    const std::vector<JpegComponent>& components = header.components;
    const int width = header.width;
    const int height = header.height;
    const int restartInterval = header.restartInterval;
    const int hMax = header.hMax;
    const int vMax = header.vMax;
    if (components.size() == 1 && (hMax != 1 || vMax != 1)) {
        return false;  // a grey picture's band would not be its MCU row
    }
    std::array<DcCodes, 4> dcCodes{};
    for (const JpegComponent& c : components) {
        const uint8_t* spec = header.dcSpec[static_cast<size_t>(c.dcTable)];
        BuildDcCodes(spec, spec + 16, dcCodes[static_cast<size_t>(c.dcTable)]);
    }
    const size_t sofAt = header.sofAt;
    const size_t sosAt = header.sosAt;
    const uint8_t* const p = header.scan;
    const uint8_t* const end = data + size;
    const int band = 8 * vMax;
    const int mcusWide = (width + 8 * hMax - 1) / (8 * hMax);
    const int mcusHigh = (height + band - 1) / band;
    const int firstBand = y / band - 1;
    if (firstBand < 1 || y >= height) {
        return false;
    }
    const int lastBand = std::min(mcusHigh, firstBand + 3);  // one past

    // The entropy data down to the cut: DC differences summed, AC skipped.
    BitReader reader(p, end);
    std::array<uint32_t, 4> predictor{};  // wraps as libjpeg's does
    int restartsLeft = restartInterval;
    int nextRestart = 0;
    auto restart = [&]() {
        if (restartInterval == 0) {
            return true;
        }
        if (restartsLeft == 0) {
            if (!reader.Restart(0xD0 + nextRestart)) {
                return false;
            }
            nextRestart = (nextRestart + 1) & 7;
            restartsLeft = restartInterval;
            predictor = {};
        }
        --restartsLeft;
        return true;
    };
    const int64_t firstMcu = int64_t{firstBand} * mcusWide;
    if (restartInterval == 0) {
        std::array<BlockTables, 10> blocks{};
        int count = 0;
        for (size_t ci = 0; ci < components.size(); ++ci) {
            const JpegComponent& c = components[ci];
            for (int b = c.h * c.v; b > 0; --b) {
                blocks[static_cast<size_t>(count++)] = {&dcTables[static_cast<size_t>(c.dcTable)],
                                                        &acTables[static_cast<size_t>(c.acTable)],
                                                        static_cast<int>(ci)};
            }
        }
        if (!SkipMcus(reader, blocks.data(), count, firstMcu, predictor)) {
            return false;
        }
    }
    for (int64_t mcu = restartInterval == 0 ? firstMcu : 0; mcu < firstMcu; ++mcu) {
        if (!restart()) {
            return false;
        }
        for (size_t ci = 0; ci < components.size(); ++ci) {
            const JpegComponent& c = components[ci];
            const HuffTable& dcTable = dcTables[static_cast<size_t>(c.dcTable)];
            const HuffTable& acTable = acTables[static_cast<size_t>(c.acTable)];
            for (int b = c.h * c.v; b > 0; --b) {
                int32_t difference = 0;
                if (!DcDifference(reader, dcTable, difference) || !SkipAc(reader, acTable)) {
                    return false;
                }
                predictor[ci] += static_cast<uint32_t>(difference);
            }
        }
        if (reader.FarPastData()) {
            return false;
        }
    }

    // The cut's headers: the whole file's, with the cut's height and
    // without a restart interval.
    out.clear();
    out.reserve(static_cast<size_t>(end - p) / static_cast<size_t>(mcusHigh) *
                    static_cast<size_t>(lastBand - firstBand) +
                sosAt + 1024);
    out.push_back(0xFF);
    out.push_back(0xD8);
    const int rows = std::min(height, lastBand * band) - firstBand * band;
    for (const auto& [marker, at, bytes] : segments) {
        if (marker == 0xDD) {
            continue;  // the cut has no restart markers
        }
        const size_t start = out.size();
        out.insert(out.end(), data + at, data + at + bytes);
        if (at == sofAt) {
            out[start + 5] = static_cast<uint8_t>(rows >> 8);
            out[start + 6] = static_cast<uint8_t>(rows & 0xFF);
        }
    }
    out.insert(out.end(), data + sosAt, p);

    // The cut's data: every symbol copied, but each DC difference written
    // afresh from the cut's own running value. libjpeg keeps a block's DC
    // in 16 bits, so the values agree modulo 2^16.
    BitWriter writer(out);
    std::array<uint16_t, 4> written{};
    for (int64_t mcu = firstMcu; mcu < int64_t{lastBand} * mcusWide; ++mcu) {
        if (!restart()) {
            return false;
        }
        for (size_t ci = 0; ci < components.size(); ++ci) {
            const JpegComponent& c = components[ci];
            const HuffTable& dcTable = dcTables[static_cast<size_t>(c.dcTable)];
            const HuffTable& acTable = acTables[static_cast<size_t>(c.acTable)];
            const DcCodes& codes = dcCodes[static_cast<size_t>(c.dcTable)];
            for (int b = c.h * c.v; b > 0; --b) {
                int32_t difference = 0;
                if (!DcDifference(reader, dcTable, difference)) {
                    return false;
                }
                predictor[ci] += static_cast<uint32_t>(difference);
                const auto value = static_cast<uint16_t>(predictor[ci]);
                const int change = static_cast<int16_t>(static_cast<uint16_t>(value - written[ci]));
                const int magnitude = change < 0 ? -change : change;
                const int bits = magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
                if (bits > 15 || codes.length[static_cast<size_t>(bits)] == 0) {
                    return false;  // the table cannot say it
                }
                writer.Put(codes.code[static_cast<size_t>(bits)],
                           codes.length[static_cast<size_t>(bits)]);
                writer.Put(static_cast<uint32_t>(change < 0 ? change + (1 << bits) - 1 : change),
                           bits);
                written[ci] = value;
                if (!CopyAc(reader, acTable, writer)) {
                    return false;
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
    writer.Finish();
    out.push_back(0xFF);
    out.push_back(0xD9);
    cut = JpegCut{width, height, firstBand * band, rows, band};
    return true;
}

}  // namespace nocturo::codecs
