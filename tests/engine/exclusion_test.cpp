// Frames with excluded areas in every run that merges frames, checked
// against a pixel-by-pixel model; and the rule that finds bright frames.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/image_file.h"
#include "engine/bright_frames.h"
#include "engine/frame_map.h"
#include "engine/meteor_search.h"
#include "engine/moving_max.h"
#include "engine/stacking_run.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

constexpr int kW = 20;
constexpr int kH = 12;

using Exclusions = std::map<int, ExcludedAreas>;

struct Night {
    TempDir dir;
    RunFixture run;
    std::vector<RgbImage> frames;

    // Random frames; frame `streak` also carries a white line across row 5.
    Night(int count, int streak, const Exclusions& excluded) {
        for (int k = 0; k < count; ++k) {
            RgbImage frame = RandomImage(kW, kH, 70 + k);
            if (k == streak) {
                for (int x = 0; x < kW; ++x) {
                    SetPixel(frame, x, 5, 255, 255, 255);
                }
            }
            std::string name = dir.File(Numbered("n", k, ".bmp"));
            EXPECT_TRUE(SaveImageFile(frame, name));
            run.Left().Append(ListEntry{name, true, true, false,
                                        excluded.count(k) ? excluded.at(k) : ExcludedAreas{}});
            frames.push_back(std::move(frame));
        }
    }

    // Pixel by pixel: the operation folded over the frames that do not
    // exclude the pixel, the first of them as the start; black where all do.
    // With a frame map, also which frame AddMax last raised it with.
    RgbImage Model(ImageOperation op, const Exclusions& excluded,
                   std::vector<int>* cells = nullptr) const {
        RgbImage out = SolidImage(kW, kH, 0, 0, 0);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                std::optional<RgbImage> acc;
                int cell = 0;
                for (size_t k = 0; k < frames.size(); ++k) {
                    const auto e = excluded.find(static_cast<int>(k));
                    if (e != excluded.end() && InExcludedArea(e->second, x, y)) {
                        continue;
                    }
                    const std::vector<uint8_t> p = PixelAt(frames[k], x, y);
                    RgbImage one = SolidImage(1, 1, p[0], p[1], p[2]);
                    if (!acc) {
                        acc = one;
                        cell = k == 0 ? 1 : 0;
                        if (k != 0) {
                            // Started from black: raised unless all black.
                            cell = p[0] || p[1] || p[2] ? static_cast<int>(k) + 1 : 0;
                        }
                        continue;
                    }
                    const std::vector<uint8_t> before = PixelAt(*acc, 0, 0);
                    op(one, *acc, nullptr);
                    if (PixelAt(*acc, 0, 0) != before) {
                        cell = static_cast<int>(k) + 1;
                    }
                }
                if (acc) {
                    const std::vector<uint8_t> p = PixelAt(*acc, 0, 0);
                    SetPixel(out, x, y, p[0], p[1], p[2]);
                }
                if (cells != nullptr) {
                    cells->push_back(cell);
                }
            }
        }
        return out;
    }
};

struct ExclusionCase {
    const char* title;
    int streak;
    Exclusions excluded;
};

const ExclusionCase kCases[] = {
    {"the streak's frame", 2, {{2, {{0, 4, kW, 3}}}}},
    {"the first frame", 0, {{0, {{0, 4, kW, 3}}}}},
    {"overlapping areas of two frames",
     3,
     {{3, {{0, 5, kW, 1}, {4, 2, 5, 8}}}, {1, {{6, 0, 8, 7}}}}},
    {"every frame at one pixel",
     -1,
     {{0, {{7, 7, 1, 1}}},
      {1, {{7, 7, 2, 2}}},
      {2, {{6, 6, 2, 2}}},
      {3, {{7, 7, 1, 1}}},
      {4, {{0, 0, kW, kH}}}}},
    {"an area beyond the picture", 1, {{1, {{15, 3, 100, 4}}}}},
};

TEST(ExcludedAreasTest, EveryOperationMergesTheOtherFramesThere) {
    const std::pair<const char*, ImageOperation> ops[] = {{"AddMax", AddMax},
                                                          {"AddMin", AddMin},
                                                          {"AddMaxLum", AddMaxLum},
                                                          {"SubMinLum", SubMinLum},
                                                          {"AddMaxThreshold", AddMaxThreshold},
                                                          {"Add", Add},
                                                          {"Sub", Sub}};
    MaxThreshold = 120;
    for (const ExclusionCase& c : kCases) {
        for (const auto& [opName, op] : ops) {
            for (bool steps : {false, true}) {
                SCOPED_TRACE(std::string(c.title) + ", " + opName + (steps ? ", steps" : ""));
                Night night(5, c.streak, c.excluded);
                night.run.state.Steps.baseName = night.dir.File("s");
                night.run.state.Steps.extension = ".bmp";
                night.run.state.Steps.StepNumber = 1;
                StackingRun(night.run.context, op, nullptr, steps, true);
                const RgbImage model = night.Model(op, c.excluded);
                EXPECT_TRUE(SamePixels(night.run.state.ResultBuffer(), model));
                if (steps) {
                    RgbImage last;
                    ASSERT_TRUE(LoadImageFile(last, night.dir.File("s0005.bmp")));
                    EXPECT_TRUE(SamePixels(last, model));
                }
            }
        }
    }
    MaxThreshold = 0;
}

TEST(ExcludedAreasTest, FrameMapNamesTheFrameThatNowMadeThePixel) {
    for (const ExclusionCase& c : kCases) {
        SCOPED_TRACE(c.title);
        Night night(5, c.streak, c.excluded);
        night.run.state.RecordFrameMap = true;
        StackingRun(night.run.context, AddMax, nullptr, false, true);
        std::vector<int> cells;
        night.Model(AddMax, c.excluded, &cells);
        const FrameMap* map = night.run.state.CurrentFrameMap();
        ASSERT_NE(map, nullptr);
        std::vector<int> got;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                got.push_back(static_cast<int>(map->Cell(x, y)));
            }
        }
        EXPECT_EQ(got, cells);
    }
}

TEST(ExcludedAreasTest, MovingMaximumLeavesTheAreaOut) {
    // Frame k is black but for pixel (k, 0); frame 2's area holds its own
    // pixel and frame 3's: only frame 2's goes. At 16 bits the frames are
    // widened and the area is blackened in the wide frame.
    for (const auto& [budget, threads, depth] : std::vector<std::tuple<size_t, int, int>>{
             {0, 0, 8}, {0, 2, 8}, {1, 0, 8}, {1, 2, 8}, {0, 2, 16}, {1, 0, 16}}) {
        SCOPED_TRACE(Numbered("budget ", static_cast<long long>(budget)) +
                     Numbered(", threads ", threads) + Numbered(", depth ", depth));
        TempDir dir;
        RunFixture run;
        run.context.state.Depth = depth;
        for (int k = 0; k < 5; ++k) {
            RgbImage frame = SolidImage(5, 2, 0, 0, 0);
            SetPixel(frame, k, 0, 200, 200, 200);
            std::string name = dir.File(Numbered("f", k, ".bmp"));
            ASSERT_TRUE(SaveImageFile(frame, name));
            run.Left().Append(ListEntry{name, true, true, false,
                                        k == 2 ? ExcludedAreas{{2, 0, 2, 2}} : ExcludedAreas{}});
        }
        struct : MovingMaxDisplay {
            void SetStatusPanel(int, const std::string&) override {}
            void SetLiveDisplay(bool) override {}
            void ShowListCopy(FileList*) override {}
        } display;
        MovingMaxOptions options;
        options.decodeThreads = threads;
        options.mergeThreads = 2;
        options.frameBudget = budget;  // 1 byte: no frame is kept
        const MovingMaxOutput output{dir.File("m"), depth == 16 ? ".png" : ".bmp"};
        MovingMaxRun(run.context, display, {3, false, false, false}, output, options);
        const int v = depth == 16 ? 200 * 257 : 200;
        const std::vector<std::vector<int>> expected = {
            {v, v, 0, 0, 0}, {0, v, 0, v, 0}, {0, 0, 0, v, v}};
        for (int o = 0; o < 3; ++o) {
            RgbImage image;
            ASSERT_TRUE(LoadImageFile(image, MovingMaxFileName(output, o + 1), LoadOptions{depth}));
            ASSERT_EQ(image.Depth(), depth);
            std::vector<int> row;
            for (int x = 0; x < 5; ++x) {
                row.push_back(depth == 16 ? image.Row16(0)[3 * x + 1] : PixelAt(image, x, 0)[1]);
            }
            EXPECT_EQ(row, expected[static_cast<size_t>(o)]) << "output " << o + 1;
        }
        EXPECT_EQ(run.Left().Excluded(2), (ExcludedAreas{{2, 0, 2, 2}}));
    }
}

TEST(ExcludedAreasTest, MeteorSearchDoesNotReadAnExcludedPoint) {
    // Brightness at (1, 1): 300, 450, 600 (excluded), 500; then the first
    // frame excluded as well.
    for (bool firstToo : {false, true}) {
        SCOPED_TRACE(firstToo ? "first frame excluded too" : "one frame excluded");
        TempDir dir;
        RunFixture run;
        const int values[] = {100, 150, 200, 166};
        for (int k = 0; k < 4; ++k) {
            const auto v = static_cast<uint8_t>(values[k]);
            std::string name = dir.File(Numbered("m", k, ".bmp"));
            ASSERT_TRUE(SaveImageFile(SolidImage(3, 3, v, v, v), name));
            const bool excluded = k == 2 || (firstToo && k == 0);
            run.Left().Append(ListEntry{name, true, true, false,
                                        excluded ? ExcludedAreas{{0, 0, 2, 2}} : ExcludedAreas{}});
        }
        const MeteorOutcome outcome = MaximumSearch(run.context, 1, 1);
        EXPECT_EQ(outcome.maximum, 498);
        EXPECT_EQ(outcome.chain.size(), firstToo ? 2u : 3u);
        EXPECT_EQ(run.Left().IsChecked(0), !firstToo);
        EXPECT_FALSE(run.Left().IsChecked(2));
        EXPECT_TRUE(run.Left().IsChecked(3));
    }
}

TEST(BrightFramesTest, NamesTheBrightFramesButNotTheMoonrise) {
    // Sixty frames near 40 with a little noise; three bright frames (one at
    // the very start, where only the frames after it count); the moon rises
    // at frame 45 and stays.
    std::vector<std::optional<double>> means;
    for (int k = 0; k < 60; ++k) {
        means.push_back((k >= 45 ? 95.0 : 40.0) + ((k * 7) % 5) * 0.3);
    }
    for (int k : {0, 20, 33}) {
        means[static_cast<size_t>(k)] = *means[static_cast<size_t>(k)] + 30;
    }
    means[10] = std::nullopt;  // not measured: neither judged nor counted
    std::vector<int> found;
    for (const BrightFrame& f : FindBrightFrames(means)) {
        found.push_back(f.index);
        EXPECT_GT(f.mean, f.limit);
    }
    EXPECT_EQ(found, (std::vector<int>{0, 20, 33}));

    // A night without noise: the deviation is one level at least.
    struct Case {
        double jump;
        double k;
        bool bright;
    };
    for (const Case& c : {Case{4, 5, false}, Case{6, 5, true}, Case{2.5, 2, true}}) {
        std::vector<std::optional<double>> flat(21, 50.0);
        flat[10] = 50.0 + c.jump;
        EXPECT_EQ(FindBrightFrames(flat, 15, c.k).size(), c.bright ? 1u : 0u)
            << c.jump << " with K " << c.k;
    }
    EXPECT_TRUE(FindBrightFrames({std::optional(200.0)}).empty());
}

}  // namespace
}  // namespace nocturo::test
