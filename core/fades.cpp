#include "core/fades.h"

#include <cmath>

namespace nocturo {

namespace {

template <typename T>
[[gnu::noinline]] void Weigh(RgbImage& frame, uint32_t factor) {
    const int samples = frame.Width() * 3;
    for (int y = 0; y < frame.Height(); ++y) {
        T* __restrict s;
        if constexpr (sizeof(T) == 1) {
            s = frame.Row(y);
        } else {
            s = frame.Row16(y);
        }
        for (int x = 0; x < samples; ++x) {
            // At most 65535 * 65536 + 32768: within 32 bits.
            s[x] = static_cast<T>((s[x] * factor + 32768u) >> 16);
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
    if (frame.Depth() == 16) {
        Weigh<uint16_t>(frame, factor);
    } else {
        Weigh<uint8_t>(frame, factor);
    }
}

}  // namespace nocturo
