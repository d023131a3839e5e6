// The video run over a list: which entries become frames, in which order,
// what happens to the ones that fail, and what a stopped or refused run
// leaves behind.

#include "engine/video_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/image_file.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

TEST(VideoRun, CheckedFramesInListOrderWithoutTheFailures) {
    test::TempDir dir;
    std::vector<RgbImage> pictures;
    std::vector<std::string> files;
    for (int k = 0; k < 5; ++k) {
        pictures.push_back(test::NightFrame(64, 48, k));
        files.push_back(dir.File(test::Numbered("f", k, ".png")));
        ASSERT_TRUE(SaveImageFile(pictures.back(), files.back()));
    }
    std::string otherSize = dir.File("other.png");
    ASSERT_TRUE(SaveImageFile(test::NightFrame(48, 64, 0), otherSize));
    for (bool ahead : {false, true}) {
        SCOPED_TRACE(ahead);
        test::RunFixture run;
        run.state.Decode.threads = ahead ? 2 : 0;
        FileList& list = run.Right();  // either list will do
        for (const std::string& name :
             {files[3], dir.File("missing.png"), files[0], otherSize, files[1], files[4]}) {
            list.Append(name, true, true);
        }
        list.SetChecked(2, false);
        const std::string video = dir.File("night.mp4");
        const VideoOutcome outcome = MakeVideoRun(run.context, list, {video, {}, true});
        EXPECT_TRUE(outcome.written);
        EXPECT_EQ(outcome.frames, 3);
        EXPECT_EQ(outcome.report.inError,
                  (std::vector<std::string>{dir.File("missing.png"), otherSize}));
        EXPECT_FALSE(list.IsEnabled(1) || list.IsEnabled(3));
        EXPECT_EQ(run.host.Count("message|2 File(s) in Error\n"), 1);
        EXPECT_EQ(test::FrameOrder(video, pictures), (std::vector<int>{3, 1, 4}));

        // Stopped with the abort button after two frames: they make a
        // complete video.
        run.Left().AppendEntries({{files[0], true, true, false},
                                  {files[2], true, true, false},
                                  {files[1], true, true, false}});
        run.host.log.clear();
        run.host.onEvents = [&](int) {
            if (run.host.Count("status|1|") == 1) {
                ToolButtonAbortClick(run.state);
            }
        };
        run.host.answers = {Answer::Yes};
        EXPECT_EQ(MakeVideoRun(run.context, run.Left(), {video, {}, true}).frames, 2);
        EXPECT_EQ(test::FrameOrder(video, pictures), (std::vector<int>{0, 2}));
    }
}

// A steps run whose step question names a video: every step is a frame,
// in order, close to the step's picture; the step files are written too
// only when asked, and behind the run or at once alike.
TEST(VideoRun, EveryStepIsAFrame) {
    test::TempDir dir;
    std::vector<std::string> files;
    std::vector<RgbImage> steps;
    for (int k = 0; k < 5; ++k) {
        RgbImage frame = test::NightFrame(64, 48, k);
        files.push_back(dir.File(test::Numbered("f", k, ".png")));
        ASSERT_TRUE(SaveImageFile(frame, files.back()));
        if (k > 0) {  // the maximum of the frames so far
            for (int y = 0; y < 48; ++y) {
                for (size_t x = 0; x < frame.Stride(); ++x) {
                    frame.Row(y)[x] = std::max(frame.Row(y)[x], steps.back().Row(y)[x]);
                }
            }
        }
        steps.push_back(std::move(frame));
    }
    struct Host : test::ScriptedHost {
        bool stepFiles = false;
        bool AskVideoSettings(VideoSettings& settings, bool& files) override {
            settings.fps = 5;
            files = stepFiles;
            return true;
        }
    };
    for (const bool stepFiles : {false, true}) {
        for (const int inFlight : {0, 4}) {
            SCOPED_TRACE(testing::Message() << stepFiles << " " << inFlight);
            Host host;
            host.stepFiles = stepFiles;
            ListPair lists;
            RunState state;
            RunContext context{lists, state, host};
            state.Writes.inFlight = inFlight;
            for (const std::string& name : files) {
                lists.Left().Append(name, true, true);
            }
            lists.Left().Append(dir.File("missing.png"), true, true);  // no frame
            const std::string video = dir.File("steps.mp4");
            host.saveNames = {video};
            if (stepFiles) {
                host.saveNames.push_back(dir.File("s.png"));
            }
            host.answers = {Answer::Yes};  // replace the video of the case before
            ASSERT_TRUE(PrepareStepSaving(context, AddMax, nullptr, true));
            EXPECT_EQ(test::FrameOrder(video, steps), (std::vector<int>{0, 1, 2, 3, 4}));
            EXPECT_EQ(test::DecodeVideo(video).fps, 5.0);
            EXPECT_EQ(lists.Right().Count(), stepFiles ? 5 : 0);
            EXPECT_EQ(std::filesystem::exists(dir.File("s0005.png")), stepFiles);
            EXPECT_EQ(state.Writes.video, nullptr);
            for (int k = 1; k <= 5; ++k) {
                std::filesystem::remove(dir.File(test::Numbered("s000", k, ".png")));
            }
        }
    }
}

// A name that is one of the list's own files: nothing is read or written.
TEST(VideoRun, NeverWritesOverItsFrames) {
    test::TempDir dir;
    test::RunFixture run;
    std::string frame = dir.File("f.png");
    ASSERT_TRUE(SaveImageFile(test::NightFrame(64, 48, 0), frame));
    const std::vector<uint8_t> bytes = test::ReadBytes(frame);
    run.AddChecked({frame});
    EXPECT_TRUE(MakeVideoRun(run.context, run.Left(), {frame, {}, true}).refused);
    EXPECT_EQ(run.host.Lines("message|").back(),
              "message|" + FormatText(Lng().txtOwnInput, frame) + "|" + Lng().txtWarning);
    EXPECT_EQ(test::ReadBytes(frame), bytes);
    EXPECT_EQ(run.host.Count("status|"), 0);
}

}  // namespace
}  // namespace nocturo
