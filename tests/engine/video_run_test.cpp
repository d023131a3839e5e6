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
