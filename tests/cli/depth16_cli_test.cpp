// nocturo-stack --depth: 16-bit runs judged by the files they write, and the
// names and ranges a 16-bit run refuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/rules16.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::ChildResult;
using test::TempDir;

ChildResult Stack(const std::vector<std::string>& args) {
    ChildResult result = test::RunChild(NOCTURO_STACK_PATH, args, false);
    EXPECT_FALSE(result.timedOut);
    return result;
}

RgbImage Load16(const std::string& name) {
    RgbImage image;
    EXPECT_TRUE(LoadImageFile(image, name, LoadOptions{16})) << name;
    return image;
}

std::string Bytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Two 16-bit frames and an 8-bit one, which --depth 16 widens.
struct Night {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    Night() {
        for (int k = 0; k < 3; ++k) {
            RgbImage frame = k == 1 ? test::RandomImage(12, 9, 60) : test::RandomImage16(12, 9, k);
            std::string name = dir.File(k == 0 ? "f0.png" : k == 1 ? "f1.png" : "f2.tif");
            EXPECT_TRUE(SaveImageFile(frame, name));
            names.push_back(name);
            frames.push_back(Load16(name));
        }
    }
    std::vector<std::string> With(std::vector<std::string> args) const {
        args.insert(args.end(), names.begin(), names.end());
        return args;
    }
};

TEST(NocturoStackDepth, SixteenBitRunsFollowTheSixteenBitRules) {
    const Night night;
    TempDir out;
    const struct {
        std::vector<std::string> args;
        const char* written;  // the file checked
        RgbImage expected;
    } cases[] = {
        {{"--depth", "16", "-o", out.File("max.png")},
         "max.png",
         test::Fold16(AddMax, night.frames, 0)},
        {{"--depth=16", "--op", "addmaxthreshold", "--threshold", "30000", "-o",
          out.File("thr.tif")},
         "thr.tif",
         test::Fold16(AddMaxThreshold, night.frames, 30000)},
        {{"--depth", "16", "--op", "sub", "--steps", out.File("s0001.png")},
         "s0002.png",
         test::Fold16(Sub, {night.frames[0], night.frames[1]}, 0)},
        {{"--depth", "16", "--batch", "square", "--factor", "40000", "--offset", "-3000", "--steps",
          out.File("b0001.png")},
         "b0002.png",
         test::Batch16(4, night.frames[1], night.frames[1], 40000, -3000)},
        {{"--depth", "16", "--moving-max", "2", "--no-darkening", "-o", out.File("mm.png")},
         "mm0002.png",
         test::Fold16(AddMax, {night.frames[1], night.frames[2]}, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const ChildResult r = Stack(night.With(c.args));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const RgbImage written = Load16(out.File(c.written));
        EXPECT_TRUE(test::SamePixels(written, c.expected));
    }
    // --depth 8 is the default: the very same file.
    ASSERT_EQ(Stack(night.With({"-o", out.File("a.png")})).exitCode, 0);
    ASSERT_EQ(Stack(night.With({"--depth", "8", "-o", out.File("b.png")})).exitCode, 0);
    EXPECT_EQ(Bytes(out.File("a.png")), Bytes(out.File("b.png")));
}

TEST(NocturoStackDepth, NamesAndRangesASixteenBitRunRefuses) {
    const Night night;
    TempDir out;
    const struct {
        std::vector<std::string> args;
        const char* named;  // in the message
    } cases[] = {
        {{"--depth", "12", "-o", out.File("a.png")}, "8 or 16"},
        {{"--depth", "16", "-o", out.File("a.jpg")}, "a.jpg"},
        {{"--depth", "16", "--steps", out.File("s.bmp")}, "s.bmp"},
        {{"--depth", "16", "--steps", out.File("s0001.png"), "-o", out.File("r.gif")}, "r.gif"},
        {{"--depth", "16", "--steps", out.File("s")}, "s"},  // written as BMP
        {{"--depth", "16", "--moving-max", "2", "-o", out.File("m.jpeg")}, "m.jpeg"},
        {{"--depth", "16", "--batch", "cube", "--factor", "4294836226", "--steps",
          out.File("c.png")},
         "4294836225"},
        {{"--depth", "16", "--batch", "square", "--offset", "65536", "--steps", out.File("c.png")},
         "65535"},
        {{"--batch", "square", "--offset", "256", "--steps", out.File("c.png")}, "255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        const ChildResult r = Stack(night.With(c.args));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
    }
    const ChildResult help = Stack({"--help"});
    EXPECT_NE(help.out.find("--depth BITS"), std::string::npos);
}

}  // namespace
}  // namespace nocturo
