#pragma once
// How the sky turns from one frame to the next: the pole's position in the
// picture (possibly outside it) and the angle per frame, measured from the
// stars of a few frames. Stars are matched between every pair of frames and
// one rotation is fitted to all matches by least squares, rejecting what
// does not turn with the sky (the ground's lights, a plane, noise).

#include <vector>

#include "core/star_field.h"

namespace nocturo {

/// A position maps to the next frame as p' = R(angle) (p - centre) + centre,
/// in picture coordinates (x to the right, y down; a positive angle turns x
/// toward y).
struct SkyRotation {
    bool found = false;
    double centreX = 0;
    double centreY = 0;
    double radiansPerFrame = 0;
    /// Pairs of frames whose matches went into the fit, and the matches.
    int pairs = 0;
    int matches = 0;

    double DegreesPerFrame() const;
};

/// The stars of one frame and its place among the frames of the run (0 for
/// the first).
struct StarFrame {
    int frame = 0;
    std::vector<Star> stars;
};

/// Fits the rotation to the stars of two or more frames of a width x height
/// night. Not found when fewer than kMinMatches stars match between any two
/// frames, or when the sky does not move.
SkyRotation MeasureRotation(const std::vector<StarFrame>& frames, int width, int height);

/// Fewest matches a pair of frames needs to count.
inline constexpr int kMinMatches = 8;

}  // namespace nocturo
