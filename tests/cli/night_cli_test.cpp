// nocturo-stack --measure and --frame-map, run as a separate process.

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
using test::SolidImage;
using test::TempDir;

const std::string kStack = NOCTURO_STACK_PATH;

ChildResult Stack(const std::vector<std::string>& args) {
    ChildResult result = test::RunChild(kStack, args, false);
    EXPECT_FALSE(result.timedOut) << "nocturo-stack did not end";
    EXPECT_EQ(result.signal, 0) << "nocturo-stack was killed by a signal";
    return result;
}

std::string Put(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string file = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, file)) << file;
    return file;
}

std::string Text(const std::string& file) {
    const std::vector<uint8_t> bytes = test::ReadBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

TEST(NocturoStackMeasure, PrintsTheTableInOrderWithGapsForFailures) {
    TempDir dir;
    RgbImage two = SolidImage(4, 2, 0, 0, 0);
    test::SetPixel(two, 0, 0, 10, 10, 11);  // 31 div 3 = 10: mean 10 / 8 = 1.25
    const std::string a = Put(dir, "b.png", two);
    const std::string b = Put(dir, "a.bmp", SolidImage(3, 3, 200, 100, 0));  // 100
    const std::string broken = dir.File("broken.png");
    test::WriteBytes(broken, {0x89, 'P', 'N', 'G'});
    const std::string comma = Put(dir, "x,y.png", SolidImage(2, 2, 1, 2, 4));  // 7 div 3 = 2
    const ChildResult r =
        Stack({"--measure", "--jobs", "2", a, b, broken, dir.File("missing.jpg"), comma});
    EXPECT_EQ(r.exitCode, 1) << "some files did not load";
    EXPECT_EQ(r.out, "file,mean_luminosity\n" + a + ",1.25\n" + b + ",100.00\n" + broken + ",\n" +
                         dir.File("missing.jpg") + ",\n\"" + comma + "\",2.00\n");

    const ChildResult ok = Stack({"--measure", a});
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.out, "file,mean_luminosity\n" + a + ",1.25\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("proc.jpg")));
}

TEST(NocturoStackMeasure, UsageErrors) {
    TempDir dir;
    const std::string a = Put(dir, "a.png", SolidImage(2, 2, 1, 1, 1));
    const std::string map = dir.File("map.png");
    const std::vector<std::vector<std::string>> cases = {
        {"--measure"},
        {"--measure", "-o", dir.File("o.png"), a},
        {"--measure", "--frame-map", map, a},
        {"--frame-map", map, "--op", "addmin", "-o", dir.File("o.png"), a},
        {"--frame-map", dir.File("map.csv"), "-o", dir.File("o.png"), a},
        {"--frame-map", dir.File("no/such/map.png"), "-o", dir.File("o.png"), a},
        {"--frame-map", "-o", dir.File("o.png"), a},
    };
    for (const auto& args : cases) {
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2) << args.front() << " " << args.back() << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(map));
        EXPECT_FALSE(std::filesystem::exists(dir.File("o.png")));
    }
}

TEST(NocturoStackFrameMap, WritesTheMapAndItsCsv) {
    TempDir dir;
    // A broken file, then two frames of 3 x 1.
    RgbImage f0 = SolidImage(3, 1, 10, 10, 10);
    RgbImage f2 = SolidImage(3, 1, 10, 10, 10);
    test::SetPixel(f2, 1, 0, 10, 10, 90);  // raises pixel 1 only
    const std::string a = Put(dir, "a.png", f0);
    const std::string broken = dir.File("b.png");
    test::WriteBytes(broken, {0x89, 'P', 'N', 'G'});
    const std::string c = Put(dir, "c.png", f2);
    for (const char* op : {"addmax", "addmaxlum"}) {
        SCOPED_TRACE(op);
        const std::string map = dir.File(std::string(op) + "-map.png");
        const ChildResult r =
            Stack({"--op", op, "--frame-map", map, "-o", dir.File("out.png"), broken, a, c});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        int width = 0;
        int height = 0;
        // Positions + 1: the broken file is position 0, a 1, c 2.
        EXPECT_EQ(test::ReadGrey16Png(map, width, height), (std::vector<uint16_t>{2, 3, 2}));
        EXPECT_EQ(width, 3);
        EXPECT_EQ(height, 1);
        EXPECT_EQ(Text(dir.File(std::string(op) + "-map.csv")),
                  "position,file\n0," + broken + "\n1," + a + "\n2," + c + "\n");
    }
    // Nothing merged: no map, and the exit status says an output failed.
    const std::string none = dir.File("none.png");
    const ChildResult r = Stack({"--frame-map", none, "-o", dir.File("o2.png"), broken});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(none));
}

}  // namespace
}  // namespace nocturo
