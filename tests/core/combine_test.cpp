#include <gtest/gtest.h>

#include <functional>

#include "core/combine.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::PixelAt;
using test::RandomImage;
using test::SolidImage;

// One pixel of buffer value b and source value s in every channel, merged
// with op; returns the resulting buffer value.
int CombineOne(ImageOperation op, uint8_t b, uint8_t s) {
    RgbImage buffer = SolidImage(1, 1, b, b, b);
    RgbImage source = SolidImage(1, 1, s, s, s);
    EXPECT_TRUE(op(source, buffer, nullptr));
    return PixelAt(buffer, 0, 0)[0];
}

class ThresholdGuard {
  public:
    explicit ThresholdGuard(int32_t value) : saved_(MaxThreshold) { MaxThreshold = value; }
    ~ThresholdGuard() { MaxThreshold = saved_; }

  private:
    int32_t saved_;
};

TEST(Combine, ChannelRulesAtTheSaturationEdges) {
    EXPECT_EQ(CombineOne(Add, 200, 100), 255);
    EXPECT_EQ(CombineOne(Add, 100, 154), 254);
    EXPECT_EQ(CombineOne(Add, 100, 155), 255);
    EXPECT_EQ(CombineOne(Add, 0, 0), 0);

    EXPECT_EQ(CombineOne(Sub, 50, 80), 0);
    EXPECT_EQ(CombineOne(Sub, 80, 50), 30);
    EXPECT_EQ(CombineOne(Sub, 80, 80), 0);

    EXPECT_EQ(CombineOne(AddMax, 10, 200), 200);
    EXPECT_EQ(CombineOne(AddMax, 200, 10), 200);
    EXPECT_EQ(CombineOne(AddMin, 10, 200), 10);
    EXPECT_EQ(CombineOne(AddMin, 200, 10), 10);
}

TEST(Combine, AddMaxAndAddMinWorkOnEachPlaneAlone) {
    RgbImage buffer = SolidImage(1, 1, 10, 200, 50);  // blue, green, red
    RgbImage source = SolidImage(1, 1, 100, 100, 100);
    ASSERT_TRUE(AddMax(source, buffer));
    EXPECT_EQ(PixelAt(buffer, 0, 0), (std::vector<uint8_t>{100, 200, 100}));
    ASSERT_TRUE(AddMin(source, buffer));
    EXPECT_EQ(PixelAt(buffer, 0, 0), (std::vector<uint8_t>{100, 100, 100}));
}

TEST(Combine, AddMaxThresholdComparesTheSignedThreshold) {
    {
        ThresholdGuard t(40);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 30, 10), 10);  // at or below: follows the source
        EXPECT_EQ(CombineOne(AddMaxThreshold, 40, 10), 10);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 50, 10), 50);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 50, 60), 60);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 50, 50), 50);
    }
    {
        ThresholdGuard t(-5);  // every byte is above: plain AddMax
        EXPECT_EQ(CombineOne(AddMaxThreshold, 0, 0), 0);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 30, 10), 30);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 30, 90), 90);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 0, 7), 7);
    }
    {
        ThresholdGuard t(255);  // no byte is above: the source always wins
        EXPECT_EQ(CombineOne(AddMaxThreshold, 255, 0), 0);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 200, 100), 100);
    }
    {
        ThresholdGuard t(1000000);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 255, 3), 3);
    }
    {
        ThresholdGuard t(INT32_MIN);
        EXPECT_EQ(CombineOne(AddMaxThreshold, 9, 3), 9);
    }
}

TEST(Combine, LuminosityTestsKeepWholePixelsAndKeepTheBufferOnTies) {
    // (R, G, B) = (90, 0, 0) against (0, 0, 91): both luminosity 30.
    RgbImage buffer = SolidImage(1, 1, 0, 0, 90);
    RgbImage source = SolidImage(1, 1, 91, 0, 0);
    ASSERT_TRUE(AddMaxLum(source, buffer));
    EXPECT_EQ(PixelAt(buffer, 0, 0), (std::vector<uint8_t>{0, 0, 90}));
    ASSERT_TRUE(SubMinLum(source, buffer));
    EXPECT_EQ(PixelAt(buffer, 0, 0), (std::vector<uint8_t>{0, 0, 90}));

    // A brighter source pixel replaces all three channels, even the darker ones.
    RgbImage bright = SolidImage(1, 1, 0, 0, 200);
    RgbImage dim = SolidImage(1, 1, 50, 50, 50);
    ASSERT_TRUE(AddMaxLum(bright, dim));
    EXPECT_EQ(PixelAt(dim, 0, 0), (std::vector<uint8_t>{0, 0, 200}));

    RgbImage darker = SolidImage(1, 1, 1, 1, 1);
    ASSERT_TRUE(SubMinLum(darker, dim));
    EXPECT_EQ(PixelAt(dim, 0, 0), (std::vector<uint8_t>{1, 1, 1}));
}

TEST(Combine, RejectedPicturesLeaveTheBufferUntouched) {
    const ImageOperation ops[] = {AddMax, AddMin, AddMaxLum, SubMinLum, AddMaxThreshold, Add, Sub};
    for (ImageOperation op : ops) {
        RgbImage buffer = RandomImage(8, 6, 11);
        const RgbImage before = buffer;

        RgbImage taller = RandomImage(8, 7, 12);
        EXPECT_FALSE(op(taller, buffer, nullptr));
        RgbImage wider = RandomImage(9, 6, 13);
        EXPECT_FALSE(op(wider, buffer, nullptr));

        RgbImage empty;  // 0 x 0
        RgbImage emptyBuffer;
        EXPECT_FALSE(op(empty, emptyBuffer, nullptr));

        RgbImage notTwentyFour = buffer;
        notTwentyFour.SetFormat(kPixelFormat8);
        RgbImage same = RandomImage(8, 6, 14);
        EXPECT_FALSE(op(same, notTwentyFour, nullptr));

        EXPECT_TRUE(test::SamePixels(buffer, before));

        // Into the empty image only a 1 x 1 source fits.
        RgbImage result;
        ClearImage(&result);
        EXPECT_FALSE(op(same, result, nullptr));
        RgbImage dot = SolidImage(1, 1, 9, 9, 9);
        EXPECT_TRUE(op(dot, result, nullptr));
    }
}

TEST(Combine, SourceInAnotherDepthIsBroughtTo24Bits) {
    RgbImage buffer = SolidImage(3, 2, 10, 10, 10);
    RgbImage source = SolidImage(3, 2, 90, 90, 90);
    source.SetFormat(kPixelFormat8);
    ASSERT_TRUE(AddMax(source, buffer));
    EXPECT_EQ(source.Format(), kPixelFormat24);
    EXPECT_EQ(PixelAt(buffer, 2, 1)[0], 90);
}

// Plain per-pixel references of the seven rules, written for clarity.
struct Reference {
    const char* name;
    ImageOperation op;
    std::function<void(const uint8_t* s, uint8_t* b)> pixel;
};

void ChannelWise(const uint8_t* s, uint8_t* b, const std::function<int(int, int)>& rule) {
    for (int c = 0; c < 3; ++c) {
        b[c] = static_cast<uint8_t>(rule(b[c], s[c]));
    }
}

TEST(Combine, FastLoopsMatchPlainReferencesAtOddWidths) {
    ThresholdGuard t(97);
    const Reference refs[] = {
        {"AddMax", AddMax,
         [](const uint8_t* s, uint8_t* b) {
             ChannelWise(s, b, [](int x, int y) { return y > x ? y : x; });
         }},
        {"AddMin", AddMin,
         [](const uint8_t* s, uint8_t* b) {
             ChannelWise(s, b, [](int x, int y) { return y < x ? y : x; });
         }},
        {"Add", Add,
         [](const uint8_t* s, uint8_t* b) {
             ChannelWise(s, b, [](int x, int y) { return x + y >= 255 ? 255 : x + y; });
         }},
        {"Sub", Sub,
         [](const uint8_t* s, uint8_t* b) {
             ChannelWise(s, b, [](int x, int y) { return x > y ? x - y : 0; });
         }},
        {"AddMaxThreshold", AddMaxThreshold,
         [](const uint8_t* s, uint8_t* b) {
             ChannelWise(s, b, [](int x, int y) { return (x > 97 && x >= y) ? x : y; });
         }},
        {"AddMaxLum", AddMaxLum,
         [](const uint8_t* s, uint8_t* b) {
             if ((s[0] + s[1] + s[2]) / 3 > (b[0] + b[1] + b[2]) / 3) {
                 b[0] = s[0], b[1] = s[1], b[2] = s[2];
             }
         }},
        {"SubMinLum", SubMinLum,
         [](const uint8_t* s, uint8_t* b) {
             if ((s[0] + s[1] + s[2]) / 3 < (b[0] + b[1] + b[2]) / 3) {
                 b[0] = s[0], b[1] = s[1], b[2] = s[2];
             }
         }},
    };
    const int widths[] = {1, 3, 7, 15, 17, 31, 33, 63, 65, 101};
    uint32_t seed = 100;
    for (const Reference& ref : refs) {
        for (int w : widths) {
            SCOPED_TRACE(std::string(ref.name) + " width " + std::to_string(w));
            RgbImage source = RandomImage(w, 5, seed++);
            RgbImage buffer = RandomImage(w, 5, seed++);
            RgbImage expected = buffer;
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < w; ++x) {
                    ref.pixel(source.Row(y) + x * 3, expected.Row(y) + x * 3);
                }
            }
            ASSERT_TRUE(ref.op(source, buffer, nullptr));
            EXPECT_TRUE(test::SamePixels(buffer, expected));
        }
    }
}

// A run merges the result into the frame, not the frame into the result,
// only for operations said to commute: those must give the same pixels
// both ways, ties and colour pixels of equal brightness included.
TEST(Combine, OperationsSaidToCommuteGiveTheSamePixelsBothWays) {
    ThresholdGuard t(97);
    const struct {
        const char* name;
        ImageOperation op;
        bool commutes;
    } cases[] = {
        {"AddMax", AddMax, true},
        {"AddMin", AddMin, true},
        {"Add", Add, true},
        {"Sub", Sub, false},
        {"AddMaxLum", AddMaxLum, false},
        {"SubMinLum", SubMinLum, false},
        {"AddMaxThreshold", AddMaxThreshold, false},
    };
    // Half the channels tied, and pixels that swap their channels: same
    // brightness, other colour.
    RgbImage a = RandomImage(40, 6, 7);
    RgbImage b = RandomImage(40, 6, 8);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 40 * 3; x += 2) {
            b.Row(y)[x] = a.Row(y)[x];
        }
    }
    for (int x = 0; x < 3; ++x) {
        b.Row(0)[x * 3] = a.Row(0)[x * 3 + 1];
        b.Row(0)[x * 3 + 1] = a.Row(0)[x * 3];
        b.Row(0)[x * 3 + 2] = a.Row(0)[x * 3 + 2];
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Commutes(c.op), c.commutes);
        RgbImage source = a, buffer = b;
        RgbImage sourceSwapped = b, bufferSwapped = a;
        ASSERT_TRUE(c.op(source, buffer, nullptr));
        ASSERT_TRUE(c.op(sourceSwapped, bufferSwapped, nullptr));
        EXPECT_EQ(test::SamePixels(buffer, bufferSwapped), c.commutes);
    }
}

// ---- 16 bits: the same rules with 65535 for white ------------------------

int CombineOne16(ImageOperation op, uint16_t b, uint16_t s) {
    RgbImage buffer, source;
    buffer.Resize(1, 1, 16);
    source.Resize(1, 1, 16);
    for (int c = 0; c < 3; ++c) {
        buffer.Row16(0)[c] = b;
        source.Row16(0)[c] = s;
    }
    EXPECT_TRUE(op(source, buffer, nullptr));
    return buffer.Row16(0)[0];
}

TEST(Combine, SixteenBitRulesAtTheSaturationEdges) {
    const struct {
        ImageOperation op;
        int32_t threshold;
        uint16_t b, s;
        int expected;
    } cases[] = {
        {Add, 0, 65000, 535, 65535},
        {Add, 0, 65000, 534, 65534},
        {Add, 0, 65535, 65535, 65535},
        {Add, 0, 200, 100, 300},  // 255 is no limit at 16 bits
        {Sub, 0, 100, 200, 0},
        {Sub, 0, 300, 200, 100},
        {AddMax, 0, 256, 255, 256},
        {AddMin, 0, 256, 255, 255},
        {AddMaxThreshold, 300, 301, 10, 301},
        {AddMaxThreshold, 300, 300, 10, 10},
        {AddMaxThreshold, 300, 301, 400, 400},
        {AddMaxThreshold, 65534, 65535, 0, 65535},
        {AddMaxThreshold, 65535, 65535, 0, 0},  // white or more: the source wins
        {AddMaxThreshold, 70000, 65535, 3, 3},
        {AddMaxThreshold, -1, 5, 3, 5},
        {AddMaxThreshold, INT32_MIN, 0, 0, 0},
    };
    for (const auto& c : cases) {
        ThresholdGuard t(c.threshold);
        EXPECT_EQ(CombineOne16(c.op, c.b, c.s), c.expected)
            << c.b << " " << c.s << " threshold " << c.threshold;
    }
}

TEST(Combine, SixteenBitFastLoopsMatchPlainReferences) {
    ThresholdGuard t(40000);
    using Pixel = std::function<void(const uint16_t* s, uint16_t* b)>;
    auto channels = [](int (*rule)(int, int)) -> Pixel {
        return [rule](const uint16_t* s, uint16_t* b) {
            for (int c = 0; c < 3; ++c) {
                b[c] = static_cast<uint16_t>(rule(b[c], s[c]));
            }
        };
    };
    auto whole = [](bool brighter) -> Pixel {
        return [brighter](const uint16_t* s, uint16_t* b) {
            const int ls = (s[0] + s[1] + s[2]) / 3, lb = (b[0] + b[1] + b[2]) / 3;
            if (brighter ? ls > lb : ls < lb) {
                b[0] = s[0], b[1] = s[1], b[2] = s[2];
            }
        };
    };
    const std::pair<ImageOperation, Pixel> refs[] = {
        {AddMax, channels([](int x, int y) { return y > x ? y : x; })},
        {AddMin, channels([](int x, int y) { return y < x ? y : x; })},
        {Add, channels([](int x, int y) { return x + y >= 65535 ? 65535 : x + y; })},
        {Sub, channels([](int x, int y) { return x > y ? x - y : 0; })},
        {AddMaxThreshold, channels([](int x, int y) { return (x > 40000 && x >= y) ? x : y; })},
        {AddMaxLum, whole(true)},
        {SubMinLum, whole(false)},
    };
    uint32_t seed = 500;
    for (size_t i = 0; i < std::size(refs); ++i) {
        for (int w : {1, 7, 17, 65}) {
            SCOPED_TRACE("operation " + std::to_string(i) + " width " + std::to_string(w));
            RgbImage source = test::RandomImage16(w, 3, seed++);
            RgbImage buffer = test::RandomImage16(w, 3, seed++);
            // Saturating sums, ties and white where the random values rarely go.
            source.Row16(0)[0] = 65535;
            buffer.Row16(0)[1] = source.Row16(0)[1];
            RgbImage expected = buffer;
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < w; ++x) {
                    refs[i].second(source.Row16(y) + x * 3, expected.Row16(y) + x * 3);
                }
            }
            ASSERT_TRUE(refs[i].first(source, buffer, nullptr));
            EXPECT_TRUE(test::SamePixels(buffer, expected));
        }
    }
}

TEST(Combine, PicturesOfAnotherDepthAreRejected) {
    const ImageOperation ops[] = {AddMax, AddMin, AddMaxLum, SubMinLum, AddMaxThreshold, Add, Sub};
    for (ImageOperation op : ops) {
        RgbImage wide = test::RandomImage16(6, 4, 1);
        const RgbImage before = wide;
        RgbImage narrow = RandomImage(6, 4, 2);
        EXPECT_FALSE(op(narrow, wide, nullptr));
        EXPECT_FALSE(op(wide, narrow, nullptr));
        RgbImage mistagged = wide;
        mistagged.SetFormat(kPixelFormat24);
        RgbImage other = test::RandomImage16(6, 4, 3);
        EXPECT_FALSE(op(other, mistagged, nullptr));
        EXPECT_TRUE(test::SamePixels(wide, before));
    }
}

}  // namespace
}  // namespace nocturo
