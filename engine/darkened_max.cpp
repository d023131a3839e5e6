#include "engine/darkened_max.h"

#include "engine/block_frame.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NOCTURO_X86 1
#endif

namespace nocturo {

namespace {

// Bytes of output one piece of the merge holds: half of a typical L2
// cache, so that the piece stays put while every source streams past it.
constexpr size_t kPieceBytes = 1024 * 1024;
constexpr size_t kTileBytes = size_t{kMaxTile} * 3;

void ScalarBytes(const uint8_t* source, uint8_t* destination, size_t count, uint8_t d) {
    for (size_t k = 0; k < count; ++k) {
        const uint8_t s = source[k];
        const uint8_t v = s > d ? static_cast<uint8_t>(s - d) : 0;
        destination[k] = std::max(destination[k], v);
    }
}

#ifdef NOCTURO_X86
__attribute__((target("avx2"))) void Avx2Bytes(const uint8_t* source, uint8_t* destination,
                                               size_t count, uint8_t d) {
    const __m256i dd = _mm256_set1_epi8(static_cast<char>(d));
    size_t k = 0;
    for (; k + 64 <= count; k += 64) {
        const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + k));
        const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + k + 32));
        __m256i* p0 = reinterpret_cast<__m256i*>(destination + k);
        __m256i* p1 = reinterpret_cast<__m256i*>(destination + k + 32);
        _mm256_storeu_si256(p0, _mm256_max_epu8(_mm256_loadu_si256(p0), _mm256_subs_epu8(s0, dd)));
        _mm256_storeu_si256(p1, _mm256_max_epu8(_mm256_loadu_si256(p1), _mm256_subs_epu8(s1, dd)));
    }
    ScalarBytes(source + k, destination + k, count - k, d);
}

__attribute__((target("avx512bw"))) void Avx512Bytes(const uint8_t* source, uint8_t* destination,
                                                     size_t count, uint8_t d) {
    const __m512i dd = _mm512_set1_epi8(static_cast<char>(d));
    size_t k = 0;
    for (; k + 128 <= count; k += 128) {
        const __m512i s0 = _mm512_loadu_si512(source + k);
        const __m512i s1 = _mm512_loadu_si512(source + k + 64);
        _mm512_storeu_si512(destination + k, _mm512_max_epu8(_mm512_loadu_si512(destination + k),
                                                             _mm512_subs_epu8(s0, dd)));
        _mm512_storeu_si512(
            destination + k + 64,
            _mm512_max_epu8(_mm512_loadu_si512(destination + k + 64), _mm512_subs_epu8(s1, dd)));
    }
    Avx2Bytes(source + k, destination + k, count - k, d);
}

void Sse2Bytes(const uint8_t* source, uint8_t* destination, size_t count, uint8_t d) {
    const __m128i dd = _mm_set1_epi8(static_cast<char>(d));
    size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + k));
        __m128i* p = reinterpret_cast<__m128i*>(destination + k);
        _mm_storeu_si128(p, _mm_max_epu8(_mm_loadu_si128(p), _mm_subs_epu8(s, dd)));
    }
    ScalarBytes(source + k, destination + k, count - k, d);
}

// A whole block: rows of kTileBytes, the source's back to back. The row
// length is known, so each row is a few vector operations without a call.
__attribute__((target("avx512bw"))) void Avx512Block(const uint8_t* source, uint8_t* destination,
                                                     size_t stride, int rows, uint8_t d) {
    const __m512i dd = _mm512_set1_epi8(static_cast<char>(d));
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = source + static_cast<size_t>(y) * kTileBytes;
        uint8_t* t = destination + static_cast<size_t>(y) * stride;
        for (size_t k = 0; k < kTileBytes; k += 64) {
            _mm512_storeu_si512(t + k,
                                _mm512_max_epu8(_mm512_loadu_si512(t + k),
                                                _mm512_subs_epu8(_mm512_loadu_si512(s + k), dd)));
        }
    }
}

__attribute__((target("avx2"))) void Avx2Block(const uint8_t* source, uint8_t* destination,
                                               size_t stride, int rows, uint8_t d) {
    const __m256i dd = _mm256_set1_epi8(static_cast<char>(d));
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = source + static_cast<size_t>(y) * kTileBytes;
        uint8_t* t = destination + static_cast<size_t>(y) * stride;
        for (size_t k = 0; k < kTileBytes; k += 32) {
            auto* p = reinterpret_cast<__m256i*>(t + k);
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k));
            _mm256_storeu_si256(p, _mm256_max_epu8(_mm256_loadu_si256(p), _mm256_subs_epu8(v, dd)));
        }
    }
}

void Sse2Block(const uint8_t* source, uint8_t* destination, size_t stride, int rows, uint8_t d) {
    for (int y = 0; y < rows; ++y) {
        Sse2Bytes(source + static_cast<size_t>(y) * kTileBytes,
                  destination + static_cast<size_t>(y) * stride, kTileBytes, d);
    }
}

using BlockFunction = void (*)(const uint8_t*, uint8_t*, size_t, int, uint8_t);

BlockFunction ChooseBlock() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw")) {
        return Avx512Block;
    }
    return __builtin_cpu_supports("avx2") ? Avx2Block : Sse2Block;
}

using BytesFunction = void (*)(const uint8_t*, uint8_t*, size_t, uint8_t);

BytesFunction ChooseBytes() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw")) {
        return Avx512Bytes;
    }
    return __builtin_cpu_supports("avx2") ? Avx2Bytes : Sse2Bytes;
}
#endif

}  // namespace

int DarkeningValue(int n, int a, int depth) {
    if (n < 1) {
        return 0;
    }
    const double white = depth == 16 ? 65535.0 : 255.0;
    // nearbyint rounds halves to even in the default rounding mode.
    const double d = std::nearbyint(static_cast<double>(n - a) * white / n - 1.0) + 1.0;
    return static_cast<int>(std::clamp(d, 0.0, white));
}

void DarkenedMaxBytes(const uint8_t* source, uint8_t* destination, size_t count, uint8_t d) {
#ifdef NOCTURO_X86
    static const BytesFunction bytes = ChooseBytes();
    bytes(source, destination, count, d);
#else
    ScalarBytes(source, destination, count, d);
#endif
}

namespace {

/// Runs work(piece) for pieces 0..count-1 on up to `threads` threads, the
/// calling one included.
template <typename Work>
void ForEachPiece(int count, int threads, const Work& work) {
    std::atomic<int> next{0};
    auto loop = [&] {
        for (int piece = next++; piece < count; piece = next++) {
            work(piece);
        }
    };
    const int helpers = std::min(std::max(threads, 1), count) - 1;
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(std::max(helpers, 0)));
    try {
        for (int k = 0; k < helpers; ++k) {
            pool.emplace_back(loop);
        }
    } catch (const std::system_error&) {
        // Fewer threads: the calling thread does the rest.
    }
    loop();
    for (std::thread& t : pool) {
        t.join();
    }
}

uint8_t BytesMax(const uint8_t* bytes, size_t count) {
    size_t k = 0;
    uint8_t best = 0;
#ifdef NOCTURO_X86
    if (count >= 16) {
        __m128i m = _mm_setzero_si128();
        for (; k + 16 <= count; k += 16) {
            m = _mm_max_epu8(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k)));
        }
        m = _mm_max_epu8(m, _mm_srli_si128(m, 8));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 4));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 2));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 1));
        best = static_cast<uint8_t>(_mm_cvtsi128_si32(m) & 0xFF);
    }
#endif
    for (; k < count; ++k) {
        best = std::max(best, bytes[k]);
    }
    return best;
}

/// The pieces of a merge: a piece is a run of whole blocks of one row of
/// blocks, as wide as lets `outputs` outputs' share of it stay in the cache.
struct Pieces {
    int width = 0;
    int height = 0;
    int tileColumns = 0;
    int tileRows = 0;
    int columnsPerPiece = 0;
    int piecesPerRow = 0;

    Pieces(int w, int h, size_t outputs) : width(w), height(h) {
        tileColumns = (w + kMaxTile - 1) / kMaxTile;
        tileRows = (h + kMaxTile - 1) / kMaxTile;
        const size_t blockBytes = kTileBytes * kMaxTile * std::max<size_t>(outputs, 1);
        columnsPerPiece = static_cast<int>(
            std::clamp<size_t>(kPieceBytes / blockBytes, 1, static_cast<size_t>(tileColumns)));
        piecesPerRow = (tileColumns + columnsPerPiece - 1) / columnsPerPiece;
    }
    int Count() const { return piecesPerRow * tileRows; }
};

/// Merges a source into the output over the blocks [c0, c1) of block row
/// `tileRow`, skipping every block whose brightest sample the darkening
/// wipes out; runs of blocks that are merged go row by row in one call.
void MergePiece(const RgbImage& source, const TileMaxima* maxima, uint8_t d, RgbImage& output,
                int tileRow, int c0, int c1) {
    const int width = output.Width();
    const int y0 = tileRow * kMaxTile;
    const int y1 = std::min(output.Height(), y0 + kMaxTile);
    int c = c0;
    while (c < c1) {
        if (maxima != nullptr) {
            while (c < c1 && maxima->At(c, tileRow) <= d) {
                ++c;
            }
        }
        if (c == c1) {
            break;
        }
        const int runStart = c;
        ++c;
        if (maxima != nullptr) {
            while (c < c1 && maxima->At(c, tileRow) > d) {
                ++c;
            }
        } else {
            c = c1;
        }
        const size_t offset = static_cast<size_t>(runStart) * kTileBytes;
        const size_t end =
            std::min(static_cast<size_t>(c) * kMaxTile, static_cast<size_t>(width)) * 3;
        for (int y = y0; y < y1; ++y) {
            DarkenedMaxBytes(source.Row(y) + offset, output.Row(y) + offset, end - offset, d);
        }
    }
}

/// Merges a block as wide as kTileBytes into the output rows below
/// destination, `stride` apart.
void MergeFullBlock(const uint8_t* block, uint8_t* destination, size_t stride, int rows,
                    uint8_t d) {
#ifdef NOCTURO_X86
    static const BlockFunction merge = ChooseBlock();
    merge(block, destination, stride, rows, d);
#else
    for (int y = 0; y < rows; ++y) {
        DarkenedMaxBytes(block + static_cast<size_t>(y) * kTileBytes,
                         destination + static_cast<size_t>(y) * stride, kTileBytes, d);
    }
#endif
}

/// As MergePiece for a frame kept as blocks: a block given back is one
/// that no darkening still to come shows.
void MergeBlocks(const BlockFrame& source, uint8_t d, RgbImage& output, int tileRow, int c0,
                 int c1) {
    const int y0 = tileRow * kMaxTile;
    const int rows = std::min(output.Height() - y0, kMaxTile);
    for (int c = c0; c < c1; ++c) {
        const uint8_t* block = source.Block(c, tileRow);
        if (block == nullptr || source.maxima.At(c, tileRow) <= d) {
            continue;
        }
        const size_t offset = static_cast<size_t>(c) * kTileBytes;
        const size_t bytes = std::min(kTileBytes, output.Stride() - offset);
        if (bytes == kTileBytes) {
            MergeFullBlock(block, output.Row(y0) + offset, output.Stride(), rows, d);
            continue;
        }
        for (int y = 0; y < rows; ++y) {
            DarkenedMaxBytes(block + static_cast<size_t>(y) * kTileBytes,
                             output.Row(y0 + y) + offset, bytes, d);
        }
    }
}

/// True when a frame kept as blocks has the output's size.
bool BlocksFit(const BlockFrame* blocks, const Pieces& pieces) {
    return blocks != nullptr && blocks->width == pieces.width && blocks->height == pieces.height &&
           blocks->maxima.columns == pieces.tileColumns && blocks->maxima.rows == pieces.tileRows &&
           blocks->blocks.size() == blocks->maxima.values.size();
}

/// The source's maxima when they describe a picture of the output's size;
/// otherwise null, and the source is merged whole.
const TileMaxima* UsableMaxima(const TileMaxima* maxima, const Pieces& pieces) {
    if (maxima == nullptr || maxima->columns != pieces.tileColumns ||
        maxima->rows != pieces.tileRows ||
        maxima->values.size() !=
            static_cast<size_t>(pieces.tileColumns) * static_cast<size_t>(pieces.tileRows)) {
        return nullptr;
    }
    return maxima;
}

}  // namespace

void TileRowMaxima(const RgbImage& image, int tileRow, uint8_t* out) {
    const int w = image.Width();
    const int h = image.Height();
    if (w <= 0 || h <= 0) {
        return;
    }
    const int columns = (w + kMaxTile - 1) / kMaxTile;
    const int y0 = tileRow * kMaxTile;
    const int y1 = std::min(h, y0 + kMaxTile);
    const size_t stride = image.Stride();
    std::fill(out, out + columns, uint8_t{0});
    int c = 0;
#ifdef NOCTURO_X86
    // Whole blocks: sixteen running maxima per block, folded once at the end.
    const int full = static_cast<int>(stride / kTileBytes);
    std::vector<uint8_t> best(static_cast<size_t>(full) * 16, 0);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = image.Row(y);
        for (int k = 0; k < full; ++k) {
            const auto* p =
                reinterpret_cast<const __m128i*>(row + static_cast<size_t>(k) * kTileBytes);
            auto* slot = reinterpret_cast<__m128i*>(best.data() + static_cast<size_t>(k) * 16);
            __m128i m = _mm_loadu_si128(slot);
            for (size_t v = 0; v < kTileBytes / 16; ++v) {
                m = _mm_max_epu8(m, _mm_loadu_si128(p + v));
            }
            _mm_storeu_si128(slot, m);
        }
    }
    for (int k = 0; k < full; ++k) {
        const uint8_t* bytes = best.data() + static_cast<size_t>(k) * 16;
        out[k] = *std::max_element(bytes, bytes + 16);
    }
    c = full;
#endif
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = image.Row(y);
        for (int k = c; k < columns; ++k) {
            const size_t offset = static_cast<size_t>(k) * kTileBytes;
            const size_t count = std::min(kTileBytes, stride - offset);
            out[k] = std::max(out[k], BytesMax(row + offset, count));
        }
    }
}

TileMaxima ComputeTileMaxima(const RgbImage& image) {
    TileMaxima maxima;
    const int w = image.Width();
    const int h = image.Height();
    if (w <= 0 || h <= 0) {
        return maxima;
    }
    maxima.columns = (w + kMaxTile - 1) / kMaxTile;
    maxima.rows = (h + kMaxTile - 1) / kMaxTile;
    maxima.values.assign(static_cast<size_t>(maxima.columns) * static_cast<size_t>(maxima.rows), 0);
    for (int r = 0; r < maxima.rows; ++r) {
        TileRowMaxima(
            image, r,
            maxima.values.data() + static_cast<size_t>(r) * static_cast<size_t>(maxima.columns));
    }
    return maxima;
}

void MergeDarkenedShared(std::span<RgbImage* const> outputs, std::span<const SharedSource> sources,
                         int threads) {
    if (outputs.empty()) {
        return;
    }
    const int width = outputs[0]->Width();
    const int height = outputs[0]->Height();
    if (width <= 0 || height <= 0) {
        return;
    }
    const Pieces pieces(width, height, outputs.size());
    ForEachPiece(pieces.Count(), threads, [&](int piece) {
        const int tileRow = piece / pieces.piecesPerRow;
        const int c0 = (piece % pieces.piecesPerRow) * pieces.columnsPerPiece;
        const int c1 = std::min(pieces.tileColumns, c0 + pieces.columnsPerPiece);
        const int y0 = tileRow * kMaxTile;
        const int y1 = std::min(height, y0 + kMaxTile);
        const size_t offset = static_cast<size_t>(c0) * kTileBytes;
        const size_t end =
            std::min(static_cast<size_t>(c1) * kMaxTile, static_cast<size_t>(width)) * 3;
        for (RgbImage* out : outputs) {
            for (int y = y0; y < y1; ++y) {
                std::fill(out->Row(y) + offset, out->Row(y) + end, uint8_t{0});
            }
        }
        for (const SharedSource& s : sources) {
            const bool blocks = BlocksFit(s.blocks, pieces);
            if (!blocks && s.image == nullptr) {
                continue;
            }
            const TileMaxima* maxima = UsableMaxima(s.maxima, pieces);
            for (const auto& [index, d] : s.targets) {
                if (d == 255) {
                    continue;  // adds nothing
                }
                RgbImage& out = *outputs[static_cast<size_t>(index)];
                if (blocks) {
                    MergeBlocks(*s.blocks, d, out, tileRow, c0, c1);
                } else {
                    MergePiece(*s.image, maxima, d, out, tileRow, c0, c1);
                }
            }
        }
    });
}

void MergeDarkened16(RgbImage& buffer, const RgbImage& source, int d, int threads) {
    const int height = buffer.Height();
    if (d >= 65535 || height <= 0 || buffer.Width() <= 0) {
        return;  // adds nothing
    }
    const auto dd = static_cast<uint16_t>(std::max(d, 0));
    const size_t count = static_cast<size_t>(buffer.Width()) * 3;
    constexpr int kBandRows = 16;
    ForEachPiece((height + kBandRows - 1) / kBandRows, threads, [&](int band) {
        const int y1 = std::min(height, (band + 1) * kBandRows);
        for (int y = band * kBandRows; y < y1; ++y) {
            const uint16_t* __restrict s = source.Row16(y);
            uint16_t* __restrict t = buffer.Row16(y);
            // One shape the compiler turns into saturating vector steps.
            for (size_t k = 0; k < count; ++k) {
                const uint16_t v = s[k] > dd ? static_cast<uint16_t>(s[k] - dd) : uint16_t{0};
                t[k] = t[k] > v ? t[k] : v;
            }
        }
    });
}

void MergeDarkened(RgbImage& buffer, std::span<const DarkenedSource> sources, int threads) {
    // A source darkened by 255 or more adds nothing: skip it.
    const int width = buffer.Width();
    const int height = buffer.Height();
    if (width <= 0 || height <= 0) {
        return;
    }
    const Pieces pieces(width, height, 1);
    std::vector<DarkenedSource> active;
    active.reserve(sources.size());
    for (DarkenedSource s : sources) {
        if (!BlocksFit(s.blocks, pieces)) {
            s.blocks = nullptr;
        }
        if ((s.image != nullptr || s.blocks != nullptr) && s.darkening < 255) {
            s.maxima = UsableMaxima(s.maxima, pieces);
            active.push_back(s);
        }
    }
    if (active.empty()) {
        return;
    }
    ForEachPiece(pieces.Count(), threads, [&](int piece) {
        const int tileRow = piece / pieces.piecesPerRow;
        const int c0 = (piece % pieces.piecesPerRow) * pieces.columnsPerPiece;
        const int c1 = std::min(pieces.tileColumns, c0 + pieces.columnsPerPiece);
        for (const DarkenedSource& s : active) {
            if (s.blocks != nullptr) {
                MergeBlocks(*s.blocks, s.darkening, buffer, tileRow, c0, c1);
            } else {
                MergePiece(*s.image, s.maxima, s.darkening, buffer, tileRow, c0, c1);
            }
        }
    });
}

}  // namespace nocturo
