// The video run over a list: which entries become frames, in which order,
// what happens to the ones that fail, and what a stopped or refused run
// leaves behind.

#include "engine/video_run.h"

#include <gtest/gtest.h>

#include "core/image_file.h"
#include "engine/own_inputs.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

using test::RunFixture;
using test::TempDir;

/// A smooth grey sky with a bright band that moves with k: frames differ
/// clearly, and the video keeps them closely.
RgbImage Frame(int width, int height, int k) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool band = (x - 8 * k + width) % width < 6;
            const auto v = static_cast<uint8_t>(40 + 100 * x / width + 60 * y / height + 80 * band);
            test::SetPixel(image, x, y, v, v, v);
        }
    }
    return image;
}

std::string Put(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string file = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, file));
    return file;
}

/// The index of the picture the frame is closest to.
int Closest(const std::vector<RgbImage>& pictures, const RgbImage& frame) {
    int best = -1;
    double bestPsnr = 0;
    for (size_t k = 0; k < pictures.size(); ++k) {
        const double psnr = test::Psnr(pictures[k], frame);
        if (psnr > bestPsnr) {
            bestPsnr = psnr;
            best = static_cast<int>(k);
        }
    }
    return bestPsnr >= 40 ? best : -1;
}

TEST(VideoRun, CheckedFramesInListOrderWithoutTheFailures) {
    for (bool ahead : {false, true}) {
        SCOPED_TRACE(ahead);
        TempDir dir;
        std::vector<RgbImage> pictures;
        for (int k = 0; k < 4; ++k) {
            pictures.push_back(Frame(64, 48, k));
        }
        RunFixture run;
        run.state.Decode.threads = ahead ? 2 : 0;
        FileList& list = run.Right();  // either list will do
        list.Append(Put(dir, "a.png", pictures[2]), true, true);
        list.Append(dir.File("missing.png"), true, true);
        list.Append(Put(dir, "b.png", pictures[0]), false, true);  // unchecked
        list.Append(Put(dir, "c.png", Frame(48, 64, 9)), true, true);
        list.Append(Put(dir, "d.png", pictures[3]), true, true);
        list.Append(Put(dir, "e.png", pictures[1]), true, true);
        const VideoRequest request{dir.File("night.mp4"), {}, false};

        const VideoOutcome outcome = MakeVideoRun(run.context, list, request);
        EXPECT_TRUE(outcome.written);
        EXPECT_EQ(outcome.frames, 3);
        EXPECT_EQ(outcome.report.errors, 2);
        EXPECT_EQ(outcome.report.inError,
                  (std::vector<std::string>{dir.File("missing.png"), dir.File("c.png")}));
        EXPECT_TRUE(outcome.report.unwritten.empty());
        for (int index : {1, 3}) {
            EXPECT_FALSE(list.IsEnabled(index) || list.IsChecked(index)) << index;
        }
        EXPECT_EQ(run.host.Count("message|2 File(s) in Error\n"), 1);

        const test::DecodedVideo video = test::DecodeVideo(request.fileName);
        ASSERT_EQ(video.frames.size(), 3u);
        std::vector<int> order;
        for (const RgbImage& frame : video.frames) {
            order.push_back(Closest(pictures, frame));
        }
        EXPECT_EQ(order, (std::vector<int>{2, 3, 1}));
    }
}

// Stopped with the abort button: the frames so far make a complete video.
TEST(VideoRun, AStoppedRunLeavesAPlayableVideoOfTheFramesSoFar) {
    TempDir dir;
    RunFixture run;
    std::vector<std::string> files;
    for (int k = 0; k < 6; ++k) {
        files.push_back(Put(dir, test::Numbered("f", k, ".png"), Frame(64, 48, k)));
    }
    run.AddChecked(files);
    run.host.onEvents = [&](int call) {
        if (call == 3) {  // after the second frame
            ToolButtonAbortClick(run.state);
        }
    };
    run.host.answers = {Answer::Yes};
    const VideoOutcome outcome =
        MakeVideoRun(run.context, run.Left(), {dir.File("v.mp4"), {}, false});
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.frames, 2);
    EXPECT_EQ(test::DecodeVideo(dir.File("v.mp4")).frames.size(), 2u);
}

// An existing video not to be replaced, and a name that is one of the
// list's own files: nothing is read, nothing is written.
TEST(VideoRun, RefusedVideosLeaveEveryFileAsItWas) {
    TempDir dir;
    RunFixture run;
    const std::string frame = Put(dir, "f.png", Frame(64, 48, 0));
    run.AddChecked({frame});
    const std::string existing = dir.File("v.mp4");
    test::WriteBytes(existing, {'o', 'l', 'd'});
    const std::vector<uint8_t> frameBytes = test::ReadBytes(frame);

    VideoOutcome outcome = MakeVideoRun(run.context, run.Left(), {existing, {}, false});
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.report.unwritten, (std::vector<FailedWrite>{{existing, "the file exists"}}));
    EXPECT_EQ(test::ReadBytes(existing), (std::vector<uint8_t>{'o', 'l', 'd'}));

    outcome = MakeVideoRun(run.context, run.Left(), {frame, {}, true});
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(run.host.Lines("message|").back(),
              "message|" + FormatText(kOwnInputText, frame) + "|" + kOwnInputCaption);
    EXPECT_EQ(test::ReadBytes(frame), frameBytes);
    EXPECT_EQ(run.host.Count("status|"), 0);
    EXPECT_TRUE(run.Left().IsChecked(0));
}

}  // namespace
}  // namespace nocturo
