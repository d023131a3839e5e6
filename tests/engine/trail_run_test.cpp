// Gap filling and fades inside the stacking run: the same trails with and
// without step saving, with and without decoding ahead, for AddMax and
// AddMaxLum.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/fades.h"
#include "core/image_file.h"
#include "engine/stacking_run.h"
#include "engine/step_saving.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/dotted_night.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFrames = 5;

// "f3.png" and the like, built with snprintf: a string sum trips a false
// -Wrestrict in GCC 12 at -O3.
std::string FrameName(const char* stem, int k) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d.png", stem, k);
    return name;
}

std::vector<std::string> WriteNight(const TempDir& dir, const DottedNight& night) {
    std::vector<std::string> names;
    for (int k = 0; k < kFrames; ++k) {
        names.push_back(dir.File(FrameName("f", k)));
        EXPECT_TRUE(SaveImageFile(night.Frame(k), names.back()));
    }
    return names;
}

RgbImage RunNight(const std::vector<std::string>& names, ImageOperation op,
                  const TrailOptions& trails, const std::string& steps, int threads,
                  std::vector<std::string>* messages = nullptr) {
    RunFixture run;
    run.AddChecked(names);
    run.state.Trails = trails;
    run.state.Decode.threads = threads;
    if (steps.empty()) {
        StackingRun(run.context, op, nullptr, false, true);
    } else {
        run.host.saveNames = {steps};
        EXPECT_TRUE(PrepareStepSaving(run.context, op, nullptr, true));
        EXPECT_EQ(run.Right().Count(), kFrames);
    }
    if (messages != nullptr) {
        *messages = run.host.log;
    }
    return *run.state.Result;
}

TEST(TrailRun, FilledTrailsAreWholeWithAndWithoutSteps) {
    struct Case {
        ImageOperation op;
        bool steps;
        int threads;
    };
    for (const Case c : {Case{AddMax, false, 0}, Case{AddMax, true, 2}, Case{AddMaxLum, true, 0},
                         Case{AddMaxLum, false, 2}}) {
        SCOPED_TRACE(testing::Message() << "steps " << c.steps << ", threads " << c.threads);
        TempDir dir;
        DottedNight night;
        night.poleX = 240;
        night.poleY = -300;
        night.stars = 60;
        // A plane's streak is turned too: it would light the sky past the end.
        night.planeFrame = -1;
        const std::vector<std::string> names = WriteNight(dir, night);
        TrailOptions trails;
        trails.fillGaps = true;
        trails.gapFraction = night.gap;
        std::vector<std::string> log;
        const RgbImage filled =
            RunNight(names, c.op, trails, c.steps ? dir.File("step.png") : "", c.threads, &log);
        const RgbImage plain = RunNight(names, c.op, TrailOptions{}, "", 0);
        if (c.steps) {
            EXPECT_TRUE(SamePixels(filled, RunNight(names, c.op, trails, "", 0)));
        }
        const double step = night.degreesPerFrame * kPi / 180;
        const std::vector<DottedNight::Circle> circles = night.Circles();
        int checked = 0;
        for (const DottedNight::Circle& circle : circles) {
            const double r = circle.radius;
            const double end = circle.angle + step * (kFrames - night.gap);
            EXPECT_LE(LongestDarkStretch(filled, night.poleX, night.poleY, r, circle.angle + 0.02,
                                         end - 0.02, 50),
                      1);
            bool alone = true;
            for (const DottedNight::Circle& other : circles) {
                alone = alone && (&other == &circle || std::abs(other.radius - r) > 3);
            }
            if (alone && r * step * night.gap > 5) {
                // The last frame is not extended: past its end the sky is
                // dark, as without filling.
                ++checked;
                EXPECT_EQ(LongestDarkStretch(filled, night.poleX, night.poleY, r, end + 2.5 / r,
                                             end + 4.5 / r, 50),
                          LongestDarkStretch(plain, night.poleX, night.poleY, r, end + 2.5 / r,
                                             end + 4.5 / r, 50));
            }
        }
        EXPECT_GT(checked, 3);
        const std::string report = log.back();
        EXPECT_NE(report.find("\nSky rotation: centre at x "), std::string::npos) << report;
        EXPECT_NE(report.find("degrees per frame (from 6 pairs of frames)"), std::string::npos);
        EXPECT_NE(report.find("gap fraction 0.400, as set"), std::string::npos) << report;
    }
}

TEST(TrailRun, FadesWeighEveryFrameExactlyBeforeItsMerge) {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    for (int k = 0; k < kFrames; ++k) {
        frames.push_back(RandomImage(9, 5, 60 + k));
        names.push_back(dir.File(FrameName("r", k)));
        ASSERT_TRUE(SaveImageFile(frames.back(), names.back()));
    }
    TrailOptions trails;
    trails.fades.fadeIn = 2;
    trails.fades.fadeOut = 1;
    trails.fades.comet = true;
    trails.fades.minimum = FadeMinimumFactor(0.1);
    for (const bool steps : {false, true}) {
        RgbImage expected;
        for (int k = 0; k < kFrames; ++k) {
            RgbImage frame = frames[k];
            ApplyFadeFactor(frame, FadeFactor(trails.fades, k, kFrames));
            if (k == 0) {
                expected = frame;
            } else {
                AddMax(frame, expected);
            }
        }
        EXPECT_TRUE(SamePixels(RunNight(names, AddMax, trails, steps ? dir.File("s.png") : "", 0),
                               expected));
    }
    // Only AddMax and AddMaxLum are weighed.
    RgbImage expectedMin = frames[0];
    for (int k = 1; k < kFrames; ++k) {
        AddMin(frames[k], expectedMin);
    }
    EXPECT_TRUE(SamePixels(RunNight(names, AddMin, trails, "", 0), expectedMin));
}

}  // namespace
}  // namespace nocturo::test
