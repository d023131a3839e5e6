// nocturo-stack run as users run it: a separate process over picture files
// on disk, judged by the files it writes, what it prints and its exit status.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/batch.h"
#include "core/combine.h"
#include "core/image_file.h"
#include "lists/list_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::ChildProcess;
using test::ChildResult;
using test::RandomImage;
using test::SamePixels;
using test::SolidImage;
using test::TempDir;

const std::string kStack = NOCTURO_STACK_PATH;

ChildResult Stack(const std::vector<std::string>& args, bool stderrTerminal = false) {
    ChildResult result = test::RunChild(kStack, args, stderrTerminal);
    EXPECT_FALSE(result.timedOut) << "nocturo-stack did not end";
    EXPECT_EQ(result.signal, 0) << "nocturo-stack was killed by a signal";
    return result;
}

// "f3.png" and the like. (Built with snprintf: "f" + std::to_string(k)
// trips a false -Wrestrict in GCC 12 at -O3.)
std::string Numbered(const char* stem, size_t k, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%zu%s", stem, k, extension);
    return name;
}

std::string CountLine(int errors) {
    return std::to_string(errors) + " File(s) in Error\n";
}

// Writes a picture with the project's own encoder and returns its name.
std::string Put(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string file = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, file)) << file;
    return file;
}

RgbImage Load(const std::string& file) {
    RgbImage image;
    EXPECT_TRUE(std::filesystem::is_regular_file(file)) << file << " was not written";
    EXPECT_TRUE(LoadImageFile(image, file)) << file;
    return image;
}

bool Exists(const std::string& file) {
    return std::filesystem::exists(file);
}

// Channel by channel maximum, written out plainly as the reference.
RgbImage MaxOf(const std::vector<RgbImage>& images) {
    RgbImage out = images.front();
    for (const RgbImage& image : images) {
        for (int y = 0; y < out.Height(); ++y) {
            uint8_t* o = out.Row(y);
            const uint8_t* s = image.Row(y);
            for (int x = 0; x < out.Width() * 3; ++x) {
                o[x] = std::max(o[x], s[x]);
            }
        }
    }
    return out;
}

std::set<std::string> FolderContents(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(NocturoStack, AddMaxOfThreeIsTheChannelMaximum) {
    TempDir dir;
    const std::vector<RgbImage> frames = {RandomImage(40, 30, 1), RandomImage(40, 30, 2),
                                          RandomImage(40, 30, 3)};
    const std::string out = dir.File("trail.png");
    const ChildResult r = Stack({Put(dir, "a.png", frames[0]), Put(dir, "b.png", frames[1]),
                                 Put(dir, "c.png", frames[2]), "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, CountLine(0));
    EXPECT_TRUE(SamePixels(Load(out), MaxOf(frames)));
    // AddMax is the default; naming it changes nothing.
    const std::string named = dir.File("named.png");
    EXPECT_EQ(Stack({"--op", "addmax", dir.File("a.png"), dir.File("b.png"), dir.File("c.png"),
                     "-o", named})
                  .exitCode,
              0);
    EXPECT_TRUE(SamePixels(Load(named), MaxOf(frames)));
}

TEST(NocturoStack, EveryOperationIsTheOneNamed) {
    TempDir dir;
    std::vector<RgbImage> frames = {RandomImage(24, 16, 11), RandomImage(24, 16, 12),
                                    RandomImage(24, 16, 13)};
    std::vector<std::string> names;
    for (size_t k = 0; k < frames.size(); ++k) {
        names.push_back(Put(dir, Numbered("f", k, ".png"), frames[k]));
    }
    struct Case {
        const char* name;
        ImageOperation op;
    };
    const Case cases[] = {{"addmax", AddMax},
                          {"addmin", AddMin},
                          {"addmaxlum", AddMaxLum},
                          {"subminlum", SubMinLum},
                          {"add", Add},
                          {"sub", Sub},
                          {"addmaxthreshold", AddMaxThreshold}};
    std::vector<RgbImage> results;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MaxThreshold = 0;
        RgbImage expected = frames[0];
        for (size_t k = 1; k < frames.size(); ++k) {
            RgbImage source = frames[k];
            ASSERT_TRUE(c.op(source, expected, nullptr));
        }
        const std::string out = dir.File(std::string("out-") + c.name + ".png");
        std::vector<std::string> args = {"--op", c.name, "-o", out};
        args.insert(args.end(), names.begin(), names.end());
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, CountLine(0));
        const RgbImage got = Load(out);
        EXPECT_TRUE(SamePixels(got, expected));
        results.push_back(got);
    }
    // The six other operations give six distinct pictures on random frames.
    for (size_t a = 0; a < 6; ++a) {
        for (size_t b = a + 1; b < 6; ++b) {
            EXPECT_FALSE(SamePixels(results[a], results[b]))
                << cases[a].name << " " << cases[b].name;
        }
    }
}

TEST(NocturoStack, ThresholdReachesAddMaxThreshold) {
    TempDir dir;
    const std::vector<RgbImage> frames = {RandomImage(32, 20, 21), RandomImage(32, 20, 22),
                                          RandomImage(32, 20, 23)};
    std::vector<std::string> args = {"--op", "addmaxthreshold", "--threshold", "150"};
    for (size_t k = 0; k < frames.size(); ++k) {
        args.push_back(Put(dir, Numbered("f", k, ".png"), frames[k]));
    }
    auto expectedFor = [&](int32_t threshold) {
        MaxThreshold = threshold;
        RgbImage expected = frames[0];
        for (size_t k = 1; k < frames.size(); ++k) {
            RgbImage source = frames[k];
            EXPECT_TRUE(AddMaxThreshold(source, expected));
        }
        MaxThreshold = 0;
        return expected;
    };
    const RgbImage at150 = expectedFor(150);
    ASSERT_FALSE(SamePixels(at150, expectedFor(0)));  // the threshold matters on these frames

    const std::string out = dir.File("t.png");
    args.insert(args.end(), {"-o", out});
    const ChildResult r = Stack(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SamePixels(Load(out), at150));

    // The --name=value form works as well.
    const std::string out2 = dir.File("t2.png");
    EXPECT_EQ(
        Stack({"--op=addmaxthreshold", "--threshold=150", "-o", out2, args[4], args[5], args[6]})
            .exitCode,
        0);
    EXPECT_TRUE(SamePixels(Load(out2), at150));
}

TEST(NocturoStack, FilesInErrorAreCountedAsTheProgramCountsThem) {
    TempDir dir;
    const RgbImage a = RandomImage(40, 30, 31);
    const RgbImage b = RandomImage(40, 30, 32);
    const std::string fa = Put(dir, "a.png", a);
    const std::string fb = Put(dir, "b.png", b);
    const std::string small = Put(dir, "small.png", RandomImage(20, 10, 33));
    const std::string garbage = dir.File("garbage.png");
    test::WriteBytes(garbage, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    const std::string out = dir.File("out.png");

    // A failing frame is skipped: the result holds every other frame.
    struct Case {
        const char* what;
        std::vector<std::string> files;
        int errors;
    };
    const std::vector<Case> cases = {
        {"another size in the middle", {fa, small, fb}, 1},
        {"a missing picture first", {dir.File("missing.png"), fa, fb}, 1},
        {"a missing picture in the middle", {fa, dir.File("missing.png"), fb}, 1},
        {"a name that is no picture, first", {dir.File("notes.txt"), fa, fb}, 1},
        {"an undecodable file in the middle", {fa, garbage, fb}, 1},
        {"two bad frames", {fa, small, garbage, fb}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = c.files;
        args.insert(args.end(), {"-o", out});
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, CountLine(c.errors));
        EXPECT_NE(r.err.find("in error"), std::string::npos) << r.err;
        EXPECT_TRUE(SamePixels(Load(out), MaxOf({a, b})));
    }
    {
        SCOPED_TRACE("nothing merged: an existing OUTPUT is kept");
        const RgbImage kept = RandomImage(12, 9, 34);
        std::string name = out;
        ASSERT_TRUE(SaveImageFile(kept, name));
        const ChildResult r = Stack({dir.File("missing.png"), garbage, "-o", out});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, CountLine(2));
        EXPECT_NE(r.err.find("not written"), std::string::npos) << r.err;
        EXPECT_TRUE(SamePixels(Load(out), kept));
    }
}

TEST(NocturoStack, UsageErrorsExitWithTwoAndExplain) {
    TempDir dir;
    const std::string fa = Put(dir, "a.png", RandomImage(8, 8, 41));
    const std::string out = dir.File("out.png");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {fa},                                    // no output
        {"-o", out},                             // no input
        {"--bogus", fa, "-o", out},              // unknown option
        {"--op", "maximum", fa, "-o", out},      // unknown operation
        {"--op"},                                // missing value
        {fa, "-o"},                              // missing value
        {"--threshold", "high", fa, "-o", out},  // not a number
        {"--jobs", "-1", fa, "-o", out},         // out of range
        {"--jobs", "two", fa, "-o", out},        // not a number
        {"--files-from", dir.File("absent.txt"), "-o", out},
        {"--files-from", dir.Path().string(), "-o", out},  // a folder is no list
        {"--steps", "", fa},
        {"--steps", dir.File("sky99999999999.png"), fa},  // a number beyond 32 bits
        {"--overwrite=yes", fa, "-o", out},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("nocturo-stack: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(out));
    }

    const ChildResult help = Stack({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--op", "--threshold", "-o", "--steps", "--overwrite", "--files-from",
                             "--jobs", "--stats", "File(s) in Error", "Ctrl+C"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

// What a batch function makes of one picture, as the window would.
RgbImage BatchOf(int index, const RgbImage& picture, const RgbImage& reference, int factor,
                 int offset) {
    BatchParams params;
    params.reference = reference;
    params.factor = factor;
    params.offset = offset;
    RgbImage source = picture;
    RgbImage result = picture;
    EXPECT_TRUE(BatchFunction(index)(source, result, &params));
    return result;
}

TEST(NocturoStack, BatchWritesEachFramesOutcomeAsANumberedFile) {
    TempDir dir;
    const RgbImage reference = RandomImage(7, 5, 70);
    const std::string ref = Put(dir, "ref.png", reference);
    std::vector<RgbImage> frames;
    std::vector<std::string> files;
    for (size_t k = 0; k < 3; ++k) {
        frames.push_back(RandomImage(7, 5, 71 + static_cast<uint32_t>(k)));
        files.push_back(Put(dir, Numbered("night", k, ".png"), frames.back()));
    }
    struct Case {
        const char* name;
        int index;
        std::vector<std::string> options;
        int factor;
        int offset;
    };
    const Case cases[] = {
        {"dark", 0, {"--reference", ref}, 255, 0},
        {"dark", 0, {"--reference", ref, "--factor", "128", "--offset", "20"}, 128, 20},
        {"add", 1, {"--reference", ref, "--offset=-30"}, 255, -30},
        {"flat", 2, {"--reference", ref}, 255, 0},
        {"multiply", 3, {"--reference", ref, "--factor", "1"}, 1, 0},
        {"square", 4, {}, 255, 0},
        {"square", 4, {"--reference", ref, "--factor", "0", "--offset", "-10"}, 0, -10},
        {"cube", 5, {}, 65025, 0},
        {"cube", 5, {"--factor", "255"}, 255, 0},
    };
    size_t caseNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stem = Numbered("out", caseNumber++, "_");
        std::vector<std::string> args = {"--batch", c.name};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"--steps", dir.File(stem + "0001.png")});
        args.insert(args.end(), files.begin(), files.end());
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, CountLine(0));
        EXPECT_EQ(r.err, "");
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_TRUE(SamePixels(Load(dir.File(stem + Numbered("000", k + 1, ".png"))),
                                   BatchOf(c.index, frames[k], reference, c.factor, c.offset)))
                << k;
        }
        EXPECT_FALSE(Exists(dir.File(stem + "0004.png")));
    }

    // A frame of another size is in error; the ones before it are written.
    const std::string odd = Put(dir, "odd.png", RandomImage(3, 3, 79));
    const ChildResult r = Stack({"--batch", "dark", "--reference", ref, "--steps",
                                 dir.File("mixed0001.png"), files[0], files[1], odd});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, CountLine(1));
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_TRUE(SamePixels(Load(dir.File(Numbered("mixed000", k + 1, ".png"))),
                               BatchOf(0, frames[k], reference, 255, 0)));
    }
    EXPECT_FALSE(Exists(dir.File("mixed0003.png")));
}

TEST(NocturoStack, BatchUsageErrorsAndAReferenceThatCannotBeLoaded) {
    TempDir dir;
    const std::string fa = Put(dir, "a.png", RandomImage(4, 4, 80));
    const std::string ref = Put(dir, "ref.png", RandomImage(4, 4, 81));
    std::string damaged = dir.File("damaged.jpg");
    test::WriteBytes(damaged, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J'});
    const std::string steps = dir.File("cal0001.png");
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--batch", "blur", "--reference", ref, "--steps", steps, fa}, "unknown batch"},
        {{"--batch", "dark", "--steps", steps, fa}, "--reference"},
        {{"--batch", "dark", "--reference", ref, fa}, "--steps"},
        {{"--batch", "dark", "--reference", ref, "-o", dir.File("x.png"), "--steps", steps, fa},
         "--steps"},
        {{"--batch", "dark", "--reference", ref, "--op", "addmin", "--steps", steps, fa}, "--op"},
        {{"--batch", "dark", "--reference", ref, "--factor", "256", "--steps", steps, fa},
         "0 to 255"},
        {{"--batch", "cube", "--factor", "65026", "--steps", steps, fa}, "0 to 65025"},
        {{"--batch", "add", "--reference", ref, "--offset", "-256", "--steps", steps, fa},
         "-255 to 255"},
        {{"--batch", "add", "--reference", ref, "--factor", "x", "--steps", steps, fa},
         "whole number"},
        {{"--reference", ref, "-o", dir.File("x.png"), fa}, "--batch"},
        // References that cannot be loaded: missing, damaged, not a picture.
        {{"--batch", "dark", "--reference", dir.File("missing.png"), "--steps", steps, fa},
         "cannot load the reference picture"},
        {{"--batch", "flat", "--reference", damaged, "--steps", steps, fa},
         "cannot load the reference picture"},
        {{"--batch", "flat", "--reference", dir.Path().string(), "--steps", steps, fa},
         "cannot load the reference picture"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        const ChildResult r = Stack(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(steps));
        EXPECT_FALSE(Exists(dir.File("x.png")));
    }

    const ChildResult help = Stack({"--help"});
    for (const char* word : {"--batch", "dark", "flat", "multiply", "square", "cube", "--reference",
                             "--factor", "--offset", "65025"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

TEST(NocturoStack, AnOutputThatCannotBeWrittenExitsWithTwo) {
    TempDir dir;
    const std::string fa = Put(dir, "a.png", RandomImage(8, 8, 51));
    {
        SCOPED_TRACE("a missing folder is found before the run");
        const ChildResult r = Stack({fa, "-o", dir.File("nowhere/out.png")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("nowhere"), std::string::npos) << r.err;
        const ChildResult s = Stack({fa, "--steps", dir.File("nowhere/sky.png")});
        EXPECT_EQ(s.exitCode, 2);
        EXPECT_NE(s.err.find("nowhere"), std::string::npos) << s.err;
    }
    {
        SCOPED_TRACE("anything but a regular file under the name is never replaced");
        const std::string folder = dir.File("taken.png");
        std::filesystem::create_directory(folder);
        const ChildResult r = Stack({fa, "-o", folder});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
        EXPECT_TRUE(std::filesystem::is_directory(folder));
    }
    {
        SCOPED_TRACE("a save that fails at the end still reports the count");
        // The name is a link into a folder that does not exist: the folder
        // of the name passes the check, the save itself fails.
        const std::string link = dir.File("link.png");
        std::filesystem::create_symlink(dir.File("gone/result.png"), link);
        const ChildResult r = Stack({fa, "-o", link});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, CountLine(0));
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_FALSE(Exists(dir.File("gone")));
    }
    {
        SCOPED_TRACE("names as long as the folder allows are written");
        const std::string longName = dir.File(std::string(251, 'n') + ".png");
        const ChildResult r = Stack({fa, "-o", longName});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(Exists(longName));
    }
}

TEST(NocturoStack, StatsTellWhereTheFramesWereDecoded) {
    TempDir dir;
    std::vector<std::string> args = {"--stats", "-o", dir.File("out.bmp")};
    for (int k = 0; k < 4; ++k) {
        args.push_back(Put(dir, Numbered("f", k, ".jpg"), RandomImage(40, 30, 120 + k)));
    }
    for (const char* jobs : {"0", "2"}) {
        SCOPED_TRACE(jobs);
        std::vector<std::string> withJobs = args;
        withJobs.insert(withJobs.begin(), {"--jobs", jobs});
        const ChildResult r = Stack(withJobs);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, CountLine(0));  // the report stays off standard output
        int frames = -1;
        double megapixels = -1;
        long long ahead = -1, own = -1;
        const size_t at = r.err.find("nocturo-stack: ");
        ASSERT_NE(at, std::string::npos) << r.err;
        ASSERT_EQ(std::sscanf(r.err.c_str() + at,
                              "nocturo-stack: %d frames, %lf megapixels merged in %*f s (%*f MP/s, "
                              "%*f frames/s); decoded ahead: %lld, on the merging thread: %lld",
                              &frames, &megapixels, &ahead, &own),
                  4)
            << r.err;
        EXPECT_EQ(frames, 4);
        EXPECT_NEAR(megapixels, 4 * 40 * 30 / 1e6, 0.05);
        EXPECT_EQ(ahead + own, 4);
        if (std::string(jobs) == "0") {
            EXPECT_EQ(ahead, 0);
        }
        EXPECT_NE(r.err.find("out.bmp written in"), std::string::npos) << r.err;
    }
}

TEST(NocturoStack, FilesFromAppendsItsNamesAfterTheCommandLine) {
    TempDir dir;
    std::vector<RgbImage> frames;
    std::string list;
    for (int k = 0; k < 300; ++k) {
        frames.push_back(RandomImage(8, 6, 1000 + k));
        list += Put(dir, Numbered("n", k, ".png"), frames.back());
        // Lines as a Windows editor writes them, with blank lines between.
        list += k % 7 == 0 ? "\r\n\r\n" : (k % 5 == 0 ? "\n   \n" : "\n");
    }
    const std::string listFile = dir.File("night.txt");
    { std::ofstream(listFile, std::ios::binary) << list; }
    const RgbImage first = SolidImage(8, 6, 5, 6, 7);
    const std::string firstFile = Put(dir, "first.png", first);
    std::vector<RgbImage> all = frames;
    all.push_back(first);

    const std::string out = dir.File("out.png");
    const ChildResult r = Stack({firstFile, "--files-from", listFile, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, CountLine(0));
    EXPECT_TRUE(SamePixels(Load(out), MaxOf(all)));

    // Order: the command-line file comes first, so Sub starts from it.
    const RgbImage bright = SolidImage(8, 6, 200, 200, 200);
    const RgbImage dim = SolidImage(8, 6, 50, 60, 70);
    const std::string shortList = dir.File("short.txt");
    { std::ofstream(shortList, std::ios::binary) << Put(dir, "dim.png", dim) << "\n"; }
    const std::string sub = dir.File("sub.png");
    ASSERT_EQ(
        Stack({"--op", "sub", "--files-from", shortList, Put(dir, "bright.png", bright), "-o", sub})
            .exitCode,
        0);
    EXPECT_TRUE(SamePixels(Load(sub), SolidImage(8, 6, 150, 140, 130)));

    // "-" reads the names from standard input.
    ChildProcess child(kStack, {"--files-from", "-", "-o", dir.File("stdin.png")});
    child.Write(dir.File("bright.png") + "\n" + dir.File("dim.png") + "\n");
    const ChildResult s = child.Finish();
    EXPECT_EQ(s.exitCode, 0) << s.err;
    EXPECT_TRUE(SamePixels(Load(dir.File("stdin.png")), bright));
}

TEST(NocturoStack, FilesFromTakesTheCheckedEntriesOfASavedList) {
    TempDir dir;
    // Frames chosen in the window: the unchecked ones stay out, the order of
    // the list holds (Sub starts from the first checked entry).
    const RgbImage bright = SolidImage(8, 6, 200, 200, 200);
    const RgbImage dim = SolidImage(8, 6, 50, 60, 70);
    const RgbImage other = SolidImage(8, 6, 255, 255, 255);
    nocturo::FileList list;
    list.Append(nocturo::ListEntry{Put(dir, "other.png", other), false, true, true});
    list.Append(nocturo::ListEntry{Put(dir, "br ight\xC3\xA9.png", bright), true, true, false});
    list.Append(nocturo::ListEntry{dir.File("unchecked-missing.png"), false, true, false});
    list.Append(nocturo::ListEntry{Put(dir, "dim.png", dim), true, false, false});
    const std::string listFile = dir.File("processlist.txt");
    std::string error;
    ASSERT_TRUE(nocturo::SaveListFile(list, listFile, &error)) << error;

    const std::string sub = dir.File("sub.png");
    const ChildResult r = Stack({"--op", "sub", "--files-from", listFile, "-o", sub});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, CountLine(0));
    EXPECT_TRUE(SamePixels(Load(sub), SolidImage(8, 6, 150, 140, 130)));

    // A count beyond all reason is refused, not allocated.
    { std::ofstream(listFile, std::ios::binary) << "[List]\r\ncount=2000000000\r\n"; }
    EXPECT_EQ(Stack({"--files-from", listFile, "-o", sub}).exitCode, 2);
    // A list without checked entries brings no files.
    { std::ofstream(listFile, std::ios::binary) << "[List]\r\ncount=1\r\n[L0000]\r\nchck=0\r\n"; }
    EXPECT_EQ(Stack({"--files-from", listFile, "-o", sub}).exitCode, 2);
}

TEST(NocturoStack, FilesFromDecodesEachLineOnItsOwn) {
    // A UTF-8 name stays itself beside a Windows-1252 line, after a
    // byte-order mark too.
    TempDir dir;
    const RgbImage one = SolidImage(4, 3, 10, 20, 30);
    const RgbImage two = SolidImage(4, 3, 40, 5, 6);
    const std::string utf8 = Put(dir, "\xC3\x89t\xC3\xA9.png", one);
    Put(dir, "caf\xC3\xA9.png", two);
    const std::string listFile = dir.File("mixed.txt");
    {
        std::ofstream(listFile, std::ios::binary) << "\xEF\xBB\xBF" << utf8 << "\r\n"
                                                  << dir.File("caf\xE9.png") << "\r\n";
    }
    const std::string out = dir.File("out.png");
    const ChildResult r = Stack({"--files-from", listFile, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SamePixels(Load(out), MaxOf({one, two})));
}

TEST(NocturoStack, FilesFromRefusesWhatIsNoListOfNames) {
    using namespace std::string_literals;
    TempDir dir;
    const std::string frame = Put(dir, "a.png", SolidImage(4, 3, 1, 2, 3));
    struct Case {
        std::string list;  // the LIST's content; empty: `name` as it is
        std::string name;  // the LIST
        const char* said;  // in the message
    };
    const Case cases[] = {
        {"", "/dev/zero", "neither a regular file nor a pipe"},
        {frame + "\n\n" + std::string(5000, 'a') + "\n", "long.txt", "line 3 "},
        {frame + "\r" + std::string(20000, 'a'), "cr.txt", "line 2 "},
        {frame + "\nb.png\0junk\n"s, "nul.txt", "line 2 "},
        {"[List]\r\ncount=0xFFFFFFFF\r\n[L0000]\r\nname=" + frame + "\r\n", "count.txt",
         "0xFFFFFFFF"},
        {"[List]\r\ncount=9223372036854775808\r\n", "big.txt", "9223372036854775808"},
        {"[List]\r\ncount=1\r\n[L0000]\r\nname=b.png\0junk\r\n"s, "nulname.txt", "b.png\\0junk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string list = c.name;
        if (!c.list.empty()) {
            list = dir.File(c.name);
            std::ofstream(list, std::ios::binary) << c.list;
        }
        // Next to a file that loads, the run still does not go ahead.
        const ChildResult r = Stack({frame, "--files-from", list, "-o", dir.File("out.png")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(dir.File("out.png")));
    }
}

TEST(NocturoStack, StepsAreNumberedFromTheChosenName) {
    TempDir dir;
    const std::vector<RgbImage> frames = {RandomImage(40, 30, 61), RandomImage(40, 30, 62),
                                          RandomImage(40, 30, 63)};
    std::vector<std::string> names;
    for (size_t k = 0; k < frames.size(); ++k) {
        names.push_back(Put(dir, Numbered("f", k, ".png"), frames[k]));
    }
    const std::set<std::string> inputs = FolderContents(dir);

    std::vector<std::string> args = {"--steps", dir.File("sky.png")};
    args.insert(args.end(), names.begin(), names.end());
    const ChildResult r = Stack(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, CountLine(0));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0001.png")), frames[0]));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0002.png")), MaxOf({frames[0], frames[1]})));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0003.png")), MaxOf(frames)));
    std::set<std::string> expected = inputs;
    expected.insert({"sky0001.png", "sky0002.png", "sky0003.png"});
    EXPECT_EQ(FolderContents(dir), expected);  // nothing else, no -o file

    // A number in the name is the first number; the extension picks TIFF;
    // -o writes the final result too.
    args = {"--steps", dir.File("night0042.tif"), "-o", dir.File("final.png")};
    args.insert(args.end(), names.begin(), names.end());
    const ChildResult t = Stack(args);
    EXPECT_EQ(t.exitCode, 0) << t.err;
    const std::vector<uint8_t> tiff = test::ReadBytes(dir.File("night0042.tif"));
    ASSERT_GE(tiff.size(), 4u);
    EXPECT_TRUE((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'));
    EXPECT_TRUE(SamePixels(Load(dir.File("night0044.tif")), MaxOf(frames)));
    EXPECT_FALSE(Exists(dir.File("night0045.tif")));
    EXPECT_TRUE(SamePixels(Load(dir.File("final.png")), MaxOf(frames)));
}

TEST(NocturoStack, AnExistingStepFileStopsTheRunUnlessOverwriteIsGiven) {
    TempDir dir;
    const std::vector<RgbImage> frames = {RandomImage(40, 30, 71), RandomImage(40, 30, 72),
                                          RandomImage(40, 30, 73)};
    std::vector<std::string> names;
    for (size_t k = 0; k < frames.size(); ++k) {
        names.push_back(Put(dir, Numbered("f", k, ".png"), frames[k]));
    }
    const RgbImage old = SolidImage(5, 5, 1, 2, 3);
    Put(dir, "sky0002.png", old);

    std::vector<std::string> args = {"--steps", dir.File("sky.png"), "-o", dir.File("out.png")};
    args.insert(args.end(), names.begin(), names.end());
    const ChildResult r = Stack(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, CountLine(0));
    EXPECT_NE(r.err.find("sky0002.png"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0001.png")), frames[0]));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0002.png")), old));  // not replaced
    EXPECT_FALSE(Exists(dir.File("sky0003.png")));                // the run stopped
    // What was merged before the stop is the result.
    EXPECT_TRUE(SamePixels(Load(dir.File("out.png")), MaxOf({frames[0], frames[1]})));

    args.push_back("--overwrite");
    const ChildResult o = Stack(args);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0002.png")), MaxOf({frames[0], frames[1]})));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0003.png")), MaxOf(frames)));

    // Refused at the very first step file: nothing is written, although
    // other frames would give other step files.
    const ChildResult f = Stack({"--steps", dir.File("sky.png"), names[2], names[1]});
    EXPECT_EQ(f.exitCode, 2);
    EXPECT_NE(f.err.find("sky0001.png"), std::string::npos) << f.err;
    EXPECT_EQ(f.err.find("could not be written"), std::string::npos) << f.err;
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0001.png")), frames[0]));
    EXPECT_TRUE(SamePixels(Load(dir.File("sky0002.png")), MaxOf({frames[0], frames[1]})));
}

TEST(NocturoStack, DecodeThreadsDoNotChangeTheOutcome) {
    TempDir dir;
    std::vector<std::string> frames;
    for (int k = 0; k < 12; ++k) {
        frames.push_back(Put(dir, Numbered("f", k, ".jpg"), RandomImage(64, 48, 80 + k)));
    }
    // A clean run, and one with errors before and after the first frame
    // and a frame of another size, so that the order of the errors counts.
    std::vector<std::string> clean = frames;
    std::vector<std::string> faulty = frames;
    faulty.insert(faulty.begin(), dir.File("notes.txt"));
    faulty.insert(faulty.begin() + 6, Put(dir, "odd.jpg", RandomImage(32, 48, 99)));
    faulty.insert(faulty.begin() + 8, dir.File("missing.jpg"));

    for (const auto& [label, files] : {std::pair{"clean", clean}, std::pair{"faulty", faulty}}) {
        SCOPED_TRACE(label);
        std::vector<std::vector<uint8_t>> outputs;
        std::vector<std::string> counts;
        std::vector<int> codes;
        for (const char* jobs : {"0", "1", "2", "3"}) {
            const std::string out = dir.File(std::string(label) + "-" + jobs + ".png");
            std::vector<std::string> args = {"--jobs", jobs, "-o", out};
            args.insert(args.end(), files.begin(), files.end());
            const ChildResult r = Stack(args);
            codes.push_back(r.exitCode);
            counts.push_back(r.out);
            outputs.push_back(test::ReadBytes(out));
        }
        EXPECT_EQ(codes[0], std::string(label) == "clean" ? 0 : 1);
        for (size_t k = 1; k < outputs.size(); ++k) {
            EXPECT_EQ(codes[k], codes[0]) << "jobs " << k;
            EXPECT_EQ(counts[k], counts[0]) << "jobs " << k;
            EXPECT_FALSE(outputs[k].empty());
            EXPECT_TRUE(outputs[k] == outputs[0]) << "jobs " << k;
        }
    }
}

TEST(NocturoStack, ProgressLineOnlyOnATerminal) {
    TempDir dir;
    std::vector<std::string> args = {"-o", dir.File("out.png")};
    for (int k = 0; k < 3; ++k) {
        args.push_back(Put(dir, Numbered("f", k, ".png"), RandomImage(16, 16, 90 + k)));
    }
    const ChildResult terminal = Stack(args, true);
    EXPECT_EQ(terminal.exitCode, 0);
    EXPECT_NE(terminal.err.find("3/3 frames"), std::string::npos) << terminal.err;
    EXPECT_NE(terminal.err.find("frames/s"), std::string::npos) << terminal.err;
    EXPECT_NE(terminal.err.find("left"), std::string::npos) << terminal.err;
    // Each update returns to the start of the line to overwrite it.
    EXPECT_NE(terminal.err.find("\r1/3 frames"), std::string::npos) << terminal.err;
    EXPECT_EQ(terminal.out, CountLine(0));  // the count stays on standard output

    const ChildResult piped = Stack(args);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "");
}

TEST(NocturoStack, CtrlCStopsAfterTheCurrentFrame) {
    TempDir dir;
    // One good frame, then a long run of names that are no pictures. Each
    // one writes an error line, and the test reads none of them until it
    // has pressed Ctrl+C: the full stderr pipe holds the run back, so the
    // interrupt is sure to come long before the end.
    const RgbImage first = RandomImage(40, 30, 101);
    std::string list = Put(dir, "a.png", first) + "\n";
    const std::string padding(200, 'x');
    const int bad = 2000;
    for (int k = 0; k < bad; ++k) {
        list += dir.File(padding + std::to_string(k) + ".txt") + "\n";
    }
    const std::string listFile = dir.File("list.txt");
    { std::ofstream(listFile, std::ios::binary) << list; }
    const std::string out = dir.File("out.png");
    ChildProcess child(kStack, {"--jobs", "0", "--files-from", listFile, "-o", out});
    // Near full, the child waits in its write, inside the run (the lines
    // come only from there). A pipe fills page by page, so up to a page and
    // a line of room can be left when the writer waits.
    const int capacity = child.ErrorPipeCapacity();
    const int full = std::max(capacity - 4096 - 1024, capacity / 2);
    ASSERT_GT(full, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (child.PendingErrorBytes() < full && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(child.PendingErrorBytes(), full);
    ::kill(child.Pid(), SIGINT);
    const ChildResult r = child.Finish();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_NE(r.err.find("interrupted after"), std::string::npos);
    int errors = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%d File(s) in Error", &errors), 1) << r.out;
    EXPECT_GT(errors, 0);
    EXPECT_LT(errors, bad);
    // The result merged so far is still written: the failures did not
    // touch it.
    EXPECT_TRUE(SamePixels(Load(out), first));
}

// `--overwrite --steps s0002.png ... s0001.png s0002.png s0003.png
// s0004.png` replaced frames 2 to 4 before they were read: no output may
// name an input FILE, by any path, whatever --overwrite says.
TEST(NocturoStack, NoOutputEverReplacesAnInputFile) {
    TempDir dir;
    std::vector<std::string> frames;
    for (int k = 1; k <= 4; ++k) {
        frames.push_back(Put(dir, Numbered("s000", k, ".png"), RandomImage(6, 4, 200 + k)));
    }
    std::filesystem::create_directory_symlink(dir.Path(), dir.File("same"));
    std::vector<std::vector<uint8_t>> before;
    for (const std::string& frame : frames) {
        before.push_back(test::ReadBytes(frame));
    }
    struct Case {
        std::vector<std::string> options;
        std::string named;
    };
    const Case cases[] = {
        {{"--overwrite", "--steps", dir.File("s0002.png")}, dir.File("s0002.png")},
        {{"--steps", dir.File("same/s0003.png"), "--overwrite"}, dir.File("same/s0003.png")},
        {{"--batch", "square", "--overwrite", "--steps", dir.File("s0004.png")},
         dir.File("s0004.png")},
        {{"-o", dir.File("same/s0001.png")}, dir.File("same/s0001.png")},
        {{"-o", dir.File("out.png"), "--frame-map", dir.File("s0003.png")}, dir.File("s0003.png")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), frames.begin(), frames.end());
        const ChildResult r = Stack(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_EQ(test::ReadBytes(frames[k]), before[k]) << frames[k];
        }
        EXPECT_EQ(FolderContents(dir).size(), 5u);
    }
}

// Square and cube take their size from the first FILE that loads; the end
// names the files in error and the step files not written, with why.
TEST(NocturoStack, BatchWithoutAReferenceStartsAtTheFirstFileThatLoads) {
    TempDir dir;
    const RgbImage frame = RandomImage(5, 4, 220);
    const std::string good = Put(dir, "good.png", frame);
    std::filesystem::create_directories(dir.File("q0002.png"));  // a folder in the way
    const ChildResult r = Stack({"--batch", "square", "--steps", dir.File("q0001.png"),
                                 dir.File("missing.png"), good, good});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, CountLine(1));
    for (const std::string& line :
         {"In error: " + dir.File("missing.png"),
          "Not written: " + dir.File("q0002.png") + " (Is a directory)"}) {
        EXPECT_NE(r.err.find("nocturo-stack: " + line + "\n"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(SamePixels(Load(dir.File("q0001.png")), BatchOf(4, frame, frame, 255, 0)));
    const ChildResult none =
        Stack({"--batch", "cube", "--steps", dir.File("c0001.png"), dir.File("missing.png")});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("none of the FILEs can be loaded"), std::string::npos) << none.err;
}

// SIGTERM and SIGHUP stop a run as Ctrl+C does: every file being written is
// finished, and no hidden temporary file is left; a second signal ends the
// program at once, still without them.
TEST(NocturoStack, TerminationSignalsStopLikeCtrlC) {
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        TempDir dir;
        std::vector<std::string> args = {"--jobs",       "1",
                                         "--write-jobs", "2",
                                         "--steps",      dir.File("out/step0001.jpg"),
                                         "-o",           dir.File("out/r.png")};
        std::filesystem::create_directory(dir.File("out"));
        for (int k = 0; k < 40; ++k) {
            args.push_back(Put(dir, Numbered("f", k, ".bmp"), RandomImage(600, 400, 230 + k)));
        }
        ChildProcess child(kStack, args);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!Exists(dir.File("out/step0002.jpg")) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (signals == 2) {
            ::kill(child.Pid(), SIGHUP);  // both wait: the second follows the first at once
        }
        ::kill(child.Pid(), SIGTERM);
        const ChildResult r = child.Finish();
        if (signals == 1) {
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
            EXPECT_NE(r.err.find("interrupted after"), std::string::npos) << r.err;
            EXPECT_TRUE(Exists(dir.File("out/r.png")));
        } else {
            EXPECT_NE(r.signal, 0);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
        EXPECT_FALSE(Exists(dir.File("out/step0040.jpg")));
    }
}

}  // namespace
}  // namespace nocturo
