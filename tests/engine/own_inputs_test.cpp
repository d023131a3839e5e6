// No run writes over its own frames: outputs are compared with the inputs
// by the file they stand for, and each run refuses before it starts.

#include "engine/own_inputs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/image_file.h"
#include "engine/moving_max.h"
#include "engine/search_run.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Frames(RunFixture& run, const TempDir& dir, const char* stem, int count) {
    std::vector<std::string> names;
    for (int k = 1; k <= count; ++k) {
        std::string name = dir.File(Numbered(stem, k, ".bmp"));
        EXPECT_TRUE(SaveImageFile(RandomImage(6, 4, static_cast<uint32_t>(k)), name));
        run.AddChecked({name});
        names.push_back(name);
    }
    return names;
}

TEST(FirstOwnInput, ComparesTheFilesTheNamesStandFor) {
    TempDir dir;
    fs::create_directory(dir.Path() / "sub");
    std::string frame = dir.File("f.bmp");
    ASSERT_TRUE(SaveImageFile(RandomImage(2, 2, 1), frame));
    std::string other = dir.File("g.bmp");
    ASSERT_TRUE(SaveImageFile(RandomImage(2, 2, 2), other));
    fs::create_symlink(frame, dir.File("link.bmp"));
    fs::create_hard_link(frame, dir.File("hard.bmp"));
    fs::create_directory_symlink(dir.Path() / "sub", dir.File("sublink"));
    fs::create_symlink(dir.File("sub/later.bmp"), dir.File("dangling.bmp"));
    const std::string missing = dir.File("sub/later.bmp");  // an input not there yet

    struct Case {
        std::string output;
        bool own;
    };
    const Case cases[] = {
        {frame, true},
        {dir.File("sub/../f.bmp"), true},
        {dir.File("link.bmp"), true},
        {dir.File("hard.bmp"), true},
        {missing, true},  // would create a file the run reads later
        {dir.File("sublink/later.bmp"), true},
        {dir.File("dangling.bmp"), true},  // written through to the missing input
        {other, false},
        {dir.File("new.bmp"), false},
        {dir.File("sub/f.bmp"), false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const auto own = FirstOwnInput({dir.File("new2.bmp"), c.output}, {frame, missing});
        EXPECT_EQ(own.has_value(), c.own);
        if (own) {
            EXPECT_EQ(*own, c.output);
        }
    }
    // Relative names count from the working folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_EQ(FirstOwnInput({"./f.bmp"}, {frame}), std::optional<std::string>("./f.bmp"));
    EXPECT_EQ(FirstOwnInput({dir.File("sub/later.bmp")}, {"sub/later.bmp"}).has_value(), true);
    fs::current_path(cwd);
}

// The steps of a run over s0001..s0004 from s0002 on would replace frames 2
// to 4 before they are read: refused, whatever the answers.
TEST(OwnInputs, StepFilesNamingFramesOfTheListAreRefusedBeforeTheRun) {
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "stack");
        TempDir dir;
        RunFixture run;
        const std::vector<std::string> frames = Frames(run, dir, "s000", 4);
        const std::vector<uint8_t> before = ReadBytes(frames[1]);
        run.host.saveNames = {frames[1]};
        BatchParams params;
        ClearImage(&params.reference);
        EXPECT_FALSE(batch ? PrepareStepSaving(run.context, BatchAdd, &params, false)
                           : PrepareStepSaving(run.context, AddMax, nullptr, true));
        EXPECT_EQ(run.host.Story(),
                  (std::vector<std::string>{
                      "save-dialog|proc0001.jpg",
                      "message|" + FormatText(kOwnInputText, frames[1]) + "|" + kOwnInputCaption}));
        EXPECT_EQ(ReadBytes(frames[1]), before);
        EXPECT_EQ(run.Right().Count(), 0);
    }
    // Only the steps the run would write count: two checked frames from
    // s0005 on stay clear of s0001..s0004.
    TempDir dir;
    RunFixture run;
    Frames(run, dir, "s000", 4);
    run.Left().SetChecked(0, false);
    run.Left().SetChecked(1, false);
    run.host.saveNames = {dir.File("s0005.bmp")};
    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));
    EXPECT_EQ(run.Right().Count(), 2);
}

struct QuietDisplay : MovingMaxDisplay {
    void SetStatusPanel(int, const std::string&) override {}
    void SetLiveDisplay(bool) override {}
    void ShowListCopy(FileList*) override {}
};

// After a steps run and a swap, the moving maximum proposed the step files
// that were now its frames: accepting replaced them while they were read.
TEST(OwnInputs, MovingMaximumOutputsNamingItsFramesAreRefused) {
    TempDir dir;
    RunFixture run;
    const std::vector<std::string> frames = Frames(run, dir, "proc000", 5);
    const std::vector<uint8_t> before = ReadBytes(frames[0]);
    run.host.saveNames = {dir.File("proc0006.bmp")};
    QuietDisplay display;
    const auto report = MovingMaxCommand(run.context, display, [](int) {
        MovingMaxSettings settings;
        settings.windowSize = 2;
        return std::optional<MovingMaxSettings>(settings);
    });
    EXPECT_FALSE(report);
    EXPECT_EQ(run.host.Lines("message|"),
              (std::vector<std::string>{"message|" + FormatText(kOwnInputText, frames[0]) + "|" +
                                        kOwnInputCaption}));
    EXPECT_EQ(ReadBytes(frames[0]), before);
    EXPECT_EQ(run.Left().Count(), 5);
}

TEST(OwnInputs, SearchCopiesNamingFramesOfTheListAreRefused) {
    TempDir dir;
    RunFixture run;
    const std::vector<std::string> frames = Frames(run, dir, "m", 2);
    struct Window : SearchWindow {
        void SetOutputName(const std::string&) override {}
        std::optional<SearchChoice> Execute(bool save, const std::string&) override {
            SearchChoice choice;
            choice.params.MinLevel = 0;
            choice.params.MinPixels = 0;
            choice.save = save;
            choice.name = name;
            return choice;
        }
        std::string name;
    } window;
    // The chosen folder is the frames' own, with their extension.
    run.host.saveNames = {dir.File("(CurrentFileName).bmp")};
    window.name = dir.File("(CurrentFileName).bmp");
    const std::vector<uint8_t> before = ReadBytes(frames[0]);
    const auto outcome = AskSearchOutput(run.context, MarkObject, window);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->ownInput, frames[0]);
    EXPECT_TRUE(outcome->found.empty());
    EXPECT_EQ(ReadBytes(frames[0]), before);
    EXPECT_EQ(run.host.Count("message|" + FormatText(kOwnInputText, frames[0])), 1);
    EXPECT_EQ(run.host.Count("status|"), 0);
}

}  // namespace
}  // namespace nocturo::test
