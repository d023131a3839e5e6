// nocturo-stack --fill-gaps and the fades: what they accept and refuse, and
// what they report.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/dotted_night.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

// "f3.png" and the like, built with snprintf: a string sum trips a false
// -Wrestrict in GCC 12 at -O3.
std::string FrameName(const char* stem, int k) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d.png", stem, k);
    return name;
}

ChildResult Stack(const std::vector<std::string>& args) {
    ChildResult result = RunChild(NOCTURO_STACK_PATH, args, false);
    EXPECT_FALSE(result.timedOut);
    return result;
}

TEST(TrailCli, BadValuesAndMisplacedOptionsAreUsageErrors) {
    TempDir dir;
    std::string fa = dir.File("a.png");
    ASSERT_TRUE(SaveImageFile(RandomImage(8, 8, 3), fa));
    const std::string out = dir.File("out.png");
    const std::vector<std::vector<std::string>> cases = {
        {"--fill-gaps", "--gap-fraction", "0.95"},
        {"--fill-gaps", "--gap-fraction", "-0.1"},
        {"--fill-gaps", "--gap-fraction", "1e-1"},
        {"--fill-gaps", "--gap-fraction"},
        {"--gap-fraction", "0.2"},  // without --fill-gaps
        {"--sky-mask", fa},
        {"--fill-gaps", "--sky-mask", dir.File("absent.png")},
        {"--fill-gaps=yes"},
        {"--comet=1"},
        {"--fade-in", "-1"},
        {"--fade-out", "two"},
        {"--fade-in", "1000001"},
        {"--fade-min", "1.5"},
        {"--fade-min", "0.5"},  // without a fade
        {"--comet", "--op", "addmin"},
        {"--fill-gaps", "--op", "add"},
    };
    for (std::vector<std::string> args : cases) {
        SCOPED_TRACE(args.front() + " " + args.back());
        args.insert(args.end(), {fa, "-o", out});
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("nocturo-stack: "), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(TrailCli, FillsGapsReportsTheRotationAndKeepsTheGroundOutsideTheMask) {
    TempDir dir;
    DottedNight night;
    night.poleX = 250;
    night.poleY = 40;
    std::vector<std::string> files;
    for (int k = 0; k < 5; ++k) {
        files.push_back(dir.File(FrameName("f", k)));
        ASSERT_TRUE(SaveImageFile(night.Frame(k), files.back()));
    }
    std::string mask = dir.File("mask.png");
    ASSERT_TRUE(SaveImageFile(night.SkyMaskPicture(), mask));
    auto run = [&](const std::vector<std::string>& options, const std::string& out) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-o", dir.File(out)});
        args.insert(args.end(), files.begin(), files.end());
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        RgbImage picture;
        EXPECT_TRUE(LoadImageFile(picture, dir.File(out)));
        return std::make_pair(r, picture);
    };
    const auto [plainRun, plain] = run({}, "plain.png");
    const auto [maskedRun, masked] =
        run({"--fill-gaps", "--sky-mask", mask, "--gap-fraction=0.4", "--stats"}, "masked.png");
    double x = 0, y = 0, degrees = 0;
    const size_t at = maskedRun.err.find("sky rotation: centre ");
    ASSERT_NE(at, std::string::npos) << maskedRun.err;
    ASSERT_EQ(std::sscanf(maskedRun.err.c_str() + at, "sky rotation: centre %lf, %lf pixels, %lf",
                          &x, &y, &degrees),
              3);
    EXPECT_NEAR(x, night.poleX, 2);
    EXPECT_NEAR(y, night.poleY, 2);
    EXPECT_NEAR(degrees, night.degreesPerFrame, night.degreesPerFrame * 0.01);
    EXPECT_NE(maskedRun.err.find("gap fraction 0.400 (given)"), std::string::npos);
    int skyChanged = 0;
    for (int y = 0; y < night.height; ++y) {
        for (size_t x = 0; x < plain.Stride(); ++x) {
            if (y >= night.groundRow) {
                ASSERT_EQ(masked.Row(y)[x], plain.Row(y)[x]) << x << "," << y;
            } else {
                skyChanged += masked.Row(y)[x] != plain.Row(y)[x];
            }
        }
    }
    EXPECT_GT(skyChanged, 1000);
}

}  // namespace
}  // namespace nocturo::test
