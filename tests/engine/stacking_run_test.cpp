// The stacking run with a scripted host: what it merges, what it marks, what
// it says and in which order.

#include "engine/stacking_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
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

RgbImage ChannelMax(const std::vector<const RgbImage*>& frames) {
    RgbImage out = *frames.front();
    for (const RgbImage* frame : frames) {
        for (int y = 0; y < out.Height(); ++y) {
            for (size_t x = 0; x < out.Stride(); ++x) {
                out.Row(y)[x] = std::max(out.Row(y)[x], frame->Row(y)[x]);
            }
        }
    }
    return out;
}

std::string Shown(const RgbImage& image) {
    return Numbered("show|", image.Width(), "x") + Numbered("", image.Height(), "|") +
           std::to_string(PixelHash(image)) + "|live";
}

void ExpectDisabled(const FileList& list, int index) {
    EXPECT_FALSE(list.IsChecked(index)) << index;
    EXPECT_FALSE(list.IsEnabled(index)) << index;
}

void ExpectTaken(const FileList& list, int index) {
    EXPECT_TRUE(list.IsChecked(index)) << index;
    EXPECT_TRUE(list.IsEnabled(index)) << index;
}

const std::string kNoErrors = "message|0 File(s) in Error|Processed Pictures";

// The final message of a run whose frames `names` were in error.
std::string ErrorReport(const std::vector<std::string>& names) {
    std::string text =
        Numbered("message|", static_cast<long long>(names.size()), " File(s) in Error");
    for (const std::string& name : names) {
        text += "\nIn error: " + name;
    }
    return text + "|Processed Pictures";
}

TEST(StackingRun, NoEntryCheckedOffersNoSaveAndReportsZero) {
    TempDir dir;
    RunFixture run;
    const std::string a = WriteFrame(dir, "a.bmp", RandomImage(6, 4, 1));
    run.Left().Append(a);               // unchecked
    run.Left().Append(a, true, false);  // checked but disabled
    run.Left().Append(dir.File("b.bmp"));
    run.state.Result.reset();  // the run creates a missing buffer
    run.state.ResultPosition = 5;
    ToolButtonAbortClick(run.state);  // pressed before the run: cleared at its start

    StackingRun(run.context, AddMax, nullptr, false, true);

    ASSERT_TRUE(run.state.Result);
    EXPECT_TRUE(run.state.Result->IsEmptyImage());
    EXPECT_EQ(run.state.ResultPosition, 0);
    // Nothing merged: the empty result is neither offered for saving nor
    // asked about at closing time.
    EXPECT_FALSE(run.state.ResultUnsaved);
    EXPECT_FALSE(run.state.PauseRequested);
    EXPECT_FALSE(run.state.StopRequested);
    EXPECT_EQ(run.host.Story(), (std::vector<std::string>{"focus-left", kNoErrors}));
    // Events run once after focusing and once after every entry.
    EXPECT_EQ(run.host.eventCalls, 4);
    EXPECT_FALSE(run.Left().IsChecked(0));
    EXPECT_TRUE(run.Left().IsEnabled(0));
    EXPECT_FALSE(run.Left().IsEnabled(1));
}

TEST(StackingRun, ThreeFramesOfAddMaxGiveTheirChannelMaximum) {
    TempDir dir;
    RunFixture run;
    const RgbImage f0 = RandomImage(8, 6, 10);
    const RgbImage f1 = RandomImage(8, 6, 11);
    const RgbImage f2 = RandomImage(8, 6, 12);
    const std::string n0 = WriteFrame(dir, "f0.bmp", f0);
    const std::string n1 = WriteFrame(dir, "f1.png", f1);
    const std::string n2 = WriteFrame(dir, "f2.bmp", f2);
    run.AddChecked({n0, n1, n2});
    run.state.ResultPosition = 7;  // left from an earlier run

    StackingRun(run.context, AddMax, nullptr, false, true);

    const RgbImage max01 = ChannelMax({&f0, &f1});
    const RgbImage max012 = ChannelMax({&f0, &f1, &f2});
    EXPECT_TRUE(SamePixels(*run.state.Result, max012));
    EXPECT_EQ(run.state.ResultPosition, 3);
    EXPECT_TRUE(run.state.ResultUnsaved);
    // The counter counts the pictures in the result: 1/N, 2/N, 3/N.
    EXPECT_EQ(run.host.Story(),
              (std::vector<std::string>{"focus-left", Shown(f0), "status|0|" + n0 + "|ok",
                                        Shown(max01), "status|1|" + n1 + "|ok", Shown(max012),
                                        "status|2|" + n2 + "|ok", "save-as", kNoErrors}));
    for (int i = 0; i < 3; ++i) {
        ExpectTaken(run.Left(), i);
    }
    EXPECT_EQ(run.Right().Count(), 0);
}

TEST(StackingRun, MissingFirstFileIsAnErrorAndTheNextStartsTheResult) {
    TempDir dir;
    RunFixture run;
    const std::string missing = dir.File("missing.png");
    const RgbImage f0 = RandomImage(8, 6, 1);
    const RgbImage f1 = RandomImage(8, 6, 2);
    const std::string n0 = WriteFrame(dir, "f0.bmp", f0);
    const std::string n1 = WriteFrame(dir, "f1.bmp", f1);
    run.AddChecked({missing, n0, n1});

    StackingRun(run.context, AddMax, nullptr, false, true);

    EXPECT_TRUE(SamePixels(*run.state.Result, ChannelMax({&f0, &f1})));
    EXPECT_EQ(run.state.ResultPosition, 2);
    ExpectDisabled(run.Left(), 0);
    ExpectTaken(run.Left(), 1);
    ExpectTaken(run.Left(), 2);
    EXPECT_EQ(run.host.Lines("status|"),
              (std::vector<std::string>{"status|0|" + missing + "|error", "status|0|" + n0 + "|ok",
                                        "status|1|" + n1 + "|ok"}));
    EXPECT_EQ(run.host.log.back(), ErrorReport({missing}));
    EXPECT_EQ(run.host.Count("save-as"), 1);
}

// One bad frame in the middle of a night costs that frame only: it is
// counted and marked, and the result keeps every frame before and after it.
// The table covers both ways a frame fails (another size, not loadable) and
// both ways of reading frames (on the run's thread, decoded ahead).
TEST(StackingRun, AFrameThatFailsIsSkippedAndTheRunGoesOn) {
    TempDir dir;
    std::vector<RgbImage> good;
    std::vector<std::string> goodNames;
    for (int k = 0; k < 4; ++k) {
        good.push_back(RandomImage(8, 6, k));
        goodNames.push_back(WriteFrame(dir, Numbered("a", k, ".bmp"), good.back()));
    }
    const std::string small = WriteFrame(dir, "small.bmp", RandomImage(5, 4, 9));
    const std::string truncated = dir.File("truncated.png");
    {
        std::string whole = dir.File("whole.png");
        ASSERT_TRUE(SaveImageFile(RandomImage(8, 6, 8), whole));
        std::vector<uint8_t> bytes = ReadBytes(whole);
        bytes.resize(bytes.size() / 2);
        WriteBytes(truncated, bytes);
    }
    const std::string missing = dir.File("gone.jpg");
    const std::vector<const RgbImage*> all{&good[0], &good[1], &good[2], &good[3]};

    struct Case {
        const char* what;
        std::string bad;
        int threads;
    };
    for (const Case& c : {Case{"other size", small, 0}, Case{"other size", small, 2},
                          Case{"truncated", truncated, 0}, Case{"truncated", truncated, 2},
                          Case{"missing", missing, 0}, Case{"missing", missing, 2}}) {
        SCOPED_TRACE(std::string(c.what) + ", threads " + std::to_string(c.threads));
        RunFixture run;
        run.state.Decode.threads = c.threads;
        run.AddChecked({goodNames[0], goodNames[1], c.bad, goodNames[2], goodNames[3]});

        StackingRun(run.context, AddMax, nullptr, false, true);

        EXPECT_TRUE(SamePixels(*run.state.Result, ChannelMax(all)));
        EXPECT_EQ(run.state.ResultPosition, 4);
        EXPECT_TRUE(run.state.ResultUnsaved);
        ExpectTaken(run.Left(), 0);
        ExpectTaken(run.Left(), 1);
        ExpectDisabled(run.Left(), 2);
        ExpectTaken(run.Left(), 3);
        ExpectTaken(run.Left(), 4);
        EXPECT_EQ(run.host.Lines("status|"),
                  (std::vector<std::string>{
                      "status|0|" + goodNames[0] + "|ok", "status|1|" + goodNames[1] + "|ok",
                      "status|-2|" + c.bad + "|error", "status|2|" + goodNames[2] + "|ok",
                      "status|3|" + goodNames[3] + "|ok"}));
        EXPECT_EQ(run.host.Count("show|"), 4);
        EXPECT_EQ(run.host.Count("save-as"), 1);
        EXPECT_EQ(run.host.log.back(), ErrorReport({c.bad}));
    }
}

// An entry that is unchecked, or checked but disabled, is passed over
// without a word, wherever it stands, and keeps its marks.
TEST(StackingRun, UncheckedAndDisabledEntriesAreNotTaken) {
    TempDir dir;
    const RgbImage f0 = RandomImage(6, 4, 1);
    const RgbImage f1 = RandomImage(6, 4, 2);
    const RgbImage bright = SolidImage(6, 4, 255, 255, 255);
    const std::string n0 = WriteFrame(dir, "f0.bmp", f0);
    const std::string n1 = WriteFrame(dir, "f1.bmp", f1);
    const std::string white = WriteFrame(dir, "white.bmp", bright);
    for (int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        RunFixture run;
        run.state.Decode.threads = threads;
        run.Left().Append(white);               // unchecked, before the first picture
        run.Left().Append(white, true, false);  // checked, disabled
        run.Left().Append(n0, true, true);
        run.Left().Append(white);               // unchecked, in the middle
        run.Left().Append(white, true, false);  // checked, disabled
        run.Left().Append(n1, true, true);

        StackingRun(run.context, AddMax, nullptr, false, true);

        EXPECT_TRUE(SamePixels(*run.state.Result, ChannelMax({&f0, &f1})));
        EXPECT_EQ(run.state.ResultPosition, 2);
        EXPECT_EQ(run.host.Lines("status|"),
                  (std::vector<std::string>{"status|0|" + n0 + "|ok", "status|1|" + n1 + "|ok"}));
        for (int i : {0, 3}) {
            EXPECT_FALSE(run.Left().IsChecked(i)) << i;
            EXPECT_TRUE(run.Left().IsEnabled(i)) << i;
        }
        for (int i : {1, 4}) {
            EXPECT_TRUE(run.Left().IsChecked(i)) << i;
            EXPECT_FALSE(run.Left().IsEnabled(i)) << i;
        }
        EXPECT_EQ(run.host.log.back(), kNoErrors);
    }
}

TEST(StackingRun, UnreadableFilesAreCountedMarkedAndSkipped) {
    TempDir dir;
    RunFixture run;
    const std::string corrupt = dir.File("corrupt.png");
    WriteBytes(corrupt, {0x89, 'P', 'N', 'G', 1, 2, 3});
    const std::string text = dir.File("notes.txt");
    WriteBytes(text, {'h', 'i'});
    const RgbImage f0 = RandomImage(8, 6, 1);
    const RgbImage f1 = RandomImage(8, 6, 2);
    const std::string n0 = WriteFrame(dir, "f0.bmp", f0);
    const std::string n1 = WriteFrame(dir, "f1.bmp", f1);
    // A corrupt file before the first picture and a name that cannot be
    // loaded after it: both counted, neither touches the result.
    run.AddChecked({corrupt, n0, text, n1});

    StackingRun(run.context, AddMax, nullptr, false, true);

    ExpectDisabled(run.Left(), 0);
    ExpectTaken(run.Left(), 1);
    ExpectDisabled(run.Left(), 2);
    ExpectTaken(run.Left(), 3);
    EXPECT_TRUE(SamePixels(*run.state.Result, ChannelMax({&f0, &f1})));
    EXPECT_EQ(run.host.Lines("status|"),
              (std::vector<std::string>{"status|0|" + corrupt + "|error", "status|0|" + n0 + "|ok",
                                        "status|-2|" + text + "|error", "status|1|" + n1 + "|ok"}));
    EXPECT_EQ(run.host.log.back(), ErrorReport({corrupt, text}));
}

TEST(StackingRun, SubOverOnePictureAndAddOverTwoCopies) {
    TempDir dir;
    RgbImage picture(RandomImage(7, 5, 3));
    SetPixel(picture, 0, 0, 0, 127, 255);
    SetPixel(picture, 1, 0, 128, 1, 200);
    const std::string name = WriteFrame(dir, "p.bmp", picture);

    RunFixture sub;
    sub.AddChecked({name});
    StackingRun(sub.context, Sub, nullptr, false, true);
    EXPECT_TRUE(SamePixels(*sub.state.Result, picture));
    EXPECT_EQ(sub.state.ResultPosition, 1);

    RunFixture add;
    add.AddChecked({name, name});
    StackingRun(add.context, Add, nullptr, false, true);
    EXPECT_EQ(add.state.ResultPosition, 2);
    EXPECT_EQ(PixelAt(*add.state.Result, 0, 0), (std::vector<uint8_t>{0, 254, 255}));
    EXPECT_EQ(PixelAt(*add.state.Result, 1, 0), (std::vector<uint8_t>{255, 2, 255}));
    for (int y = 0; y < picture.Height(); ++y) {
        for (size_t x = 0; x < picture.Stride(); ++x) {
            ASSERT_EQ(add.state.Result->Row(y)[x], std::min(2 * picture.Row(y)[x], 255));
        }
    }
}

TEST(StackingRun, PauseAnsweredNoGoesOnAndYesStopsWithoutTheSaveDialog) {
    TempDir dir;
    RunFixture run;
    std::vector<RgbImage> frames;
    std::vector<std::string> names;
    for (int k = 0; k < 5; ++k) {
        frames.push_back(RandomImage(6, 4, 20 + k));
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), frames.back()));
    }
    run.AddChecked(names);
    // Call 1 follows the focus; calls 2 and 3 follow entries 1 and 2.
    run.host.onEvents = [&](int call) {
        if (call == 2 || call == 3) {
            ToolButtonAbortClick(run.state);
        }
    };
    run.host.answers = {Answer::No, Answer::Yes};

    StackingRun(run.context, AddMax, nullptr, false, true);

    const std::string pause =
        "ask|Program in pause... Do you want to Stop process|STOP by User|yes,no|question";
    EXPECT_EQ(run.host.Lines("ask|"), (std::vector<std::string>{pause, pause}));
    EXPECT_TRUE(SamePixels(*run.state.Result, ChannelMax({&frames[0], &frames[1], &frames[2]})));
    EXPECT_EQ(run.state.ResultPosition, 3);
    EXPECT_TRUE(run.state.PauseRequested);
    EXPECT_TRUE(run.state.StopRequested);
    EXPECT_EQ(run.host.Count("save-as"), 0);
    EXPECT_EQ(run.host.log.back(), kNoErrors);
    // The question after entry 1 comes before entry 2 is touched.
    const auto first = std::find(run.host.log.begin(), run.host.log.end(), pause);
    const auto status2 =
        std::find(run.host.log.begin(), run.host.log.end(), "status|2|" + names[2] + "|ok");
    EXPECT_LT(first, status2);
}

TEST(StackingRun, AbortDuringTheFirstPicturePhaseSkipsTheMainPhase) {
    TempDir dir;
    RunFixture run;
    const RgbImage f0 = RandomImage(6, 4, 1);
    const std::string corrupt = dir.File("bad.bmp");
    WriteBytes(corrupt, {'B', 'M', 0, 0});
    const std::string n0 = WriteFrame(dir, "f0.bmp", f0);
    const std::string n1 = WriteFrame(dir, "f1.bmp", RandomImage(6, 4, 2));
    run.Left().Append(n1);  // unchecked
    run.AddChecked({corrupt, n0, n1});
    // Call 2 follows the unchecked entry 0: the button is pressed there.
    run.host.onEvents = [&](int call) {
        if (call == 2) {
            ToolButtonAbortClick(run.state);
        }
    };

    StackingRun(run.context, AddMax, nullptr, false, true);

    EXPECT_TRUE(SamePixels(*run.state.Result, f0));
    EXPECT_EQ(run.state.ResultPosition, 1);
    EXPECT_TRUE(run.state.PauseRequested);
    EXPECT_TRUE(run.state.StopRequested);
    ExpectDisabled(run.Left(), 1);
    ExpectTaken(run.Left(), 3);
    EXPECT_EQ(run.host.Count("ask|"), 0);
    EXPECT_EQ(run.host.Count("save-as"), 0);
    EXPECT_EQ(run.host.log.back(), ErrorReport({corrupt}));
}

/// Counts the calls of the operation beside the batch parameters.
struct CountingParams : BatchParams {
    int calls = 0;
};

bool CountingBatchAdd(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    ++static_cast<CountingParams*>(record)->calls;
    return BatchAdd(source, buffer, record);
}

TEST(StackingRun, BatchFunctionProcessesTheFirstPictureToo) {
    TempDir dir;
    RunFixture run;
    std::vector<RgbImage> frames;
    std::vector<std::string> names;
    for (int k = 0; k < 3; ++k) {
        frames.push_back(RandomImage(6, 4, 40 + k));
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), frames.back()));
    }
    run.AddChecked(names);
    CountingParams params;
    ClearImage(&params.reference);  // a 1 x 1 reference acts as black
    params.offset = 10;

    StackingRun(run.context, CountingBatchAdd, &params, false, false);

    EXPECT_EQ(params.calls, 3);
    EXPECT_EQ(run.state.ResultPosition, 3);
    // Batch functions overwrite the buffer: the last picture plus the offset.
    for (int y = 0; y < 4; ++y) {
        for (size_t x = 0; x < frames[2].Stride(); ++x) {
            ASSERT_EQ(run.state.Result->Row(y)[x], std::min(frames[2].Row(y)[x] + 10, 255));
        }
    }
    // The first picture is shown as loaded, then again once processed.
    EXPECT_EQ(
        run.host.Lines("status|"),
        (std::vector<std::string>{"status|0|" + names[0] + "|ok", "status|0|" + names[0] + "|ok",
                                  "status|1|" + names[1] + "|ok", "status|2|" + names[2] + "|ok"}));
    EXPECT_EQ(run.host.Count("save-as"), 1);
}

bool ThrowOnSecondCall(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    if (++static_cast<CountingParams*>(record)->calls == 2) {
        throw std::bad_alloc();
    }
    return AddMax(source, buffer, record);
}

TEST(StackingRun, AnExceptionEndsTheRunWithoutTheFinalMessage) {
    TempDir dir;
    std::vector<std::string> names;
    for (int k = 0; k < 6; ++k) {
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), RandomImage(6, 4, k)));
    }
    for (int threads : {0, 2}) {
        RunFixture run;
        run.AddChecked(names);
        run.state.Decode.threads = threads;
        CountingParams params;
        EXPECT_THROW(StackingRun(run.context, ThrowOnSecondCall, &params, false, true),
                     std::bad_alloc);
        EXPECT_EQ(run.host.Count("message|"), 0) << threads;
        EXPECT_EQ(run.host.Count("save-as"), 0) << threads;
        EXPECT_EQ(run.state.ResultPosition, 2) << threads;
    }
}

TEST(StackingRun, ListEditedWhileEventsRunIsReadAfresh) {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    for (int k = 0; k < 6; ++k) {
        frames.push_back(RandomImage(6, 4, 60 + k));
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), frames.back()));
    }
    for (int threads : {0, 2}) {
        RunFixture run;
        run.AddChecked(names);
        run.state.Decode.threads = threads;
        // After entry 1 (call 2) the user deletes entries 2 and 3 and
        // empties the result slot; call 3 comes from marking the failure
        // that follows, and after that entry (call 4) the whole list goes.
        run.host.onEvents = [&](int call) {
            if (call == 2) {
                run.Left().Delete(2);
                run.Left().Delete(2);
                run.state.Result.reset();
            } else if (call == 4) {
                run.Left().Clear();
            }
        };
        StackingRun(run.context, AddMax, nullptr, false, true);
        // Entry 4 met a fresh empty buffer of another size: an error.
        ASSERT_TRUE(run.state.Result) << threads;
        EXPECT_TRUE(run.state.Result->IsEmptyImage()) << threads;
        EXPECT_EQ(run.host.Lines("status|").back(), "status|-2|" + names[4] + "|error") << threads;
        EXPECT_EQ(run.host.log.back(), ErrorReport({names[4]}));
    }
}

TEST(StackingCommand, RunsWithoutStepsOrAsksForTheFirstStepFile) {
    TempDir dir;
    const std::string name = WriteFrame(dir, "f.bmp", RandomImage(4, 3, 1));

    RunFixture plain;
    plain.AddChecked({name});
    StackingCommand(plain.context, AddMin, false);
    EXPECT_EQ(plain.host.Count("save-dialog|"), 0);
    EXPECT_EQ(plain.host.Count("save-as"), 1);

    RunFixture cancelled;
    cancelled.AddChecked({name});
    cancelled.host.saveNames = {std::nullopt};
    StackingCommand(cancelled.context, AddMin, true);
    EXPECT_EQ(cancelled.host.log, (std::vector<std::string>{"save-dialog|proc0001.jpg"}));

    RunFixture steps;
    steps.AddChecked({name});
    steps.host.saveNames = {dir.File("s.bmp")};
    StackingCommand(steps.context, AddMin, true);
    EXPECT_EQ(steps.host.Count("save-as"), 0);
    EXPECT_EQ(steps.Right().Text(0), dir.File("s0001.bmp"));
    EXPECT_EQ(steps.host.log.back(), kNoErrors);
}

}  // namespace
}  // namespace nocturo::test
