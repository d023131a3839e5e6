// The run progress model, driven by a fake clock.

#include <gtest/gtest.h>

#include <vector>

#include "engine/run_progress.h"

#include <functional>

#include "core/combine.h"
#include "core/image_file.h"
#include "engine/meteor_search.h"
#include "engine/moving_max.h"
#include "engine/video_run.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"
#include "tests/support/video_decode.h"

namespace nocturo {
namespace {

struct Step {
    int done;
    double at;  // seconds after the start
};

struct Case {
    const char* name;
    int total;
    std::vector<Step> steps;
    std::string text;  // after the last step
};

TEST(RunProgress, CounterRateAndTimeLeft) {
    const Case cases[] = {
        {"no rate before a second", 100, {{1, 0.2}, {5, 0.9}}, "5 / 100"},
        {"steady 10 fps", 100, {{10, 1.0}}, "10 / 100  10.0 fps  0:09 left"},
        {"rate smoothed", 1000, {{10, 1.0}, {40, 2.0}}, "40 / 1000  16.0 fps  1:00 left"},
        {"short steps wait for a second",
         100,
         {{10, 1.0}, {12, 1.5}},
         "12 / 100  10.0 fps  0:09 left"},
        {"counter going back starts afresh", 100, {{50, 1.0}, {2, 1.5}}, "2 / 100"},
        {"stalled run", 100, {{0, 2.0}}, "0 / 100  0.0 fps"},
        {"hours", 100000, {{10, 1.0}}, "10 / 100000  10.0 fps  2:46:39 left"},
    };
    for (const Case& c : cases) {
        RunProgress progress;
        progress.Start(50.0);
        for (const Step& step : c.steps) {
            progress.Report(step.done, c.total, 50.0 + step.at);
        }
        EXPECT_EQ(progress.Text(), c.text) << c.name;
    }
}

TEST(RunProgress, NothingShownOutsideARun) {
    RunProgress progress;
    EXPECT_EQ(progress.Text(), "");
    progress.Start(0.0);
    progress.Report(3, 9, 0.5);
    EXPECT_EQ(progress.Text(), "3 / 9");
    progress.Stop();
    EXPECT_FALSE(progress.Running());
    EXPECT_EQ(progress.Text(), "");
}

struct QuietDisplay : MovingMaxDisplay {
    void SetStatusPanel(int, const std::string&) override {}
    void SetLiveDisplay(bool) override {}
    void ShowListCopy(FileList*) override {}
};

// Every run counts the entries it takes, a missing file and frames it
// unchecks among them, and ends at its total; an unchecked entry is not
// counted. The moving maximum counts its outputs.
TEST(RunCounter, EveryRunCountsWhatItGoesThroughToItsTotal) {
    test::TempDir dir;
    std::vector<std::string> files;
    for (int k = 0; k < 4; ++k) {
        files.push_back(dir.File(test::Numbered("f", k, ".png")));
        ASSERT_TRUE(SaveImageFile(test::NightFrame(16, 12, k), files.back()));
    }
    const struct {
        const char* name;
        int total;
        std::function<void(test::RunFixture&)> run;
    } runs[] = {
        {"stacking", 4,
         [](test::RunFixture& r) { StackingRun(r.context, AddMax, nullptr, false, true); }},
        // As "Apply to All": the first frame sizes the result, then is
        // processed like the others, and counted once.
        {"first frame not merged", 4,
         [](test::RunFixture& r) { StackingRun(r.context, AddMax, nullptr, false, false); }},
        {"meteor search", 4, [](test::RunFixture& r) { MaximumSearch(r.context, 2, 1); }},
        {"video", 4,
         [&](test::RunFixture& r) {
             MakeVideoRun(r.context, r.Left(), {dir.File("v.mp4"), {}, true});
         }},
        {"moving maximum", 4,
         [&](test::RunFixture& r) {
             QuietDisplay display;
             MovingMaxRun(r.context, display, {2, false, false, false}, {dir.File("m"), ".png"});
         }},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        test::RunFixture fixture;
        fixture.AddChecked({files[0], dir.File("missing.png"), files[1], files[2], files[3]});
        fixture.Left().SetChecked(2, false);
        run.run(fixture);
        std::vector<std::pair<int, int>> expected;
        for (int k = 1; k <= run.total; ++k) {
            expected.emplace_back(k, run.total);
        }
        EXPECT_EQ(fixture.host.progress, expected);
    }
}

}  // namespace
}  // namespace nocturo
