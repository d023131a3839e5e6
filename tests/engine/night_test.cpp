// Measuring a night (mean luminosity per frame, the cache, the limit line)
// and the frame map that AddMax and AddMaxLum runs record.

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/combine.h"
#include "core/image_file.h"
#include "engine/frame_map.h"
#include "engine/night_measure.h"
#include "engine/stacking_run.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

std::string WriteFrame(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName));
    return fileName;
}

// A dark sky with a gradient, scattered stars and a little noise: what the
// measure meets in a real night.
RgbImage NightSky(int width, int height, int level, uint32_t seed) {
    RgbImage sky = RandomImage(width, height, seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = sky.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int base = level + y * 20 / height;
            for (int c = 0; c < 3; ++c) {
                p[c] = static_cast<uint8_t>(base + p[c] % 7);
            }
            if ((x * 7 + y * 13) % 97 == 0) {
                p[0] = p[1] = p[2] = 240;
            }
        }
    }
    return sky;
}

double FullSizeMean(const std::string& fileName) {
    RgbImage full;
    EXPECT_TRUE(LoadImageFile(full, fileName));
    return MeanLuminosity(full);
}

TEST(NightMeasure, MeanMatchesAFullSizeComputation) {
    TempDir dir;
    // A 1/8-scale JPEG decode averages each 8 x 8 block in the DCT domain:
    // the block means are those of the full decode up to rounding, but
    // "div 3" then drops its remainder once per block instead of once per
    // pixel (up to 2/3 of a level either way), and the full decode clamps
    // ringing around stars that the block mean never sees. On these skies
    // the difference is about 0.4 levels; one level is the bound.
    constexpr double kJpegTolerance = 1.0;
    struct Case {
        const char* name;
        RgbImage image;
    };
    const Case cases[] = {
        {"sky.jpg", NightSky(203, 131, 12, 1)},  // sides not multiples of 8
        {"bright.jpg", NightSky(160, 96, 120, 2)}, {"gradient.jpg", GradientImage(97, 64)},
        {"sky.png", NightSky(203, 131, 12, 3)},    {"noise.png", RandomImage(64, 33, 4)},
        {"noise.bmp", RandomImage(17, 9, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = WriteFrame(dir, c.name, c.image);
        const std::optional<double> measured = MeasureFile(file);
        ASSERT_TRUE(measured.has_value());
        const bool lossless = FileExtension(file) != ".jpg";
        if (lossless) {
            // Decoded at full size: exact, and equal to the picture's own mean.
            EXPECT_DOUBLE_EQ(*measured, MeanLuminosity(c.image));
        } else {
            EXPECT_NEAR(*measured, FullSizeMean(file), kJpegTolerance);
        }
    }
}

TEST(NightMeasure, MeanLuminosityIsTheMeanOfDiv3) {
    RgbImage image = SolidImage(2, 1, 0, 0, 0);
    SetPixel(image, 0, 0, 1, 1, 0);        // (0 + 1 + 1) div 3 = 0
    SetPixel(image, 1, 0, 255, 255, 254);  // 764 div 3 = 254
    EXPECT_DOUBLE_EQ(MeanLuminosity(image), 127.0);
    EXPECT_EQ(FormatMean(127.0), "127.00");
    EXPECT_EQ(FormatMean(14.285), "14.29");
    EXPECT_DOUBLE_EQ(MeanLuminosity(RgbImage()), 0.0);

    // A reduced copy: each pixel stands for a block, the last column and
    // row of blocks for what the full size leaves them.
    RgbImage reduced = SolidImage(2, 2, 0, 0, 0);
    SetPixel(reduced, 0, 0, 10, 10, 10);
    SetPixel(reduced, 1, 0, 20, 20, 20);
    SetPixel(reduced, 0, 1, 30, 30, 30);
    SetPixel(reduced, 1, 1, 40, 40, 40);
    struct Case {
        int fullWidth;
        int fullHeight;
        double mean;
    };
    const Case cases[] = {
        {2, 2, 25.0},                                               // not reduced
        {16, 16, 25.0},                                             // whole blocks
        {9, 9, (10.0 * 64 + 20.0 * 8 + 30.0 * 8 + 40.0 * 1) / 81},  // blocks of 8, then 1
        {16, 9, (10.0 * 64 + 20.0 * 64 + 30.0 * 8 + 40.0 * 8) / 144},
        {0, 9, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ReducedMeanLuminosity(reduced, c.fullWidth, c.fullHeight, 8), c.mean)
            << c.fullWidth << " x " << c.fullHeight;
    }
}

// TurboJPEG's own 1/8 decode, each pixel weighed by the pixels of its block.
double EighthDecodeMean(const std::string& fileName) {
    std::vector<uint8_t> bytes = ReadBytes(fileName);
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, sampling = 0, colourspace = 0;
    EXPECT_EQ(tjDecompressHeader3(tj, bytes.data(), bytes.size(), &width, &height, &sampling,
                                  &colourspace),
              0);
    const int w = (width + 7) / 8, h = (height + 7) / 8;
    std::vector<uint8_t> bgr(size_t{3} * w * h);
    EXPECT_EQ(tjDecompress2(tj, bytes.data(), bytes.size(), bgr.data(), w, 3 * w, h, TJPF_BGR, 0),
              0);
    tjDestroy(tj);
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &bgr[3 * (size_t{1} * y * w + x)];
            sum += Luminosity(p[0], p[1], p[2]) * std::min(8, width - 8 * x) *
                   std::min(8, height - 8 * y);
        }
    }
    return sum / (double{1} * width * height);
}

// Whatever the picture's size, a JPEG measures as the mean of its 1/8 decode:
// the graph and --measure alike.
TEST(NightMeasure, SmallJpegsMeasureAsTheirEighthDecode) {
    TempDir dir;
    const struct {
        int width;
        int height;
    } sizes[] = {{17, 1}, {1, 17}, {9, 9}, {25, 3}, {203, 131}};
    std::vector<std::string> names;
    for (const auto& size : sizes) {
        const RgbImage sky = NightSky(size.width, size.height, 40, 7);
        const int id = size.width * 1000 + size.height;
        names.push_back(WriteFrame(dir, Numbered("s444-", id, ".jpg"), sky));
        // Chroma subsampled both ways, as most cameras write it.
        tjhandle tj = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long size420 = 0;
        ASSERT_EQ(tjCompress2(tj, sky.Row(0), sky.Width(), static_cast<int>(sky.Stride()),
                              sky.Height(), TJPF_BGR, &jpeg, &size420, TJSAMP_420, 92, 0),
                  0);
        names.push_back(dir.File(Numbered("s420-", id, ".jpg")));
        WriteBytes(names.back(), std::vector<uint8_t>(jpeg, jpeg + size420));
        tjFree(jpeg);
        tjDestroy(tj);
    }
    LuminosityCache cache;
    NightMeasurer measurer(cache, 2);
    measurer.Start(names);
    measurer.Wait();
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const double expected = EighthDecodeMean(name);
        const std::optional<double> measured = MeasureFile(name);
        ASSERT_TRUE(measured.has_value());
        EXPECT_NEAR(*measured, expected, 1e-9);
        const std::optional<MeasuredValue> graphed = cache.Find(name);
        ASSERT_TRUE(graphed && graphed->mean);
        EXPECT_NEAR(*graphed->mean, expected, 1e-9);
    }
}

TEST(NightMeasure, CacheSurvivesSortAndSeesChangedFiles) {
    TempDir dir;
    const std::string c = WriteFrame(dir, "c.png", SolidImage(8, 8, 30, 30, 30));
    const std::string a = WriteFrame(dir, "a.png", SolidImage(8, 8, 10, 10, 10));
    const std::string b = WriteFrame(dir, "b.png", SolidImage(8, 8, 20, 20, 20));
    FileList list;
    for (const std::string& name : {c, a, b}) {
        list.Append(name, true, true);
    }
    auto names = [&] {
        std::vector<std::string> out;
        for (const ListEntry& e : list.Entries()) {
            out.push_back(e.text);
        }
        return out;
    };
    LuminosityCache cache;
    NightMeasurer measurer(cache, 2);
    measurer.Start(names());
    measurer.Wait();
    EXPECT_EQ(cache.Decodes(), 3);
    EXPECT_EQ(measurer.Done(), 3);

    list.SetSorted(true);  // a, b, c
    measurer.Start(names());
    measurer.Wait();
    EXPECT_EQ(cache.Decodes(), 3) << "a sort must not measure again";
    const std::vector<NightPoint> points = NightPoints(list, cache);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[0].mean, 10);
    EXPECT_DOUBLE_EQ(points[1].mean, 20);
    EXPECT_DOUBLE_EQ(points[2].mean, 30);

    // Rewritten with another size: measured again, and only that one.
    WriteFrame(dir, "b.png", SolidImage(16, 8, 50, 50, 50));
    measurer.Start(names());
    measurer.Wait();
    EXPECT_EQ(cache.Decodes(), 4);
    EXPECT_DOUBLE_EQ(NightPoints(list, cache)[1].mean, 50);
}

TEST(NightMeasure, FailedFileIsAGapAndTheListIsUntouched) {
    TempDir dir;
    const std::string good = WriteFrame(dir, "good.png", SolidImage(4, 4, 9, 9, 9));
    const std::string broken = dir.File("broken.jpg");
    WriteBytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
    const std::string missing = dir.File("missing.png");
    const std::string text = dir.File("notes.txt");
    WriteBytes(text, {'h', 'i'});
    FileList list;
    for (const std::string& name : {good, broken, missing, text}) {
        list.Append(name, true, true);
    }
    LuminosityCache cache;
    NightMeasurer measurer(cache, 3);
    measurer.Start({good, broken, missing, text});
    measurer.Wait();
    const std::vector<NightPoint> points = NightPoints(list, cache);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[0].state, NightPoint::State::Measured);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(points[i].state, NightPoint::State::Failed) << i;
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(list.IsEnabled(i) && list.IsChecked(i)) << "measuring is not a run: " << i;
    }
    EXPECT_EQ(NightCsv(list, cache), "file,mean_luminosity,checked\n" + good + ",9.00,1\n" +
                                         broken + ",,1\n" + missing + ",,1\n" + text + ",,1\n");
}

TEST(NightMeasure, CancelStopsAndKeepsWhatWasMeasured) {
    TempDir dir;
    std::vector<std::string> names;
    for (int k = 0; k < 40; ++k) {
        names.push_back(WriteFrame(dir, Numbered("f", k, ".png"), NightSky(64, 48, k, k)));
    }
    LuminosityCache cache;
    NightMeasurer measurer(cache, 2);
    measurer.Start(names);
    measurer.Cancel();
    EXPECT_FALSE(measurer.Running());
    const int done = measurer.Done();
    EXPECT_LE(done, 40);
    EXPECT_EQ(cache.Decodes(), done);
    // Measuring again completes the rest without measuring the rest twice.
    measurer.Start(names);
    measurer.Wait();
    EXPECT_EQ(cache.Decodes(), 40);
}

TEST(NightMeasure, LimitLineUnchecksExactlyTheFramesAbove) {
    struct Row {
        const char* name;
        std::optional<double> mean;  // nothing: failed
        bool measured;
        bool checked;
        bool uncheckedAfter;
    };
    const Row rows[] = {
        {"a", 10.0, true, true, false},
        {"b", 20.0, true, true, false},  // at the limit stays
        {"c", 20.01, true, true, true},
        {"d", 35.5, true, false, false},         // already unchecked
        {"e", std::nullopt, true, true, false},  // failed: a gap, left alone
        {"f", 90.0, false, true, false},         // not measured yet
        {"g", 200.0, true, true, true},
    };
    FileList list;
    LuminosityCache cache;
    for (const Row& row : rows) {
        list.Append(row.name, row.checked, true);
        if (row.measured) {
            cache.Store(row.name, FileStamp{}, MeasuredValue{row.mean});
        }
    }
    struct Counter : FileListObserver {
        int calls = 0;
        void ListChanged(const FileList&, const ListChange&) override { ++calls; }
    } counter;
    list.AddObserver(&counter);
    EXPECT_EQ(UncheckFramesAbove(list, cache, 20.0), 2);
    EXPECT_EQ(counter.calls, 1) << "one change for the whole command";
    list.RemoveObserver(&counter);
    for (int i = 0; i < list.Count(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(list.IsChecked(i), row.checked && !row.uncheckedAfter) << row.name;
    }
}

// --- the frame map ---------------------------------------------------------

RgbImage Pixels(const std::vector<std::array<uint8_t, 3>>& bgr, int width) {
    RgbImage image;
    image.Resize(width, static_cast<int>(bgr.size()) / width);
    for (size_t k = 0; k < bgr.size(); ++k) {
        SetPixel(image, static_cast<int>(k) % width, static_cast<int>(k) / width, bgr[k][0],
                 bgr[k][1], bgr[k][2]);
    }
    return image;
}

std::vector<int> MapIndices(const FrameMap& map) {
    std::vector<int> out;
    for (int y = 0; y < map.Height(); ++y) {
        for (int x = 0; x < map.Width(); ++x) {
            out.push_back(map.IndexAt(x, y));
        }
    }
    return out;
}

TEST(FrameMap, ThreeFrameRunsMatchHandComputedMaps) {
    // Six pixels; frames 0, 1, 2 (an unchecked entry sits between 0 and 1,
    // so list indices are 0, 2, 3).
    const RgbImage f0 =
        Pixels({{10, 10, 10}, {50, 50, 50}, {9, 9, 9}, {0, 0, 0}, {30, 0, 0}, {100, 100, 100}}, 3);
    const RgbImage f1 = Pixels({{10, 10, 10},  // tie everywhere: stays with frame 0
                                {50, 51, 50},  // one channel higher: frame 1
                                {8, 8, 8},     // lower: frame 0
                                {3, 3, 3},     // up from black: frame 1
                                {0, 0, 31},    // red up, blue down: AddMax takes it
                                {101, 0, 0}},
                               3);
    const RgbImage f2 = Pixels({{13, 10, 10},  // raised by the last frame
                                {50, 51, 50},  // tie with frame 1: keeps frame 1
                                {9, 9, 9},     // tie with frame 0
                                {0, 0, 0},
                                {0, 0, 30},  // ties frame 1's red; nothing raised
                                {0, 0, 0}},
                               3);
    struct Case {
        const char* name;
        ImageOperation op;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"AddMax", AddMax, {3, 2, 0, 2, 2, 2}},
        // AddMaxLum: whole pixels by (R + G + B) div 3, strictly brighter.
        // Pixel 0: 10 -> 11 in frame 2. Pixel 1: 151 div 3 = 50, a tie:
        // stays frame 0. Pixel 3: 0 -> 3. Pixel 4: 31 div 3 = 10, a tie.
        // Pixel 5: 33 < 100.
        {"AddMaxLum", AddMaxLum, {3, 0, 0, 2, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        RunFixture run;
        run.state.RecordFrameMap = true;
        run.Left().Append(WriteFrame(dir, "f0.png", f0), true, true);
        run.Left().Append(WriteFrame(dir, "skip.png", f2), false, true);
        run.Left().Append(WriteFrame(dir, "f1.png", f1), true, true);
        run.Left().Append(WriteFrame(dir, "f2.png", f2), true, true);
        run.host.saveNames.push_back(std::nullopt);
        StackingRun(run.context, c.op, nullptr, false, true);
        const FrameMap* map = run.state.CurrentFrameMap();
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(MapIndices(*map), c.expected);
        EXPECT_EQ(map->NameOf(0), dir.File("f0.png"));
        EXPECT_EQ(map->NameOf(3), dir.File("f2.png"));
        EXPECT_EQ(map->NameOf(1), "") << "an unchecked entry made nothing";
    }
}

TEST(FrameMap, RecordingMergesExactlyAsTheOperationDoes) {
    // Widths around the 16-pixel groups of the recording loop; the frames
    // raise many pixels at first and fewer later, as a night does.
    for (int width : {1, 7, 15, 16, 17, 37, 48}) {
        SCOPED_TRACE(width);
        RgbImage plain = RandomImage(width, 5, 1);
        RgbImage recorded = plain;
        FrameMap map;
        ASSERT_TRUE(map.Reset(width, 5, 0));
        std::vector<int> expected(static_cast<size_t>(width) * 5, 0);
        for (int k = 1; k < 12; ++k) {
            RgbImage frame = RandomImage(width, 5, 10 + k);
            for (int y = 0; y < 5; ++y) {
                for (size_t x = 0; x < frame.Stride(); ++x) {
                    frame.Row(y)[x] = static_cast<uint8_t>(frame.Row(y)[x] / (k % 4 + 1));
                }
            }
            RgbImage copy = frame;
            const RgbImage before = recorded;
            ASSERT_TRUE(AddMax(frame, plain));
            ASSERT_TRUE(AddMaxRecording(copy, recorded, map, k));
            ASSERT_TRUE(SamePixels(plain, recorded));
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (PixelAt(before, x, y) != PixelAt(recorded, x, y)) {
                        expected[static_cast<size_t>(y) * width + x] = k;
                    }
                }
            }
            ASSERT_EQ(MapIndices(map), expected) << "after frame " << k;
        }
        RgbImage lumPlain = RandomImage(width, 5, 2);
        RgbImage lumRecorded = lumPlain;
        RgbImage frame = RandomImage(width, 5, 3);
        RgbImage copy = frame;
        ASSERT_TRUE(AddMaxLum(frame, lumPlain));
        ASSERT_TRUE(AddMaxLumRecording(copy, lumRecorded, map, 9));
        EXPECT_TRUE(SamePixels(lumPlain, lumRecorded));
    }
    // Refusals: another size, or a map of another size.
    RgbImage a = RandomImage(4, 4, 1);
    RgbImage b = RandomImage(4, 3, 1);
    FrameMap map;
    ASSERT_TRUE(map.Reset(4, 4, 0));
    EXPECT_FALSE(AddMaxRecording(b, a, map, 1));
    ASSERT_TRUE(map.Reset(4, 3, 0));
    RgbImage c = RandomImage(4, 4, 2);
    EXPECT_FALSE(AddMaxRecording(c, a, map, 1));
    EXPECT_FALSE(AddMaxLumRecording(c, a, map, 1));
}

TEST(FrameMap, RecorderWidensForIndicesBeyondSixteenBits) {
    const RgbImage first = RandomImage(21, 3, 1);
    for (ImageOperation op : {AddMax, AddMaxLum}) {
        RgbImage result = first;
        RgbImage plain = first;
        FrameMapRecorder recorder(true, op, true);
        ASSERT_TRUE(recorder.Active());
        recorder.Start(result, 7, "first");
        RgbImage bright = SolidImage(21, 3, 255, 255, 255);
        SetPixel(bright, 0, 0, 0, 0, 0);  // keeps the first frame's pixel
        RgbImage copy = bright;
        ASSERT_TRUE(recorder.Merge(op, nullptr, bright, result, 70000, "late"));
        ASSERT_TRUE(op(copy, plain, nullptr));
        EXPECT_TRUE(SamePixels(result, plain));
        // Another size is refused as the operation refuses it.
        RgbImage other = RandomImage(5, 5, 2);
        EXPECT_FALSE(recorder.Merge(op, nullptr, other, result, 70001, "other"));
        const FrameMap map = recorder.Finish(result);
        ASSERT_FALSE(map.Empty());
        EXPECT_EQ(map.IndexAt(0, 0), 7);
        EXPECT_EQ(map.IndexAt(20, 2), 70000);
        EXPECT_EQ(map.NameOf(70000), "late");
        EXPECT_EQ(map.NameOf(70001), "");
    }
    // Not asked for, or an operation that records nothing: inactive.
    EXPECT_FALSE(FrameMapRecorder(false, AddMax, true).Active());
    EXPECT_FALSE(FrameMapRecorder(true, AddMin, true).Active());
    EXPECT_FALSE(FrameMapRecorder(true, AddMax, false).Active());
}

// Restores the widest loops however a test ends.
struct KernelLimit {
    explicit KernelLimit(MapKernels kernels) { LimitFrameMapKernels(kernels); }
    ~KernelLimit() { LimitFrameMapKernels(MapKernels::kAvx2); }
};

TEST(FrameMap, LongRunsMatchAPixelByPixelRecordWithEveryKindOfLoop) {
    // Runs shorter than, as long as and longer than the frames the recorder
    // keeps before it folds them into the map; pixel counts around the 16-
    // and 32-pixel groups of the loops; list indices with gaps; a refused
    // frame in the middle; indices that fit 16-bit cells, that outgrow them
    // after the first fold (from 65,489 on, the 16th frame is 65,537), and
    // that never fit. Every kind of loop the processor has must give the
    // same map and the same picture.
    struct Size {
        int width;
        int height;
    };
    const Size sizes[] = {{1, 1}, {5, 3}, {16, 1}, {33, 1}, {48, 1}, {37, 5}};
    const int lengths[] = {1, 2, 15, 16, 17, 31, 46};
    const int firstIndices[] = {2, 65489, 70000};
    for (MapKernels kernels : {MapKernels::kAvx2, MapKernels::kSsse3, MapKernels::kScalar}) {
        const KernelLimit limit(kernels);
        for (ImageOperation op : {AddMax, AddMaxLum}) {
            for (const Size& size : sizes) {
                for (int length : lengths) {
                    for (int first : firstIndices) {
                        SCOPED_TRACE(testing::Message()
                                     << "loops " << static_cast<int>(kernels) << ", "
                                     << (op == AddMax ? "AddMax " : "AddMaxLum ") << size.width
                                     << "x" << size.height << ", " << length << " frames from "
                                     << first);
                        const int w = size.width;
                        const int h = size.height;
                        RgbImage result = RandomImage(w, h, 1);
                        RgbImage plain = result;
                        std::vector<int> expected(static_cast<size_t>(w) * h, first);
                        FrameMapRecorder recorder(true, op, true);
                        recorder.Start(result, first, "first");
                        for (int k = 1; k < length; ++k) {
                            const int index = first + 3 * k;
                            if (k == 7) {
                                RgbImage other = RandomImage(w + 1, h, 3);
                                EXPECT_FALSE(recorder.Merge(op, nullptr, other, result, index - 1,
                                                            "refused"));
                            }
                            // Bright frames raise many pixels, dim ones few.
                            RgbImage frame = RandomImage(w, h, 100 + k);
                            for (int y = 0; y < h; ++y) {
                                for (size_t x = 0; x < frame.Stride(); ++x) {
                                    frame.Row(y)[x] =
                                        static_cast<uint8_t>(frame.Row(y)[x] / (k % 4 + 1));
                                }
                            }
                            RgbImage copy = frame;
                            const RgbImage before = plain;
                            ASSERT_TRUE(op(copy, plain, nullptr));
                            ASSERT_TRUE(recorder.Merge(op, nullptr, frame, result, index, "f"));
                            for (int y = 0; y < h; ++y) {
                                for (int x = 0; x < w; ++x) {
                                    if (PixelAt(before, x, y) != PixelAt(plain, x, y)) {
                                        expected[static_cast<size_t>(y) * w + x] = index;
                                    }
                                }
                            }
                        }
                        EXPECT_TRUE(SamePixels(result, plain));
                        const FrameMap map = recorder.Finish(result);
                        ASSERT_FALSE(map.Empty());
                        EXPECT_EQ(MapIndices(map), expected);
                        EXPECT_EQ(map.NameOf(first), "first");
                        EXPECT_EQ(map.NameOf(first + 3 * 7 - 1), "")
                            << "the refused frame made nothing";
                    }
                }
            }
        }
    }
}

TEST(FrameMap, OnlyAddMaxAndAddMaxLumRecordAndEveryRunStartsAfresh) {
    TempDir dir;
    RunFixture run;
    run.AddChecked({WriteFrame(dir, "a.png", RandomImage(6, 4, 1)),
                    WriteFrame(dir, "b.png", RandomImage(6, 4, 2))});
    run.state.RecordFrameMap = true;
    run.host.saveNames.assign(4, std::nullopt);
    StackingRun(run.context, AddMax, nullptr, false, true);
    ASSERT_NE(run.state.CurrentFrameMap(), nullptr);
    StackingRun(run.context, AddMin, nullptr, false, true);
    EXPECT_EQ(run.state.CurrentFrameMap(), nullptr) << "AddMin records nothing";
    StackingRun(run.context, AddMaxLum, nullptr, false, true);
    ASSERT_NE(run.state.CurrentFrameMap(), nullptr);
    run.state.RecordFrameMap = false;
    StackingRun(run.context, AddMax, nullptr, false, true);
    EXPECT_EQ(run.state.CurrentFrameMap(), nullptr) << "a new run drops the old map";
}

TEST(FrameMap, AreaAroundAPlaneTrailSelectsExactlyItsFrames) {
    // Ten frames of dark noisy sky; a plane crosses in frames 4, 5 and 6,
    // drawing a bright line on row 10 from x = 5 to x = 34, ten pixels a
    // frame. Frame 8 is unchecked and would have continued the trail.
    constexpr int kWidth = 48;
    constexpr int kHeight = 24;
    TempDir dir;
    RunFixture run;
    run.state.RecordFrameMap = true;
    for (int k = 0; k < 10; ++k) {
        RgbImage frame = RandomImage(kWidth, kHeight, 100 + k);
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = frame.Row(y);
            for (size_t x = 0; x < frame.Stride(); ++x) {
                p[x] = static_cast<uint8_t>(p[x] % 40);
            }
        }
        if (k >= 4 && k <= 6) {
            for (int x = 5 + (k - 4) * 10; x < 15 + (k - 4) * 10; ++x) {
                SetPixel(frame, x, 10, 250, 250, 250);
            }
        }
        if (k == 8) {
            for (int x = 35; x < 45; ++x) {
                SetPixel(frame, x, 10, 250, 250, 250);
            }
        }
        run.Left().Append(WriteFrame(dir, Numbered("night", k, ".png"), frame), k != 8, true);
    }
    run.Left().SetSelected(0, true);  // an old selection goes
    run.host.saveNames.push_back(std::nullopt);
    StackingRun(run.context, AddMax, nullptr, false, true);
    const FrameMap* map = run.state.CurrentFrameMap();
    ASSERT_NE(map, nullptr);

    EXPECT_EQ(FramesInArea(*map, 34, 10, 5, 10), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(SelectFramesBehind(run.Left(), *map, 5, 10, 34, 10), 4);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(run.Left().IsSelected(i), i >= 4 && i <= 6) << i;
    }
    // After the entries moved, the names still find them.
    run.Left().Move(9, 0);
    EXPECT_EQ(SelectFramesBehind(run.Left(), *map, 5, 10, 34, 10), 5);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(run.Left().IsSelected(i), i >= 5 && i <= 7) << i;
    }
}

TEST(FrameMap, AreasAreClippedToTheMap) {
    FrameMap map;
    ASSERT_TRUE(map.Reset(4, 3, 0));
    map.Row(1)[3] = 5;  // entry 4
    map.Row(2)[0] = 0;  // no frame
    EXPECT_EQ(FramesInArea(map, 3, -5, 50, 1), (std::vector<int>{0, 4}));
    EXPECT_EQ(FramesInArea(map, 0, 2, 0, 2), (std::vector<int>{}));
    EXPECT_TRUE(FramesInArea(map, 100, 100, 200, 200).empty());
    EXPECT_TRUE(FramesInArea(FrameMap(), 0, 0, 5, 5).empty());
    EXPECT_EQ(map.IndexAt(3, 1), 4);
    EXPECT_EQ(map.IndexAt(0, 2), -1);
    EXPECT_EQ(map.IndexAt(4, 0), -1);
}

TEST(FrameMap, SavedAsSixteenBitGreyBesideItsCsv) {
    TempDir dir;
    FrameMap map;
    ASSERT_TRUE(map.Reset(3, 2, 0));
    map.Row(0)[1] = 300;  // entry 299
    map.Row(1)[2] = 0;    // no frame
    std::string problem;
    const std::string png = dir.File("trail map.png");
    ASSERT_TRUE(SaveFrameMap(map, png, "index,file",
                             {{0, "/n/a.jpg"}, {299, "/n/with,comma \"q\".jpg"}}, problem))
        << problem;
    int width = 0;
    int height = 0;
    EXPECT_EQ(ReadGrey16Png(png, width, height), (std::vector<uint16_t>{1, 300, 1, 1, 1, 0}));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    const std::vector<uint8_t> csv = ReadBytes(dir.File("trail map.csv"));
    EXPECT_EQ(std::string(csv.begin(), csv.end()),
              "index,file\n0,/n/a.jpg\n299,\"/n/with,comma \"\"q\"\".jpg\"\n");

    // An index beyond 16 bits is refused, and nothing is written.
    map.Row(0)[0] = 70000;
    const std::string big = dir.File("big.png");
    EXPECT_FALSE(SaveFrameMap(map, big, "index,file", {}, problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_FALSE(std::filesystem::exists(big));
    EXPECT_FALSE(std::filesystem::exists(dir.File("big.csv")));
    // A folder that does not exist.
    EXPECT_FALSE(SaveFrameMap(FrameMap(), dir.File("none.png"), "index,file", {}, problem));
    map.Row(0)[0] = 1;
    EXPECT_FALSE(SaveFrameMap(map, dir.File("no/such/map.png"), "index,file", {}, problem));
    EXPECT_EQ(FrameMapCsvName("/a.b/map.png"), "/a.b/map.csv");
    EXPECT_EQ(FrameMapCsvName("/a.b/map"), "/a.b/map.csv");
}

}  // namespace
}  // namespace nocturo::test
