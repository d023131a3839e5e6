// Search and crop: what counts as an object, where the mark and the crop
// go, and what a run lists, writes, marks and says.

#include "engine/search_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "lists/list_commands.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

// A black picture with the given pixels painted.
struct Spot {
    int x, y;
    uint8_t blue, green, red;
};
RgbImage Painted(int width, int height, const std::vector<Spot>& spots) {
    RgbImage image = SolidImage(width, height, 0, 0, 0);
    for (const Spot& s : spots) {
        SetPixel(image, s.x, s.y, s.blue, s.green, s.red);
    }
    return image;
}

// n pixels of one grey level along row y from column x.
std::vector<Spot> Streak(int n, int x, int y, uint8_t level) {
    std::vector<Spot> spots;
    for (int k = 0; k < n; ++k) {
        spots.push_back({x + k, y, level, level, level});
    }
    return spots;
}

TEST(SearchObject, ThresholdAndMarginCases) {
    const SearchParams defaults;
    SearchParams noMinimum;
    noMinimum.MinPixels = 0;
    SearchParams wideMargins;
    wideMargins.Left = wideMargins.Right = 30;
    struct Case {
        const char* name;
        RgbImage image;
        SearchParams params;
        bool found;
    };
    const Case cases[] = {
        {"10 pixels of luminosity 11 are not enough", Painted(40, 10, Streak(10, 5, 5, 11)),
         defaults, false},
        {"11 pixels of luminosity 11 are an object", Painted(40, 10, Streak(11, 5, 5, 11)),
         defaults, true},
        {"luminosity 10 never counts at level 10",
         Painted(40, 10,
                 [] {
                     std::vector<Spot> s;
                     for (int x = 1; x < 39; ++x) {
                         s.push_back({x, 4, 0, 0, 30});  // (30 + 0 + 0) div 3 = 10
                     }
                     return s;
                 }()),
         defaults, false},
        {"sum 32 is luminosity 10 as well",
         Painted(40, 10,
                 [] {
                     std::vector<Spot> s;
                     for (int x = 1; x < 39; ++x) {
                         s.push_back({x, 4, 10, 11, 11});
                     }
                     return s;
                 }()),
         defaults, false},
        {"one pixel with MinPixels 0", Painted(40, 10, {{7, 7, 255, 255, 255}}), noMinimum, true},
        {"nothing at all with MinPixels 0", Painted(40, 10, {}), noMinimum, false},
        {"the outermost rows are never tested",
         Painted(40, 10,
                 [] {
                     std::vector<Spot> s = Streak(40, 0, 0, 255);
                     for (const Spot& b : Streak(40, 0, 9, 255)) {
                         s.push_back(b);
                     }
                     return s;
                 }()),
         noMinimum, false},
        {"the outermost columns are never tested",
         Painted(10, 40,
                 [] {
                     std::vector<Spot> s;
                     for (int y = 0; y < 40; ++y) {
                         s.push_back({0, y, 255, 255, 255});
                         s.push_back({9, y, 255, 255, 255});
                     }
                     return s;
                 }()),
         noMinimum, false},
        {"the row inside the margin is tested", Painted(40, 10, Streak(1, 1, 1, 255)), noMinimum,
         true},
        {"margins wider than the picture find nothing", Painted(40, 10, Streak(40, 0, 5, 255)),
         wideMargins, false},
        {"a 1 x 1 picture finds nothing", Painted(1, 1, {{0, 0, 255, 255, 255}}), noMinimum, false},
    };
    for (const Case& c : cases) {
        for (SearchOperation op : {DetectObject, MarkObject, CropObject}) {
            RgbImage image = c.image;
            EXPECT_EQ(op(image, c.params, false), c.found) << c.name;
            if (!c.found) {
                EXPECT_TRUE(SamePixels(image, c.image)) << c.name << ": changed";
            }
        }
        RgbImage image = c.image;
        DetectObject(image, c.params, false);
        EXPECT_TRUE(SamePixels(image, c.image)) << c.name << ": detection changed the picture";
    }
    // Level 255 can never be exceeded.
    SearchParams top = noMinimum;
    top.MinLevel = 255;
    RgbImage white = SolidImage(5, 5, 255, 255, 255);
    EXPECT_FALSE(DetectObject(white, top, false));
}

TEST(SearchObject, CentroidSumsDoNotOverflow) {
    // 20000 x 1000 bright pixels: the x sum alone is about 2 x 10^11.
    RgbImage image = SolidImage(20000, 1000, 255, 255, 255);
    SearchParams params;
    params.Left = params.Right = params.Top = params.Bottom = 0;
    const BrightPixels bright = CountBrightPixels(image, params);
    EXPECT_EQ(bright.count, 20000LL * 1000);
    EXPECT_EQ(bright.sumX, 19999LL * 20000 / 2 * 1000);
    EXPECT_EQ(bright.sumX / bright.count, 9999);
    EXPECT_EQ(bright.sumY / bright.count, 499);
}

// A sky whose pixels tell where they came from, with a white 3 x 3 object
// centred on (cx, cy); the sky stays below level 200.
RgbImage CoordinateSky(int width, int height, int cx, int cy) {
    RgbImage image(SolidImage(width, height, 0, 0, 0));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            SetPixel(image, x, y, static_cast<uint8_t>(x % 251), static_cast<uint8_t>(y % 241),
                     static_cast<uint8_t>((x / 251 + y / 241 * 7) % 100));
        }
    }
    for (int y = cy - 1; y <= cy + 1; ++y) {
        for (int x = cx - 1; x <= cx + 1; ++x) {
            SetPixel(image, x, y, 255, 255, 255);
        }
    }
    return image;
}

TEST(SearchObject, CropRectanglesOfEvenAndOddSizes) {
    SearchParams params;
    params.MinLevel = 200;
    params.MinPixels = 5;
    const RgbImage sky = CoordinateSky(1000, 600, 500, 300);
    struct Case {
        int size;
        Rect rect;
        bool scaled;
    };
    // Both span x 450-549 and y 249-348; 100 squeezes them into 99 pixels.
    const Case cases[] = {{100, {450, 249, 550, 349}, true}, {101, {450, 249, 550, 349}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        params.CropWidth = params.CropHeight = c.size;
        EXPECT_EQ(ObjectRect(500, 300, params), c.rect);
        RgbImage image = sky;
        ASSERT_TRUE(CropObject(image, params, false));
        ASSERT_EQ(image.Width(), c.size);
        ASSERT_EQ(image.Height(), c.size);
        const int inner = c.size - 1;
        for (int ty = 0; ty < c.size; ++ty) {
            for (int tx = 0; tx < c.size; ++tx) {
                std::vector<uint8_t> want{0, 0, 0};
                if (tx < inner && ty < inner) {
                    // Scaled: the source pixel under the centre of the target's.
                    const int sx = c.scaled ? 450 + (2 * tx + 1) * 100 / (2 * inner) : 450 + tx;
                    const int sy = c.scaled ? 249 + (2 * ty + 1) * 100 / (2 * inner) : 249 + ty;
                    want = PixelAt(sky, sx, sy);
                }
                ASSERT_EQ(PixelAt(image, tx, ty), want) << tx << "," << ty;
            }
        }
        if (c.scaled) {
            // The scaled copy reaches both ends of the rectangle.
            EXPECT_EQ(PixelAt(image, 0, 0), PixelAt(sky, 450, 249));
            EXPECT_EQ(PixelAt(image, inner - 1, inner - 1), PixelAt(sky, 549, 348));
        }
    }
    // With the mark flag the crop marks instead.
    RgbImage marked = sky;
    params.CropWidth = params.CropHeight = 100;
    ASSERT_TRUE(CropObject(marked, params, true));
    EXPECT_EQ(marked.Width(), 1000);
    // An object at the corner: the part outside the picture stays black.
    RgbImage corner = CoordinateSky(300, 200, 2, 2);
    params.CropWidth = params.CropHeight = 41;
    ASSERT_TRUE(CropObject(corner, params, false));
    // The rectangle starts at (-18, -19): (20, 21) in the crop is (2, 2).
    EXPECT_EQ(PixelAt(corner, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(PixelAt(corner, 17, 30), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(PixelAt(corner, 20, 21), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(PixelAt(corner, 18, 19), PixelAt(CoordinateSky(300, 200, 2, 2), 0, 0));
}

TEST(SearchObject, MarkDrawsTheInscribedEllipseOutline) {
    SearchParams params;
    params.MinLevel = 100;
    params.MinPixels = 3;
    params.CropWidth = 20;
    params.CropHeight = 12;
    // An object of grey 200 centred on (30, 20): never white itself.
    RgbImage image = Painted(60, 40, {});
    for (int y = 19; y <= 21; ++y) {
        for (int x = 29; x <= 31; ++x) {
            SetPixel(image, x, y, 200, 200, 200);
        }
    }
    const Rect rect = ObjectRect(30, 20, params);
    EXPECT_EQ(rect, (Rect{20, 13, 40, 25}));
    ASSERT_TRUE(MarkObject(image, params, false));
    bool touches[4] = {};
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            if (PixelAt(image, x, y) != std::vector<uint8_t>{255, 255, 255}) {
                continue;
            }
            ASSERT_TRUE(x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom)
                << "outside at " << x << "," << y;
            touches[0] |= x == rect.left;
            touches[1] |= x == rect.right - 1;
            touches[2] |= y == rect.top;
            touches[3] |= y == rect.bottom - 1;
            // Symmetric about the rectangle's middle.
            EXPECT_EQ(PixelAt(image, rect.left + rect.right - 1 - x, y),
                      (std::vector<uint8_t>{255, 255, 255}));
        }
    }
    EXPECT_TRUE(touches[0] && touches[1] && touches[2] && touches[3]);
    // An outline, not a filled ellipse: the object is still there.
    EXPECT_EQ(PixelAt(image, 30, 20), (std::vector<uint8_t>{200, 200, 200}));
    // The outline is closed: every row between top and bottom has two ends.
    for (int y = rect.top + 1; y < rect.bottom - 1; ++y) {
        int count = 0;
        for (int x = rect.left; x < rect.right; ++x) {
            count += PixelAt(image, x, y) == std::vector<uint8_t>{255, 255, 255};
        }
        EXPECT_GE(count, 2) << y;
    }
}

TEST(SearchObject, OutputNames) {
    EXPECT_EQ(SearchOutputName("/in/img0001.jpg", "/out/", ".png"), "/out/img0001.png");
    EXPECT_EQ(SearchOutputName("/in/img0001.jpg", "/out", ".png"), "/out/img0001.png");
    EXPECT_EQ(SearchOutputName("/in.d/noext", "/out/", ".bmp"), "/out/noext.bmp");
    EXPECT_EQ(SearchOutputName("a.b.tif", "", ".jpg"), "a.b.jpg");
}

// The parameters window of a test: it records what it was given.
class ScriptedWindow : public SearchWindow {
  public:
    std::string nameField;
    std::optional<SearchChoice> reply;
    /// What the user makes of " Save ? "; by default the preset stays.
    std::optional<bool> saveBox;
    std::vector<std::string> log;

    void SetOutputName(const std::string& name) override { nameField = name; }
    std::optional<SearchChoice> Execute(bool save, const std::string& firstEntry) override {
        log.push_back(std::string(save ? "save|" : "nosave|") + firstEntry);
        if (nameField.empty()) {
            nameField = firstEntry;
        }
        if (!reply) {
            return std::nullopt;
        }
        SearchChoice choice = *reply;
        choice.save = saveBox.value_or(save);
        if (choice.name.empty()) {
            choice.name = nameField;
        }
        return choice;
    }
};

struct SearchNight {
    TempDir dir;
    RunFixture run;
    ScriptedWindow window;
    std::string a, b, missing, c, d;
    RgbImage object = Painted(30, 20, Streak(12, 5, 10, 250));
    RgbImage empty = Painted(30, 20, Streak(3, 5, 10, 250));

    SearchNight() {
        std::filesystem::create_directory(dir.Path() / "out");
        a = Write("a.bmp", object);
        b = Write("b.bmp", empty);
        missing = dir.File("missing.bmp");
        c = Write("c.png", object);
        d = Write("d.bmp", object);
        run.AddChecked({a, b, missing, c});
        run.Left().Append(d);  // unchecked: skipped
        window.reply = SearchChoice{};
    }
    std::string Write(const std::string& name, const RgbImage& image) {
        std::string file = dir.File(name);
        EXPECT_TRUE(SaveImageFile(image, file));
        return file;
    }
    std::string Out(const std::string& name) const { return dir.File("out/" + name); }
};

std::vector<std::string> Texts(const FileList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) {
        out.push_back(list.Text(i) + (list.IsEnabled(i) ? "" : " (disabled)"));
    }
    return out;
}

TEST(SearchRun, ListsFoundFramesAndMarksFailures) {
    for (int threads : {0, 2}) {
        SCOPED_TRACE(threads);
        SearchNight night;
        night.run.state.Decode.threads = threads;
        night.run.Left().SetChecked(1, true);
        const SearchOutcome outcome =
            RunSearch(night.run.context, DetectObject, false, "", "", night.window);
        EXPECT_EQ(Texts(night.run.Right()), (std::vector<std::string>{night.a, night.c}));
        EXPECT_TRUE(night.run.Right().IsChecked(0));
        EXPECT_EQ(outcome.errors, 1);
        // Nothing found is no error: b stays checked and enabled.
        EXPECT_TRUE(night.run.Left().IsChecked(1) && night.run.Left().IsEnabled(1));
        EXPECT_FALSE(night.run.Left().IsChecked(2) || night.run.Left().IsEnabled(2));
        EXPECT_FALSE(night.run.Left().IsChecked(4));
        EXPECT_EQ(night.window.log, (std::vector<std::string>{"nosave|" + night.a}));
        EXPECT_EQ(
            night.run.host.Story(),
            (std::vector<std::string>{
                "focus-left", "status|0|" + night.a + "|ok", "status|1|" + night.b + "|ok",
                "status|-1|" + night.b + "|error", "status|-2|" + night.missing + "|error",
                "status|3|" + night.c + "|ok",
                // The end tells what was found, not as an error, and names
                // the file in error.
                "status|3|2 Frame(s) found|ok",
                "message|1 File(s) in Error\nIn error: " + night.missing + "|Processed Pictures"}));
        EXPECT_FALSE(std::filesystem::exists(night.Out("a.bmp")));
    }
}

// "Show && Save" after a "Search" (or any search run again) lists each
// frame once: a name the right list holds follows the new outcome.
TEST(SearchRun, ARunAgainListsEachNameOnce) {
    SearchNight night;
    RunSearch(night.run.context, DetectObject, false, "", "", night.window);
    night.run.Right().SetEnabled(1, false);
    night.run.host.saveNames = {night.Out("x.png")};
    night.window.saveBox = false;
    AskSearchOutput(night.run.context, MarkObject, night.window);
    EXPECT_EQ(Texts(night.run.Right()), (std::vector<std::string>{night.a, night.c}));
}

TEST(SearchRun, NoMessageWithoutErrorsAndNothingWhenCancelled) {
    SearchNight night;
    night.run.Left().Delete(2);
    RunSearch(night.run.context, DetectObject, false, "", "", night.window);
    EXPECT_EQ(night.run.host.Count("message"), 0);

    SearchNight cancelled;
    cancelled.window.reply.reset();
    RunSearch(cancelled.run.context, DetectObject, false, "", "", cancelled.window);
    EXPECT_EQ(cancelled.run.Right().Count(), 0);
    EXPECT_EQ(cancelled.run.host.Story(), (std::vector<std::string>{"focus-left"}));
}

TEST(SearchRun, SavesCopiesUnderTheirOwnNames) {
    struct Case {
        SearchOperation op;
        int width, height;  // of the written copy
        bool marked;
    };
    const Case cases[] = {
        {DetectObject, 30, 20, false}, {MarkObject, 30, 20, true}, {CropObject, 10, 8, false}};
    for (const Case& c : cases) {
        SearchNight night;
        night.window.reply->params.CropWidth = 10;  // the mark fits the frame
        night.window.reply->params.CropHeight = 8;
        night.run.host.saveNames = {night.Out("(CurrentFileName).png")};
        const auto outcome = AskSearchOutput(night.run.context, c.op, night.window);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(night.run.host.saveRequests.at(0).fileName, "(CurrentFileName).bmp");
        EXPECT_EQ(night.run.host.saveRequests.at(0).defaultExtension, "bmp");
        EXPECT_EQ(night.window.nameField, night.Out("(CurrentFileName).png"));
        EXPECT_EQ(night.window.log, (std::vector<std::string>{"save|" + night.a}));
        EXPECT_EQ(Texts(night.run.Right()),
                  (std::vector<std::string>{night.Out("a.png"), night.Out("c.png")}));
        RgbImage written;
        ASSERT_TRUE(LoadImageFile(written, night.Out("c.png")));
        EXPECT_EQ(written.Width(), c.width);
        EXPECT_EQ(written.Height(), c.height);
        if (c.op == DetectObject) {
            EXPECT_TRUE(SamePixels(written, night.object));
        }
        EXPECT_EQ(SamePixels(written, night.object), !c.marked && c.op != CropObject);
    }
    // " Save ? " unchecked in the window: nothing written, full names listed.
    SearchNight unchecked;
    unchecked.run.host.saveNames = {unchecked.Out("x.png")};
    unchecked.window.saveBox = false;
    AskSearchOutput(unchecked.run.context, MarkObject, unchecked.window);
    EXPECT_EQ(Texts(unchecked.run.Right()), (std::vector<std::string>{unchecked.a, unchecked.c}));
    EXPECT_FALSE(std::filesystem::exists(unchecked.Out("a.png")));
    // A cancelled output dialog runs nothing; an empty list asks nothing.
    SearchNight cancelled;
    cancelled.run.host.saveNames = {std::nullopt};
    EXPECT_FALSE(AskSearchOutput(cancelled.run.context, MarkObject, cancelled.window));
    EXPECT_TRUE(cancelled.window.log.empty());
    RunFixture emptyList;
    ScriptedWindow window;
    EXPECT_FALSE(AskSearchOutput(emptyList.context, MarkObject, window));
    EXPECT_EQ(emptyList.host.Count("save-dialog"), 0);
}

TEST(SearchRun, OverwriteAnswers) {
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        // The right list after the run; "!" marks a disabled entry.
        std::vector<std::string> right;
        int questions;
        bool aReplaced;
        bool cVisited;
    };
    // a.png exists beforehand; c.png is new.
    const Case cases[] = {
        {"yes", {Answer::Yes}, {"a.png", "c.png"}, 1, true, true},
        {"no: listed disabled, a new name still written",
         {Answer::No},
         {"a.png!", "c.png"},
         1,
         false,
         true},
        {"no to all", {Answer::NoToAll}, {"a.png!", "c.png"}, 1, false, true},
        {"cancel: nothing listed, the run stops", {Answer::Cancel}, {}, 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchNight night;
        const RgbImage old = SolidImage(4, 4, 1, 2, 3);
        std::string existing = night.Out("a.png");
        ASSERT_TRUE(SaveImageFile(old, existing));
        night.run.host.saveNames = {night.Out("x.png")};
        night.run.host.answers = {c.answers.begin(), c.answers.end()};
        AskSearchOutput(night.run.context, DetectObject, night.window);
        std::vector<std::string> want;
        for (const std::string& entry : c.right) {
            const bool disabled = entry.back() == '!';
            want.push_back(night.Out(disabled ? entry.substr(0, entry.size() - 1) : entry) +
                           (disabled ? " (disabled)" : ""));
        }
        EXPECT_EQ(Texts(night.run.Right()), want);
        EXPECT_EQ(night.run.host.Count("ask|OverWrite? "), c.questions);
        RgbImage now;
        ASSERT_TRUE(LoadImageFile(now, existing));
        EXPECT_EQ(SamePixels(now, old), !c.aReplaced);
        EXPECT_EQ(std::filesystem::exists(night.Out("c.png")), c.cVisited);
        // The load error of the missing frame is still reported when the
        // run was stopped by Cancel only if it was reached.
        EXPECT_EQ(night.run.host.Count("message|1 File(s) in Error"), c.cVisited ? 1 : 0);
    }
}

TEST(SearchRun, AbortStopsAfterTheCurrentFrameWithoutAQuestion) {
    SearchNight night;
    night.run.host.onEvents = [&](int call) {
        if (call == 2) {  // after the first frame
            ToolButtonAbortClick(night.run.state);
        }
    };
    RunSearch(night.run.context, DetectObject, false, "", "", night.window);
    EXPECT_EQ(Texts(night.run.Right()), (std::vector<std::string>{night.a}));
    EXPECT_EQ(night.run.host.Count("ask"), 0);
    EXPECT_TRUE(night.run.Left().IsEnabled(2));  // never reached
}

}  // namespace
}  // namespace nocturo::test
