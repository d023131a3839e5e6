// The moving maximum: its windows, darkening, output names, how it leaves
// the left list, and that keeping frames decoded gives the bytes of loading
// every frame of every window again.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "engine/block_frame.h"
#include "engine/darkened_max.h"
#include "engine/frame_errors.h"
#include "engine/moving_max.h"
#include "lang/language_strings.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

constexpr uint8_t kMark = 200;

bool FileExists(const std::string& name) {
    return std::filesystem::exists(name);
}

/// Records what the moving maximum shows besides the host's calls.
struct RecordingDisplay : MovingMaxDisplay {
    std::vector<std::string> panels[4];
    std::vector<bool> liveDisplay;
    std::vector<bool> copyShown;
    std::vector<std::vector<ListEntry>> copies;

    void SetStatusPanel(int panel, const std::string& text) override {
        panels[panel].push_back(text);
    }
    void SetLiveDisplay(bool on) override { liveDisplay.push_back(on); }
    void ShowListCopy(FileList* copy) override {
        copyShown.push_back(copy != nullptr);
        if (copy != nullptr) {
            copies.push_back(copy->Entries());
        }
    }
};

/// Frame k of a night of `count`: black with pixel k (of a row of count
/// pixels) at kMark, so an output tells which entries it merged and with
/// what darkening.
std::vector<std::string> MarkedFrames(const TempDir& dir, int count) {
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) {
        RgbImage frame = SolidImage(count, 2, 0, 0, 0);
        SetPixel(frame, k, 0, kMark, kMark, kMark);
        std::string name = dir.File(Numbered("f", k, ".bmp"));
        EXPECT_TRUE(SaveImageFile(frame, name));
        names.push_back(name);
    }
    return names;
}

/// The value of pixel k in every output: base0001.bmp, base0002.bmp, ...
std::vector<std::vector<int>> OutputMarks(const MovingMaxOutput& output, int outputs, int width) {
    std::vector<std::vector<int>> marks;
    for (int o = 1; o <= outputs; ++o) {
        RgbImage image;
        EXPECT_TRUE(LoadImageFile(image, MovingMaxFileName(output, o))) << o;
        std::vector<int> row;
        for (int k = 0; k < width && image.Width() == width; ++k) {
            row.push_back(PixelAt(image, k, 0)[0]);
        }
        marks.push_back(row);
    }
    return marks;
}

/// Expected marks: entry k inside window w at position a shows kMark - d.
std::vector<int> Expected(int width, const std::vector<int>& window, int n, bool darkening) {
    std::vector<int> row(static_cast<size_t>(width), 0);
    for (size_t a = 0; a < window.size(); ++a) {
        const int d = darkening ? DarkeningValue(n, static_cast<int>(a)) : 0;
        row[static_cast<size_t>(window[a])] = std::max(0, kMark - d);
    }
    return row;
}

MovingMaxOptions Threads(int decode) {
    MovingMaxOptions options;
    options.decodeThreads = decode;
    options.mergeThreads = 2;
    return options;
}

TEST(DarkeningTest, ValuesOfTheWindowPositions) {
    struct Case {
        int n, a, d;
    };
    const Case cases[] = {{50, 0, 255}, {50, 25, 127}, {50, 49, 5}, {10, 9, 25}, {10, 5, 127},
                          {2, 1, 127},  {3, 1, 170},   {3, 2, 85},  {3, 0, 255}, {2, 0, 255}};
    for (const Case& c : cases) {
        EXPECT_EQ(DarkeningValue(c.n, c.a), c.d) << "N=" << c.n << " a=" << c.a;
    }
}

TEST(DarkeningTest, DarkenedMaxRuleAndRejections) {
    RgbImage buffer = SolidImage(40, 3, 10, 100, 250);
    RgbImage source = SolidImage(40, 3, 0, 120, 130);
    SetPixel(source, 39, 2, 255, 6, 5);  // the vector loop's tail
    MovingMaxParams params;
    params.windowSize = 3;
    params.position = 2;  // d = 85
    ASSERT_TRUE(DarkenedMax(source, buffer, &params));
    EXPECT_EQ(PixelAt(buffer, 0, 0), (std::vector<uint8_t>{10, 100, 250}));
    EXPECT_EQ(PixelAt(buffer, 39, 2), (std::vector<uint8_t>{170, 100, 250}));
    params.darkening = false;
    ASSERT_TRUE(DarkenedMax(source, buffer, &params));
    EXPECT_EQ(PixelAt(buffer, 5, 1), (std::vector<uint8_t>{10, 120, 250}));

    RgbImage other = SolidImage(39, 3, 255, 255, 255);
    const RgbImage before = buffer;
    EXPECT_FALSE(DarkenedMax(other, buffer, &params));
    EXPECT_FALSE(DarkenedMax(source, buffer, nullptr));
    EXPECT_TRUE(SamePixels(buffer, before));
}

TEST(DarkeningTest, BandedMergesMatchOneAtATime) {
    const RgbImage a = RandomImage(301, 97, 1);
    const RgbImage b = RandomImage(301, 97, 2);
    const RgbImage c = RandomImage(301, 97, 3);
    RgbImage oneByOne = SolidImage(301, 97, 0, 0, 0);
    for (const auto& [image, d] : {std::pair{&a, 0}, {&b, 77}, {&c, 254}}) {
        for (int y = 0; y < 97; ++y) {
            for (size_t x = 0; x < oneByOne.Stride(); ++x) {
                const int v = std::max(0, image->Row(y)[x] - d);
                oneByOne.Row(y)[x] = static_cast<uint8_t>(std::max<int>(oneByOne.Row(y)[x], v));
            }
        }
    }
    RgbImage banded = SolidImage(301, 97, 0, 0, 0);
    const DarkenedSource sources[] = {{&a, 0}, {&b, 77}, {&c, 254}, {&a, 255}};
    MergeDarkened(banded, sources, 3);
    EXPECT_TRUE(SamePixels(banded, oneByOne));

    // Two windows at once: {a, b, c} as above and {b} alone.
    RgbImage first = RandomImage(301, 97, 9);  // overwritten with black first
    RgbImage second;
    ASSERT_TRUE(second.Resize(301, 97));
    RgbImage* outputs[] = {&first, &second};
    const SharedSource shared[] = {{&a, {{0, 0}}}, {&b, {{0, 77}, {1, 3}}}, {&c, {{0, 254}}}};
    MergeDarkenedShared(outputs, shared, 2);
    EXPECT_TRUE(SamePixels(first, oneByOne));
    RgbImage onlyB = SolidImage(301, 97, 0, 0, 0);
    const DarkenedSource justB[] = {{&b, 3}};
    MergeDarkened(onlyB, justB, 1);
    EXPECT_TRUE(SamePixels(second, onlyB));
}

/// A night-like frame: dark random sky (0 to skyTop) with a few bright
/// random stars, so that some blocks are wiped out by a darkening and
/// others are not.
RgbImage SkyFrame(int width, int height, int skyTop, unsigned seed) {
    RgbImage image = RandomImage(width, height, seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (size_t x = 0; x < image.Stride(); ++x) {
            row[x] = static_cast<uint8_t>(row[x] % (skyTop + 1));
        }
    }
    unsigned state = seed * 2654435761u + 1;
    for (int star = 0; star < 6; ++star) {
        state = state * 1103515245u + 12345u;
        const int x = static_cast<int>((state >> 8) % static_cast<unsigned>(width));
        state = state * 1103515245u + 12345u;
        const int y = static_cast<int>((state >> 8) % static_cast<unsigned>(height));
        const auto v = static_cast<uint8_t>(100 + (state >> 4) % 156);
        SetPixel(image, x, y, v, static_cast<uint8_t>(v / 2), v);
    }
    return image;
}

/// The merge of each source alone, byte after byte.
RgbImage PlainMerge(int width, int height, const std::vector<std::pair<const RgbImage*, int>>& in) {
    RgbImage out = SolidImage(width, height, 0, 0, 0);
    for (const auto& [image, d] : in) {
        for (int y = 0; y < height; ++y) {
            for (size_t x = 0; x < out.Stride(); ++x) {
                const int v = std::max(0, image->Row(y)[x] - d);
                out.Row(y)[x] = static_cast<uint8_t>(std::max<int>(out.Row(y)[x], v));
            }
        }
    }
    return out;
}

TEST(DarkeningTest, BlockMaximaAreTheBrightestSampleOfEachBlock) {
    for (auto [w, h] : {std::pair{1, 1}, {64, 64}, {65, 1}, {130, 129}, {3, 200}}) {
        SCOPED_TRACE(Numbered("size ", w) + Numbered("x", h));
        const RgbImage image = SkyFrame(w, h, 40, static_cast<unsigned>(w * 1000 + h));
        const TileMaxima maxima = ComputeTileMaxima(image);
        ASSERT_EQ(maxima.columns, (w + kMaxTile - 1) / kMaxTile);
        ASSERT_EQ(maxima.rows, (h + kMaxTile - 1) / kMaxTile);
        for (int r = 0; r < maxima.rows; ++r) {
            for (int c = 0; c < maxima.columns; ++c) {
                int best = 0;
                for (int y = r * kMaxTile; y < std::min(h, (r + 1) * kMaxTile); ++y) {
                    for (int x = c * kMaxTile * 3; x < std::min(w, (c + 1) * kMaxTile) * 3; ++x) {
                        best = std::max<int>(best, image.Row(y)[x]);
                    }
                }
                EXPECT_EQ(maxima.At(c, r), best) << c << "," << r;
            }
        }
    }
    EXPECT_TRUE(ComputeTileMaxima(RgbImage()).values.empty());
}

// Skipping the blocks a darkening wipes out gives the bytes of merging
// every source whole: sizes that are and are not multiples of the block,
// darkenings below, at and above the blocks' maxima, one and several
// threads, one window and several at once.
TEST(DarkeningTest, SkippedBlocksGiveTheBytesOfThePlainLoop) {
    struct Case {
        int width;
        int height;
        int skyTop;
        std::vector<int> darkenings;
    };
    const Case cases[] = {
        {64, 64, 30, {0, 30, 31, 29}}, {200, 130, 20, {5, 20, 21, 100, 254, 255}},
        {1, 1, 10, {0, 10, 9}},        {97, 3, 60, {60, 59, 61, 150}},
        {130, 200, 0, {0, 1, 128}},    {300, 70, 255, {254, 200, 3}},
    };
    for (const Case& c : cases) {
        for (int threads : {1, 3}) {
            SCOPED_TRACE(Numbered("size ", c.width) + Numbered("x", c.height) +
                         Numbered(" threads ", threads));
            std::vector<RgbImage> frames;
            std::vector<TileMaxima> maxima;
            for (size_t k = 0; k < c.darkenings.size(); ++k) {
                frames.push_back(
                    SkyFrame(c.width, c.height, c.skyTop, static_cast<unsigned>(k * 31 + 7)));
            }
            for (const RgbImage& frame : frames) {
                maxima.push_back(ComputeTileMaxima(frame));
            }
            std::vector<std::pair<const RgbImage*, int>> plain;
            std::vector<DarkenedSource> sources;
            for (size_t k = 0; k < frames.size(); ++k) {
                plain.emplace_back(&frames[k], c.darkenings[k]);
                sources.push_back({&frames[k], static_cast<uint8_t>(c.darkenings[k]), &maxima[k]});
            }
            const RgbImage expected = PlainMerge(c.width, c.height, plain);
            RgbImage merged = SolidImage(c.width, c.height, 0, 0, 0);
            MergeDarkened(merged, sources, threads);
            EXPECT_TRUE(SamePixels(merged, expected));

            // Every window of two consecutive frames at once, with the
            // darkenings of the case shifted by one per window.
            const size_t windows = frames.size() - 1;
            std::vector<RgbImage> outputs(windows);
            std::vector<RgbImage*> pointers;
            for (RgbImage& out : outputs) {
                out = RandomImage(c.width, c.height, 5);  // made black first
                pointers.push_back(&out);
            }
            std::vector<SharedSource> shared(frames.size());
            for (size_t k = 0; k < frames.size(); ++k) {
                shared[k].image = &frames[k];
                shared[k].maxima = &maxima[k];
            }
            for (size_t w = 0; w < windows; ++w) {
                for (size_t k = w; k < w + 2; ++k) {
                    shared[k].targets.emplace_back(static_cast<int>(w),
                                                   static_cast<uint8_t>(c.darkenings[k - w]));
                }
            }
            MergeDarkenedShared(pointers, shared, threads);
            for (size_t w = 0; w < windows; ++w) {
                const RgbImage one =
                    PlainMerge(c.width, c.height,
                               {{&frames[w], c.darkenings[0]}, {&frames[w + 1], c.darkenings[1]}});
                EXPECT_TRUE(SamePixels(outputs[w], one)) << "window " << w;
            }
        }
    }
}

// Maxima of another picture's size are not trusted: the source is merged
// whole.
TEST(DarkeningTest, MaximaOfAnotherSizeAreIgnored) {
    const RgbImage frame = SkyFrame(130, 70, 200, 3);
    const TileMaxima wrong = ComputeTileMaxima(SolidImage(64, 64, 0, 0, 0));
    RgbImage merged = SolidImage(130, 70, 0, 0, 0);
    const DarkenedSource sources[] = {{&frame, 10, &wrong}};
    MergeDarkened(merged, sources, 2);
    EXPECT_TRUE(SamePixels(merged, PlainMerge(130, 70, {{&frame, 10}})));
}

TEST(MovingMaxNamesTest, BaseDropsTrailingDigitsAndCounterHasFourDigits) {
    struct Case {
        const char* chosen;
        const char* base;
        const char* extension;
        const char* first;
    };
    const Case cases[] = {
        {"/out/trail0120.jpg", "/out/trail", ".jpg", "/out/trail0001.jpg"},
        {"/out/1234.jpg", "/out/", ".jpg", "/out/0001.jpg"},
        {"/out/mm.png", "/out/mm", ".png", "/out/mm0001.png"},
        {"/out/v2/a7", "/out/v2/a", "", "/out/v2/a0001"},
    };
    for (const Case& c : cases) {
        const MovingMaxOutput output = MovingMaxOutputBase(c.chosen);
        EXPECT_EQ(output.base, c.base) << c.chosen;
        EXPECT_EQ(output.extension, c.extension) << c.chosen;
        EXPECT_EQ(MovingMaxFileName(output, 1), c.first) << c.chosen;
    }
    EXPECT_EQ(MovingMaxFileName({"t", ".bmp"}, 12345), "t12345.bmp");
    EXPECT_EQ(DarkeningStatusText(25, 127, true), "Darkening : 25 / 127");
    EXPECT_EQ(DarkeningStatusText(3, 0, false), "3 / 0");
}

struct WindowCase {
    const char* title;
    int entries;
    int n;
    bool progressive;
    bool darkening;
    std::vector<std::vector<int>> windows;
};

TEST(MovingMaxRunTest, WindowsOfEachOutput) {
    const WindowCase cases[] = {
        {"range only", 5, 3, false, false, {{0, 1, 2}, {1, 2, 3}, {2, 3, 4}}},
        {"progressive",
         5,
         3,
         true,
         false,
         {{0}, {0, 1}, {0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {3, 4}, {4}}},
        {"range only, darkened", 5, 3, false, true, {{0, 1, 2}, {1, 2, 3}, {2, 3, 4}}},
        {"progressive, darkened",
         5,
         3,
         true,
         true,
         {{0}, {0, 1}, {0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {3, 4}, {4}}},
        {"N = entries", 4, 4, false, true, {{0, 1, 2, 3}}},
    };
    for (const WindowCase& c : cases) {
        for (int threads : {0, 2}) {
            SCOPED_TRACE(std::string(c.title) + (threads ? ", decode threads" : ", no threads"));
            TempDir dir;
            RunFixture run;
            run.AddChecked(MarkedFrames(dir, c.entries));
            RecordingDisplay display;
            MovingMaxSettings settings{c.n, c.progressive, c.darkening, false};
            const MovingMaxOutput output{dir.File("out"), ".bmp"};
            const MovingMaxReport report =
                MovingMaxRun(run.context, display, settings, output, Threads(threads));
            const int outputs = static_cast<int>(c.windows.size());
            EXPECT_EQ(report.outputs, outputs);
            EXPECT_EQ(report.written, outputs);
            EXPECT_EQ(report.errors, 0);
            EXPECT_EQ(report.decodes, c.entries);  // each frame once
            std::vector<std::vector<int>> expected;
            for (const auto& window : c.windows) {
                // Positions within the window are relative to its oldest
                // entry; a growing window's are those of a full one's start.
                expected.push_back(Expected(c.entries, window, c.n, c.darkening));
            }
            EXPECT_EQ(OutputMarks(output, outputs, c.entries), expected);
            EXPECT_FALSE(FileExists(MovingMaxFileName(output, outputs + 1)));
            EXPECT_EQ(run.Right().Count(), 0);  // outputs are not listed
        }
    }
}

TEST(MovingMaxRunTest, FirstProgressiveOutputIsBlackWithDarkening) {
    TempDir dir;
    RunFixture run;
    run.AddChecked(MarkedFrames(dir, 5));
    RecordingDisplay display;
    const MovingMaxOutput output{dir.File("p"), ".bmp"};
    MovingMaxRun(run.context, display, {3, true, true, false}, output, Threads(2));
    EXPECT_EQ(OutputMarks(output, 1, 5)[0], (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(OutputMarks(output, 7, 5)[6], (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST(MovingMaxRunTest, UncheckedEntryKeepsItsPlaceAndTheListComesBack) {
    TempDir dir;
    RunFixture run;
    run.AddChecked(MarkedFrames(dir, 5));
    run.Left().SetChecked(2, false);
    run.Left().SetSelected(4, true);
    run.Left().SetCurrent(3);
    const std::vector<ListEntry> before = run.Left().Entries();
    RecordingDisplay display;
    const MovingMaxOutput output{dir.File("u"), ".bmp"};
    MovingMaxRun(run.context, display, {3, false, true, false}, output, Threads(2));
    EXPECT_EQ(
        OutputMarks(output, 3, 5),
        (std::vector<std::vector<int>>{{0, 30, 0, 0, 0}, {0, 0, 0, 115, 0}, {0, 0, 0, 30, 115}}));
    EXPECT_EQ(run.Left().Entries(), before);
    EXPECT_EQ(run.Left().Current(), 3);
    // The copy was shown during the run and hidden at its end.
    EXPECT_EQ(display.copyShown, (std::vector<bool>{true, false}));
    ASSERT_EQ(display.copies.size(), 1u);
    EXPECT_EQ(display.copies[0], before);
    // The progress panel while sliding names the newest entry and what is
    // left to do.
    EXPECT_EQ(display.panels[3], (std::vector<std::string>{"Progress : f3.bmp   To do 1",
                                                           "Progress : f4.bmp   To do 0"}));
}

TEST(MovingMaxRunTest, StoppedRunRestoresTheList) {
    TempDir dir;
    RunFixture run;
    run.AddChecked(MarkedFrames(dir, 6));
    run.Left().SetChecked(1, false);
    const std::vector<ListEntry> before = run.Left().Entries();
    // The abort button, pressed while the second window is merged (the run
    // and each window give the left list the focus first; the window's
    // first frame then sizes the picture); the pause question is answered
    // Yes.
    bool aborted = false;
    run.host.onEvents = [&](int) {
        if (!aborted && run.host.Count("focus-left") == 3 && run.host.Count("status|") == 4) {
            aborted = true;
            ToolButtonAbortClick(run.state);
        }
    };
    run.host.answers = {Answer::Yes};
    RecordingDisplay display;
    run.host.saveNames = {dir.File("s.bmp")};
    const auto report = MovingMaxCommand(run.context, display, [](int count) {
        EXPECT_EQ(count, 6);
        return std::optional<MovingMaxSettings>({3, false, true, false});
    });
    ASSERT_TRUE(report.has_value());
    EXPECT_TRUE(report->stopped);
    EXPECT_EQ(report->outputs, 2);
    EXPECT_EQ(report->written, 1);  // the stopped output is not saved
    EXPECT_TRUE(FileExists(dir.File("s0001.bmp")));
    EXPECT_FALSE(FileExists(dir.File("s0002.bmp")));
    EXPECT_EQ(run.Left().Entries(), before);
    EXPECT_EQ(display.copyShown.back(), false);
    EXPECT_EQ(display.liveDisplay, (std::vector<bool>{false, true}));
    EXPECT_EQ(run.host.Count("ask|" + Lng().lnginpause + "|" + Lng().lngstopuser), 1);
}

TEST(MovingMaxCommandTest, WhatEndsItBeforeTheRun) {
    TempDir dir;
    const std::vector<std::string> frames = MarkedFrames(dir, 3);
    struct Case {
        const char* title;
        int entries;
        bool sampleOk;
        bool nameGiven;
        int messages;
    };
    const Case cases[] = {{"empty list", 0, true, true, 0},
                          {"one entry", 1, true, true, 1},
                          {"sample window cancelled", 3, false, true, 0},
                          {"file dialog cancelled", 3, true, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        RunFixture run;
        run.AddChecked(std::vector<std::string>(frames.begin(), frames.begin() + c.entries));
        run.state.Steps.StepNumber = 7;
        if (c.entries > 1 && c.sampleOk) {
            run.host.saveNames = {c.nameGiven ? std::optional<std::string>(dir.File("x.bmp"))
                                              : std::nullopt};
        }
        RecordingDisplay display;
        int asked = 0;
        const auto report = MovingMaxCommand(run.context, display, [&](int) {
            ++asked;
            return c.sampleOk ? std::optional<MovingMaxSettings>({2, false, true, true})
                              : std::nullopt;
        });
        EXPECT_FALSE(report.has_value());
        EXPECT_EQ(asked, c.entries > 1 ? 1 : 0);
        EXPECT_EQ(run.host.Count("message|" + Lng().txtMovingMaxOneEntry), c.messages);
        EXPECT_EQ(run.Left().Count(), c.entries);
        EXPECT_TRUE(display.copyShown.empty());
        EXPECT_EQ(display.liveDisplay.back(), true);
        EXPECT_EQ(run.state.Steps.StepNumber, 7);  // the proposal changes nothing
        EXPECT_FALSE(FileExists(dir.File("x0001.bmp")));
    }
}

// Existing outputs are replaced only after the step files' question, and
// the command ends with its report, naming the outputs it could not write.
TEST(MovingMaxCommandTest, AsksBeforeReplacingOutputsAndEndsWithItsReport) {
    struct Case {
        const char* title;
        std::vector<int> existing;  // outputs there before the run
        std::vector<Answer> answers;
        std::string folder;  // of the outputs, in the test's folder
        int written;
        bool stopped;
    };
    const Case cases[] = {
        {"no question for new names", {}, {}, "", 4, false},
        {"No keeps the file and stops", {2}, {Answer::No}, "", 1, true},
        {"Yes to All asks once", {2, 3}, {Answer::YesToAll}, "", 4, false},
        {"outputs that cannot be written are named", {}, {}, "gone/", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        RunFixture run;
        run.AddChecked(MarkedFrames(dir, 5));
        for (int k : c.existing) {
            WriteBytes(dir.File(Numbered("o000", k, ".bmp")), {'o', 'l', 'd'});
        }
        run.host.answers = {c.answers.begin(), c.answers.end()};
        run.host.saveNames = {dir.File(c.folder + "o.bmp")};
        RecordingDisplay display;
        const auto report = MovingMaxCommand(run.context, display, [](int) {
            return std::optional<MovingMaxSettings>({2, false, true, false});
        });
        ASSERT_TRUE(report.has_value());
        EXPECT_EQ(report->written, c.written);
        EXPECT_EQ(report->stopped, c.stopped);
        EXPECT_EQ(run.host.Count("ask|OverWrite? "), c.existing.empty() ? 0 : 1);
        if (!c.existing.empty()) {
            EXPECT_EQ(run.host.Lines("ask|").front(),
                      "ask|OverWrite? " + dir.File(Numbered("o000", c.existing.front(), ".bmp")) +
                          "|Warning|yes,no,cancel,no-to-all,yes-to-all|warning");
            EXPECT_EQ(ReadBytes(dir.File("o0002.bmp")) == std::vector<uint8_t>({'o', 'l', 'd'}),
                      c.stopped);
        }
        std::string text = "message|0 File(s) in Error";
        if (!c.folder.empty()) {
            text += "\n4 File(s) could not be written";
        }
        for (int k = 1; k <= 4 && !c.folder.empty(); ++k) {
            text += "\nNot written: " + dir.File(c.folder + Numbered("o000", k, ".bmp")) +
                    " (No such file or directory)";
        }
        EXPECT_EQ(run.host.log.back(), text + "|Processed Pictures");
    }
}

TEST(RunReportTest, NamesTenOfEachKindThenCountsTheRest) {
    RunReport report;
    report.errors = 12;
    for (int k = 0; k < 12; ++k) {
        report.inError.push_back(Numbered("f", k));
    }
    report.unwritten = {{"a", "No space left on device"}, {"b", ""}};
    const std::vector<std::string> lines = RunReportLines(report);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "In error: f0");
    EXPECT_EQ(lines[9], "In error: f9");
    EXPECT_EQ(lines[10], "... and 2 more in error");
    EXPECT_EQ(lines[11], "2 File(s) could not be written");
    EXPECT_EQ(lines[12], "Not written: a (No space left on device)");
    EXPECT_EQ(lines[13], "Not written: b");
    EXPECT_EQ(RunReportText(RunReport{}), "0 File(s) in Error");
}

// ---- the cached run against loading every frame of every window ---------

/// The plain design, written out: for every output the left list holds the
/// window; the first entry that loads sizes a black picture; every checked,
/// enabled entry is loaded again and merged, or disabled when it fails or
/// has another size.
void ReloadReference(std::vector<ListEntry> entries, const MovingMaxSettings& s,
                     const MovingMaxOutput& output) {
    const int m = static_cast<int>(entries.size());
    const int n = s.windowSize;
    std::vector<ListEntry> window;
    int counter = 1;
    auto produce = [&] {
        RgbImage result;
        ClearImage(&result);
        for (ListEntry& e : window) {
            if (e.checked && e.enabled) {
                if (LoadImageFile(result, e.text)) {
                    FillImage(result, 0, 0, 0);
                    break;
                }
                e.enabled = e.checked = false;
            }
        }
        for (size_t a = 0; a < window.size(); ++a) {
            ListEntry& e = window[a];
            if (!e.checked || !e.enabled) {
                continue;
            }
            RgbImage frame;
            if (!LoadImageFile(frame, e.text) || !frame.SameSize(result)) {
                e.enabled = e.checked = false;
                continue;
            }
            const int d = s.darkening ? DarkeningValue(n, static_cast<int>(a)) : 0;
            for (int y = 0; y < result.Height(); ++y) {
                for (size_t x = 0; x < result.Stride(); ++x) {
                    const int v = std::max(0, frame.Row(y)[x] - d);
                    result.Row(y)[x] = static_cast<uint8_t>(std::max<int>(result.Row(y)[x], v));
                }
            }
        }
        std::string name = MovingMaxFileName(output, counter++);
        EXPECT_TRUE(SaveImageFile(result, name));
    };
    if (!s.progressive) {
        window.assign(entries.begin(), entries.begin() + std::min(n, m));
        produce();
    } else {
        for (int k = 0; k < std::min(n, m); ++k) {
            window.push_back(entries[static_cast<size_t>(k)]);
            produce();
        }
    }
    for (int k = n; k < m; ++k) {
        window.push_back(entries[static_cast<size_t>(k)]);
        window.erase(window.begin());
        produce();
    }
    for (int k = 0; s.progressive && k < n - 1; ++k) {
        window.erase(window.begin());
        produce();
    }
}

TEST(MovingMaxRunTest, CachedRunGivesTheBytesOfReloading) {
    struct Case {
        const char* title;
        bool progressive;
        bool darkening;
        int n;
        int budgetFrames;  // 0: the default budget
        int decodeThreads;
        const char* extension;
        bool showProcess = false;
    };
    const Case cases[] = {
        {"failing frames, range only", false, true, 4, 0, 2, ".bmp"},
        {"failing frames, progressive, JPEG", true, true, 3, 0, 2, ".jpg"},
        {"window larger than the budget", false, true, 5, 2, 2, ".bmp"},
        {"nothing fits, no threads", true, false, 4, 0, 0, ".png"},
        {"budget of one frame, no darkening", false, false, 6, 1, 1, ".bmp"},
        {"every merge shown", true, true, 4, 3, 2, ".bmp", true},
    };
    constexpr int kWidth = 67;
    constexpr int kHeight = 41;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        std::vector<ListEntry> entries;
        for (int k = 0; k < 12; ++k) {
            std::string name = dir.File(Numbered("n", k, ".png"));
            if (k == 5) {
                WriteBytes(name, {0x89, 'P', 'N', 'G', 1, 2, 3});  // damaged
            } else {
                const int w = k == 8 ? kWidth + 1 : kWidth;  // another size
                EXPECT_TRUE(SaveImageFile(RandomImage(w, kHeight, static_cast<uint32_t>(k)), name));
            }
            entries.push_back({name, k != 3, true, false});
        }
        if (std::string(c.title).find("nothing fits") != std::string::npos) {
            entries[0].checked = false;  // the first window's first frame is another one
        }
        const MovingMaxSettings settings{c.n, c.progressive, c.darkening, c.showProcess};
        const MovingMaxOutput reference{dir.File("ref"), c.extension};
        ReloadReference(entries, settings, reference);

        RunFixture run;
        for (const ListEntry& e : entries) {
            run.Left().Append(e);
        }
        RecordingDisplay display;
        MovingMaxOptions options = Threads(c.decodeThreads);
        options.frameBudget =
            c.budgetFrames == 0 ? 0 : static_cast<size_t>(c.budgetFrames) * kWidth * kHeight * 3;
        const MovingMaxOutput output{dir.File("cached"), c.extension};
        const MovingMaxReport report =
            MovingMaxRun(run.context, display, settings, output, options);
        const int outputs = c.progressive ? 12 + c.n - 1 : 12 - c.n + 1;
        ASSERT_EQ(report.outputs, outputs);
        EXPECT_EQ(report.errors, 2);  // the damaged frame and the other size, once each
        for (int o = 1; o <= outputs; ++o) {
            EXPECT_EQ(ReadBytes(MovingMaxFileName(output, o)),
                      ReadBytes(MovingMaxFileName(reference, o)))
                << "output " << o;
        }
        if (c.budgetFrames > 0) {
            EXPECT_LE(report.peakBytesKept,
                      static_cast<size_t>(c.budgetFrames) * kWidth * kHeight * 3);
            // Frames that do not fit are decoded again, at most once per output.
            EXPECT_GT(report.decodes, 12);
            EXPECT_LE(report.decodes, 12 + static_cast<int64_t>(outputs) * c.n);
        } else {
            EXPECT_LE(report.decodes, 12);  // each frame once at most
        }
        EXPECT_EQ(run.Left().Entries(), entries);  // flags as before the run
        // Every merge is shown only with "ShowProcess"; each output always.
        int live = 0;
        int forced = 0;
        for (const std::string& line : run.host.Lines("show|")) {
            live += line.ends_with("|live") ? 1 : 0;
            forced += line.ends_with("|force") ? 1 : 0;
        }
        EXPECT_EQ(forced, outputs);
        if (c.showProcess) {
            EXPECT_GT(live, outputs);
        } else {
            EXPECT_EQ(live, 0);
        }
    }
}

// Night frames: most blocks are dark sky that the darkening of older frames
// wipes out, so the frames kept give most of their blocks back as they age.
TEST(MovingMaxRunTest, FramesThatGiveBlocksBackStillGiveTheBytesOfReloading) {
    struct Case {
        const char* title;
        bool progressive;
        int n;
        int budgetFrames;  // 0: the default budget
        int decodeThreads;
        bool showProcess;
    };
    const Case cases[] = {
        {"range only", false, 6, 0, 2, false},
        {"progressive", true, 4, 0, 1, false},
        {"budget of three frames", false, 5, 3, 2, false},
        {"every merge shown", false, 4, 0, 2, true},
        {"no threads", true, 7, 0, 0, false},
    };
    constexpr int kWidth = 150;  // three blocks, the last one partial
    constexpr int kHeight = 70;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        std::vector<ListEntry> entries;
        for (int k = 0; k < 10; ++k) {
            std::string name = dir.File(Numbered("s", k, ".bmp"));
            EXPECT_TRUE(SaveImageFile(
                SkyFrame(kWidth, kHeight, 20 + 7 * k, static_cast<unsigned>(k)), name));
            entries.push_back({name, k != 4, true, false});
        }
        const MovingMaxSettings settings{c.n, c.progressive, true, c.showProcess};
        const MovingMaxOutput reference{dir.File("ref"), ".bmp"};
        ReloadReference(entries, settings, reference);

        RunFixture run;
        for (const ListEntry& e : entries) {
            run.Left().Append(e);
        }
        RecordingDisplay display;
        MovingMaxOptions options = Threads(c.decodeThreads);
        options.frameBudget =
            c.budgetFrames == 0 ? 0 : static_cast<size_t>(c.budgetFrames) * kWidth * kHeight * 3;
        const MovingMaxOutput output{dir.File("kept"), ".bmp"};
        const MovingMaxReport report =
            MovingMaxRun(run.context, display, settings, output, options);
        const int outputs = c.progressive ? 10 + c.n - 1 : 10 - c.n + 1;
        ASSERT_EQ(report.outputs, outputs);
        EXPECT_EQ(report.errors, 0);
        for (int o = 1; o <= outputs; ++o) {
            EXPECT_EQ(ReadBytes(MovingMaxFileName(output, o)),
                      ReadBytes(MovingMaxFileName(reference, o)))
                << "output " << o;
        }
        if (c.budgetFrames == 0) {
            EXPECT_LE(report.decodes, 10);  // each frame once at most
        }
    }
}

// A frame kept as blocks holds the blocks above its floor, byte for byte,
// and gives back those a higher floor wipes out.
TEST(BlockFrameTest, KeepsTheBlocksAboveTheFloor) {
    struct Case {
        int width;
        int height;
        int skyTop;
        int floor;
        int thinnedFloor;
    };
    const Case cases[] = {
        {64, 64, 30, -1, 30},  {150, 70, 40, 20, 60},    {1, 1, 5, 0, 255},
        {200, 130, 10, 9, 10}, {65, 129, 250, 100, 254},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Numbered("size ", c.width) + Numbered("x", c.height) +
                     Numbered(" floor ", c.floor));
        const RgbImage image =
            SkyFrame(c.width, c.height, c.skyTop, static_cast<unsigned>(c.width + c.floor));
        const TileMaxima maxima = ComputeTileMaxima(image);
        BlockPool pool;
        BlockFrame frame;
        ASSERT_TRUE(pool.Fill(frame, image, c.floor));
        EXPECT_EQ(frame.maxima.values, maxima.values);
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.height, c.height);
        EXPECT_EQ(frame.floor, c.floor);
        auto check = [&](int floor) {
            size_t bytes = 0;
            for (int r = 0; r < maxima.rows; ++r) {
                for (int col = 0; col < maxima.columns; ++col) {
                    const uint8_t* block = frame.Block(col, r);
                    ASSERT_EQ(block != nullptr, maxima.At(col, r) > floor) << col << "," << r;
                    if (block == nullptr) {
                        continue;
                    }
                    bytes += BlockPictureBytes(c.width, c.height, col, r);
                    const int rows = std::min(kMaxTile, c.height - r * kMaxTile);
                    const int columns = std::min(kMaxTile, c.width - col * kMaxTile);
                    for (int y = 0; y < rows; ++y) {
                        const uint8_t* row = image.Row(r * kMaxTile + y) + col * kMaxTile * 3;
                        ASSERT_TRUE(std::equal(row, row + columns * 3, block + y * kMaxTile * 3))
                            << "block " << col << "," << r << " row " << y;
                    }
                }
            }
            EXPECT_EQ(frame.BytesKept(), bytes);
        };
        check(c.floor);
        const size_t before = frame.BytesKept();
        const size_t given = pool.Thin(frame, c.thinnedFloor);
        EXPECT_EQ(frame.floor, c.thinnedFloor);
        EXPECT_EQ(before - given, frame.BytesKept());
        check(c.thinnedFloor);
        EXPECT_EQ(pool.Thin(frame, c.floor), 0u);  // a lower floor changes nothing
        check(c.thinnedFloor);

        // Blocks given back serve the next frame.
        BlockFrame next;
        ASSERT_TRUE(pool.Fill(next, image, -1));
        EXPECT_EQ(next.BytesKept(), image.Stride() * static_cast<size_t>(c.height));
        pool.Clear(frame);
        EXPECT_EQ(frame.BytesKept(), 0u);
        EXPECT_TRUE(frame.blocks.empty());
    }
    // An empty picture has no blocks.
    BlockPool pool;
    BlockFrame frame;
    EXPECT_FALSE(pool.Fill(frame, RgbImage(), 0));
    EXPECT_TRUE(frame.blocks.empty());
}

TEST(MovingMaxRunTest, OutputsThatReplaceFramesStillInTheWindowAreReadAgain) {
    // Outputs named like the frames: output k replaces frame k, which a
    // growing window still holds, as loading it again would show.
    for (bool progressive : {true, false}) {
        SCOPED_TRACE(progressive ? "progressive" : "range only");
        TempDir dir;
        TempDir refDir;
        std::vector<ListEntry> entries;
        std::vector<ListEntry> refEntries;
        for (int k = 1; k <= 6; ++k) {
            const RgbImage frame = RandomImage(33, 17, static_cast<uint32_t>(40 + k));
            std::string name = dir.File(Numbered("s000", k, ".bmp"));
            std::string refName = refDir.File(Numbered("s000", k, ".bmp"));
            EXPECT_TRUE(SaveImageFile(frame, name));
            EXPECT_TRUE(SaveImageFile(frame, refName));
            entries.push_back({name, true, true, false});
            refEntries.push_back({refName, true, true, false});
        }
        const MovingMaxSettings settings{3, progressive, true, false};
        ReloadReference(refEntries, settings, MovingMaxOutputBase(refDir.File("s.bmp")));
        RunFixture run;
        for (const ListEntry& e : entries) {
            run.Left().Append(e);
        }
        // The command refuses such names before the run; a run that meets
        // them all the same (the list was edited meanwhile) stays right.
        run.host.answers = {Answer::YesToAll};
        RecordingDisplay display;
        MovingMaxRun(run.context, display, settings, MovingMaxOutputBase(dir.File("s.bmp")),
                     Threads(2));
        for (int o = 1; o <= (progressive ? 8 : 4); ++o) {
            EXPECT_EQ(ReadBytes(MovingMaxFileName({dir.File("s"), ".bmp"}, o)),
                      ReadBytes(MovingMaxFileName({refDir.File("s"), ".bmp"}, o)))
                << o;
        }
    }
}

}  // namespace
}  // namespace nocturo::test
