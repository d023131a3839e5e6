// nocturo-stack --moving-max as users run it: the outputs it names and
// writes, its report and exit status.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::ChildResult;
using test::TempDir;

const std::string kStack = NOCTURO_STACK_PATH;

ChildResult Stack(const std::vector<std::string>& args) {
    ChildResult result = test::RunChild(kStack, args, false);
    EXPECT_FALSE(result.timedOut) << "nocturo-stack did not end";
    EXPECT_EQ(result.signal, 0) << "nocturo-stack was killed by a signal";
    return result;
}

std::string Name(const TempDir& dir, const char* stem, int k, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%04d%s", stem, k, extension);
    return dir.File(name);
}

/// Frame k: black with pixel k lit, so an output shows the frames it took.
std::vector<std::string> Frames(const TempDir& dir, int count) {
    std::vector<std::string> files;
    for (int k = 0; k < count; ++k) {
        RgbImage frame = test::SolidImage(count, 1, 0, 0, 0);
        test::SetPixel(frame, k, 0, 200, 200, 200);
        std::string name = dir.File("in" + std::to_string(k) + ".bmp");
        EXPECT_TRUE(SaveImageFile(frame, name));
        files.push_back(name);
    }
    return files;
}

std::vector<int> Lit(const std::string& file, int width) {
    RgbImage image;
    EXPECT_TRUE(LoadImageFile(image, file)) << file;
    std::vector<int> values;
    for (int k = 0; k < width && image.Width() == width; ++k) {
        values.push_back(test::PixelAt(image, k, 0)[0]);
    }
    return values;
}

TEST(MovingMaxCliTest, OutputsAreNamedFromTheFirstOutput) {
    struct Case {
        std::vector<std::string> options;
        int outputs;
        std::vector<int> first;  // pixels of the first output
        std::vector<int> last;
    };
    const Case cases[] = {
        // Range only, darkened: positions 0, 1, 2 lose 255, 170, 85.
        {{"--moving-max", "3"}, 3, {0, 30, 115, 0, 0}, {0, 0, 0, 30, 115}},
        {{"--moving-max", "3", "--no-darkening"}, 3, {200, 200, 200, 0, 0}, {0, 0, 200, 200, 200}},
        {{"--moving-max=3", "--progressive"}, 7, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {{"--moving-max", "5", "--progressive", "--no-darkening"},
         9,
         {200, 0, 0, 0, 0},
         {0, 0, 0, 0, 200}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> args = c.options;
        args.push_back("-o");
        args.push_back(dir.File("mm0120.bmp"));
        for (const std::string& f : Frames(dir, 5)) {
            args.push_back(f);
        }
        const ChildResult result = Stack(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "0 File(s) in Error\n");
        for (int k = 1; k <= c.outputs; ++k) {
            EXPECT_TRUE(std::filesystem::exists(Name(dir, "mm", k, ".bmp"))) << k;
        }
        EXPECT_FALSE(std::filesystem::exists(Name(dir, "mm", c.outputs + 1, ".bmp")));
        EXPECT_FALSE(std::filesystem::exists(dir.File("mm0120.bmp")));
        EXPECT_EQ(Lit(Name(dir, "mm", 1, ".bmp"), 5), c.first);
        EXPECT_EQ(Lit(Name(dir, "mm", c.outputs, ".bmp"), 5), c.last);
    }
}

TEST(MovingMaxCliTest, FailingFrameIsCountedAndLeftOut) {
    TempDir dir;
    std::vector<std::string> files = Frames(dir, 5);
    test::WriteBytes(files[3], {'B', 'M', 1, 2, 3});  // damaged
    std::vector<std::string> args = {"--moving-max", "2", "--no-darkening", "-o",
                                     dir.File("out/t.bmp")};
    std::filesystem::create_directory(dir.File("out"));
    args.insert(args.end(), files.begin(), files.end());
    const ChildResult result = Stack(args);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "1 File(s) in Error\n");
    // Windows {2,3} and {3,4} keep their other frame.
    EXPECT_EQ(Lit(dir.File("out/t0003.bmp"), 5), (std::vector<int>{0, 0, 200, 0, 0}));
    EXPECT_EQ(Lit(dir.File("out/t0004.bmp"), 5), (std::vector<int>{0, 0, 0, 0, 200}));
}

// --moving-max 2 -o sky0006.png sky0001..sky0005.png used to replace four
// of its five inputs: an output that is an input is refused, --overwrite or
// not, and an existing output needs --overwrite.
TEST(MovingMaxCliTest, OutputsNeverReplaceInputsAndExistingOnesNeedOverwrite) {
    TempDir dir;
    std::vector<std::string> sky;
    for (const std::string& frame : Frames(dir, 5)) {
        sky.push_back(Name(dir, "sky", static_cast<int>(sky.size()) + 1, ".bmp"));
        std::filesystem::copy_file(frame, sky.back());
    }
    const std::vector<uint8_t> before = test::ReadBytes(sky[0]);
    for (const char* overwrite : {"--progressive", "--overwrite"}) {
        std::vector<std::string> args = {"--moving-max", "2", overwrite, "-o",
                                         Name(dir, "sky", 6, ".bmp")};
        args.insert(args.end(), sky.begin(), sky.end());
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2) << overwrite;
        EXPECT_NE(r.err.find(sky[0] + " is one of the input FILEs"), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadBytes(sky[0]), before);
    }

    const std::vector<std::string> files = Frames(dir, 3);
    const std::string old = Name(dir, "mm", 2, ".bmp");
    test::WriteBytes(old, {'o', 'l', 'd'});
    std::vector<std::string> args = {"--moving-max", "2", "--no-darkening", "-o",
                                     dir.File("mm.bmp")};
    args.insert(args.end(), files.begin(), files.end());
    const ChildResult refused = Stack(args);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(old + " exists (--overwrite replaces it)"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(Name(dir, "mm", 1, ".bmp")));
    EXPECT_EQ(test::ReadBytes(old), (std::vector<uint8_t>{'o', 'l', 'd'}));
    args.push_back("--overwrite");
    const ChildResult replaced = Stack(args);
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(Lit(old, 3), (std::vector<int>{0, 200, 200}));
}

// A run that writes only its video stops when the video cannot be written,
// and says so: no output of its own exists to be blamed.
TEST(MovingMaxCliTest, AVideoThatCannotBeWrittenIsNamedWithWhy) {
    TempDir dir;
    std::vector<std::string> args = {"--moving-max", "2", "--video", dir.File("v.mp4")};
    for (const std::string& frame : Frames(dir, 3)) {  // one row: too small for a video
        args.push_back(frame);
    }
    const ChildResult r = Stack(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("stopped: cannot write the video " + dir.File("v.mp4") +
                         ": the pictures are too small"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("exists"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("v.mp4")));
}

TEST(MovingMaxCliTest, UsageErrors) {
    TempDir dir;
    const std::vector<std::string> files = Frames(dir, 3);
    const std::string out = dir.File("o.bmp");
    const std::vector<std::vector<std::string>> cases = {
        {"--moving-max", "4", "-o", out, files[0], files[1], files[2]},  // window too large
        {"--moving-max", "1", "-o", out, files[0], files[1]},            // below 2
        {"--moving-max", "2", "-o", out, files[0]},                      // one file
        {"--moving-max", "2", files[0], files[1]},                       // no -o
        {"--moving-max", "2", "--op", "addmin", "-o", out, files[0], files[1]},
        {"--moving-max", "2", "-o", dir.File("no/such/o.bmp"), files[0], files[1]},
    };
    for (const auto& args : cases) {
        const ChildResult result = Stack(args);
        EXPECT_EQ(result.exitCode, 2) << args[1] << " " << args[2];
        EXPECT_NE(result.err.find("nocturo-stack: "), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir.File("o0001.bmp")));
    }
    const ChildResult help = Stack({"--moving-max", "2", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--moving-max N [--progressive] [--no-darkening]"), std::string::npos);
}

}  // namespace
}  // namespace nocturo
