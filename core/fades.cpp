#include "core/fades.h"

#include <cmath>

#include "core/combine.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nocturo {

namespace {

// (v * f + 32768) >> 16 with f below 65536: the high half of the 16-bit
// product, plus one when its low half is at least 32768.
inline uint16_t Weighed(uint16_t v, uint16_t f) {
    const uint32_t p = static_cast<uint32_t>(v) * f;
    return static_cast<uint16_t>((p >> 16) + ((p >> 15) & 1u));
}

#if defined(__SSE2__)
// Eight 16-bit lanes at once; the compiler does not find the high-half
// multiply on its own.
inline __m128i Weighed(__m128i v, __m128i f) {
    const __m128i high = _mm_mulhi_epu16(v, f);
    const __m128i low = _mm_mullo_epi16(v, f);
    return _mm_add_epi16(high, _mm_srli_epi16(low, 15));
}
#endif

// Every channel of frame weighed, written to out: in place (out is the
// frame) or, with kMax, kept only where it exceeds out's.
template <typename T, bool kMax>
[[gnu::noinline]] void WeighRows(const RgbImage& frame, RgbImage& out, uint16_t f) {
    const int samples = frame.Width() * 3;
    for (int y = 0; y < frame.Height(); ++y) {
        const T* s;
        T* b;
        if constexpr (sizeof(T) == 1) {
            s = frame.Row(y);
            b = out.Row(y);
        } else {
            s = frame.Row16(y);
            b = out.Row16(y);
        }
        int x = 0;
#if defined(__SSE2__)
        const __m128i factor = _mm_set1_epi16(static_cast<short>(f));
        if constexpr (sizeof(T) == 1) {
            const __m128i zero = _mm_setzero_si128();
            for (; x + 16 <= samples; x += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
                const __m128i lo = Weighed(_mm_unpacklo_epi8(v, zero), factor);
                const __m128i hi = Weighed(_mm_unpackhi_epi8(v, zero), factor);
                __m128i w = _mm_packus_epi16(lo, hi);
                if constexpr (kMax) {
                    w = _mm_max_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x)), w);
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(b + x), w);
            }
        } else {
            for (; x + 8 <= samples; x += 8) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
                __m128i w = Weighed(v, factor);
                if constexpr (kMax) {
                    // The larger of unsigned 16-bit lanes, without SSE4.1.
                    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
                    w = _mm_adds_epu16(_mm_subs_epu16(w, old), old);
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(b + x), w);
            }
        }
#endif
        for (; x < samples; ++x) {
            const auto w = static_cast<T>(Weighed(static_cast<uint16_t>(s[x]), f));
            if (!kMax || w > b[x]) {
                b[x] = w;
            }
        }
    }
}

}  // namespace

uint32_t FadeMinimumFactor(double m) {
    if (!(m > 0)) {
        return 0;
    }
    if (m >= 1) {
        return kFullWeight;
    }
    return static_cast<uint32_t>(std::floor(m * kFullWeight + 0.5));
}

uint32_t FadeFactor(const FadeSettings& settings, int32_t k, int32_t frames) {
    if (k < 0 || k >= frames || !settings.Active()) {
        return kFullWeight;
    }
    // The weight as num / den; each factor is at most 10^6 + 1, so three of
    // them fit in 64 bits and the rounding below in 128.
    uint64_t num = 1;
    uint64_t den = 1;
    if (settings.fadeIn > 0 && k < settings.fadeIn) {
        num *= static_cast<uint64_t>(k) + 1;
        den *= static_cast<uint64_t>(settings.fadeIn) + 1;
    }
    if (settings.fadeOut > 0 && k >= frames - settings.fadeOut) {
        num *= static_cast<uint64_t>(frames - k);
        den *= static_cast<uint64_t>(settings.fadeOut) + 1;
    }
    if (settings.comet) {
        num *= static_cast<uint64_t>(k) + 1;
        den *= static_cast<uint64_t>(frames);
    }
    const unsigned __int128 scaled =
        (static_cast<unsigned __int128>(num) * (2 * kFullWeight) + den) / (2 * den);
    uint32_t factor = scaled >= kFullWeight ? kFullWeight : static_cast<uint32_t>(scaled);
    if (factor < settings.minimum) {
        factor = settings.minimum > kFullWeight ? kFullWeight : settings.minimum;
    }
    return factor;
}

void ApplyFadeFactor(RgbImage& frame, uint32_t factor) {
    if (factor >= kFullWeight || frame.Width() <= 0) {
        return;
    }
    const auto f = static_cast<uint16_t>(factor);
    if (frame.Depth() == 16) {
        WeighRows<uint16_t, false>(frame, frame, f);
    } else {
        WeighRows<uint8_t, false>(frame, frame, f);
    }
}

bool AddMaxWeighed(RgbImage& frame, RgbImage& result, uint32_t factor) {
    if (factor >= kFullWeight) {
        return AddMax(frame, result);
    }
    if (!CanCombine(frame, result)) {
        return false;
    }
    ConvertTo24Bit(frame);
    const auto f = static_cast<uint16_t>(factor);
    if (result.Depth() == 16) {
        WeighRows<uint16_t, true>(frame, result, f);
    } else {
        WeighRows<uint8_t, true>(frame, result, f);
    }
    return true;
}

}  // namespace nocturo
