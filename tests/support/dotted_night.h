#pragma once
// Synthetic nights whose answer is known: stars on circles about a given
// pole, each frame drawing an arc of a known angle followed by a known gap,
// a still lit foreground and, in one frame, a plane's straight streak.

#include <cstdint>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo::test {

struct DottedNight {
    int width = 480;
    int height = 320;
    double poleX = 300;
    double poleY = 60;
    double degreesPerFrame = 2.0;
    double gap = 0.4;  // of every frame's angle, the shutter closed
    int depth = 8;
    int stars = 160;
    /// Rows from here down are ground, with lit windows.
    int groundRow = 270;
    /// The frame with a plane's streak; -1 for none.
    int planeFrame = 1;
    uint32_t seed = 7;

    struct Circle {
        double radius;
        double angle;  // where frame 0 starts, radians
    };
    /// Frames a night has at most: every star stays in the sky that long.
    static constexpr int kFrames = 8;
    /// The stars.
    std::vector<Circle> Circles() const;
    RgbImage Frame(int k) const;
    /// 255 above the ground, 0 on it (at the depth of the night).
    RgbImage SkyMaskPicture() const;
};

/// The longest run of dark pixels (luminosity at most `dark`) met walking
/// along the circle in steps of under a pixel from angle `from` to `to`,
/// counting pixels.
int LongestDarkStretch(const RgbImage& image, double poleX, double poleY, double radius,
                       double from, double to, int dark);

}  // namespace nocturo::test
