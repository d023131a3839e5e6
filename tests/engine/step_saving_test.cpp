// Step files: their names and numbers, the step dialog, and the overwrite
// question.

#include "engine/step_saving.h"
#include "engine/video_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/image_file.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

std::string WriteFrame(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName));
    return fileName;
}

RgbImage Load(const std::string& fileName) {
    RgbImage image;
    EXPECT_TRUE(LoadImageFile(image, fileName)) << fileName;
    return image;
}

RgbImage ChannelMax(const RgbImage& a, const RgbImage& b) {
    RgbImage out = a;
    for (int y = 0; y < out.Height(); ++y) {
        for (size_t x = 0; x < out.Stride(); ++x) {
            out.Row(y)[x] = std::max(a.Row(y)[x], b.Row(y)[x]);
        }
    }
    return out;
}

std::vector<std::string> Texts(const FileList& list) {
    std::vector<std::string> out;
    for (const ListEntry& entry : list.Entries()) {
        out.push_back(entry.text);
    }
    return out;
}

/// Frames f0..f(n-1) of one size, checked in the left list.
std::vector<RgbImage> AddFrames(RunFixture& run, const TempDir& dir, int count) {
    std::vector<RgbImage> frames;
    for (int k = 0; k < count; ++k) {
        frames.push_back(RandomImage(6, 4, 100 + k));
        run.AddChecked({WriteFrame(dir, Numbered("in", k, ".bmp"), frames.back())});
    }
    return frames;
}

std::string OverwriteQuestion(const std::string& name) {
    return "ask|OverWrite? " + name + "|Warning|yes,no,cancel,no-to-all,yes-to-all|warning";
}

TEST(FirstNumberInFormat, ReadsTheFirstRunOfDigitsAndMinusSigns) {
    EXPECT_EQ(FirstNumberInFormat("%s%4.4d%s"), 4);
    EXPECT_EQ(FirstNumberInFormat("%s%10.10d%s"), 10);
    EXPECT_EQ(FirstNumberInFormat("%s%-3.3d%s"), -3);
    EXPECT_EQ(FirstNumberInFormat("x007y"), 7);
    EXPECT_EQ(FirstNumberInFormat("%s%d%s"), 0);  // no number at all
    EXPECT_EQ(FirstNumberInFormat(""), 0);
    // The last character is never looked at.
    EXPECT_EQ(FirstNumberInFormat("7"), 0);
    EXPECT_EQ(FirstNumberInFormat("abc5"), 0);
    EXPECT_EQ(FirstNumberInFormat("ab56"), 5);
    // Runs that are no valid integer.
    EXPECT_EQ(FirstNumberInFormat("x-y"), 6);
    EXPECT_EQ(FirstNumberInFormat("x4-4y"), 6);
    EXPECT_EQ(FirstNumberInFormat("x--4y"), 6);
    EXPECT_EQ(FirstNumberInFormat("x99999999999y"), 6);
    EXPECT_EQ(FirstNumberInFormat("x2147483647y"), 2147483647);
    EXPECT_EQ(FirstNumberInFormat("x-2147483648y"), -2147483648);
}

TEST(StepFileName, NumbersBaseAndExtension) {
    StepSettings s;
    // First use: "proc", ".jpg", and the number 0 raised to 1.
    EXPECT_EQ(StepFileName(s, s.StepNumber, 0), "proc0001.jpg");
    EXPECT_EQ(s.StepNumber, 1);
    // More than 9 999 entries widen the number.
    EXPECT_EQ(StepFileName(s, 1, 10000), "proc00001.jpg");
    s.AutoAdaptDigits = false;
    EXPECT_EQ(StepFileName(s, 1, 10000), "proc0001.jpg");

    s.baseName = "/out/trail";
    s.extension = ".png";
    EXPECT_EQ(StepFileName(s, 7, 3), "/out/trail0007.png");
    EXPECT_EQ(StepFileName(s, 123456, 3), "/out/trail123456.png");  // never cut
    s.FormatNumbers = false;
    EXPECT_EQ(StepFileName(s, 7, 3), "/out/trail7.png");
    s.FormatNumbers = true;
    s.NumberFormat = "%s%d%s";  // no digits: the plain number
    EXPECT_EQ(StepFileName(s, 7, 3), "/out/trail7.png");
    s.NumberFormat = "%s%-2.2d%s";  // negative: four digits
    EXPECT_EQ(StepFileName(s, 7, 3), "/out/trail0007.png");
    s.NumberFormat = "%s%9999.9999d%s";  // hand-set nonsense stays a file name
    EXPECT_EQ(StepFileName(s, 7, 3).size(), std::string("/out/trail.png").size() + 255);
}

TEST(StepFileName, WrapsAboveTheDigitCountAndWidensForLongLists) {
    StepSettings s;
    s.baseName = "trail";
    s.digitCount = 2;
    s.NumberFormat = "%s%2.2d%s";
    s.AutoAdaptDigits = false;
    s.StepNumber = 99;
    EXPECT_EQ(StepFileName(s, 99, 150), "trail99.jpg");
    EXPECT_EQ(s.StepNumber, 99);
    EXPECT_EQ(StepFileName(s, 100, 150), "trail01.jpg");
    EXPECT_EQ(s.StepNumber, 1);
    s.StepNumber = -5;
    EXPECT_EQ(StepFileName(s, -5, 150), "trail01.jpg");
    EXPECT_EQ(s.StepNumber, 1);

    // 150 entries have three digits.
    s.AutoAdaptDigits = true;
    EXPECT_EQ(StepFileName(s, 1, 150), "trail001.jpg");
    EXPECT_EQ(StepFileName(s, 1, 99), "trail01.jpg");

    // Until the number window is opened the limit is 999 999.
    StepSettings fresh;
    EXPECT_EQ(StepFileName(fresh, 999999, 0), "proc999999.jpg");
    EXPECT_EQ(StepFileName(fresh, 1000000, 0), "proc0001.jpg");
    EXPECT_EQ(fresh.StepNumber, 1);
}

TEST(PrepareStepSaving, FirstUseProposesProc0001AndCancelRunsNothing) {
    RunFixture run;
    run.host.saveNames = {std::nullopt};
    EXPECT_FALSE(PrepareStepSaving(run.context, AddMax, nullptr, true));
    ASSERT_EQ(run.host.saveRequests.size(), 1u);
    const SaveRequest& request = run.host.saveRequests[0];
    EXPECT_EQ(request.fileName, "proc0001.jpg");
    EXPECT_EQ(request.defaultExtension, "bmp");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_EQ(std::string(kStepSaveFilter),
              "All Images|*.BMP;*.JPG;*.JPE;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF|BMP Files|*.BMP|"
              "JPEG Files|*.JPG;*.JPE;*.JPS;*.JPEG|PNG Files|*.PNG|TIF Files|*.TIF;*.TIFF|"
              "GIF Files|*.GIF");
    EXPECT_EQ(request.filter, StepSaveFilterWithVideo());
    EXPECT_EQ(run.host.log, (std::vector<std::string>{"save-dialog|proc0001.jpg"}));
    EXPECT_TRUE(run.state.Steps.baseName.empty());
}

TEST(PrepareStepSaving, NameWithoutDigitsStartsAtOne) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 3);
    run.host.saveNames = {dir.File("sky.png")};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    const std::vector<std::string> steps = {dir.File("sky0001.png"), dir.File("sky0002.png"),
                                            dir.File("sky0003.png")};
    EXPECT_EQ(Texts(run.Right()), steps);
    EXPECT_TRUE(SamePixels(Load(steps[0]), frames[0]));
    const RgbImage max01 = ChannelMax(frames[0], frames[1]);
    EXPECT_TRUE(SamePixels(Load(steps[1]), max01));
    EXPECT_TRUE(SamePixels(Load(steps[2]), ChannelMax(max01, frames[2])));
    EXPECT_EQ(run.state.Steps.StepNumber, 4);
    EXPECT_EQ(run.state.Steps.baseName, dir.File("sky"));
    EXPECT_EQ(run.state.Steps.extension, ".png");
    EXPECT_FALSE(run.state.ResultUnsaved);
    EXPECT_EQ(run.host.Count("save-as"), 0);
    EXPECT_EQ(run.host.Count("ask|"), 0);
    EXPECT_EQ(run.host.log.back(), "message|0 File(s) in Error|Processed Pictures");

    // The next command proposes the next number in the same place.
    run.host.saveNames = {std::nullopt};
    PrepareStepSaving(run.context, AddMax, nullptr, true);
    EXPECT_EQ(run.host.saveRequests.back().fileName, dir.File("sky0004.png"));
}

TEST(PrepareStepSaving, TrailingNumberIsTheFirstStepAndTheExtensionItsFormat) {
    TempDir dir;
    RunFixture run;
    AddFrames(run, dir, 2);
    run.host.saveNames = {dir.File("sky0042.tif")};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(Texts(run.Right()),
              (std::vector<std::string>{dir.File("sky0042.tif"), dir.File("sky0043.tif")}));
    for (const std::string& name : Texts(run.Right())) {
        const std::vector<uint8_t> bytes = ReadBytes(name);
        ASSERT_GE(bytes.size(), 4u);
        const bool tiff = (bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42) ||
                          (bytes[0] == 'M' && bytes[1] == 'M' && bytes[3] == 42);
        EXPECT_TRUE(tiff) << name;
    }
    EXPECT_EQ(run.state.Steps.StepNumber, 44);
}

TEST(PrepareStepSaving, NumberTooLargeEndsTheCommandWithAMessage) {
    TempDir dir;
    RunFixture run;
    AddFrames(run, dir, 1);
    run.host.saveNames = {dir.File("sky2147483648.png")};

    EXPECT_FALSE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(run.host.log, (std::vector<std::string>{
                                "save-dialog|proc0001.jpg",
                                "message|'2147483648' is not a valid integer value|Error"}));
    EXPECT_EQ(run.Right().Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("sky2147483648.png")));

    // Leading zeros do not make a number large.
    run.host.saveNames = {dir.File("sky00000000000000042.png")};
    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));
    EXPECT_EQ(run.Right().Text(0), dir.File("sky0042.png"));
}

TEST(PrepareStepSaving, StartingNumberIsProposedAndSwitchedOffWhenItChangesTheNumber) {
    TempDir dir;
    RunFixture run;
    AddFrames(run, dir, 1);
    run.state.Steps.StartNumber = 250;
    run.state.Steps.ForceStartNumber = true;
    run.host.saveNames = {dir.File("proc0250.jpg")};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(run.host.saveRequests[0].fileName, "proc0250.jpg");
    // 250 differs from the 0 that StepNumber held before the command.
    EXPECT_FALSE(run.state.Steps.ForceStartNumber);
    EXPECT_EQ(run.host.Count("start-number-changed"), 1);
    EXPECT_EQ(run.Right().Text(0), dir.File("proc0250.jpg"));
    EXPECT_EQ(run.state.Steps.StepNumber, 251);

    // When the number read back is the one from before, the forced start
    // stays on.
    RunFixture again;
    AddFrames(again, dir, 1);
    again.state.Steps.StepNumber = 250;
    again.state.Steps.StartNumber = 250;
    again.state.Steps.ForceStartNumber = true;
    again.host.saveNames = {dir.File("n0250.bmp")};
    EXPECT_TRUE(PrepareStepSaving(again.context, AddMax, nullptr, true));
    EXPECT_TRUE(again.state.Steps.ForceStartNumber);
    EXPECT_EQ(again.host.Count("start-number-changed"), 0);
}

TEST(SaveStep, WrapAfterTheLastTwoDigitNumberAsksBeforeOverwritingOne) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 3);
    const std::string one = WriteFrame(dir, "trail01.bmp", RandomImage(6, 4, 7));
    run.state.Steps.digitCount = 2;
    run.state.Steps.NumberFormat = "%s%2.2d%s";
    run.state.Steps.AutoAdaptDigits = false;
    run.host.saveNames = {dir.File("trail98.bmp")};
    run.host.answers = {Answer::Yes};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(run.host.Lines("ask|"), (std::vector<std::string>{OverwriteQuestion(one)}));
    EXPECT_EQ(Texts(run.Right()),
              (std::vector<std::string>{dir.File("trail98.bmp"), dir.File("trail99.bmp"), one}));
    EXPECT_TRUE(SamePixels(Load(one), *run.state.Result));
    EXPECT_EQ(run.state.Steps.StepNumber, 2);
}

TEST(SaveStep, NoEndsTheRunAfterTheCurrentPictureAndWritesNothingForIt) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 4);
    const RgbImage old = RandomImage(6, 4, 77);
    const std::string two = WriteFrame(dir, "n0002.bmp", old);
    run.host.saveNames = {dir.File("n0001.bmp")};
    run.host.answers = {Answer::No};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(run.host.Lines("ask|"), (std::vector<std::string>{OverwriteQuestion(two)}));
    EXPECT_TRUE(SamePixels(Load(two), old));
    EXPECT_FALSE(std::filesystem::exists(dir.File("n0003.bmp")));
    EXPECT_EQ(Texts(run.Right()), (std::vector<std::string>{dir.File("n0001.bmp")}));
    EXPECT_EQ(run.state.Steps.StepNumber, 2);
    EXPECT_TRUE(run.state.StopRequested);
    EXPECT_FALSE(run.state.PauseRequested);
    // The refused picture was merged but is neither shown nor saved.
    EXPECT_EQ(run.state.ResultPosition, 2);
    EXPECT_TRUE(run.state.ResultUnsaved);
    EXPECT_EQ(run.host.Count("status|"), 1);
    EXPECT_EQ(run.host.Count("save-as"), 0);
    EXPECT_EQ(run.host.log.back(), "message|0 File(s) in Error|Processed Pictures");
    // The later pictures were not touched.
    EXPECT_TRUE(run.Left().IsChecked(2) && run.Left().IsEnabled(2));
}

TEST(SaveStep, CancelAtTheFirstPictureSkipsTheMainPhase) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 3);
    const std::string one = WriteFrame(dir, "c0001.bmp", RandomImage(6, 4, 9));
    run.host.saveNames = {one};
    run.host.answers = {Answer::Cancel};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_TRUE(SamePixels(*run.state.Result, frames[0]));
    EXPECT_EQ(run.Right().Count(), 0);
    EXPECT_EQ(run.state.Steps.StepNumber, 1);
    // The first picture is still shown.
    EXPECT_EQ(run.host.Count("status|"), 1);
    EXPECT_EQ(run.host.Count("save-as"), 0);
}

TEST(SaveStep, YesToAllStopsAsking) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 3);
    std::vector<std::string> names;
    for (int k = 1; k <= 3; ++k) {
        names.push_back(WriteFrame(dir, Numbered("y000", k, ".bmp"), RandomImage(2, 2, k)));
    }
    run.host.saveNames = {names[0]};
    run.host.answers = {Answer::YesToAll};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    EXPECT_EQ(run.host.Lines("ask|"), (std::vector<std::string>{OverwriteQuestion(names[0])}));
    EXPECT_EQ(Texts(run.Right()), names);
    EXPECT_TRUE(SamePixels(Load(names[0]), frames[0]));
    EXPECT_TRUE(SamePixels(Load(names[2]), *run.state.Result));
}

TEST(SaveStep, FileThatCannotBeWrittenUsesItsNumberAndTheRunGoesOn) {
    TempDir dir;
    RunFixture run;
    AddFrames(run, dir, 2);
    run.host.saveNames = {dir.File("no-such-folder/s0001.bmp")};

    EXPECT_TRUE(PrepareStepSaving(run.context, AddMax, nullptr, true));

    // Each failed write is listed disabled and named, with why, at the end.
    EXPECT_EQ(Texts(run.Right()), (std::vector<std::string>{dir.File("no-such-folder/s0001.bmp"),
                                                            dir.File("no-such-folder/s0002.bmp")}));
    EXPECT_FALSE(run.Right().IsEnabled(0) || run.Right().IsEnabled(1));
    EXPECT_EQ(
        run.host.log.back(),
        "message|0 File(s) in Error\n2 File(s) could not be written\nNot written: " +
            dir.File("no-such-folder/s0001.bmp") +
            " (No such file or directory)\nNot written: " + dir.File("no-such-folder/s0002.bmp") +
            " (No such file or directory)|Processed Pictures");
    EXPECT_EQ(run.state.Steps.StepNumber, 3);
    EXPECT_TRUE(run.state.ResultUnsaved);
    EXPECT_EQ(run.state.ResultPosition, 2);
    EXPECT_EQ(run.host.Count("status|"), 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
}

TEST(SaveStep, BatchRunSavesAStepForEveryProcessedPicture) {
    TempDir dir;
    RunFixture run;
    const std::vector<RgbImage> frames = AddFrames(run, dir, 2);
    BatchParams params;
    ClearImage(&params.reference);
    params.offset = 5;
    run.host.saveNames = {dir.File("b.png")};

    EXPECT_TRUE(PrepareStepSaving(run.context, BatchAdd, &params, false));

    // Nothing is saved for the picture that only sizes the result.
    ASSERT_EQ(run.Right().Count(), 2);
    const RgbImage first = Load(run.Right().Text(0));
    for (size_t x = 0; x < first.Stride(); ++x) {
        EXPECT_EQ(first.Row(0)[x], std::min(frames[0].Row(0)[x] + 5, 255));
    }
}

TEST(SaveWithOverwriteQuestion, AnswersDecideForExistingFilesOnly) {
    TempDir dir;
    RunFixture run;
    const RgbImage image = RandomImage(3, 2, 5);
    const RgbImage other = RandomImage(3, 2, 6);
    const std::string a = WriteFrame(dir, "a.bmp", other);
    const std::string b = WriteFrame(dir, "b.bmp", other);
    const std::string c = WriteFrame(dir, "c.bmp", other);
    Answer answer = Answer::Yes;

    // A new name is written without a question.
    EXPECT_TRUE(SaveWithOverwriteQuestion(run.context, image, dir.File("new1.bmp"), answer));
    EXPECT_TRUE(SamePixels(Load(dir.File("new1.bmp")), image));
    EXPECT_FALSE(run.state.ResultUnsaved);

    // No: nothing written, nothing stopped; a later new name is still
    // written although No is remembered.
    run.host.answers = {Answer::No};
    EXPECT_FALSE(SaveWithOverwriteQuestion(run.context, image, a, answer));
    EXPECT_TRUE(SamePixels(Load(a), other));
    EXPECT_FALSE(run.state.StopRequested);
    EXPECT_TRUE(SaveWithOverwriteQuestion(run.context, image, dir.File("new2.bmp"), answer));

    // No to All: no more questions, existing files stay.
    run.host.answers = {Answer::NoToAll};
    EXPECT_FALSE(SaveWithOverwriteQuestion(run.context, image, a, answer));
    EXPECT_FALSE(SaveWithOverwriteQuestion(run.context, image, b, answer));
    EXPECT_TRUE(SamePixels(Load(b), other));
    EXPECT_FALSE(run.state.StopRequested);

    // Cancel stops.
    answer = Answer::Yes;
    run.host.answers = {Answer::Cancel};
    EXPECT_FALSE(SaveWithOverwriteQuestion(run.context, image, c, answer));
    EXPECT_TRUE(run.state.StopRequested);
    EXPECT_TRUE(SamePixels(Load(c), other));

    // Yes to All: no more questions, every file overwritten.
    answer = Answer::Yes;
    run.host.answers = {Answer::YesToAll};
    EXPECT_TRUE(SaveWithOverwriteQuestion(run.context, image, a, answer));
    EXPECT_TRUE(SaveWithOverwriteQuestion(run.context, image, b, answer));
    EXPECT_TRUE(SamePixels(Load(b), image));

    EXPECT_EQ(run.host.Lines("ask|"),
              (std::vector<std::string>{OverwriteQuestion(a), OverwriteQuestion(a),
                                        OverwriteQuestion(c), OverwriteQuestion(a)}));
    EXPECT_TRUE(run.host.answers.empty());

    // A failed save reports false. Saving a copy never touches the result's
    // unsaved mark, either way.
    EXPECT_FALSE(SaveWithOverwriteQuestion(run.context, image, dir.File("none/x.bmp"), answer));
    EXPECT_FALSE(run.state.ResultUnsaved);
    run.state.ResultUnsaved = true;
    EXPECT_TRUE(SaveWithOverwriteQuestion(run.context, image, dir.File("new3.bmp"), answer));
    EXPECT_TRUE(run.state.ResultUnsaved);
}

}  // namespace
}  // namespace nocturo::test
