// The headers of a baseline JPEG up to its scan, read with the checks the
// full decoder makes of them: what the fast readers that walk the entropy
// data themselves (the 1/8 DC decode, the cut around a row) start from.

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/codecs/jpeg_dc_huffman.h"

namespace nocturo::codecs::dc {

/// Zigzag position to natural (row by row) position. Runs that damaged data
/// carries past the end land on the last coefficient, as in libjpeg.
inline constexpr uint8_t kNaturalOrder[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

inline int Segment16(const uint8_t* p) {
    return (p[0] << 8) | p[1];
}

/// A component as the frame and scan headers give it.
struct JpegComponent {
    int id = 0;
    int frameIndex = 0;  // its place in the frame header
    int h = 1;
    int v = 1;
    int quantTable = 0;
    int dcTable = 0;
    int acTable = 0;
    int inScan = -1;
};

/// A segment before the scan: its marker, where its marker starts and its
/// bytes, marker included.
struct JpegSegment {
    int marker = 0;
    size_t at = 0;
    size_t bytes = 0;
};

struct JpegHeader {
    int width = 0;
    int height = 0;
    int restartInterval = 0;
    /// In scan order (every component is in the one interleaved scan).
    std::vector<JpegComponent> components;
    int hMax = 1;
    int vMax = 1;
    /// Quantisers in natural order, in 16 signed bits as libjpeg holds them.
    std::array<std::array<int16_t, 64>, 4> quant{};
    std::array<bool, 4> quantDefined{};
    /// Each DC table's code counts (16 bytes) followed by its symbols, in
    /// the data: the last definition of the table.
    std::array<const uint8_t*, 4> dcSpec{};
    bool jfif = false;
    bool adobe = false;
    int adobeTransform = 0;
    size_t sofAt = 0;               // the frame header's marker
    size_t sosAt = 0;               // the scan header's marker
    const uint8_t* scan = nullptr;  // the entropy-coded data
};

/// Reads a baseline or extended-Huffman JPEG's headers, from its start of
/// image to its scan, into header and the Huffman tables. False for what
/// the readers built on it leave to the full decoder: other frame kinds, a
/// second picture, restart or reserved markers before the scan, one or
/// three components only, tables missing or malformed, several scans,
/// sampling that is not whole multiples or more than ten blocks an MCU.
/// segments, when given, receives every segment before the scan.
bool ReadJpegHeader(const uint8_t* data, size_t size, std::array<HuffTable, 4>& dcTables,
                    std::array<HuffTable, 4>& acTables, JpegHeader& header,
                    std::vector<JpegSegment>* segments = nullptr);

}  // namespace nocturo::codecs::dc
