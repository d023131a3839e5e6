#pragma once
// The Huffman side of the 1/8-size JPEG scanner: look-up tables that decode
// whole symbols, code and magnitude bits together, and the bit reader over
// the entropy-coded data. Kept inline here so that the scanner's loops keep
// the reader in registers.

#include <array>
#include <cstdint>
#include <cstring>

namespace nocturo::codecs::dc {

inline constexpr int kLookBits = 13;
inline constexpr int kValueLookBits = 10;  // small enough to stay in cache beside the AC tables
inline constexpr int kDcLookBits = 10;     // DC codes are short; a small table stays in cache

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

// AC look-up for blocks whose coefficients are kept: the first symbol of the
// next kValueLookBits bits with its magnitude bits, where both fit: their length,
// the zeros before the coefficient (kEndOfBlock: none follows) and its
// value. A run of sixteen zeros is a zero after fifteen.
inline constexpr uint8_t kEndOfBlock = 64;
struct ValueEntry {
    int16_t value = 0;
    uint8_t bits = 0;  // 0: the symbol is decoded the slow way
    uint8_t run = 0;
};

struct HuffTable {
    bool defined = false;
    int largestSymbol = 0;
    std::array<DcEntry, 1 << kDcLookBits> dc{};
    std::array<ValueEntry, 1 << kValueLookBits> valued{};
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
                HuffTable& table);

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
    // The first byte not yet taken into the bits.
    const uint8_t* Position() const { return p_; }
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
inline int SlowSymbol(uint32_t peek, const HuffTable& table, int& length) {
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

}  // namespace nocturo::codecs::dc
