// Whole runs with "16 bits per channel": stacking, steps, batch, search,
// the meteor search and RAW frames, each against the plain 16-bit rules.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/batch.h"
#include "core/image_file.h"
#include "engine/batch_command.h"
#include "engine/darkened_max.h"
#include "engine/frame_map.h"
#include "engine/frame_prefetcher.h"
#include "engine/meteor_search.h"
#include "engine/moving_max.h"
#include "engine/search_run.h"
#include "engine/stacking_run.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/dng_writer.h"
#include "tests/support/rules16.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

std::string Write(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName));
    return fileName;
}

RgbImage Load16(const std::string& name) {
    RgbImage image;
    EXPECT_TRUE(LoadImageFile(image, name, LoadOptions{16})) << name;
    return image;
}

// A night of 16-bit PNG and TIFF frames and one 8-bit frame, which a
// 16-bit run widens. Ties and white where random samples rarely go.
std::vector<std::string> MixedNight(const TempDir& dir) {
    std::vector<std::string> names;
    for (int k = 0; k < 4; ++k) {
        RgbImage frame = k == 2 ? RandomImage(9, 7, 40) : RandomImage16(9, 7, 40 + k);
        if (k != 2) {
            frame.Row16(0)[0] = 65535;
            frame.Row16(1)[4] = 1234;
        }
        names.push_back(Write(dir, Numbered("f", k, k == 1 ? ".tif" : ".png"), frame));
    }
    return names;
}

class ThresholdGuard {
  public:
    explicit ThresholdGuard(int32_t value) : saved_(MaxThreshold) { MaxThreshold = value; }
    ~ThresholdGuard() { MaxThreshold = saved_; }

  private:
    int32_t saved_;
};

TEST(Depth16Run, StackingEachOperationFollowsTheSixteenBitRules) {
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    std::vector<RgbImage> frames;
    for (const std::string& name : names) {
        frames.push_back(Load16(name));
    }
    // The 8-bit frame is widened exactly.
    RgbImage widened;
    ASSERT_TRUE(WidenTo16(RandomImage(9, 7, 40), widened));
    EXPECT_TRUE(SamePixels(frames[2], widened));

    const ThresholdGuard threshold(30000);
    for (ImageOperation op : {AddMax, AddMin, AddMaxLum, SubMinLum, AddMaxThreshold, Add, Sub}) {
        for (int threads : {0, 2}) {
            SCOPED_TRACE(threads);
            RunFixture run;
            run.state.Depth = 16;
            run.state.Decode.threads = threads;
            run.AddChecked(names);
            StackingRun(run.context, op, nullptr, false, true);
            ASSERT_EQ(run.state.Result->Depth(), 16);
            EXPECT_EQ(run.state.Result->Format(), kPixelFormat48);
            EXPECT_TRUE(SamePixels(*run.state.Result, Fold16(op, frames, 30000)));
            EXPECT_EQ(run.state.ResultPosition, 4);
        }
    }
    // Without the option the same night stays at 8 bits.
    RunFixture eight;
    eight.AddChecked(names);
    StackingRun(eight.context, AddMax, nullptr, false, true);
    EXPECT_EQ(eight.state.Result->Depth(), 8);
}

TEST(Depth16Run, StepsKeepSixteenBitsAndEightBitNamesAreAsked) {
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    std::vector<RgbImage> frames;
    for (const std::string& name : names) {
        frames.push_back(Load16(name));
    }
    const struct {
        const char* chosen;   // the first name typed
        Answer answer;        // to the 8-bit question, None when none is due
        const char* written;  // the first step file, empty when no run
    } cases[] = {
        {"s0001.png", Answer::None, "s0001.png"}, {"s0001.tif", Answer::None, "s0001.tif"},
        {"s0001.jpg", Answer::No, "t0001.png"},  // back to the dialog, then a PNG
        {"s0001.bmp", Answer::Yes, "s0001.bmp"},  {"s0001.gif", Answer::Cancel, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        TempDir out;
        RunFixture run;
        run.state.Depth = 16;
        run.AddChecked(names);
        run.host.saveNames = {out.File(c.chosen), out.File("t0001.png")};
        if (c.answer != Answer::None) {
            run.host.answers = {c.answer};
        }
        const bool ran = PrepareStepSaving(run.context, AddMax, nullptr, true);
        EXPECT_EQ(ran, *c.written != '\0');
        EXPECT_EQ(run.host.Count("ask|"), c.answer == Answer::None ? 0 : 1);
        if (c.answer != Answer::None) {
            EXPECT_NE(run.host.log[1].find(Lng().txtEightBitsCaption), std::string::npos);
        }
        if (c.answer == Answer::No) {
            // The dialog comes back with the name that was refused.
            ASSERT_EQ(run.host.saveRequests.size(), 2u);
            EXPECT_EQ(run.host.saveRequests[1].fileName, out.File(c.chosen));
        }
        if (!ran) {
            EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
            continue;
        }
        const std::string first = out.File(c.written);
        const std::string stem = first.substr(0, first.size() - 8);
        const std::string ext = first.substr(first.size() - 4);
        for (int k = 1; k <= 4; ++k) {
            const RgbImage expected =
                Fold16(AddMax, std::vector<RgbImage>(frames.begin(), frames.begin() + k), 0);
            RgbImage step;
            ASSERT_TRUE(LoadImageFile(step, stem + Numbered("000", k) + ext, LoadOptions{16}));
            if (SaveFormatHolds16Bits(ext)) {
                EXPECT_TRUE(SamePixels(step, expected)) << k;
            } else {
                // Written at 8 bits, rounded to the nearest value.
                RgbImage narrowed;
                ASSERT_TRUE(NarrowTo8(expected, narrowed));
                ASSERT_TRUE(WidenTo16(narrowed, narrowed));
                EXPECT_TRUE(SamePixels(step, narrowed)) << k;
            }
        }
    }
}

TEST(Depth16Run, BatchRunsAndPreviewsFollowTheSixteenBitFormulas) {
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    RgbImage reference = RandomImage16(9, 7, 77);
    reference.Row16(2)[5] = 0;  // a division by a black reference
    const std::string referenceName = Write(dir, "ref.png", reference);
    for (int fn = 0; fn < kBatchFunctionCount; ++fn) {
        SCOPED_TRACE(fn);
        // The window's 8-bit scales, widened for the run.
        BatchRequest request{fn, referenceName, DefaultFactor(fn), -12};
        request = BatchRequestAtDepth(request, 16);
        EXPECT_EQ(request.factor, DefaultFactor(fn, 16));
        EXPECT_EQ(request.offset, -12 * 257);
        if (fn >= 4) {
            request.referenceFileName = names[0];  // square and cube read no reference
        }
        const RgbImage used = fn >= 4 ? Load16(names[0]) : reference;

        TempDir out;
        RunFixture run;
        run.state.Depth = 16;
        run.AddChecked(names);
        run.host.saveNames = {out.File("b0001.png")};
        ASSERT_EQ(RunBatchCommand(run.context, request, BatchMode::ApplyToAll), BatchOutcome::Done);
        for (size_t k = 0; k < names.size(); ++k) {
            const RgbImage expected =
                Batch16(fn, Load16(names[k]), used, request.factor, request.offset);
            EXPECT_TRUE(SamePixels(
                Load16(out.File(Numbered("b000", static_cast<long long>(k + 1), ".png"))),
                expected))
                << k;
        }
        // The preview on the current entry, through the window's cache.
        BatchPreviewCache cache;
        run.Left().SetCurrent(3);
        for (int again = 0; again < 2; ++again) {
            RunBatchCommand(run.context, request, BatchMode::Preview, &cache);
            EXPECT_TRUE(SamePixels(*run.state.Result, Batch16(fn, Load16(names[3]), used,
                                                              request.factor, request.offset)));
        }
    }
}

TEST(Depth16Run, SearchAndMeteorSearchTellSixteenBitValuesApart) {
    // A widened 8-bit frame has the 8-bit frame's bright pixels at every level.
    const RgbImage eight = RandomImage(40, 30, 5);
    RgbImage wide;
    ASSERT_TRUE(WidenTo16(eight, wide));
    for (int level : {-5, 0, 1, 100, 127, 254, 255, 300}) {
        SearchParams params;
        params.MinLevel = level;
        const BrightPixels a = CountBrightPixels(eight, params);
        const BrightPixels b = CountBrightPixels(wide, params);
        EXPECT_EQ(a.count, b.count) << level;
        EXPECT_EQ(a.sumX + a.sumY, b.sumX + b.sumY) << level;
    }
    MarkObject(wide, SearchParams{}, true);
    EXPECT_EQ(wide.Depth(), 16);

    // Two frames alike at 8 bits at the point, apart at 16: only a 16-bit
    // search sees the second raise the maximum.
    TempDir dir;
    std::vector<std::string> names;
    for (uint16_t v : {1000, 1001}) {
        RgbImage frame = RandomImage16(8, 6, 3);
        frame.Row16(2)[3 * 3] = frame.Row16(2)[3 * 3 + 1] = frame.Row16(2)[3 * 3 + 2] = v;
        names.push_back(Write(dir, Numbered("m", v, ".png"), frame));
    }
    RgbImage first;
    ASSERT_TRUE(LoadImageFile(first, names[0]));
    for (int depth : {8, 16}) {
        RunFixture run;
        run.state.Depth = depth;
        run.state.Decode.threads = 2;
        run.AddChecked(names);
        const MeteorOutcome outcome = MaximumSearch(run.context, 3, 2);
        EXPECT_EQ(outcome.chain.size(), depth == 16 ? 2u : 1u) << depth;
        EXPECT_EQ(outcome.maximum, depth == 16 ? 3003 : PointBrightness(first, 3, 2));
        EXPECT_EQ(run.state.Result->Depth(), depth);
    }
}

TEST(Depth16Run, RawFramesStackAsTheyLoad) {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    for (int k = 0; k < 3; ++k) {
        const std::string name = dir.File(Numbered("sky", k, ".dng"));
        WriteBytes(name, WriteDng(NightSkyFrame(64, 48, 9, 4.0 * k)));
        names.push_back(name);
        frames.push_back(Load16(name));
    }
    for (int depth : {16, 8}) {
        RunFixture run;
        run.state.Depth = depth;
        run.state.Decode.threads = 2;
        DecodeStats stats;
        run.state.Decode.stats = &stats;
        run.AddChecked(names);
        StackingRun(run.context, AddMax, nullptr, false, true);
        ASSERT_EQ(run.state.ResultPosition, 3);
        EXPECT_EQ(stats.prefetched + stats.loadedByRun, 3);
        if (depth == 16) {
            EXPECT_TRUE(SamePixels(*run.state.Result, Fold16(AddMax, frames, 0)));
        } else {
            EXPECT_EQ(run.state.Result->Depth(), 8);
        }
    }
}

TEST(Depth16Run, DecodeAheadCountsBytes) {
    TempDir dir;
    std::vector<std::string> names;
    for (int k = 0; k < 6; ++k) {
        names.push_back(Write(dir, Numbered("q", k, ".png"), RandomImage(20, 10, k)));
    }
    const auto eightBitFrame = static_cast<int64_t>(RgbImage::BytesFor(20, 10, 8));
    // Room for two 8-bit frames and a half: two of them, one at 16 bits.
    for (int depth : {8, 16}) {
        FramePrefetcher prefetcher(2, 4, depth, eightBitFrame * 5 / 2);
        EXPECT_EQ(prefetcher.BufferLimit(), 4);  // no frame seen yet
        prefetcher.NoteFrameBytes(RgbImage::BytesFor(20, 10, depth));
        EXPECT_EQ(prefetcher.BufferLimit(), depth == 8 ? 2 : 1);
        prefetcher.Want(names);
        prefetcher.WaitForPending();
        EXPECT_LE(prefetcher.BuffersHeld(), depth == 8 ? 2 : 1);
        RgbImage frame;
        ASSERT_EQ(prefetcher.Take(names[0], frame), std::optional<bool>(true));
        EXPECT_EQ(frame.Depth(), depth);
    }
}

// The moving maximum's rule at 16 bits, one sample at a time: each output
// is black, then every frame of its window darkened by its position's
// 16-bit darkening and merged with AddMax.
RgbImage MovingMax16(const std::vector<RgbImage>& window, int n, bool darkening) {
    RgbImage out;
    EXPECT_TRUE(out.Resize(window[0].Width(), window[0].Height(), 16));
    FillImage(out, 0, 0, 0);
    for (size_t a = 0; a < window.size(); ++a) {
        const int d = darkening ? DarkeningValue(n, static_cast<int>(a), 16) : 0;
        for (int y = 0; y < out.Height(); ++y) {
            for (size_t k = 0; k < size_t(out.Width()) * 3; ++k) {
                const int v = std::max(0, window[a].Row16(y)[k] - d);
                out.Row16(y)[k] = static_cast<uint16_t>(std::max<int>(out.Row16(y)[k], v));
            }
        }
    }
    return out;
}

struct NoDisplay : MovingMaxDisplay {
    void SetStatusPanel(int, const std::string&) override {}
    void SetLiveDisplay(bool) override {}
    void ShowListCopy(FileList*) override {}
};

TEST(Depth16Run, MovingMaximumFollowsTheSixteenBitDarkening) {
    EXPECT_EQ(DarkeningValue(3, 0, 16), 65535);
    EXPECT_EQ(DarkeningValue(3, 2, 16), 21845);
    EXPECT_EQ(DarkeningValue(3, 2), 85);  // the 8-bit scale is untouched
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    std::vector<RgbImage> frames;
    for (const std::string& name : names) {
        frames.push_back(Load16(name));
    }
    // Windows of the progressive run of 3 over 4 entries.
    const std::vector<std::vector<int>> windows = {{0}, {0, 1}, {0, 1, 2}, {1, 2, 3}, {2, 3}, {3}};
    for (bool darkening : {true, false}) {
        // Live display merges entry by entry; a budget of two 16-bit frames
        // (four 8-bit ones) keeps two, and decodes the others again.
        for (int variant = 0; variant < 3; ++variant) {
            SCOPED_TRACE(testing::Message() << darkening << " " << variant);
            TempDir out;
            RunFixture run;
            run.state.Depth = 16;
            run.AddChecked(names);
            NoDisplay display;
            MovingMaxOptions options;
            options.decodeThreads = variant == 0 ? 0 : 2;
            options.mergeThreads = 2;
            const size_t frame16 = RgbImage::BytesFor(9, 7, 16);
            options.frameBudget = variant == 2 ? 2 * frame16 + 1 : 0;
            const MovingMaxSettings settings{3, true, darkening, variant == 1};
            const MovingMaxOutput output = MovingMaxOutputBase(out.File("m.png"));
            const MovingMaxReport report =
                MovingMaxRun(run.context, display, settings, output, options);
            ASSERT_EQ(report.written, 6);
            EXPECT_EQ(report.errors, 0);
            EXPECT_EQ(report.peakBytesKept % frame16, 0u);
            EXPECT_GE(report.peakBytesKept, 2 * frame16);
            if (variant == 2) {
                EXPECT_EQ(report.peakBytesKept, 2 * frame16);
            }
            for (size_t o = 0; o < windows.size(); ++o) {
                std::vector<RgbImage> window;
                for (int k : windows[o]) {
                    window.push_back(frames[static_cast<size_t>(k)]);
                }
                EXPECT_TRUE(SamePixels(Load16(MovingMaxFileName(output, static_cast<int>(o) + 1)),
                                       MovingMax16(window, 3, darkening)))
                    << o;
            }
        }
    }
}

TEST(Depth16Run, MovingMaximumAsksBeforeWritingEightBitOutputs) {
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    const struct {
        Answer answer;
        const char* written;  // the first output, empty when none
    } cases[] = {{Answer::Yes, "m0001.jpg"}, {Answer::No, "n0001.png"}, {Answer::Cancel, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        TempDir out;
        RunFixture run;
        run.state.Depth = 16;
        run.AddChecked(names);
        run.host.saveNames = {out.File("m.jpg"), out.File("n.png")};
        run.host.answers = {c.answer};
        NoDisplay display;
        const auto report = MovingMaxCommand(run.context, display, [](int) {
            return std::optional<MovingMaxSettings>({2, false, false, false});
        });
        EXPECT_EQ(run.host.Count("ask|"), 1);
        EXPECT_EQ(report.has_value(), *c.written != '\0');
        if (report) {
            EXPECT_EQ(report->written, 3);
            RgbImage first;
            ASSERT_TRUE(LoadImageFile(first, out.File(c.written), LoadOptions{16}));
            RgbImage expected = Fold16(AddMax, {Load16(names[0]), Load16(names[1])}, 0);
            if (c.answer == Answer::Yes) {
                ASSERT_TRUE(NarrowTo8(expected, expected));  // a JPEG of it, near enough
                EXPECT_EQ(first.Width(), expected.Width());
            } else {
                EXPECT_TRUE(SamePixels(first, expected));
            }
        } else {
            EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
        }
    }
}

TEST(Depth16Run, FrameMapRecordsTheSixteenBitMerges) {
    TempDir dir;
    const std::vector<std::string> names = MixedNight(dir);
    std::vector<RgbImage> frames;
    for (const std::string& name : names) {
        frames.push_back(Load16(name));
    }
    for (ImageOperation op : {AddMax, AddMaxLum}) {
        RunFixture run;
        run.state.Depth = 16;
        run.state.RecordFrameMap = true;
        run.AddChecked(names);
        StackingRun(run.context, op, nullptr, false, true);
        ASSERT_TRUE(SamePixels(*run.state.Result, Fold16(op, frames, 0)));
        const FrameMap* map = run.state.CurrentFrameMap();
        ASSERT_NE(map, nullptr);
        // The last frame that raised a channel (AddMax) or replaced the
        // pixel (AddMaxLum), merged one after the other on 16-bit values.
        RgbImage result = frames[0];
        std::vector<int> made(9 * 7, 0);
        for (size_t k = 1; k < frames.size(); ++k) {
            for (int p = 0; p < 9 * 7; ++p) {
                uint16_t* b = result.Row16(p / 9) + (p % 9) * 3;
                const uint16_t* f = frames[k].Row16(p / 9) + (p % 9) * 3;
                const bool changed =
                    op == AddMax ? (f[0] > b[0] || f[1] > b[1] || f[2] > b[2])
                                 : Luminosity(f[0], f[1], f[2]) > Luminosity(b[0], b[1], b[2]);
                if (changed) {
                    made[static_cast<size_t>(p)] = static_cast<int>(k);
                    CombinePixel16(op, f, b, 0);
                }
            }
        }
        for (int p = 0; p < 9 * 7; ++p) {
            EXPECT_EQ(map->IndexAt(p % 9, p / 9), made[static_cast<size_t>(p)]) << p;
        }
    }
}

}  // namespace
}  // namespace nocturo::test
