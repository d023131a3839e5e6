#include "engine/frame_map_kernels.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace nocturo {

namespace {

MapKernels widest = MapKernels::kAvx2;

// A merge of pixels [from, to) of s into b that marks, in one bit per
// pixel, the pixels it changed. `from` is a multiple of 16. T: the samples,
// 8 or 16 bits; Rule: merges one pixel, true when it changed it.
template <typename T, typename Rule>
void MergeMarkScalar(T* __restrict b, const T* __restrict s, uint16_t* __restrict marks,
                     size_t from, size_t to, Rule rule) {
    for (size_t group = from; group < to; group += 16) {
        const size_t end = std::min(to, group + 16);
        unsigned word = 0;
        for (size_t x = group; x < end; ++x) {
            word |= static_cast<unsigned>(rule(b + x * 3, s + x * 3)) << (x - group);
        }
        marks[group / 16] = static_cast<uint16_t>(word);
    }
}

// AddMax: each channel takes the larger value; changed when one rose.
struct AddMaxPixel {
    template <typename T>
    bool operator()(T* pb, const T* ps) const {
        const bool raised = (ps[0] > pb[0]) | (ps[1] > pb[1]) | (ps[2] > pb[2]);
        pb[0] = ps[0] > pb[0] ? ps[0] : pb[0];
        pb[1] = ps[1] > pb[1] ? ps[1] : pb[1];
        pb[2] = ps[2] > pb[2] ? ps[2] : pb[2];
        return raised;
    }
};

// AddMaxLum: the brighter pixel replaces the other whole.
struct AddMaxLumPixel {
    template <typename T>
    bool operator()(T* pb, const T* ps) const {
        if (Luminosity(ps[0], ps[1], ps[2]) <= Luminosity(pb[0], pb[1], pb[2])) {
            return false;
        }
        pb[0] = ps[0];
        pb[1] = ps[1];
        pb[2] = ps[2];
        return true;
    }
};

template <typename T>
void AddMaxMarkScalar(T* b, const T* s, uint16_t* marks, size_t from, size_t to) {
    MergeMarkScalar(b, s, marks, from, to, AddMaxPixel{});
}

// Cells [from, to) take the value of the last plane (of `count`) that
// marks them; a cell no plane marks keeps its value, or takes `fill` when
// `fresh` (its old value is then never read).
template <typename Cell>
void FoldScalar(const uint16_t* const* planes, int count, const uint32_t* values, Cell* cells,
                size_t from, size_t to, bool fresh, uint32_t fill) {
    for (size_t p = from; p < to; ++p) {
        uint32_t value = fresh ? fill : cells[p];
        const size_t word = p / 16;
        const unsigned bit = 1u << (p % 16);
        for (int k = 0; k < count; ++k) {
            value = (planes[k][word] & bit) != 0 ? values[k] : value;
        }
        cells[p] = static_cast<Cell>(value);
    }
}

#if defined(__x86_64__) || defined(__i386__)

// kGather[r]: for pixel p of a 16-pixel group, the position of its first
// byte in register r (bytes 16r .. 16r + 15 of the group), or 0x80 (none).
struct GatherMasks {
    alignas(16) uint8_t bytes[3][16];
    GatherMasks() : bytes() {
        for (int r = 0; r < 3; ++r) {
            for (int p = 0; p < 16; ++p) {
                const int at = 3 * p - 16 * r;
                bytes[r][p] = at >= 0 && at < 16 ? static_cast<uint8_t>(at) : 0x80;
            }
        }
    }
};
const GatherMasks kGather;

// 16 pixels (48 bytes) at a time. The maximum is taken byte by byte; the
// bytes it raised are or-ed with their next two neighbours, so that the
// first byte of each pixel tells whether any of its channels rose, and byte
// shuffles gather those first bytes into one flag per pixel, whose top bits
// make the group's word of marks.
__attribute__((target("ssse3"))) void AddMaxMarkSsse3(uint8_t* b, const uint8_t* s, uint16_t* marks,
                                                      size_t count) {
    const __m128i zero = _mm_setzero_si128();
    // Read once: the stores below could alias the table as far as the
    // compiler knows.
    const __m128i gather[3] = {_mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[0])),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[1])),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[2]))};
    size_t x = 0;
    for (; x + 16 <= count; x += 16) {
        uint8_t* pb = b + x * 3;
        const uint8_t* ps = s + x * 3;
        __m128i rose[3];
        for (int r = 0; r < 3; ++r) {
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 16 * r));
            const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ps + 16 * r));
            const __m128i vmax = _mm_max_epu8(vb, vs);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pb + 16 * r), vmax);
            // 0xFF where the byte rose: the maximum differs from the old byte.
            rose[r] = _mm_andnot_si128(_mm_cmpeq_epi8(vmax, vb), _mm_set1_epi8(-1));
        }
        // Byte i or-ed with bytes i + 1 and i + 2 of the group (the last
        // register's tail takes zeros: no pixel starts there).
        const __m128i next[3] = {rose[1], rose[2], zero};
        __m128i flags = zero;
        for (int r = 0; r < 3; ++r) {
            const __m128i any =
                _mm_or_si128(rose[r], _mm_or_si128(_mm_alignr_epi8(next[r], rose[r], 1),
                                                   _mm_alignr_epi8(next[r], rose[r], 2)));
            flags = _mm_or_si128(flags, _mm_shuffle_epi8(any, gather[r]));
        }
        marks[x / 16] = static_cast<uint16_t>(_mm_movemask_epi8(flags));
    }
    AddMaxMarkScalar(b, s, marks, x, count);
}

// The same 32 pixels (96 bytes) at a time. The maxima are taken over whole
// registers; the rise flags are then regrouped so that each 128-bit half
// holds the 48 bytes of one 16-pixel group, which the gathering above
// handles half by half.
__attribute__((target("avx2"))) void AddMaxMarkAvx2(uint8_t* b, const uint8_t* s, uint16_t* marks,
                                                    size_t count) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i gather[3];
    for (int r = 0; r < 3; ++r) {
        gather[r] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(kGather.bytes[r])));
    }
    size_t x = 0;
    for (; x + 32 <= count; x += 32) {
        uint8_t* pb = b + x * 3;
        const uint8_t* ps = s + x * 3;
        __m256i rose[3];
        for (int r = 0; r < 3; ++r) {
            const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb + 32 * r));
            const __m256i vs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ps + 32 * r));
            const __m256i vmax = _mm256_max_epu8(vb, vs);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pb + 32 * r), vmax);
            rose[r] = _mm256_andnot_si256(_mm256_cmpeq_epi8(vmax, vb), _mm256_set1_epi8(-1));
        }
        // Bytes 0-15 | 48-63, 16-31 | 64-79, 32-47 | 80-95.
        const __m256i group[3] = {_mm256_permute2x128_si256(rose[0], rose[1], 0x30),
                                  _mm256_permute2x128_si256(rose[0], rose[2], 0x21),
                                  _mm256_permute2x128_si256(rose[1], rose[2], 0x30)};
        const __m256i next[3] = {group[1], group[2], zero};
        __m256i flags = zero;
        for (int r = 0; r < 3; ++r) {
            const __m256i any = _mm256_or_si256(
                group[r], _mm256_or_si256(_mm256_alignr_epi8(next[r], group[r], 1),
                                          _mm256_alignr_epi8(next[r], group[r], 2)));
            flags = _mm256_or_si256(flags, _mm256_shuffle_epi8(any, gather[r]));
        }
        const auto words = static_cast<uint32_t>(_mm256_movemask_epi8(flags));
        std::memcpy(marks + x / 16, &words, sizeof words);
    }
    AddMaxMarkSsse3(b + x * 3, s + x * 3, marks + x / 16, count - x);
}

// tables.bytes[j][n]: byte j of the cell value of plane number n, 1 ..
// count; number 0 (no plane) stands for `fill`.
struct ValueTables {
    alignas(16) uint8_t bytes[4][16];
    ValueTables(const uint32_t* values, int count, uint32_t fill) : bytes() {
        for (int n = 0; n < 16; ++n) {
            const uint32_t value = n == 0 ? fill : n <= count ? values[n - 1] : 0;
            for (int j = 0; j < 4; ++j) {
                bytes[j][n] = static_cast<uint8_t>(value >> (8 * j));
            }
        }
    }
};

// 16 cells at a time. The number (1 ..) of the last plane that marks each
// pixel is found byte by byte: each plane's word is spread over the 16
// bytes, one bit each, and the larger number kept. Byte shuffles then look
// each number's value up in tables, one per byte of the cell, and
// interleave those bytes into the cells; number 0 (no plane) keeps the
// cell, or takes `fill` when `fresh`.
template <typename Cell, bool kFresh>
__attribute__((target("ssse3"))) void FoldSsse3(const uint16_t* const* planes, int count,
                                                const uint32_t* values, Cell* cells, size_t size,
                                                uint32_t fill) {
    constexpr int kBytes = sizeof(Cell);
    const ValueTables tables(values, count, fill);
    __m128i table[kBytes];
    for (int j = 0; j < kBytes; ++j) {
        table[j] = _mm_load_si128(reinterpret_cast<const __m128i*>(tables.bytes[j]));
    }
    const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m128i bits = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    const size_t groups = size / 16;
    for (size_t g = 0; g < groups; ++g) {
        __m128i last = zero;
        __m128i number = zero;
        for (int k = 0; k < count; ++k) {
            number = _mm_add_epi8(number, one);
            __m128i marked = _mm_shuffle_epi8(_mm_cvtsi32_si128(planes[k][g]), spread);
            marked = _mm_cmpeq_epi8(_mm_and_si128(marked, bits), bits);
            last = _mm_max_epu8(last, _mm_and_si128(marked, number));
        }
        __m128i b[kBytes];
        for (int j = 0; j < kBytes; ++j) {
            b[j] = _mm_shuffle_epi8(table[j], last);
        }
        // Byte j of every cell from b[j]; the same spreading makes a mask of
        // whole cells from the bytes of `keep`.
        const __m128i keep = _mm_cmpeq_epi8(last, zero);
        constexpr int kRegisters = kBytes;  // 16 cells of kBytes bytes
        __m128i out[kRegisters];
        __m128i keeps[kRegisters];
        if constexpr (kBytes == 2) {
            out[0] = _mm_unpacklo_epi8(b[0], b[1]);
            out[1] = _mm_unpackhi_epi8(b[0], b[1]);
            keeps[0] = _mm_unpacklo_epi8(keep, keep);
            keeps[1] = _mm_unpackhi_epi8(keep, keep);
        } else {
            const __m128i low01 = _mm_unpacklo_epi8(b[0], b[1]);
            const __m128i high01 = _mm_unpackhi_epi8(b[0], b[1]);
            const __m128i low23 = _mm_unpacklo_epi8(b[2], b[3]);
            const __m128i high23 = _mm_unpackhi_epi8(b[2], b[3]);
            out[0] = _mm_unpacklo_epi16(low01, low23);
            out[1] = _mm_unpackhi_epi16(low01, low23);
            out[2] = _mm_unpacklo_epi16(high01, high23);
            out[3] = _mm_unpackhi_epi16(high01, high23);
            const __m128i keepLow = _mm_unpacklo_epi8(keep, keep);
            const __m128i keepHigh = _mm_unpackhi_epi8(keep, keep);
            keeps[0] = _mm_unpacklo_epi16(keepLow, keepLow);
            keeps[1] = _mm_unpackhi_epi16(keepLow, keepLow);
            keeps[2] = _mm_unpacklo_epi16(keepHigh, keepHigh);
            keeps[3] = _mm_unpackhi_epi16(keepHigh, keepHigh);
        }
        auto* cell = reinterpret_cast<__m128i*>(cells + g * 16);
        for (int i = 0; i < kRegisters; ++i) {
            if constexpr (!kFresh) {
                const __m128i old = _mm_loadu_si128(cell + i);
                out[i] =
                    _mm_or_si128(_mm_and_si128(keeps[i], old), _mm_andnot_si128(keeps[i], out[i]));
            }
            _mm_storeu_si128(cell + i, out[i]);
        }
    }
    FoldScalar(planes, count, values, cells, groups * 16, size, kFresh, fill);
}

// Pixels 0-3 | 16-19, 4-7 | 20-23, 8-11 | 24-27, 12-15 | 28-31 of four
// registers to 0-7, 8-15, 16-23, 24-31.
__attribute__((target("avx2"))) inline void InOrder(const __m256i (&q)[4], __m256i (&out)[4]) {
    out[0] = _mm256_permute2x128_si256(q[0], q[1], 0x20);
    out[1] = _mm256_permute2x128_si256(q[2], q[3], 0x20);
    out[2] = _mm256_permute2x128_si256(q[0], q[1], 0x31);
    out[3] = _mm256_permute2x128_si256(q[2], q[3], 0x31);
}

// The same 32 cells at a time, each 128-bit half of a register holding 16
// of them; the halves are put back in order before the cells are stored.
template <typename Cell, bool kFresh>
__attribute__((target("avx2"))) void FoldAvx2(const uint16_t* const* planes, int count,
                                              const uint32_t* values, Cell* cells, size_t size,
                                              uint32_t fill) {
    constexpr int kBytes = sizeof(Cell);
    const ValueTables tables(values, count, fill);
    __m256i table[kBytes];
    for (int j = 0; j < kBytes; ++j) {
        table[j] = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(tables.bytes[j])));
    }
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                            2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i bits =
        _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16,
                         32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i zero = _mm256_setzero_si256();
    const size_t pairs = size / 32;
    for (size_t g = 0; g < pairs; ++g) {
        __m256i last = zero;
        __m256i number = zero;
        for (int k = 0; k < count; ++k) {
            number = _mm256_add_epi8(number, one);
            uint32_t words = 0;
            std::memcpy(&words, planes[k] + 2 * g, sizeof words);
            __m256i marked =
                _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(words)), spread);
            marked = _mm256_cmpeq_epi8(_mm256_and_si256(marked, bits), bits);
            last = _mm256_max_epu8(last, _mm256_and_si256(marked, number));
        }
        __m256i b[kBytes];
        for (int j = 0; j < kBytes; ++j) {
            b[j] = _mm256_shuffle_epi8(table[j], last);
        }
        const __m256i keep = _mm256_cmpeq_epi8(last, zero);
        constexpr int kRegisters = kBytes;  // 32 cells of kBytes bytes
        __m256i out[kRegisters];
        __m256i keeps[kRegisters];
        if constexpr (kBytes == 2) {
            // Cells 0-7 | 16-23 and 8-15 | 24-31.
            const __m256i low = _mm256_unpacklo_epi8(b[0], b[1]);
            const __m256i high = _mm256_unpackhi_epi8(b[0], b[1]);
            out[0] = _mm256_permute2x128_si256(low, high, 0x20);
            out[1] = _mm256_permute2x128_si256(low, high, 0x31);
            const __m256i keepLow = _mm256_unpacklo_epi8(keep, keep);
            const __m256i keepHigh = _mm256_unpackhi_epi8(keep, keep);
            keeps[0] = _mm256_permute2x128_si256(keepLow, keepHigh, 0x20);
            keeps[1] = _mm256_permute2x128_si256(keepLow, keepHigh, 0x31);
        } else {
            const __m256i low01 = _mm256_unpacklo_epi8(b[0], b[1]);
            const __m256i high01 = _mm256_unpackhi_epi8(b[0], b[1]);
            const __m256i low23 = _mm256_unpacklo_epi8(b[2], b[3]);
            const __m256i high23 = _mm256_unpackhi_epi8(b[2], b[3]);
            const __m256i quarters[4] = {
                _mm256_unpacklo_epi16(low01, low23), _mm256_unpackhi_epi16(low01, low23),
                _mm256_unpacklo_epi16(high01, high23), _mm256_unpackhi_epi16(high01, high23)};
            InOrder(quarters, out);
            const __m256i keepLow = _mm256_unpacklo_epi8(keep, keep);
            const __m256i keepHigh = _mm256_unpackhi_epi8(keep, keep);
            const __m256i keepQuarters[4] = {_mm256_unpacklo_epi16(keepLow, keepLow),
                                             _mm256_unpackhi_epi16(keepLow, keepLow),
                                             _mm256_unpacklo_epi16(keepHigh, keepHigh),
                                             _mm256_unpackhi_epi16(keepHigh, keepHigh)};
            InOrder(keepQuarters, keeps);
        }
        auto* cell = reinterpret_cast<__m256i*>(cells + g * 32);
        for (int i = 0; i < kRegisters; ++i) {
            if constexpr (!kFresh) {
                out[i] = _mm256_blendv_epi8(out[i], _mm256_loadu_si256(cell + i), keeps[i]);
            }
            _mm256_storeu_si256(cell + i, out[i]);
        }
    }
    FoldScalar(planes, count, values, cells, pairs * 32, size, kFresh, fill);
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return widest >= MapKernels::kAvx2 && have;
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return widest >= MapKernels::kSsse3 && have;
}

#endif

// Folds `count` planes (at most 15), plane k made by the frame whose cell
// value is values[k], into `size` cells: see FoldScalar.
template <typename Cell>
void FoldPlanes(const uint16_t* const* planes, int count, const uint32_t* values, Cell* cells,
                size_t size, bool fresh, uint32_t fill) {
#if defined(__x86_64__) || defined(__i386__)
    if (HaveAvx2()) {
        if (fresh) {
            FoldAvx2<Cell, true>(planes, count, values, cells, size, fill);
        } else {
            FoldAvx2<Cell, false>(planes, count, values, cells, size, fill);
        }
        return;
    }
    if (HaveSsse3()) {
        if (fresh) {
            FoldSsse3<Cell, true>(planes, count, values, cells, size, fill);
        } else {
            FoldSsse3<Cell, false>(planes, count, values, cells, size, fill);
        }
        return;
    }
#endif
    FoldScalar(planes, count, values, cells, 0, size, fresh, fill);
}

}  // namespace

size_t PlaneWords(size_t pixels) {
    return (pixels + 15) / 16;
}

// Merges source into buffer with AddMax (addMax) or AddMaxLum, marking in
// `marks` (PlaneWords of the picture's pixels) the pixels it changed. The
// caller has checked the sizes.
void MergeMarking(bool addMax, RgbImage& source, RgbImage& buffer, uint16_t* marks) {
    ConvertTo24Bit(source);
    const size_t count = static_cast<size_t>(buffer.Width()) * buffer.Height();
    if (buffer.Depth() == 16) {
        // The same rules on 16-bit samples; the 8-bit loops stay as they are.
        uint16_t* b16 = buffer.Row16(0);
        const uint16_t* s16 = source.Row16(0);
        if (addMax) {
            AddMaxMarkScalar(b16, s16, marks, 0, count);
        } else {
            MergeMarkScalar(b16, s16, marks, 0, count, AddMaxLumPixel{});
        }
        return;
    }
    uint8_t* b = buffer.Row(0);
    const uint8_t* s = source.Row(0);
    if (!addMax) {
        MergeMarkScalar(b, s, marks, 0, count, AddMaxLumPixel{});
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    if (HaveAvx2()) {
        AddMaxMarkAvx2(b, s, marks, count);
        return;
    }
    if (HaveSsse3()) {
        AddMaxMarkSsse3(b, s, marks, count);
        return;
    }
#endif
    AddMaxMarkScalar(b, s, marks, 0, count);
}

// Folds the planes into the map's cells, widening them first when a value
// needs it. False when memory for that runs out.
bool FoldInto(FrameMap& map, const uint16_t* const* planes, int count, const uint32_t* values,
              bool fresh, uint32_t fill) {
    const uint32_t largest =
        std::max(fresh ? fill : 0, count > 0 ? *std::max_element(values, values + count) : 0);
    if (largest > FrameMap::kNarrowMax && !map.Widen()) {
        return false;
    }
    const size_t size = static_cast<size_t>(map.Width()) * map.Height();
    if (uint16_t* narrow = map.NarrowCells()) {
        FoldPlanes(planes, count, values, narrow, size, fresh, fill);
    } else {
        FoldPlanes(planes, count, values, map.WideCells(), size, fresh, fill);
    }
    return true;
}

namespace {

bool MergeRecording(bool addMax, RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    if (!CanCombine(source, buffer) || !map.SameSize(buffer) || index < 0) {
        return false;
    }
    const uint32_t value = static_cast<uint32_t>(index) + 1;
    std::vector<uint16_t> marks;
    try {
        marks.resize(PlaneWords(static_cast<size_t>(buffer.Width()) * buffer.Height()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Widened before the merge: nothing is merged that cannot be recorded.
    if (value > FrameMap::kNarrowMax && !map.Widen()) {
        return false;
    }
    MergeMarking(addMax, source, buffer, marks.data());
    const uint16_t* planes[1] = {marks.data()};
    return FoldInto(map, planes, 1, &value, false, 0);
}

}  // namespace

void LimitFrameMapKernels(MapKernels kernels) {
    widest = kernels;
}

bool AddMaxRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    return MergeRecording(true, source, buffer, map, index);
}

bool AddMaxLumRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index) {
    return MergeRecording(false, source, buffer, map, index);
}

}  // namespace nocturo
