#pragma once
// What a stacking run does to the trails besides merging: filling the gaps
// between frames and fading over the whole night; and what it found.

#include <string>

#include "core/fades.h"
#include "core/sky_rotation.h"

namespace nocturo {

/// The user's choices; they apply to AddMax and AddMaxLum runs.
struct TrailOptions {
    /// Fill the gaps between frames.
    bool fillGaps = false;
    /// The share of each interval the shutter was closed, when the frames
    /// do not tell it (0 to 0.9).
    double gapFraction = 0.1;
    /// gapFraction wins over what the frames tell.
    bool gapFractionForced = false;
    /// A picture of the night's size, white where the sky is; empty for
    /// none. Nothing outside the sky is turned.
    std::string skyMask;
    /// The fades over the night.
    FadeSettings fades;

    bool Active() const { return fillGaps || fades.Active(); }
};

/// What the last run that filled gaps found.
struct TrailReport {
    /// The run was asked to fill gaps.
    bool asked = false;
    /// It did: the rotation was found.
    bool filled = false;
    SkyRotation rotation;
    double gapFraction = 0;
    /// The gap fraction came from the frames' shooting times.
    bool gapFromFrames = false;
    /// The sky mask could not be loaded or fits no frame.
    bool maskFailed = false;
    /// Time spent finding the stars and fitting the rotation, frames'
    /// decoding not counted.
    double measureSeconds = 0;
};

}  // namespace nocturo
