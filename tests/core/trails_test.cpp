// Stars, the sky's rotation, gap filling and fades on synthetic nights
// whose answer is known.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/combine.h"
#include "core/exif_times.h"
#include "core/fades.h"
#include "core/gap_fill.h"
#include "core/sky_rotation.h"
#include "core/star_field.h"
#include "tests/support/dotted_night.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

SkyRotation Measure(const DottedNight& night, int frames) {
    std::vector<StarFrame> stars;
    for (int k = 0; k < frames; ++k) {
        const RgbImage frame = night.Frame(k);
        Background background;
        background.Measure(frame);
        stars.push_back({k, FindStars(frame, background)});
    }
    return MeasureRotation(stars, night.width, night.height);
}

TEST(SkyRotation, FindsPoleAndAngleDespiteGroundAndPlane) {
    struct Case {
        double poleX, poleY, degrees;
        int depth;
    };
    // Pole inside, outside above the left corner, turning either way, 16 bits.
    for (const Case c : {Case{300, 60, 2.0, 8}, Case{-250, -300, 1.5, 8}, Case{200, 100, -2.5, 8},
                         Case{300, 60, 2.0, 16}, Case{640, -120, 1.0, 16}}) {
        DottedNight night;
        night.poleX = c.poleX;
        night.poleY = c.poleY;
        night.degreesPerFrame = c.degrees;
        night.depth = c.depth;
        const SkyRotation r = Measure(night, 4);
        ASSERT_TRUE(r.found) << c.poleX;
        EXPECT_NEAR(r.centreX, c.poleX, 2.0) << c.poleX;
        EXPECT_NEAR(r.centreY, c.poleY, 2.0) << c.poleX;
        EXPECT_NEAR(r.DegreesPerFrame(), c.degrees, std::abs(c.degrees) * 0.01) << c.poleX;
        EXPECT_EQ(r.pairs, 6);
    }
}

TEST(SkyRotation, StillFramesOrNoStarsGiveNoRotation) {
    DottedNight night;
    const RgbImage frame = night.Frame(0);
    Background background;
    background.Measure(frame);
    const std::vector<Star> stars = FindStars(frame, background);
    EXPECT_GT(stars.size(), 100u);
    EXPECT_FALSE(MeasureRotation({{0, stars}, {1, stars}}, night.width, night.height).found);
    EXPECT_FALSE(MeasureRotation({{0, {}}, {1, {}}}, night.width, night.height).found);
    EXPECT_FALSE(MeasureRotation({{0, stars}}, night.width, night.height).found);
}

// AddMax of the frames, each followed by its gap filled (not the last).
RgbImage Stack(const DottedNight& night, int frames, const SkyRotation* rotation,
               const SkyMask* mask) {
    RgbImage result = night.Frame(0);
    std::vector<StarPixel> pixels;
    for (int k = 0; k < frames; ++k) {
        RgbImage frame = night.Frame(k);
        Background background;
        background.Measure(frame);
        ExtractStarPixels(frame, background, mask, pixels);
        AddMax(frame, result);
        if (rotation != nullptr && k + 1 < frames) {
            FillGap(pixels, *rotation, rotation->radiansPerFrame * night.gap, false, mask, result);
        }
    }
    return result;
}

TEST(GapFill, JoinsTheDashesOfEveryTrail) {
    for (const int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        DottedNight night;
        night.poleX = 240;
        night.poleY = -300;
        night.depth = depth;
        const int frames = 5;
        const SkyRotation rotation = Measure(night, 4);
        ASSERT_TRUE(rotation.found);
        const RgbImage dotted = Stack(night, frames, nullptr, nullptr);
        const RgbImage filled = Stack(night, frames, &rotation, nullptr);
        const double step = night.degreesPerFrame * kPi / 180;
        int wide = 0;
        int broken = 0;
        for (const DottedNight::Circle& c : night.Circles()) {
            const double from = c.angle + 0.02;
            const double to = c.angle + step * (frames - night.gap) - 0.02;
            EXPECT_LE(LongestDarkStretch(filled, night.poleX, night.poleY, c.radius, from, to, 50),
                      1)
                << c.radius;
            if (c.radius * step * night.gap > 3.5) {
                ++wide;
                broken += LongestDarkStretch(dotted, night.poleX, night.poleY, c.radius, from, to,
                                             50) > 1;
            }
        }
        // Without filling the trails whose gaps are wider than a star are dotted
        // (but where another trail crosses a gap).
        EXPECT_GT(wide, 60);
        EXPECT_GE(broken * 10, wide * 9);
    }
}

TEST(GapFill, GroundOutsideTheMaskIsUntouchedAndSubStepsMoveAPixel) {
    DottedNight night;
    night.planeFrame = -1;
    const SkyRotation rotation = Measure(night, 4);
    ASSERT_TRUE(rotation.found);
    const SkyMask mask = MakeSkyMask(night.SkyMaskPicture(), night.width, night.height);
    const RgbImage plain = Stack(night, 4, nullptr, nullptr);
    const RgbImage masked = Stack(night, 4, &rotation, &mask);
    const RgbImage unmasked = Stack(night, 4, &rotation, nullptr);
    int groundChanged = 0;
    for (int y = night.groundRow; y < night.height; ++y) {
        for (size_t x = 0; x < plain.Stride(); ++x) {
            ASSERT_EQ(masked.Row(y)[x], plain.Row(y)[x]) << x << "," << y;
            groundChanged += unmasked.Row(y)[x] != plain.Row(y)[x];
        }
    }
    // Without the mask the lit windows turn with the sky.
    EXPECT_GT(groundChanged, 0);
    EXPECT_EQ(GapSubSteps(100, 0.015), 2);
    EXPECT_EQ(GapSubSteps(100, 0.01), 1);
    EXPECT_EQ(GapSubSteps(100, 0), 0);
}

TEST(Fades, FactorsAreExactFractionsRoundedHalfUp) {
    struct Case {
        int fadeIn, fadeOut;
        bool comet;
        double minimum;
        int k, frames;
        uint32_t factor;
    };
    for (const Case c : {
             Case{3, 0, false, 0, 0, 10, 16384},   // 1/4
             Case{3, 0, false, 0, 2, 10, 49152},   // 3/4
             Case{3, 0, false, 0, 3, 10, 65536},   // past the fade
             Case{2, 0, false, 0, 0, 10, 21845},   // 1/3 = 21845.33
             Case{2, 0, false, 0, 1, 10, 43691},   // 2/3 = 43690.67
             Case{0, 2, false, 0, 9, 10, 21845},   // mirror image
             Case{0, 2, false, 0, 7, 10, 65536},   //
             Case{0, 0, true, 0, 0, 4, 16384},     // (k+1)/M
             Case{0, 0, true, 0, 0, 131072, 1},    // 0.5 rounds up
             Case{0, 0, true, 0, 0, 262144, 0},    // 0.25 rounds down
             Case{1, 1, true, 0, 0, 1, 16384},     // 1/2 * 1/2 * 1
             Case{3, 0, true, 0.5, 0, 10, 32768},  // 1/40, raised to the minimum
             Case{3, 0, true, 0.1, 2, 10, 14746},  // 3/4 * 3/10 = 0.225
         }) {
        FadeSettings s;
        s.fadeIn = c.fadeIn;
        s.fadeOut = c.fadeOut;
        s.comet = c.comet;
        s.minimum = FadeMinimumFactor(c.minimum);
        EXPECT_EQ(FadeFactor(s, c.k, c.frames), c.factor) << c.fadeIn << c.fadeOut << c.k;
    }
    EXPECT_EQ(FadeMinimumFactor(0.1), 6554u);  // 6553.6
    EXPECT_EQ(FadeMinimumFactor(2), 65536u);
}

TEST(Fades, PixelsTakeTheFactorRoundedToNearest) {
    struct Case {
        int value;
        uint32_t factor;
        int expected;
    };
    // 8 bits, then 16.
    for (const Case c : {Case{255, 32768, 128}, Case{1, 32768, 1}, Case{3, 16384, 1},
                         Case{200, 65536, 200}, Case{255, 0, 0}, Case{65535, 32768, 32768},
                         Case{65535, 65535, 65534}, Case{5, 6554, 1}}) {
        // Wide enough for the vector loop and its scalar tail.
        RgbImage image;
        image.Resize(13, 1, c.value > 255 ? 16 : 8);
        for (int x = 0; x < 39; ++x) {
            if (image.Depth() == 16) {
                image.Row16(0)[x] = static_cast<uint16_t>(c.value);
            } else {
                image.Row(0)[x] = static_cast<uint8_t>(c.value);
            }
        }
        ApplyFadeFactor(image, c.factor);
        for (int x = 0; x < 39; ++x) {
            ASSERT_EQ(image.Depth() == 16 ? image.Row16(0)[x] : image.Row(0)[x], c.expected)
                << c.value << " " << c.factor << " at " << x;
        }
    }
}

TEST(Fades, WeighedMaxIsTheWeighThenTheMaxInOnePass) {
    // Odd widths reach the scalar tail; the frame itself is left as it was.
    for (const int depth : {8, 16}) {
        for (const uint32_t factor : {0u, 1u, 6554u, 32768u, 65535u, 65536u}) {
            SCOPED_TRACE(std::to_string(depth) + " bits, factor " + std::to_string(factor));
            RgbImage frame =
                depth == 16 ? RandomImage16(37, 5, factor) : RandomImage(37, 5, factor);
            const RgbImage before = frame;
            RgbImage result =
                depth == 16 ? RandomImage16(37, 5, factor + 1) : RandomImage(37, 5, factor + 1);
            RgbImage expected = result;
            RgbImage weighed = frame;
            ApplyFadeFactor(weighed, factor);
            ASSERT_TRUE(AddMax(weighed, expected));
            ASSERT_TRUE(AddMaxWeighed(frame, result, factor));
            EXPECT_TRUE(SamePixels(result, expected));
            EXPECT_TRUE(SamePixels(frame, before));
        }
    }
    RgbImage small = RandomImage(3, 3, 1);
    RgbImage result = RandomImage(4, 3, 2);
    const RgbImage kept = result;
    EXPECT_FALSE(AddMaxWeighed(small, result, 100));
    EXPECT_TRUE(SamePixels(result, kept));
}

TEST(ExifTimes, GapFractionFromMedians) {
    struct Case {
        std::vector<ShotTime> shots;
        double gap;  // -1: none
    };
    for (const Case& c : std::vector<Case>{
             {{{0, 30}, {32, 30}, {64, 30}, {100, 30}}, 1 - 30.0 / 32},
             {{{0, 20}, {25, 20}}, 0.2},
             {{{0, 30}, {30, 30}}, 0},
             {{{0, 30}, {10, 30}}, 0},  // longer than the interval
             {{{0, 1}, {100, 1}}, 0.9},
             {{{0, 30}}, -1},
             {{{5, 30}, {5, 30}}, -1},
         }) {
        const auto gap = GapFraction(c.shots);
        if (c.gap < 0) {
            EXPECT_FALSE(gap);
        } else {
            ASSERT_TRUE(gap);
            EXPECT_NEAR(*gap, c.gap, 1e-9);
        }
    }
    EXPECT_FALSE(ReadShotTime("/nonexistent/picture.jpg"));
    EXPECT_FALSE(ReadShotTime("/dev/zero"));  // never ends: not read
}

}  // namespace
}  // namespace nocturo::test
