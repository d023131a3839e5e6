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
    // The map is compressed while the result is written; under the result's
    // own name it is still written last, whole.
    const std::string same = dir.File("same.png");
    const ChildResult both = Stack({"--frame-map", same, "-o", same, a, c});
    EXPECT_EQ(both.exitCode, 0) << both.err;
    int width = 0;
    int height = 0;
    EXPECT_EQ(test::ReadGrey16Png(same, width, height), (std::vector<uint16_t>{1, 2, 1}));
    // Nothing merged: no map, and the exit status says an output failed.
    const std::string none = dir.File("none.png");
    const ChildResult r = Stack({"--frame-map", none, "-o", dir.File("o2.png"), broken});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(none));
}

}  // namespace
}  // namespace nocturo

namespace nocturo {
namespace {

// "f3.png" and the like, by snprintf: "f" + std::to_string(k) trips a
// false -Wrestrict in GCC 12 at -O3.
std::string Frame(const char* stem, int k) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d.png", stem, k);
    return name;
}

TEST(NocturoStackClean, ExcludeLeavesAStreakOutFromTheCommandLineAndFromAList) {
    TempDir dir;
    std::vector<std::string> files;
    std::vector<RgbImage> frames;
    for (int k = 0; k < 3; ++k) {
        RgbImage frame = test::RandomImage(12, 8, 40 + k);
        if (k == 1) {
            for (int x = 0; x < 12; ++x) {
                test::SetPixel(frame, x, 3, 255, 255, 255);
            }
        }
        files.push_back(Put(dir, Frame("f", k), frame));
        frames.push_back(frame);
    }
    RgbImage expected = frames[0];
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 36; ++x) {
            const bool out = y >= 2 && y < 5;  // frame 1's area: rows 2 to 4
            for (int k = 1; k < 3; ++k) {
                if (!(out && k == 1)) {
                    expected.Row(y)[x] = std::max(expected.Row(y)[x], frames[k].Row(y)[x]);
                }
            }
        }
    }
    const std::string out = dir.File("out.png");
    ChildResult r =
        Stack({"-o", out, "--exclude", files[1] + "@0,2,12,3", files[0], files[1], files[2]});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    RgbImage got;
    ASSERT_TRUE(LoadImageFile(got, out));
    EXPECT_TRUE(test::SamePixels(got, expected));

    const std::string list = dir.File("night.txt");
    std::FILE* f = std::fopen(list.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fprintf(f,
                 "[List]\ncount=3\n[L0000]\nname=%s\n[L0001]\nname=%s\nexcl=0,2,12,3\n"
                 "[L0002]\nname=%s\n",
                 files[0].c_str(), files[1].c_str(), files[2].c_str());
    std::fclose(f);
    std::filesystem::remove(out);
    r = Stack({"-o", out, "--files-from", list});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(LoadImageFile(got, out));
    EXPECT_TRUE(test::SamePixels(got, expected));

    struct Bad {
        std::vector<std::string> args;
        const char* says;
    };
    const Bad bad[] = {
        {{"--exclude", files[1] + "@0,2,12"}, "--exclude needs FILE@X,Y,W,H"},
        {{"--exclude", "@0,2,12,3"}, "--exclude needs FILE@X,Y,W,H"},
        {{"--exclude", files[1] + "@0,2,0,3"}, "--exclude needs FILE@X,Y,W,H"},
        {{"--exclude", dir.File("none.png") + "@0,2,1,3"}, "no such FILE among the inputs"},
        {{"--reject-bright", "0"}, "--reject-bright needs a number above 0"},
        {{"--reject-bright", "x"}, "--reject-bright needs a number above 0"},
        {{"--reject-window", "3"}, "--reject-window goes with --reject-bright"},
        {{"--reject-bright", "5", "--reject-window", "0"}, "--reject-window needs a number"},
    };
    for (const Bad& b : bad) {
        std::vector<std::string> args = b.args;
        args.insert(args.end(), {"-o", out, files[0], files[1]});
        const ChildResult e = Stack(args);
        EXPECT_EQ(e.exitCode, 2) << b.says;
        EXPECT_NE(e.err.find(b.says), std::string::npos) << e.err;
    }
}

TEST(NocturoStackClean, RejectBrightNamesAndLeavesOutOnlyTheBrightFrames) {
    TempDir dir;
    std::vector<std::string> files;
    for (int k = 0; k < 30; ++k) {
        // Flat near 40 with a little noise, the moon up from frame 20 on,
        // headlights on frames 3 and 26.
        int level = (k >= 20 ? 90 : 40) + k % 3;
        if (k == 3 || k == 26) {
            level += 50;
        }
        const auto v = static_cast<uint8_t>(level);
        files.push_back(Put(dir, Frame("r", 100 + k), SolidImage(4, 4, v, v, v)));
    }
    std::vector<std::string> args = {"-o", dir.File("out.png"), "--reject-bright", "5", "--jobs",
                                     "2"};
    args.insert(args.end(), files.begin(), files.end());
    const ChildResult r = Stack(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "rejected: " + files[3] + " (mean 90.00, limit 48.41)\nrejected: " +
                         files[26] + " (mean 142.00, limit 98.41)\n");
    RgbImage got;
    ASSERT_TRUE(LoadImageFile(got, dir.File("out.png")));
    EXPECT_EQ(test::PixelAt(got, 0, 0)[0], 92);  // the moon's frames, not 140
}

}  // namespace
}  // namespace nocturo
