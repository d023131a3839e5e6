// Batch commands: the reference, the preview on the current entry, the
// decoded pictures kept between previews, and "Apply to All".

#include "engine/batch_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

std::string Write(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName)) << fileName;
    return fileName;
}

RgbImage Load(const std::string& fileName) {
    RgbImage image;
    EXPECT_TRUE(LoadImageFile(image, fileName)) << fileName;
    return image;
}

/// What the batch function at `index` makes of one frame against a freshly
/// loaded reference.
RgbImage Expected(int index, const std::string& frameFile, const std::string& referenceFile,
                  int32_t factor, int32_t offset) {
    BatchParams params;
    params.reference = Load(referenceFile);
    params.factor = factor;
    params.offset = offset;
    RgbImage source = Load(frameFile);
    RgbImage result = source;
    EXPECT_TRUE(BatchFunction(index)(source, result, &params));
    return result;
}

BatchRequest Request(int index, const std::string& reference, int32_t factor = 255,
                     int32_t offset = 0) {
    BatchRequest request;
    request.functionIndex = index;
    request.referenceFileName = reference;
    request.factor = factor;
    request.offset = offset;
    return request;
}

std::string ReferenceMessage(const std::string& name) {
    return "message|" + FormatText(Lng().txtReferenceNotLoaded, name) + "|" + Lng().txtBatchCaption;
}

bool Changed(const std::string& fileName, const RgbImage& image) {
    // A new modification time even on file systems with coarse clocks.
    std::string name = fileName;
    if (!SaveImageFile(image, name)) {
        return false;
    }
    const auto later = std::filesystem::last_write_time(fileName) + std::chrono::seconds(2);
    std::filesystem::last_write_time(fileName, later);
    return true;
}

TEST(RunBatchCommand, EmptyReferenceNameOrUnknownFunctionDoesNothingAtAll) {
    TempDir dir;
    for (int index = -1; index <= kBatchFunctionCount; ++index) {
        for (BatchMode mode : {BatchMode::Preview, BatchMode::ApplyToAll}) {
            RunFixture run;
            run.AddChecked({Write(dir, "a.bmp", RandomImage(4, 3, 1))});
            const std::string reference =
                index >= 0 && index < kBatchFunctionCount ? "" : run.Left().Text(0);
            EXPECT_EQ(RunBatchCommand(run.context, Request(index, reference), mode),
                      BatchOutcome::NothingDone)
                << index;
            EXPECT_TRUE(run.host.log.empty()) << index;
            EXPECT_EQ(run.state.ResultPosition, 0);
            EXPECT_TRUE(run.state.Result->IsEmptyImage());
            EXPECT_TRUE(run.Left().IsChecked(0));
        }
    }
}

TEST(RunBatchCommand, ReferenceThatCannotBeLoadedIsReportedAndNothingIsWritten) {
    TempDir dir;
    const std::string frame = Write(dir, "frame.bmp", RandomImage(4, 3, 2));
    std::string damaged = dir.File("damaged.png");
    WriteBytes(damaged, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0});
    WriteBytes(dir.File("notes.txt"), {'h', 'i'});
    const std::vector<std::string> references = {
        dir.File("missing.bmp"),  // no such file, though its extension is a picture's
        damaged,
        dir.File("notes.txt"),  // not a picture name
        dir.Path().string(),    // a folder
    };
    for (const std::string& reference : references) {
        for (BatchMode mode : {BatchMode::Preview, BatchMode::ApplyToAll}) {
            for (bool cached : {false, true}) {
                RunFixture run;
                run.AddChecked({frame});
                run.Left().SetCurrent(0);
                BatchPreviewCache cache;
                EXPECT_EQ(RunBatchCommand(run.context, Request(2, reference), mode,
                                          cached ? &cache : nullptr),
                          BatchOutcome::ReferenceNotLoaded)
                    << reference;
                // One message, no dialog, no picture shown, nothing written.
                EXPECT_EQ(run.host.Story(), std::vector<std::string>{ReferenceMessage(reference)});
                EXPECT_EQ(run.Right().Count(), 0);
                EXPECT_TRUE(run.state.Result->IsEmptyImage());
                EXPECT_FALSE(run.state.ResultUnsaved);
                EXPECT_TRUE(run.Left().IsChecked(0) && run.Left().IsEnabled(0));
            }
        }
    }
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 3);  // frame, damaged, notes: no output anywhere
}

TEST(RunBatchCommand, OnePixelReferenceMakesFlatDivisionWhitePlusOffset) {
    TempDir dir;
    // The one pixel's own value does not matter: it becomes black.
    const std::string reference = Write(dir, "flat.bmp", SolidImage(1, 1, 200, 100, 50));
    const std::string frame = Write(dir, "frame.bmp", RandomImage(5, 3, 3));
    struct Case {
        int32_t offset;
        uint8_t value;
    };
    for (const Case& c : {Case{0, 255}, Case{-100, 155}, Case{-255, 0}, Case{40, 255}}) {
        RunFixture run;
        run.AddChecked({frame, frame});
        run.host.saveNames.push_back(dir.File(Numbered("flat", -c.offset, "_0001.png")));
        EXPECT_EQ(RunBatchCommand(run.context, Request(2, reference, 255, c.offset),
                                  BatchMode::ApplyToAll),
                  BatchOutcome::Done);
        ASSERT_EQ(run.Right().Count(), 2);
        for (int k = 0; k < 2; ++k) {
            EXPECT_TRUE(
                SamePixels(Load(run.Right().Text(k)), SolidImage(5, 3, c.value, c.value, c.value)))
                << c.offset;
        }
        EXPECT_EQ(run.state.ResultPosition, 2);

        // The preview gives the same, also with the kept reference used twice.
        BatchPreviewCache cache;
        for (int pass = 0; pass < 2; ++pass) {
            RunFixture preview;
            preview.AddChecked({frame});
            RunBatchCommand(preview.context, Request(2, reference, 255, c.offset),
                            BatchMode::Preview, &cache);
            EXPECT_TRUE(
                SamePixels(*preview.state.Result, SolidImage(5, 3, c.value, c.value, c.value)));
        }
    }
}

TEST(RunBatchCommand, ApplyToAllWritesWhatTheBatchFunctionGivesFrameByFrame) {
    TempDir dir;
    const std::string reference = Write(dir, "ref.png", RandomImage(6, 4, 50));
    std::vector<std::string> frames;
    for (int k = 0; k < 3; ++k) {
        frames.push_back(Write(dir, Numbered("in", k, ".png"), RandomImage(6, 4, 60 + k)));
    }
    struct Case {
        int index;
        int32_t factor;
        int32_t offset;
    };
    const Case cases[] = {{0, 255, 0}, {0, 128, 20},  {1, 255, -30}, {2, 255, 0},
                          {2, 77, 5},  {3, 255, 0},   {3, 1, 5},     {4, 255, -10},
                          {4, 0, 0},   {5, 65025, 0}, {5, 255, 3}};
    int caseNumber = 0;
    for (const Case& c : cases) {
        RunFixture run;
        DecodeStats stats;
        run.state.Decode.stats = &stats;
        run.AddChecked(frames);
        run.Left().Append(dir.File("skipped.png"), false, true);  // unchecked: not visited
        const std::string first = dir.File(Numbered("out", caseNumber++, "_0007.png"));
        run.host.saveNames.push_back(first);
        EXPECT_EQ(RunBatchCommand(run.context, Request(c.index, reference, c.factor, c.offset),
                                  BatchMode::ApplyToAll),
                  BatchOutcome::Done);
        ASSERT_EQ(run.Right().Count(), 3) << c.index;
        EXPECT_EQ(run.Right().Text(0), first);
        for (int k = 0; k < 3; ++k) {
            // Byte for byte: the expected picture written by the same encoder.
            std::string expectedFile = dir.File("expected.png");
            ASSERT_TRUE(SaveImageFile(Expected(c.index, frames[k], reference, c.factor, c.offset),
                                      expectedFile));
            EXPECT_EQ(ReadBytes(run.Right().Text(k)), ReadBytes(expectedFile))
                << "function " << c.index << " frame " << k;
        }
        EXPECT_EQ(run.state.ResultPosition, 3);
        // The first frame sizes the result and is processed from there:
        // every frame is decoded once.
        EXPECT_EQ(stats.loadedByRun + stats.prefetched, 3);
        EXPECT_EQ(run.host.Count("save-as"), 0);  // the steps were saved
        EXPECT_EQ(run.host.Lines("message|"),
                  std::vector<std::string>{"message|0 File(s) in Error|Processed Pictures"});
    }
}

TEST(RunBatchCommand, ApplyToAllCancelledAtTheFirstFileDoesNothing) {
    TempDir dir;
    const std::string frame = Write(dir, "f.bmp", RandomImage(3, 3, 4));
    RunFixture run;
    run.AddChecked({frame});
    run.host.saveNames.push_back(std::nullopt);
    EXPECT_EQ(RunBatchCommand(run.context, Request(0, frame), BatchMode::ApplyToAll),
              BatchOutcome::Cancelled);
    EXPECT_EQ(run.host.Story(), std::vector<std::string>{"save-dialog|proc0001.jpg"});
    EXPECT_EQ(run.Right().Count(), 0);
}

TEST(PreviewBatch, ProcessesTheCurrentEntryCheckedOrNotAndMarksItByTheOutcome) {
    TempDir dir;
    const RgbImage picture = RandomImage(4, 3, 5);
    const std::string frame = Write(dir, "frame.bmp", picture);
    const std::string other = Write(dir, "other.bmp", RandomImage(4, 3, 6));
    const std::string wrongSize = Write(dir, "small.bmp", RandomImage(2, 2, 7));
    for (bool cached : {false, true}) {
        BatchPreviewCache cache;
        BatchPreviewCache* kept = cached ? &cache : nullptr;
        {
            // An unchecked current entry is processed and becomes checked.
            RunFixture run;
            run.Left().Append(other, true, true);
            run.Left().Append(frame, false, true);
            run.Left().SetCurrent(1);
            run.state.ResultPosition = 9;
            EXPECT_EQ(RunBatchCommand(run.context, Request(0, other), BatchMode::Preview, kept),
                      BatchOutcome::Done);
            EXPECT_TRUE(run.Left().IsChecked(1) && run.Left().IsEnabled(1));
            EXPECT_EQ(run.state.ResultPosition, 1);
            EXPECT_TRUE(run.state.ResultUnsaved);
            EXPECT_TRUE(SamePixels(*run.state.Result, Expected(0, frame, other, 255, 0)));
            EXPECT_EQ(run.host.Story(),
                      (std::vector<std::string>{
                          "show|4x3|" + std::to_string(PixelHash(*run.state.Result)) + "|live",
                          "status|0|" + frame + "|ok"}));
        }
        {
            // No current entry: the first one. A reference of another size
            // is rejected: result cleared, entry unchecked and disabled.
            RunFixture run;
            run.AddChecked({frame});
            RunBatchCommand(run.context, Request(3, wrongSize), BatchMode::Preview, kept);
            EXPECT_FALSE(run.Left().IsChecked(0) || run.Left().IsEnabled(0));
            EXPECT_TRUE(run.state.Result->IsEmptyImage());
            EXPECT_EQ(run.state.ResultPosition, 0);
            EXPECT_FALSE(run.state.ResultUnsaved);
            EXPECT_EQ(run.host.Story(), std::vector<std::string>{"status|0|" + frame + "|error"});
            EXPECT_EQ(run.host.Count("message"), 0);
        }
        {
            // A current file that does not load: nothing else happens.
            RunFixture run;
            std::string broken = dir.File("broken.bmp");
            WriteBytes(broken, {'B', 'M', 1, 2, 3});
            run.AddChecked({broken});
            run.Left().SetCurrent(0);
            RunBatchCommand(run.context, Request(1, frame), BatchMode::Preview, kept);
            EXPECT_TRUE(run.Left().IsChecked(0) && run.Left().IsEnabled(0));
            EXPECT_TRUE(run.state.Result->IsEmptyImage());
            EXPECT_TRUE(run.host.Story().empty());
        }
        {
            // An empty left list: nothing.
            RunFixture run;
            RunBatchCommand(run.context, Request(1, frame), BatchMode::Preview, kept);
            EXPECT_TRUE(run.host.log.empty());
        }
    }
}

TEST(PreviewBatch, KeepsDecodedPicturesWhileTheirFilesAreUnchanged) {
    TempDir dir;
    const std::string frame = Write(dir, "frame.png", RandomImage(8, 6, 10));
    const std::string reference = Write(dir, "dark.png", RandomImage(8, 6, 11));
    RunFixture run;
    run.AddChecked({frame});
    run.Left().SetCurrent(0);
    BatchPreviewCache cache;

    auto preview = [&](int32_t factor) {
        RunBatchCommand(run.context, Request(0, reference, factor, 3), BatchMode::Preview, &cache);
        return *run.state.Result;
    };
    EXPECT_TRUE(SamePixels(preview(255), Expected(0, frame, reference, 255, 3)));
    EXPECT_EQ(cache.frame.Decodes(), 1);  // one decode serves result and source
    EXPECT_EQ(cache.reference.Decodes(), 1);
    // Other settings on the same files: no decode at all.
    EXPECT_TRUE(SamePixels(preview(100), Expected(0, frame, reference, 100, 3)));
    EXPECT_TRUE(SamePixels(preview(255), Expected(0, frame, reference, 255, 3)));
    EXPECT_EQ(cache.frame.Decodes(), 1);
    EXPECT_EQ(cache.reference.Decodes(), 1);

    // A rewritten file is decoded again, and only that one.
    ASSERT_TRUE(Changed(frame, RandomImage(8, 6, 12)));
    EXPECT_TRUE(SamePixels(preview(255), Expected(0, frame, reference, 255, 3)));
    EXPECT_EQ(cache.frame.Decodes(), 2);
    EXPECT_EQ(cache.reference.Decodes(), 1);
    ASSERT_TRUE(Changed(reference, RandomImage(8, 6, 13)));
    EXPECT_TRUE(SamePixels(preview(255), Expected(0, frame, reference, 255, 3)));
    EXPECT_EQ(cache.reference.Decodes(), 2);

    // Another current entry is another file.
    const std::string second = Write(dir, "second.png", RandomImage(8, 6, 14));
    run.Left().Append(second, true, true);
    run.Left().SetCurrent(1);
    EXPECT_TRUE(SamePixels(preview(255), Expected(0, second, reference, 255, 3)));
    EXPECT_EQ(cache.frame.Decodes(), 3);

    // Cleared (the window closed): decoded again.
    cache.Clear();
    preview(255);
    EXPECT_EQ(cache.frame.Decodes(), 4);
    EXPECT_EQ(cache.reference.Decodes(), 3);
}

TEST(PreviewBatch, KeptOnePixelReferenceStaysOnePixelForFramesOfAnotherSize) {
    TempDir dir;
    const std::string reference = Write(dir, "one.bmp", SolidImage(1, 1, 9, 9, 9));
    const std::string big = Write(dir, "big.bmp", RandomImage(6, 5, 20));
    const std::string small = Write(dir, "small.bmp", RandomImage(3, 2, 21));
    RunFixture run;
    run.AddChecked({big, small});
    BatchPreviewCache cache;
    for (int current : {0, 1, 0}) {
        run.Left().SetCurrent(current);
        RunBatchCommand(run.context, Request(1, reference, 255, 7), BatchMode::Preview, &cache);
        // Adding a black reference: the frame plus the offset, at every size.
        RgbImage expected = Load(run.Left().Text(current));
        for (int y = 0; y < expected.Height(); ++y) {
            for (size_t x = 0; x < expected.Stride(); ++x) {
                expected.Row(y)[x] = ClampByte(expected.Row(y)[x] + 7);
            }
        }
        EXPECT_TRUE(SamePixels(*run.state.Result, expected)) << current;
        EXPECT_TRUE(run.Left().IsEnabled(current));
    }
}

}  // namespace
}  // namespace nocturo::test
