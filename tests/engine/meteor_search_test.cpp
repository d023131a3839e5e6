// The meteor search: the chain of maxima it leaves checked, the frame it
// names and keeps, and the frames it refuses.

#include "engine/meteor_search.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/image_file.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

// A 5 x 4 frame whose point (2, 1) has the given R + G + B; the rest is a
// pattern that tells the frames apart.
RgbImage Frame(int brightness, uint32_t seed, int width = 5, int height = 4) {
    RgbImage image = RandomImage(width, height, seed);
    const int third = brightness / 3;
    SetPixel(image, 2, 1, static_cast<uint8_t>(third), static_cast<uint8_t>(third),
             static_cast<uint8_t>(brightness - 2 * third));
    return image;
}

std::vector<bool> Checks(const FileList& list) {
    std::vector<bool> out;
    for (int i = 0; i < list.Count(); ++i) {
        out.push_back(list.IsChecked(i));
    }
    return out;
}

struct Night {
    TempDir dir;
    RunFixture run;
    std::vector<RgbImage> frames;

    std::string Add(const std::string& name, const RgbImage& image) {
        std::string file = dir.File(name);
        EXPECT_TRUE(SaveImageFile(image, file));
        frames.push_back(image);
        run.AddChecked({file});
        return file;
    }
};

TEST(PointBrightness, SumsTheChannels) {
    RgbImage image = SolidImage(2, 2, 255, 255, 255);
    SetPixel(image, 1, 1, 0, 1, 1);
    EXPECT_EQ(PointBrightness(image, 0, 0), 765);
    EXPECT_EQ(PointBrightness(image, 1, 1), 2);
    for (auto [x, y] : {std::pair{-1, -1}, {2, 0}, {0, 2}, {-1, 0}}) {
        EXPECT_EQ(PointBrightness(SolidImage(2, 2, 0, 0, 0), x, y), 765) << x << "," << y;
    }
}

TEST(MaximumSearch, LeavesTheChainOfMaximaChecked) {
    Night night;
    std::vector<std::string> names;
    const int values[] = {300, 450, 450, 200, 600};
    for (int k = 0; k < 5; ++k) {
        names.push_back(night.Add(Numbered("f", k + 1, ".bmp"), Frame(values[k], k + 1)));
    }
    const MeteorOutcome outcome = MaximumSearch(night.run.context, 2, 1);
    EXPECT_EQ(Checks(night.run.Left()), (std::vector<bool>{true, true, false, false, true}));
    EXPECT_EQ(outcome.chain, (std::vector<std::string>{names[0], names[1], names[4]}));
    EXPECT_EQ(outcome.maximum, 600);
    EXPECT_EQ(outcome.errors, 0);
    EXPECT_TRUE(SamePixels(*night.run.state.Result, night.frames[4]));
    EXPECT_EQ(night.run.state.ResultPosition, 3);
    EXPECT_TRUE(night.run.state.ResultUnsaved);
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(night.run.Left().IsEnabled(k));
    }
    const std::vector<std::string> messages = night.run.host.Lines("message");
    EXPECT_EQ(messages, (std::vector<std::string>{"message|" + names[4] + "|Image with Maximum"}));
    EXPECT_EQ(night.run.host.Lines("status|-"),
              (std::vector<std::string>{"status|-2|" + names[2] + "|error",
                                        "status|-3|" + names[3] + "|error"}));
}

TEST(MaximumSearch, FramesThatCannotWinAndFramesSkipped) {
    struct Case {
        const char* name;
        // Per entry: brightness, or -1 missing, -2 another size at 765,
        // -3 unchecked beforehand (bright), -4 a damaged file.
        std::vector<int> entries;
        std::vector<bool> checked;
        std::vector<bool> enabled;
        int winner;  // index of the frame kept, -1 for none
        int errors;
    };
    const Case cases[] = {
        {"a missing frame no longer wins",
         {300, -1, 200},
         {true, false, false},
         {true, false, true},
         0,
         1},
        {"a missing first frame", {-1, 300, 500}, {false, true, true}, {false, true, true}, 2, 1},
        {"another size never wins", {300, -2, 400}, {true, false, true}, {true, false, true}, 2, 1},
        {"a damaged frame keeps the result",
         {300, 500, -4},
         {true, true, false},
         {true, true, false},
         1,
         1},
        {"unchecked entries keep their state",
         {300, -3, 100},
         {true, false, false},
         {true, true, true},
         0,
         0},
        {"a single frame", {10}, {true}, {true}, 0, 0},
        {"nothing loads", {-1, -1}, {false, false}, {false, false}, -1, 2},
    };
    for (const Case& c : cases) {
        for (int threads : {0, 2}) {
            SCOPED_TRACE(std::string(c.name) + Numbered(", threads ", threads));
            Night night;
            // Read ahead on workers or on the search's own thread: same answers.
            night.run.state.Decode.threads = threads;
            std::vector<std::string> names;
            for (size_t k = 0; k < c.entries.size(); ++k) {
                const int e = c.entries[k];
                const std::string name = Numbered("e", static_cast<long long>(k), ".bmp");
                if (e == -1) {
                    names.push_back(night.dir.File(name));
                    night.run.AddChecked({names.back()});
                    night.frames.push_back(RgbImage());
                } else if (e == -2) {
                    names.push_back(night.Add(name, Frame(765, 9, 6, 4)));
                } else if (e == -3) {
                    names.push_back(night.Add(name, Frame(700, 8)));
                    night.run.Left().SetChecked(static_cast<int>(k), false);
                } else if (e == -4) {
                    names.push_back(night.Add(name, Frame(700, 8)));
                    WriteBytes(names.back(), {'B', 'M', 1, 2, 3});
                } else {
                    names.push_back(night.Add(name, Frame(e, static_cast<uint32_t>(k) + 20)));
                }
            }
            const MeteorOutcome outcome = MaximumSearch(night.run.context, 2, 1);
            EXPECT_EQ(Checks(night.run.Left()), c.checked);
            for (size_t k = 0; k < c.enabled.size(); ++k) {
                EXPECT_EQ(night.run.Left().IsEnabled(static_cast<int>(k)), c.enabled[k]) << k;
            }
            EXPECT_EQ(outcome.errors, c.errors);
            if (c.winner >= 0) {
                EXPECT_TRUE(SamePixels(*night.run.state.Result, night.frames[c.winner]));
                EXPECT_EQ(night.run.host.Lines("message"),
                          (std::vector<std::string>{"message|" + names[c.winner] +
                                                    "|Image with Maximum"}));
            } else {
                EXPECT_TRUE(night.run.state.Result->IsEmptyImage());
                EXPECT_EQ(night.run.host.Lines("message"),
                          (std::vector<std::string>{"message||Image with Maximum"}));
            }
        }
    }
}

// A frame whose point was read ahead and that is rewritten before the search
// reaches it is read again: the search sees the file as it is then.
TEST(MaximumSearch, FrameRewrittenAfterItsPointWasReadAhead) {
    Night night;
    night.run.state.Decode.threads = 2;
    std::vector<std::string> names;
    for (int k = 0; k < 6; ++k) {
        // Frame 4 is the brightest until it is rewritten dim.
        const int brightness = k == 4 ? 600 : 100 + 10 * k;
        names.push_back(night.Add(Numbered("r", k, ".bmp"), Frame(brightness, 40 + k)));
    }
    int rewritten = 0;
    night.run.host.onEvents = [&](int call) {
        if (call == 3 && rewritten == 0) {
            // The points of the next frames are read ahead by now (give the
            // workers time), then frame 4 changes.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_TRUE(SaveImageFile(Frame(50, 99), names[4]));
            ++rewritten;
        }
    };
    const MeteorOutcome outcome = MaximumSearch(night.run.context, 2, 1);
    ASSERT_EQ(rewritten, 1);
    EXPECT_EQ(outcome.maximum, 150);
    EXPECT_EQ(outcome.chain,
              (std::vector<std::string>{names[0], names[1], names[2], names[3], names[5]}));
    EXPECT_TRUE(SamePixels(*night.run.state.Result, night.frames[5]));
    EXPECT_EQ(Checks(night.run.Left()), (std::vector<bool>{true, true, true, true, false, true}));
}

TEST(MaximumSearch, PointOutsideThePicturesKeepsTheFirstFrame) {
    Night night;
    for (int k = 0; k < 3; ++k) {
        night.Add(Numbered("f", k, ".bmp"), Frame(100 * k, k + 1));
    }
    MaximumSearch(night.run.context, -1, -1);
    EXPECT_EQ(Checks(night.run.Left()), (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(SamePixels(*night.run.state.Result, night.frames[0]));
}

TEST(MaximumSearch, PauseQuestionStopsOrGoesOn) {
    for (Answer answer : {Answer::Yes, Answer::No}) {
        Night night;
        for (int k = 0; k < 4; ++k) {
            night.Add(Numbered("f", k, ".bmp"), Frame(100 + 100 * k, k + 1));
        }
        night.run.host.onEvents = [&](int call) {
            if (call == 2) {  // after the second frame
                ToolButtonAbortClick(night.run.state);
            }
        };
        night.run.host.answers = {answer};
        const MeteorOutcome outcome = MaximumSearch(night.run.context, 2, 1);
        EXPECT_EQ(night.run.host.Count("ask|Program in pause... Do you want to Stop process|STOP "
                                       "by User|yes,no"),
                  1);
        EXPECT_EQ(outcome.chain.size(), answer == Answer::Yes ? 2u : 4u);
        EXPECT_EQ(night.run.host.Count("message|"), 1);  // also when stopped
    }
}

std::vector<uint8_t> Jpeg(const RgbImage& image, int sampling) {
    tjhandle tj = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, image.Row(0), image.Width(), static_cast<int>(image.Stride()), image.Height(),
                TJPF_BGR, &buffer, &size, sampling, 85, 0);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    tjFree(buffer);
    tjDestroy(tj);
    return bytes;
}

// The chain found with point reads is the one a full decode of every frame
// gives, for points in the last, partial band of rows of subsampled JPEGs.
TEST(MaximumSearch, PointReadsAgreeWithFullDecodes) {
    for (int sampling : {TJSAMP_420, TJSAMP_444}) {
        for (auto [x, y] : {std::pair{70, 45}, {3, 46}, {40, 20}}) {
            SCOPED_TRACE(Numbered("sampling ", sampling) + Numbered(" point ", x) +
                         Numbered(",", y));
            Night night;
            // Points read ahead on worker threads for the 4:2:0 frames.
            night.run.state.Decode.threads = sampling == TJSAMP_420 ? 2 : 0;
            std::vector<std::string> names;
            std::vector<std::string> expected;
            int best = -1;
            for (int k = 0; k < 8; ++k) {
                RgbImage sky = RandomImage(77, 47, 100 + k);
                const std::string name = night.dir.File(Numbered("n", k, ".jpg"));
                WriteBytes(name, Jpeg(sky, sampling));
                night.run.AddChecked({name});
                RgbImage full;
                ASSERT_TRUE(LoadImageFile(full, name));
                const int value = PointBrightness(full, x, y);
                if (value > best) {
                    best = value;
                    expected.push_back(name);
                    night.frames.push_back(full);
                }
            }
            const MeteorOutcome outcome = MaximumSearch(night.run.context, x, y);
            EXPECT_EQ(outcome.chain, expected);
            EXPECT_EQ(outcome.maximum, best);
            EXPECT_TRUE(SamePixels(*night.run.state.Result, night.frames.back()));
        }
    }
}

}  // namespace
}  // namespace nocturo::test
