// nocturo-stack --search and --meteor run as separate processes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "lists/list_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::ChildResult;
using test::SolidImage;
using test::TempDir;

ChildResult Stack(const std::vector<std::string>& args) {
    ChildResult result = test::RunChild(NOCTURO_STACK_PATH, args, false);
    EXPECT_FALSE(result.timedOut);
    return result;
}

// 30 x 20 frames; `bright` white pixels in row 10 and the point (4, 4) at
// the given R + G + B.
std::string Frame(const TempDir& dir, const std::string& name, int bright, int point) {
    RgbImage image = SolidImage(30, 20, 0, 0, 0);
    for (int x = 5; x < 5 + bright; ++x) {
        test::SetPixel(image, x, 10, 255, 255, 255);
    }
    const int third = point / 3;
    test::SetPixel(image, 4, 4, static_cast<uint8_t>(third), static_cast<uint8_t>(third),
                   static_cast<uint8_t>(point - 2 * third));
    std::string file = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, file));
    return file;
}

TEST(SearchCommand, PrintsTheFramesWithAnObject) {
    TempDir dir;
    const std::string a = Frame(dir, "a.bmp", 11, 0);
    const std::string b = Frame(dir, "b.bmp", 10, 0);
    const std::string c = Frame(dir, "c.png", 20, 0);
    const std::string missing = dir.File("missing.jpg");
    struct Case {
        std::vector<std::string> options;
        std::string out;
        int exit;
    };
    const Case cases[] = {
        {{}, a + "\n" + c + "\n", 0},
        {{"--min-pixels", "15"}, c + "\n", 0},
        {{"--min-pixels=0", "--min-level", "255"}, "", 0},
        {{"--margins", "0,26,0,0"}, "", 0},  // only columns 0-3 are searched
    };
    for (const Case& k : cases) {
        std::vector<std::string> args{"--search"};
        args.insert(args.end(), k.options.begin(), k.options.end());
        args.insert(args.end(), {a, b, c});
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.out, k.out);
        EXPECT_EQ(r.exitCode, k.exit) << r.err;
        EXPECT_NE(r.err.find("0 File(s) in Error"), std::string::npos) << r.err;
    }
    const ChildResult failed = Stack({"--search", a, missing});
    EXPECT_EQ(failed.out, a + "\n");
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("in error: " + missing), std::string::npos);
    EXPECT_NE(failed.err.find("1 File(s) in Error"), std::string::npos);
}

TEST(SearchCommand, SavesMarksAndCrops) {
    TempDir dir;
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    const std::string a = Frame(dir, "a.bmp", 11, 0);
    const std::string b = Frame(dir, "b.bmp", 3, 0);
    struct Case {
        std::vector<std::string> options;
        int width, height;
    };
    const Case cases[] = {
        {{"--save-to", out, "--ext", ".png"}, 30, 20},
        {{"--save-to", out, "--ext", "png", "--mark", "--overwrite"}, 30, 20},
        {{"--save-to", out, "--ext", ".png", "--crop", "8x6", "--overwrite"}, 8, 6},
    };
    for (const Case& k : cases) {
        std::vector<std::string> args{"--search"};
        args.insert(args.end(), k.options.begin(), k.options.end());
        args.insert(args.end(), {a, b});
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.out, out + "/a.png\n");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        RgbImage written;
        ASSERT_TRUE(LoadImageFile(written, out + "/a.png"));
        EXPECT_EQ(written.Width(), k.width);
        EXPECT_EQ(written.Height(), k.height);
    }
    // Without --overwrite an existing copy stays and the run says so.
    const ChildResult kept = Stack({"--search", "--save-to", out, "--ext", ".png", a});
    EXPECT_EQ(kept.out, "");
    EXPECT_EQ(kept.exitCode, 2);
    EXPECT_NE(kept.err.find("--overwrite"), std::string::npos) << kept.err;

    // Copies into the frames' own folder under their own extension would be
    // the frames themselves: refused before the search, --overwrite or not.
    const std::vector<uint8_t> before = test::ReadBytes(a);
    const ChildResult own =
        Stack({"--search", "--mark", "--save-to", dir.Path().string(), "--overwrite", b, a});
    EXPECT_EQ(own.exitCode, 2);
    EXPECT_NE(own.err.find(b + " would be one of the input FILEs"), std::string::npos) << own.err;
    EXPECT_EQ(test::ReadBytes(a), before);
}

TEST(SearchCommand, UsageErrors) {
    TempDir dir;
    const std::string a = Frame(dir, "a.bmp", 11, 0);
    const std::vector<std::vector<std::string>> cases = {
        {"--search", "--min-level", "256", a},
        {"--search", "--margins", "1,1,1,101", a},
        {"--search", "--margins", "1,1,1", a},
        {"--search", "--crop", "0x5", a},
        {"--search", "--mark", "--crop", "5x5", a},
        {"--search", "--save-to", dir.File("nowhere"), a},
        {"--search", "--ext", ".png", a},
        {"--search"},
        {"--meteor", "3", a},
        {"--meteor", "1,2", "--mark", a},
        {"--search", "--meteor", "1,2", a},
    };
    for (const auto& args : cases) {
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2) << args[1] << " " << (args.size() > 2 ? args[2] : "");
        EXPECT_EQ(r.out, "");
    }
    const ChildResult help = Stack({"--help"});
    EXPECT_NE(help.out.find("--meteor X,Y"), std::string::npos);
    EXPECT_NE(help.out.find("--search"), std::string::npos);
}

TEST(MeteorCommand, PrintsTheChainOfMaxima) {
    TempDir dir;
    std::vector<std::string> files;
    const int values[] = {300, 450, 450, 200, 600};
    for (int k = 0; k < 5; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "f%d.bmp", k);
        files.push_back(Frame(dir, name, 0, values[k]));
    }
    std::vector<std::string> args{"--meteor", "4,4"};
    args.insert(args.end(), files.begin(), files.end());
    ChildResult r = Stack(args);
    EXPECT_EQ(r.out, files[0] + "\n" + files[1] + "\n" + files[4] + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // A missing frame and a frame of another size are in error, never the
    // maximum.
    const std::string missing = dir.File("missing.bmp");
    RgbImage other = SolidImage(31, 20, 255, 255, 255);
    std::string big = dir.File("big.bmp");
    ASSERT_TRUE(SaveImageFile(other, big));
    r = Stack({"--meteor=4,4", files[0], missing, big, files[3]});
    EXPECT_EQ(r.out, files[0] + "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("2 File(s) in Error"), std::string::npos) << r.err;
}

TEST(ListCommands, EveryCommandTakesTheCheckedEntriesOfASavedList) {
    TempDir dir;
    const std::string a = Frame(dir, "a.bmp", 11, 300);
    const std::string c = Frame(dir, "c.bmp", 20, 600);
    FileList list;
    list.Append(ListEntry{a, true, true, false});
    list.Append(ListEntry{dir.File("unchecked-missing.bmp"), false, true, false});
    list.Append(ListEntry{c, true, true, false});
    const std::string listFile = dir.File("processlist.txt");
    ASSERT_TRUE(SaveListFile(list, listFile));
    const std::vector<std::string> commands[] = {
        {"--search"}, {"--meteor", "4,4"}, {"--moving-max", "2", "-o", dir.File("mm0001.bmp")}};
    for (const std::vector<std::string>& command : commands) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--files-from", listFile});
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 0) << command[0] << ": " << r.err;
        EXPECT_NE((r.out + r.err).find("0 File(s) in Error"), std::string::npos) << command[0];
    }
}

}  // namespace
}  // namespace nocturo
