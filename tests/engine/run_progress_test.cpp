// The run progress model, driven by a fake clock.

#include <gtest/gtest.h>

#include <vector>

#include "engine/run_progress.h"

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

}  // namespace
}  // namespace nocturo
