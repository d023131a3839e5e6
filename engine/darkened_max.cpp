#include "engine/darkened_max.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NOCTURO_X86 1
#endif

namespace nocturo {

namespace {

// Bytes of the buffer one band holds: half a typical L2 cache, so that the
// band stays put while every source streams past it.
constexpr size_t kBandBytes = 256 * 1024;

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

int DarkeningValue(int n, int a) {
    if (n < 1) {
        return 0;
    }
    // nearbyint rounds halves to even in the default rounding mode.
    const double d = std::nearbyint(static_cast<double>(n - a) * 255.0 / n - 1.0) + 1.0;
    return static_cast<int>(std::clamp(d, 0.0, 255.0));
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

/// Runs work(band) for bands 0..bands-1 on up to `threads` threads, the
/// calling one included.
template <typename Work>
void ForEachBand(int bands, int threads, const Work& work) {
    std::atomic<int> nextBand{0};
    auto loop = [&] {
        for (int band = nextBand++; band < bands; band = nextBand++) {
            work(band);
        }
    };
    const int helpers = std::min(std::max(threads, 1), bands) - 1;
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

}  // namespace

void MergeDarkenedShared(std::span<RgbImage* const> outputs, std::span<const SharedSource> sources,
                         int threads) {
    if (outputs.empty()) {
        return;
    }
    const int height = outputs[0]->Height();
    const size_t stride = outputs[0]->Stride();
    if (height <= 0 || stride == 0) {
        return;
    }
    // The bands of all outputs stay in the cache while a source's band
    // streams past them.
    const size_t bandBytes = std::max<size_t>(kBandBytes / outputs.size(), stride);
    const int rowsPerBand =
        static_cast<int>(std::clamp<size_t>(bandBytes / stride, 1, static_cast<size_t>(height)));
    const int bands = (height + rowsPerBand - 1) / rowsPerBand;
    ForEachBand(bands, threads, [&](int band) {
        const int y0 = band * rowsPerBand;
        const int y1 = std::min(height, y0 + rowsPerBand);
        for (RgbImage* out : outputs) {
            for (int y = y0; y < y1; ++y) {
                std::fill_n(out->Row(y), stride, uint8_t{0});
            }
        }
        for (const SharedSource& s : sources) {
            for (const auto& [index, d] : s.targets) {
                if (d == 255) {
                    continue;  // adds nothing
                }
                RgbImage* out = outputs[static_cast<size_t>(index)];
                for (int y = y0; y < y1; ++y) {
                    DarkenedMaxBytes(s.image->Row(y), out->Row(y), stride, d);
                }
            }
        }
    });
}

void MergeDarkened(RgbImage& buffer, std::span<const DarkenedSource> sources, int threads) {
    // A source darkened by 255 or more adds nothing: skip it.
    std::vector<DarkenedSource> active;
    active.reserve(sources.size());
    for (const DarkenedSource& s : sources) {
        if (s.image != nullptr && s.darkening < 255) {
            active.push_back(s);
        }
    }
    const int height = buffer.Height();
    const size_t stride = buffer.Stride();
    if (active.empty() || height <= 0 || stride == 0) {
        return;
    }
    const int rowsPerBand =
        static_cast<int>(std::clamp<size_t>(kBandBytes / stride, 1, static_cast<size_t>(height)));
    const int bands = (height + rowsPerBand - 1) / rowsPerBand;
    ForEachBand(bands, threads, [&](int band) {
        const int y0 = band * rowsPerBand;
        const int y1 = std::min(height, y0 + rowsPerBand);
        for (const DarkenedSource& s : active) {
            for (int y = y0; y < y1; ++y) {
                DarkenedMaxBytes(s.image->Row(y), buffer.Row(y), stride, s.darkening);
            }
        }
    });
}

}  // namespace nocturo
