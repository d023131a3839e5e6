// Step files written behind the run: whatever the number of writes in
// flight, a run leaves the same files, right list, marks, numbering and
// messages as one that writes every step before it goes on.

#include "engine/step_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "engine/step_saving.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

namespace fs = std::filesystem;

/// Everything a run leaves behind that a user can see.
struct Outcome {
    std::vector<std::string> story;
    std::vector<std::string> right;
    std::vector<std::string> left;
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<uint8_t> result;  // the result's pixels at the end
    int32_t stepNumber = 0;
    int32_t position = 0;
    bool unsaved = false;
    bool stopped = false;

    bool operator==(const Outcome&) const = default;
};

std::string Marks(const FileList& list, int i) {
    return list.Text(i) + (list.IsChecked(i) ? "|checked" : "|unchecked") +
           (list.IsEnabled(i) ? "|enabled" : "|disabled");
}

/// A scene: frames and what stands in the output folder before the run.
struct Scene {
    const char* what;
    std::string extension;
    // Step numbers whose name is a folder (the write fails) or an existing
    // file (the question is asked).
    std::vector<int> folders;
    std::vector<int> existing;
    std::vector<Answer> answers;
    // Left list entries that name step files of this run (read after the
    // run wrote them), by step number, inserted before frame `at` once the
    // run started.
    int stepReadAt = -1;
    int stepRead = 0;
    // Digits of the numbers, so that they wrap.
    int digits = 4;
    // Frame size: large enough that a write is still going on when the
    // run goes on.
    int width = 24;
    int height = 16;
    // The abort button is pressed inside this call of the host's events
    // (0: never); the pause question takes the next answer.
    int abortAt = 0;
    ImageOperation operation = AddMax;
    // Frames that do not load (a cut file) and a frame of another size:
    // neither is merged, so the step due before waits longer for its
    // picture.
    std::vector<int> broken = {};
    int otherSizeAt = -1;
};

/// A host that also notes, at every question, how many step files the
/// right list holds and whether the result counts as unsaved: the question
/// must come after every earlier outcome is in.
struct QuestionHost : ScriptedHost {
    const ListPair* lists = nullptr;
    const RunState* state = nullptr;
    Answer Ask(const std::string& text, const std::string& caption,
               const std::vector<Answer>& buttons, bool warning) override {
        log.push_back(Numbered("right-at-question|", lists->Right().Count(),
                               state->ResultUnsaved ? "|unsaved" : "|saved"));
        return ScriptedHost::Ask(text, caption, buttons, warning);
    }
};

struct SceneFixture {
    ListPair lists;
    RunState state;
    QuestionHost host;
    RunContext context{lists, state, host};
    SceneFixture() {
        host.lists = &lists;
        host.state = &state;
    }
    FileList& Left() { return lists.Left(); }
    FileList& Right() { return lists.Right(); }
};

Outcome RunScene(const Scene& scene, int inFlight, int decodeThreads) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    SceneFixture run;
    run.state.Writes.inFlight = inFlight;
    run.state.Decode.threads = decodeThreads;
    StepSettings& steps = run.state.Steps;
    steps.AutoAdaptDigits = false;
    steps.NumberFormat =
        "%s%" + std::to_string(scene.digits) + "." + std::to_string(scene.digits) + "d%s";
    steps.digitCount = scene.digits;
    const std::string base = (out / "step").string();
    auto stepName = [&](int n) {
        std::string name = base;
        std::string number = std::to_string(n);
        name.append(
            static_cast<size_t>(std::max(0, scene.digits - static_cast<int>(number.size()))), '0');
        return name + number + scene.extension;
    };
    for (int n : scene.folders) {
        fs::create_directory(stepName(n));
    }
    for (int n : scene.existing) {
        WriteBytes(stepName(n), {'o', 'l', 'd'});
    }
    for (int k = 0; k < 9; ++k) {
        std::string name = dir.File(Numbered("f", k, ".bmp"));
        const int width = k == scene.otherSizeAt ? scene.width + 8 : scene.width;
        EXPECT_TRUE(SaveImageFile(RandomImage(width, scene.height, 300 + k), name));
        if (std::find(scene.broken.begin(), scene.broken.end(), k) != scene.broken.end()) {
            fs::resize_file(name, 40);
        }
        run.Left().Append(name, true, true);
    }
    run.host.answers.assign(scene.answers.begin(), scene.answers.end());
    run.host.onEvents = [&](int call) {
        if (call == 1 && scene.stepReadAt >= 0) {
            // Added once the run started: a run refuses step files that
            // name its list's files beforehand.
            run.Left().Move(run.Left().Append(stepName(scene.stepRead), true, true),
                            scene.stepReadAt);
        }
        if (call == scene.abortAt) {
            ToolButtonAbortClick(run.state);
        }
    };
    run.host.saveNames = {stepName(1)};

    EXPECT_TRUE(PrepareStepSaving(run.context, scene.operation, nullptr, true));

    Outcome o;
    o.story = run.host.Story();
    for (int i = 0; i < run.Right().Count(); ++i) {
        o.right.push_back(Marks(run.Right(), i));
    }
    for (int i = 0; i < run.Left().Count(); ++i) {
        o.left.push_back(Marks(run.Left(), i));
    }
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        o.files[name] = entry.is_regular_file() ? ReadBytes(entry.path().string())
                                                : std::vector<uint8_t>{'d', 'i', 'r'};
    }
    if (run.state.Result) {
        const RgbImage& result = *run.state.Result;
        for (int y = 0; y < result.Height(); ++y) {
            o.result.insert(o.result.end(), result.Row(y), result.Row(y) + result.Stride());
        }
    }
    o.stepNumber = run.state.Steps.StepNumber;
    o.position = run.state.ResultPosition;
    o.unsaved = run.state.ResultUnsaved;
    o.stopped = run.state.StopRequested;
    // Paths differ from run to run only by the temporary folder.
    const std::string root = dir.Path().string();
    auto strip = [&](std::string& text) {
        for (size_t at; (at = text.find(root)) != std::string::npos;) {
            text.replace(at, root.size(), "<dir>");
        }
    };
    for (auto* lines : {&o.story, &o.right, &o.left}) {
        for (std::string& line : *lines) {
            strip(line);
        }
    }
    return o;
}

TEST(StepWriter, WritingBehindTheRunLeavesWhatWritingAtOnceLeaves) {
    const std::vector<Scene> scenes = {
        {"plain JPEG steps", ".jpg", {}, {}, {}},
        {"a write that fails, then one refused with No", ".png", {3}, {6}, {Answer::No}},
        {"Yes, then Yes to All over later files",
         ".bmp",
         {},
         {2, 5, 7},
         {Answer::Yes, Answer::YesToAll}},
        {"Cancel at the first step", ".png", {}, {1}, {Answer::Cancel}},
        {"numbers that wrap onto the run's own files",
         ".bmp",
         {},
         {},
         {Answer::YesToAll},
         -1,
         0,
         1},
        {"a frame that is the step file just written", ".jpg", {}, {}, {}, 4, 4, 4, 600, 400},
        {"paused, then going on", ".jpg", {}, {}, {Answer::No}, -1, 0, 4, 300, 200, 5},
        {"paused and stopped", ".png", {5}, {}, {Answer::Yes}, -1, 0, 4, 300, 200, 6},
        // The merge hands the result's buffer to the step only for operations
        // that commute, and only when the frame is merged.
        {"frames that cannot be merged",
         ".jpg",
         {},
         {},
         {},
         -1,
         0,
         4,
         300,
         200,
         0,
         AddMax,
         {2, 3, 8},
         5},
        {"an operation that does not commute",
         ".bmp",
         {},
         {},
         {},
         -1,
         0,
         4,
         300,
         200,
         0,
         AddMaxLum,
         {4},
         6},
        {"AddMin and a frame that is the step just written",
         ".bmp",
         {},
         {},
         {},
         3,
         2,
         4,
         300,
         200,
         0,
         AddMin},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.what);
        const Outcome sequential = RunScene(scene, 0, 0);
        EXPECT_FALSE(sequential.story.empty());
        for (int inFlight : {1, 2, 3}) {
            for (int threads : {0, 2}) {
                SCOPED_TRACE(
                    Numbered("in flight ", inFlight, Numbered(", decode threads ", threads)));
                const Outcome behind = RunScene(scene, inFlight, threads);
                EXPECT_EQ(behind.story, sequential.story);
                EXPECT_EQ(behind.right, sequential.right);
                EXPECT_EQ(behind.left, sequential.left);
                EXPECT_TRUE(behind.files == sequential.files);
                EXPECT_TRUE(behind.result == sequential.result);
                EXPECT_EQ(behind.stepNumber, sequential.stepNumber);
                EXPECT_EQ(behind.position, sequential.position);
                EXPECT_EQ(behind.unsaved, sequential.unsaved);
                EXPECT_EQ(behind.stopped, sequential.stopped);
            }
        }
    }
}

// The sequential run itself, as the yardstick: what the scenes above
// compare against is what the step rules say.
TEST(StepWriter, TheYardstickFollowsTheStepRules) {
    Scene failing{"", ".png", {3}, {6}, {Answer::No}};
    const Outcome o = RunScene(failing, 0, 0);
    // Steps 1, 2, 4 and 5 written; 3 failed (a folder) and used its number,
    // listed disabled; the question at 6 answered No stopped the run
    // without writing.
    ASSERT_EQ(o.right.size(), 5u);
    EXPECT_EQ(o.right[2], "<dir>/out/step0003.png|unchecked|disabled");
    EXPECT_EQ(o.right[3], "<dir>/out/step0004.png|unchecked|enabled");
    EXPECT_EQ(o.files.at("step0003.png"), (std::vector<uint8_t>{'d', 'i', 'r'}));
    EXPECT_EQ(o.files.at("step0006.png"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(o.files.count("step0007.png"), 0u);
    EXPECT_EQ(o.stepNumber, 6);
    EXPECT_TRUE(o.stopped);
    EXPECT_TRUE(o.unsaved);
    EXPECT_EQ(o.story.back(),
              "message|0 File(s) in Error\n1 File(s) could not be written\nNot written: "
              "<dir>/out/step0003.png (Is a "
              "directory)|Processed Pictures");

    // The run that reads its own step file merges what the step wrote.
    Scene reading{"", ".bmp", {}, {}, {}, 4, 4};
    const Outcome r = RunScene(reading, 0, 0);
    EXPECT_EQ(r.position, 10);
    EXPECT_FALSE(r.unsaved);
    EXPECT_EQ(r.right.size(), 10u);
}

}  // namespace
}  // namespace nocturo::test
