#pragma once
// Filling the gaps between frames: a camera rests between two exposures
// while the sky turns on, so every star trail is a row of dashes. The star
// pixels of a frame, merged again turned about the pole through the angle
// of the gap, in steps of at most a pixel, join each dash to the next.
// Nothing but star pixels is ever turned: the ground stays where it is.

#include <cstdint>
#include <vector>

#include "core/rgb_image.h"
#include "core/sky_rotation.h"
#include "core/star_field.h"

namespace nocturo {

/// A pixel of a frame that stands well above its local background, with
/// its channels at the frame's depth.
struct StarPixel {
    int32_t x;
    int32_t y;
    uint16_t blue;
    uint16_t green;
    uint16_t red;
};

/// Replaces pixels with the frame's star pixels (above the background's
/// threshold; inside the sky when a mask of the frame's size is given).
void ExtractStarPixels(const RgbImage& frame, const Background& background, const SkyMask* mask,
                       std::vector<StarPixel>& pixels);

/// How many turned copies a gap takes: no star pixel (the farthest is
/// maxRadius from the pole) moves more than one pixel from one to the next.
int GapSubSteps(double maxRadius, double gapRadians);

/// Merges the pixels into buffer turned about the rotation's centre by
/// gapRadians * s / S for s = 1..S (S from GapSubSteps), each copy on the
/// nearest pixel: by channel (the larger value wins, as AddMax) or, with
/// byLuminosity, whole pixels strictly brighter than the buffer's (as
/// AddMaxLum). Copies that leave the picture, or fall outside the sky of
/// a mask of the buffer's size, are dropped. The pixels are of the buffer's
/// depth. Returns S.
int FillGap(const std::vector<StarPixel>& pixels, const SkyRotation& rotation, double gapRadians,
            bool byLuminosity, const SkyMask* mask, RgbImage& buffer);

}  // namespace nocturo
