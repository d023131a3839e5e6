// Decoding ahead changes nothing: the same run with and without decode
// workers gives the same calls to the host, the same result bytes, the same
// list marks and the same step files, also when the list or the files change
// while the run is under way.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/image_file.h"
#include "engine/stacking_run.h"
#include "engine/step_saving.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

/// Everything a run leaves behind that a user could see.
struct Outcome {
    std::vector<std::string> log;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::vector<ListEntry> left;
    std::vector<ListEntry> right;
    std::map<std::string, std::vector<uint8_t>> files;
    int32_t position = 0;
    int32_t stepNumber = 0;
    bool unsaved = false;
    bool pause = false;
    bool stop = false;
    DecodeStats stats;
};

/// One scenario: fills the folder and the fixture, then runs.
using Scenario = std::function<void(const TempDir& dir, RunFixture& run)>;

void EmptyFolder(const TempDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::filesystem::remove_all(entry.path());
    }
}

Outcome RunScenario(const TempDir& dir, const Scenario& scenario, int threads, int ahead) {
    EmptyFolder(dir);
    RunFixture run;
    Outcome out;
    run.state.Decode.threads = threads;
    run.state.Decode.ahead = ahead;
    run.state.Decode.stats = &out.stats;
    scenario(dir, run);
    EXPECT_TRUE(run.host.answers.empty()) << Numbered("threads ", threads, ", ahead ") << ahead;
    out.log = run.host.log;
    const RgbImage& result = *run.state.Result;
    out.width = result.Width();
    out.height = result.Height();
    for (int y = 0; y < result.Height(); ++y) {
        out.pixels.insert(out.pixels.end(), result.Row(y), result.Row(y) + result.Stride());
    }
    out.left = run.Left().Entries();
    out.right = run.Right().Entries();
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        out.files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    }
    out.position = run.state.ResultPosition;
    out.stepNumber = run.state.Steps.StepNumber;
    out.unsaved = run.state.ResultUnsaved;
    out.pause = run.state.PauseRequested;
    out.stop = run.state.StopRequested;
    return out;
}

void ExpectSame(const Outcome& expected, const Outcome& actual, const std::string& label) {
    EXPECT_EQ(expected.log, actual.log) << label;
    EXPECT_EQ(expected.width, actual.width) << label;
    EXPECT_EQ(expected.height, actual.height) << label;
    EXPECT_TRUE(expected.pixels == actual.pixels) << label;
    EXPECT_TRUE(expected.left == actual.left) << label;
    EXPECT_TRUE(expected.right == actual.right) << label;
    EXPECT_EQ(expected.files.size(), actual.files.size()) << label;
    for (const auto& [name, bytes] : expected.files) {
        auto it = actual.files.find(name);
        ASSERT_NE(it, actual.files.end()) << label << ": " << name;
        EXPECT_TRUE(it->second == bytes) << label << ": " << name;
    }
    EXPECT_EQ(expected.position, actual.position) << label;
    EXPECT_EQ(expected.stepNumber, actual.stepNumber) << label;
    EXPECT_EQ(expected.unsaved, actual.unsaved) << label;
    EXPECT_EQ(expected.pause, actual.pause) << label;
    EXPECT_EQ(expected.stop, actual.stop) << label;
}

/// Runs the scenario sequentially and with several worker setups, and
/// compares. The workers must have supplied frames, or the comparison
/// proves nothing.
void ExpectSameWithAndWithoutWorkers(const Scenario& scenario) {
    TempDir dir;
    const Outcome sequential = RunScenario(dir, scenario, 0, 2);
    EXPECT_EQ(sequential.stats.prefetched, 0);
    int64_t prefetched = 0;
    const int setups[][2] = {{1, 2}, {2, 2}, {2, 1}, {2, 3}};
    for (const auto& setup : setups) {
        const Outcome ahead = RunScenario(dir, scenario, setup[0], setup[1]);
        ExpectSame(sequential, ahead,
                   Numbered("threads ", setup[0], ", ahead ") + std::to_string(setup[1]));
        EXPECT_EQ(ahead.stats.prefetched + ahead.stats.loadedByRun, sequential.stats.loadedByRun);
        prefetched += ahead.stats.prefetched;
    }
    EXPECT_GT(prefetched, 0);
}

std::string WriteFrame(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName));
    return fileName;
}

/// Frames in0..in(n-1), of one size, as list entries (not yet added).
std::vector<std::string> WriteFrames(const TempDir& dir, int count, uint32_t seed) {
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) {
        names.push_back(WriteFrame(dir, Numbered("in", k, k % 3 == 1 ? ".png" : ".bmp"),
                                   RandomImage(24, 16, seed + k)));
    }
    return names;
}

TEST(DecodeAhead, PlainRunWithSkippedAndFailingEntries) {
    ExpectSameWithAndWithoutWorkers([](const TempDir& dir, RunFixture& run) {
        std::vector<std::string> names = WriteFrames(dir, 10, 1);
        const std::string corrupt = dir.File("corrupt.png");
        WriteBytes(corrupt, {0x89, 'P', 'N', 'G', 0, 0});
        run.AddChecked({corrupt, dir.File("missing.txt")});
        for (int k = 0; k < 9; ++k) {
            run.Left().Append(names[k], k != 4, true);  // entry in4 unchecked
        }
        run.Left().Append(names[9], true, false);  // disabled
        run.Left().Append(dir.File("late.txt"), true, true);
        StackingRun(run.context, AddMaxLum, nullptr, false, true);
    });
}

TEST(DecodeAhead, StepFilesThatReplaceLaterInputs) {
    // Later entries of the list, renamed once the run started, name its
    // step files: a frame decoded ahead of its step save must not be used.
    ExpectSameWithAndWithoutWorkers([](const TempDir& dir, RunFixture& run) {
        std::vector<std::string> names = WriteFrames(dir, 4, 50);
        const std::string two = WriteFrame(dir, "out0002.bmp", RandomImage(24, 16, 999));
        const std::string three = WriteFrame(dir, "out0003.bmp", RandomImage(24, 16, 998));
        run.AddChecked({names[0], names[1], names[2], names[3], names[3], names[3]});
        run.host.onEvents = [&run, two, three](int call) {
            if (call == 1) {
                run.Left().SetText(3, two);
                run.Left().SetText(4, three);
            }
        };
        run.host.saveNames = {dir.File("out0001.bmp")};
        run.host.answers = {Answer::Yes, Answer::YesToAll};
        PrepareStepSaving(run.context, AddMax, nullptr, true);
    });
}

TEST(DecodeAhead, HostUnchecksRenamesAndPausesWhileTheRunGoesOn) {
    ExpectSameWithAndWithoutWorkers([](const TempDir& dir, RunFixture& run) {
        std::vector<std::string> names = WriteFrames(dir, 12, 100);
        const std::string other = WriteFrame(dir, "other.bmp", RandomImage(24, 16, 555));
        const std::string small = WriteFrame(dir, "small.bmp", RandomImage(8, 8, 556));
        run.AddChecked(names);
        run.Left().SetChecked(9, false);
        run.host.onEvents = [&run, other, small](int call) {
            FileList& left = run.Left();
            switch (call) {
                case 3:  // while entry 3 and 4 are being decoded ahead
                    left.SetChecked(4, false);
                    left.SetText(3, other);
                    break;
                case 5:
                    ToolButtonAbortClick(run.state);
                    left.SetChecked(9, true);  // checked again later on
                    break;
                case 7:
                    left.SetText(8, small);
                    break;
                default:
                    break;
            }
        };
        run.host.answers = {Answer::No};
        StackingRun(run.context, AddMax, nullptr, false, true);
    });
}

TEST(DecodeAhead, BatchRunLoadsTheFirstPictureTwice) {
    ExpectSameWithAndWithoutWorkers([](const TempDir& dir, RunFixture& run) {
        std::vector<std::string> names = WriteFrames(dir, 5, 200);
        run.AddChecked(names);
        run.Left().Append(names[0], true, true);
        BatchParams params;
        ClearImage(&params.reference);
        params.factor = 100;
        params.offset = -3;
        run.host.saveNames = {dir.File("batch.png")};
        PrepareStepSaving(run.context, BatchSubtract, &params, false);
    });
}

TEST(DecodeAhead, StopByARefusedOverwrite) {
    ExpectSameWithAndWithoutWorkers([](const TempDir& dir, RunFixture& run) {
        std::vector<std::string> names = WriteFrames(dir, 8, 300);
        WriteFrame(dir, "s0004.bmp", RandomImage(3, 3, 1));
        run.AddChecked(names);
        run.host.saveNames = {dir.File("s0001.bmp")};
        run.host.answers = {Answer::No};
        PrepareStepSaving(run.context, AddMin, nullptr, true);
    });
}

}  // namespace
}  // namespace nocturo::test
