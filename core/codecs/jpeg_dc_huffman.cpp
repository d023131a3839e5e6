#include "core/codecs/jpeg_dc_huffman.h"

#include <algorithm>

namespace nocturo::codecs::dc {

// Fills `table` from a DHT segment's counts and symbols; false when the
// counts describe no valid code.
bool BuildTable(const uint8_t* counts, const uint8_t* symbols, int symbolCount, bool ac,
                HuffTable& table) {
    table.defined = false;
    table.largestSymbol = 0;
    table.dc.fill(DcEntry{});
    table.valued.fill(ValueEntry{});
    table.ac.fill(AcEntry{});
    table.acFirst.fill(AcFirst{});
    table.values.fill(0);
    std::copy(symbols, symbols + symbolCount, table.values.begin());
    for (int i = 0; i < symbolCount; ++i) {
        table.largestSymbol = std::max<int>(table.largestSymbol, symbols[i]);
    }
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
        if (const int length = lengthOf[bits]; length != 0) {
            const int run = symbolOf[bits] >> 4;
            const int size = symbolOf[bits] & 15;
            if (length + size <= kValueLookBits) {
                const int raw =
                    static_cast<int>(bits >> (kLookBits - length - size)) & ((1 << size) - 1);
                ValueEntry& value = table.valued[bits >> (kLookBits - kValueLookBits)];
                value.bits = static_cast<uint8_t>(length + size);
                value.run = static_cast<uint8_t>(size != 0 || run == 15 ? run : kEndOfBlock);
                value.value =
                    static_cast<int16_t>(size == 0                  ? 0
                                         : raw >= (1 << (size - 1)) ? raw
                                                                    : raw - (1 << size) + 1);
            }
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

}  // namespace nocturo::codecs::dc
