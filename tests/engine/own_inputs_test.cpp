// No run writes over its own frames: outputs are compared with the inputs
// by the file they stand for, and each run refuses before it starts.

#include "engine/own_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "engine/moving_max.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

namespace fs = std::filesystem;

TEST(FirstOwnInput, ComparesTheFilesTheNamesStandFor) {
    TempDir dir;
    fs::create_directory(dir.Path() / "sub");
    const std::string frame = dir.File("f.bmp");
    WriteBytes(frame, {'B', 'M'});
    WriteBytes(dir.File("g.bmp"), {'B', 'M'});
    fs::create_symlink(frame, dir.File("link.bmp"));
    fs::create_hard_link(frame, dir.File("hard.bmp"));
    fs::create_directory_symlink(dir.Path() / "sub", dir.File("sublink"));
    fs::create_symlink(dir.File("sub/later.bmp"), dir.File("dangling.bmp"));
    const std::string missing = dir.File("sub/later.bmp");  // an input not there yet
    const std::pair<std::string, bool> cases[] = {
        {frame, true},
        {dir.File("sub/../f.bmp"), true},
        {dir.File("link.bmp"), true},
        {dir.File("hard.bmp"), true},
        {missing, true},  // would make a file the run reads later
        {dir.File("sublink/later.bmp"), true},
        {dir.File("dangling.bmp"), true},  // written through to the missing input
        {dir.File("g.bmp"), false},
        {dir.File("sub/f.bmp"), false},
        {"", false},
    };
    for (const auto& [output, own] : cases) {
        SCOPED_TRACE(output);
        EXPECT_EQ(FirstOwnInput({dir.File("new.bmp"), output}, {frame, missing}),
                  own ? std::optional<std::string>(output) : std::nullopt);
    }
}

// Over s0001..s0004, the steps from s0002 on, and the moving maximum's
// outputs from s0001 on (a steps run's files swapped in, with the proposed
// name), would replace frames: each command stops before its run with a
// message naming the first. (Batch outputs and search copies go through
// the same check; the command-line tests cover them.)
TEST(OwnInputs, EveryRunRefusesOutputsThatAreItsFrames) {
    struct Case {
        const char* chosen;
        const char* first;  // the first output that is a frame
        std::function<bool(RunContext&)> command;
    };
    const Case cases[] = {
        {"s0002.bmp", "s0002.bmp",
         [](RunContext& c) { return PrepareStepSaving(c, AddMax, nullptr, true); }},
        {"s0005.bmp", "s0001.bmp",
         [](RunContext& c) {
             struct : MovingMaxDisplay {
                 void SetStatusPanel(int, const std::string&) override {}
                 void SetLiveDisplay(bool) override {}
                 void ShowListCopy(FileList*) override {}
             } display;
             return MovingMaxCommand(
                        c, display,
                        [](int) {
                            return std::optional<MovingMaxSettings>({2, false, true, false});
                        })
                 .has_value();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        TempDir dir;
        RunFixture run;
        std::vector<std::vector<uint8_t>> before;
        for (int k = 1; k <= 4; ++k) {
            std::string name = dir.File(Numbered("s000", k, ".bmp"));
            ASSERT_TRUE(SaveImageFile(RandomImage(6, 4, static_cast<uint32_t>(k)), name));
            run.AddChecked({name});
            before.push_back(ReadBytes(name));
        }
        run.host.saveNames = {dir.File(c.chosen)};
        EXPECT_FALSE(c.command(run.context));
        EXPECT_EQ(run.host.Lines("message|"),
                  (std::vector<std::string>{"message|" +
                                            FormatText(Lng().txtOwnInput, dir.File(c.first)) + "|" +
                                            Lng().txtWarning}));
        EXPECT_EQ(run.host.Count("status|"), 0);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(ReadBytes(run.Left().Text(k)), before[static_cast<size_t>(k)]);
        }
    }
}

}  // namespace
}  // namespace nocturo::test
