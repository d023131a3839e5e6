// nocturo-stack --make-video as users run it: the video it writes, what it
// refuses, and what Ctrl+C leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/image_file.h"
#include "tests/cli/child_process.h"
#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

using test::ChildResult;
using test::TempDir;

const std::string kStack = NOCTURO_STACK_PATH;

std::string Put(const TempDir& dir, int k) {
    std::string name = dir.File("f");
    name.append(std::to_string(k)).append(".png");
    EXPECT_TRUE(SaveImageFile(test::NightFrame(64, 48, k), name));
    return name;
}

std::vector<std::string> FolderContents(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(MakeVideoCli, FramesInOrderWithTheirSettings) {
    TempDir dir;
    const std::string list = dir.File("list.txt");
    std::ofstream(list) << Put(dir, 0) << "\n"
                        << dir.File("missing.png") << "\n"
                        << Put(dir, 2) << "\n";
    const std::string out = dir.File("night.mp4");
    ChildResult r = test::RunChild(kStack, {"--make-video", out, "--fps", "10", "--crf=20",
                                            "--files-from", list, Put(dir, 1)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "1 File(s) in Error\n");
    EXPECT_NE(r.err.find("In error: " + dir.File("missing.png")), std::string::npos) << r.err;
    test::DecodedVideo video = test::DecodeVideo(out);
    EXPECT_EQ(video.fps, 10.0);
    // The FILEs on the command line come first, then the list's.
    std::vector<RgbImage> pictures;
    for (int k = 0; k < 3; ++k) {
        pictures.push_back(test::NightFrame(64, 48, k));
    }
    EXPECT_EQ(test::FrameOrder(out, pictures), (std::vector<int>{1, 0, 2}));

    r = test::RunChild(kStack, {"--make-video", out, "--overwrite", "--video-width", "32",
                                dir.File("f0.png"), dir.File("f1.png")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    video = test::DecodeVideo(out);
    EXPECT_EQ(video.width, 32);
    EXPECT_EQ(video.height, 24);
    EXPECT_EQ(video.frames.size(), 2u);
}

TEST(MakeVideoCli, RefusalsWriteNothing) {
    TempDir dir;
    const std::string frame = Put(dir, 0);
    const std::string existing = dir.File("old.mp4");
    test::WriteBytes(existing, {'o', 'l', 'd'});
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const Case cases[] = {
        {{"--make-video", existing, frame}, "exists (--overwrite replaces it)"},
        {{"--make-video", frame, "--overwrite", frame}, "is one of the input FILEs"},
        {{"--make-video", dir.File("no/v.mp4"), frame}, "no such folder"},
        {{"--make-video", dir.File("v.mp4"), "--fps", "0", frame}, "--fps needs"},
        {{"--make-video", dir.File("v.mp4"), "--crf", "52", frame}, "--crf needs"},
        {{"--make-video", dir.File("v.mp4"), "--video-width", "8", frame}, "--video-width needs"},
        {{"--make-video", dir.File("v.mp4")}, "no input files"},
        {{"--make-video", dir.File("v.mp4"), "--moving-max", "2", frame, frame},
         "separate commands"},
        {{"--video", existing, frame}, "exists (--overwrite replaces it)"},
        {{"--moving-max", "2", "--video", existing, frame, frame}, "exists (--overwrite"},
        {{"--video", frame, "--overwrite", "--steps", dir.File("s.png"), frame},
         "is one of the input FILEs"},
        {{"--batch", "square", "--video", frame, "--overwrite", frame}, "is one of the input"},
        {{"--fps", "10", "-o", dir.File("r.png"), frame}, "go with --video"},
    };
    for (const Case& c : cases) {
        const ChildResult r = test::RunChild(kStack, c.args);
        EXPECT_EQ(r.exitCode, 2) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(FolderContents(dir), (std::vector<std::string>{"f0.png", "old.mp4"}));
    }
    EXPECT_EQ(test::ReadBytes(existing), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// The runs' --video: each step, batch outcome or moving-maximum output is
// a frame; without --steps or -o the video is all that is written.
TEST(VideoCli, TheRunsFramesWithOrWithoutTheirFiles) {
    struct Case {
        std::vector<std::string> args;
        size_t frames;
        size_t files;  // in the folder besides the three frames and the video
    };
    const Case cases[] = {
        {{}, 3, 0},
        {{"--steps", "s.png"}, 3, 3},
        {{"--batch", "square"}, 3, 0},
        {{"--moving-max", "2"}, 2, 0},
        {{"--moving-max", "2", "-o", "m.png"}, 2, 2},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> args = {"--video", dir.File("v.mp4"), "--fps=5"};
        for (const std::string& arg : c.args) {
            args.push_back(arg.find('.') != std::string::npos ? dir.File(arg) : arg);
        }
        for (int k = 0; k < 3; ++k) {
            args.push_back(Put(dir, k));
        }
        const ChildResult r = test::RunChild(kStack, args);
        EXPECT_EQ(r.exitCode, 0) << args[3] << r.err;
        const test::DecodedVideo video = test::DecodeVideo(dir.File("v.mp4"));
        EXPECT_EQ(video.frames.size(), c.frames) << args[3];
        EXPECT_EQ(video.fps, 5.0);
        EXPECT_EQ(FolderContents(dir).size(), 4 + c.files) << args[3];
    }
}

// Three frames, then names that are no pictures: each writes an error line,
// and with the standard error pipe full the run waits inside its loop, the
// three frames handed to the encoder. One Ctrl+C: the video of those three.
// Two: the program ends at once and leaves no file at all. The same for a
// stack writing its steps as a video.
TEST(MakeVideoCli, CtrlCLeavesAPlayableVideoOrNone) {
    for (const int run : {1, 2, 3, 4}) {
        const int signals = run % 2 + 1;
        const std::string command = run <= 2 ? "--make-video" : "--video";
        SCOPED_TRACE(command + " " + std::to_string(signals));
        TempDir dir;
        std::string names;
        for (int k = 0; k < 3; ++k) {
            names += Put(dir, k) + "\n";
        }
        const std::string padding(200, 'x');
        for (int k = 0; k < 2000; ++k) {
            names.append(dir.File(padding)).append(std::to_string(k)).append(".txt\n");
        }
        const std::string list = dir.File("list.txt");
        std::ofstream(list) << names;
        const std::string out = dir.File("v.mp4");
        test::ChildProcess child(kStack, {command, out, "--jobs", "0", "--files-from", list});
        const int full =
            std::max(child.ErrorPipeCapacity() - 4096 - 1024, child.ErrorPipeCapacity() / 2);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (child.PendingErrorBytes() < full && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_GE(child.PendingErrorBytes(), full);
        for (int k = 0; k < signals; ++k) {
            ::kill(child.Pid(), SIGINT);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const ChildResult r = child.Finish();
        const std::vector<std::string> left = FolderContents(dir);
        if (signals == 1) {
            EXPECT_EQ(r.exitCode, 130);
            EXPECT_NE(r.err.find("interrupted after"), std::string::npos);
            EXPECT_EQ(test::DecodeVideo(out).frames.size(), 3u);
            EXPECT_EQ(left.size(), 5u);  // the frames, the list and the video
        } else {
            EXPECT_EQ(r.signal, SIGINT);
            EXPECT_EQ(left.size(), 4u);  // no video, no temporary file
        }
    }
}

}  // namespace
}  // namespace nocturo
