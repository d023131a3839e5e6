#pragma once
// Fades over a whole night: every frame's pixels weighted before they are
// merged, so trails fade in, fade out or taper like a comet's tail. The
// weights are exact integer arithmetic, the same on every machine.

#include <cstdint>

#include "core/rgb_image.h"

namespace nocturo {

/// 1.0 as a weight factor: a frame of factor kFullWeight is left as it is.
inline constexpr uint32_t kFullWeight = 65536;

/// What fades a run applies.
struct FadeSettings {
    /// Frames of the fade in (0: none): frame k < fadeIn weighs (k+1)/(fadeIn+1).
    int32_t fadeIn = 0;
    /// Frames of the fade out (0: none), the mirror image of the fade in:
    /// frame k >= M - fadeOut of M weighs (M-k)/(fadeOut+1).
    int32_t fadeOut = 0;
    /// Frame k of M weighs (k+1)/M.
    bool comet = false;
    /// No weight goes below minimum / kFullWeight (0 to kFullWeight).
    uint32_t minimum = 0;

    bool Active() const { return fadeIn > 0 || fadeOut > 0 || comet; }
};

/// Most frames a fade may span, and most frames a fade weighs.
inline constexpr int32_t kMaxFadeFrames = 1'000'000;

/// The minimum weight m (0 to 1) as a factor: round(m * 65536), halves up;
/// m outside 0..1 is brought to its nearest end.
uint32_t FadeMinimumFactor(double m);

/// The factor of frame k of M: the product w of the fades' weights, taken
/// as an exact fraction, becomes round(w * 65536) with halves rounded up,
/// then at least settings.minimum. kFullWeight when no fade applies to the
/// frame (or k is outside 0..M-1).
uint32_t FadeFactor(const FadeSettings& settings, int32_t k, int32_t frames);

/// Multiplies every channel by factor / 65536, rounded to nearest with
/// halves up: v becomes (v * factor + 32768) >> 16. Nothing changes for
/// kFullWeight; factors above it count as kFullWeight.
void ApplyFadeFactor(RgbImage& frame, uint32_t factor);

/// AddMax of the frame weighed by factor into result, in one pass: exactly
/// ApplyFadeFactor(frame, factor) then AddMax(frame, result), but the frame
/// is left as it was. False, changing nothing, when AddMax would refuse.
bool AddMaxWeighed(RgbImage& frame, RgbImage& result, uint32_t factor);

}  // namespace nocturo
