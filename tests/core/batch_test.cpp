#include <gtest/gtest.h>

#include "core/batch.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::PixelAt;
using test::RandomImage;
using test::SolidImage;

// Runs batch function `index` on one pixel of source value a against a
// reference value b and returns the result byte.
int BatchOne(int index, uint8_t a, uint8_t b, int32_t factor, int32_t offset) {
    BatchParams params;
    params.reference = SolidImage(1, 1, b, b, b);
    params.factor = factor;
    params.offset = offset;
    RgbImage source = SolidImage(1, 1, a, a, a);
    RgbImage buffer = SolidImage(1, 1, 77, 77, 77);
    EXPECT_TRUE(BatchFunction(index)(source, buffer, &params));
    const auto p = PixelAt(buffer, 0, 0);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    return p[0];
}

enum { kSubtract, kAdd, kDivide, kMultiply, kSquare, kCube };

TEST(Batch, SubtractAndAdd) {
    EXPECT_EQ(BatchOne(kSubtract, 100, 40, 255, 0), 60);
    EXPECT_EQ(BatchOne(kSubtract, 100, 40, 128, 0), 80);
    EXPECT_EQ(BatchOne(kSubtract, 100, 40, 1, 0), 100);
    EXPECT_EQ(BatchOne(kSubtract, 30, 40, 255, 0), 0);
    EXPECT_EQ(BatchOne(kSubtract, 30, 40, 255, 20), 10);

    EXPECT_EQ(BatchOne(kAdd, 200, 100, 255, 0), 255);
    EXPECT_EQ(BatchOne(kAdd, 100, 100, 128, 0), 150);
    EXPECT_EQ(BatchOne(kAdd, 10, 20, 255, -40), 0);
}

TEST(Batch, DivideNeverDividesByZero) {
    EXPECT_EQ(BatchOne(kDivide, 100, 50, 255, 0), 2);
    EXPECT_EQ(BatchOne(kDivide, 200, 10, 255, 0), 20);
    EXPECT_EQ(BatchOne(kDivide, 254, 255, 255, 0), 0);
    EXPECT_EQ(BatchOne(kDivide, 100, 0, 255, 0), 255);
    EXPECT_EQ(BatchOne(kDivide, 100, 0, 255, -100), 155);
    EXPECT_EQ(BatchOne(kDivide, 100, 0, 255, -255), 0);
}

TEST(Batch, MultiplySquareAndCube) {
    EXPECT_EQ(BatchOne(kMultiply, 200, 128, 255, 0), 255);
    EXPECT_EQ(BatchOne(kMultiply, 200, 128, 1, 0), 100);
    EXPECT_EQ(BatchOne(kMultiply, 100, 100, 1, 5), 44);
    // Below saturation the whole product a*b*c is divided once: dividing
    // any part of it first would lose what these cases keep.
    struct Case {
        uint8_t a, b;
        int32_t c, d;
        int expected;
    };
    for (const Case& k :
         {Case{10, 10, 255, 0, 100}, Case{50, 5, 255, 0, 250}, Case{10, 10, 128, 0, 50},
          Case{15, 16, 200, 0, 188}, Case{7, 9, 100, 0, 24}, Case{10, 10, 255, 20, 120}}) {
        EXPECT_EQ(BatchOne(kMultiply, k.a, k.b, k.c, k.d), k.expected)
            << int{k.a} << " x " << int{k.b} << " x " << k.c << " + " << k.d;
    }

    EXPECT_EQ(BatchOne(kSquare, 128, 0, 255, 0), 64);
    EXPECT_EQ(BatchOne(kSquare, 255, 0, 255, 0), 255);
    EXPECT_EQ(BatchOne(kSquare, 16, 0, 0, 0), 255);  // factor 0 divides by 1
    EXPECT_EQ(BatchOne(kSquare, 100, 0, 255, -10), 29);

    EXPECT_EQ(BatchOne(kCube, 128, 0, 65025, 0), 32);
    EXPECT_EQ(BatchOne(kCube, 255, 0, 65025, 0), 255);
    EXPECT_EQ(BatchOne(kCube, 20, 0, 255, 0), 31);
    EXPECT_EQ(BatchOne(kCube, 5, 0, 0, 0), 125);
}

TEST(Batch, DefaultFactorAndClamp) {
    for (int i = -2; i <= 7; ++i) {
        EXPECT_EQ(DefaultFactor(i), i == 5 ? 65025 : 255) << i;
    }
    EXPECT_EQ(ClampByte(-1), 0);
    EXPECT_EQ(ClampByte(0), 0);
    EXPECT_EQ(ClampByte(128), 128);
    EXPECT_EQ(ClampByte(255), 255);
    EXPECT_EQ(ClampByte(256), 255);
    EXPECT_EQ(BatchFunction(-1), nullptr);
    EXPECT_EQ(BatchFunction(6), nullptr);
}

TEST(Batch, OneByOneReferenceActsAsBlackOfTheBuffersSize) {
    BatchParams params;
    ClearImage(&params.reference);
    params.offset = 7;
    RgbImage source = RandomImage(9, 4, 21);
    const RgbImage original = source;
    RgbImage buffer = RandomImage(9, 4, 22);

    ASSERT_TRUE(BatchSubtract(source, buffer, &params));
    EXPECT_EQ(params.reference.Width(), 9);  // turned into a black picture, kept so
    EXPECT_EQ(params.reference.Height(), 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 9 * 3; ++x) {
            EXPECT_EQ(buffer.Row(y)[x], ClampByte(original.Row(y)[x] + 7));
        }
    }
    ASSERT_TRUE(BatchAdd(source, buffer, &params));
    EXPECT_EQ(buffer.Row(2)[5], ClampByte(original.Row(2)[5] + 7));
    ASSERT_TRUE(BatchDivide(source, buffer, &params));
    EXPECT_EQ(PixelAt(buffer, 3, 3), (std::vector<uint8_t>{255, 255, 255}));
}

TEST(Batch, RejectedPicturesChangeNothing) {
    BatchParams params;
    params.reference = RandomImage(2, 2, 31);
    RgbImage source = RandomImage(640, 480, 32);
    RgbImage buffer = RandomImage(640, 480, 33);
    const RgbImage before = buffer;
    for (int i = 0; i < kBatchFunctionCount; ++i) {
        EXPECT_FALSE(BatchFunction(i)(source, buffer, &params)) << i;
        EXPECT_FALSE(BatchFunction(i)(source, buffer, nullptr)) << i;
    }
    EXPECT_EQ(params.reference.Width(), 2);

    // A record of another kind is no batch record.
    OperationRecord other;
    EXPECT_FALSE(BatchSubtract(source, buffer, &other));

    // Source of another size than the buffer, and an empty reference.
    params.reference = RandomImage(640, 480, 34);
    RgbImage small = RandomImage(639, 480, 35);
    EXPECT_FALSE(BatchAdd(small, buffer, &params));
    params.reference.Resize(0, 0);
    EXPECT_FALSE(BatchSquare(source, buffer, &params));
    EXPECT_TRUE(test::SamePixels(buffer, before));
}

TEST(Batch, EveryChannelUsesItsOwnReferenceChannel) {
    BatchParams params;
    params.reference = SolidImage(3, 1, 10, 20, 30);
    RgbImage source = SolidImage(3, 1, 100, 100, 100);
    RgbImage buffer;
    buffer.Resize(3, 1);
    ASSERT_TRUE(BatchSubtract(source, buffer, &params));
    EXPECT_EQ(PixelAt(buffer, 2, 0), (std::vector<uint8_t>{90, 80, 70}));
}

// The six formulas written out plainly, as the reference the fast loop must
// match for every source and reference byte.
int Plain(int index, int64_t a, int64_t b, int64_t c, int64_t d) {
    int64_t v = 0;
    switch (index) {
        case kSubtract:
            v = a + d - (b * c) / 255;
            break;
        case kAdd:
            v = a + (b * c) / 255 + d;
            break;
        case kDivide:
            v = b == 0 ? 255 + d : (a * c) / (255 * b) + d;
            break;
        case kMultiply:
            v = (a * b * c) / 255 + d;
            break;
        case kSquare:
            v = (a * a) / (c == 0 ? 1 : c) + d;
            break;
        default:
            v = (a * a * a) / (c == 0 ? 1 : c) + d;
            break;
    }
    return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
}

TEST(Batch, EverySourceAndReferenceByteFollowsTheFormula) {
    // Source byte x, reference byte y: all 65,536 pairs in one picture.
    RgbImage source;
    RgbImage reference;
    ASSERT_TRUE(source.Resize(256, 256));
    ASSERT_TRUE(reference.Resize(256, 256));
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            test::SetPixel(source, x, y, static_cast<uint8_t>(x), static_cast<uint8_t>(x),
                           static_cast<uint8_t>(x));
            test::SetPixel(reference, x, y, static_cast<uint8_t>(y), static_cast<uint8_t>(y),
                           static_cast<uint8_t>(y));
        }
    }
    struct Case {
        int index;
        int32_t factor;
        int32_t offset;
    };
    // Subtract and add take a 16-bit path for factors 0..255 and offsets
    // -255..255, and the table outside them: both edges of each range.
    const Case cases[] = {
        {kSubtract, 255, 0},    {kSubtract, 1, 7},   {kSubtract, 0, -3}, {kSubtract, 254, 255},
        {kSubtract, 128, -255}, {kSubtract, 256, 0}, {kSubtract, -1, 0}, {kSubtract, 255, 256},
        {kAdd, 0, -256},        {kAdd, 1, -1},       {kAdd, 300, 2},     {kAdd, 255, 0},
        {kAdd, 128, -40},       {kAdd, 255, 255},    {kDivide, 255, 0},  {kDivide, 77, -100},
        {kDivide, 0, 9},        {kMultiply, 255, 0}, {kMultiply, 1, 5},  {kSquare, 255, -10},
        {kSquare, 0, 0},        {kCube, 65025, 0},   {kCube, 255, -255}, {kCube, 0, 1}};
    for (const Case& c : cases) {
        BatchParams params;
        params.reference = reference;
        params.factor = c.factor;
        params.offset = c.offset;
        RgbImage in = source;
        RgbImage buffer = source;
        ASSERT_TRUE(BatchFunction(c.index)(in, buffer, &params));
        int wrong = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                wrong += PixelAt(buffer, x, y)[1] != Plain(c.index, x, y, c.factor, c.offset);
            }
        }
        EXPECT_EQ(wrong, 0) << "function " << c.index << " factor " << c.factor << " offset "
                            << c.offset;
    }
}

// ---- 16 bits: the same formulas with 65535 for white ----------------------

// The formula of batch function fn at 16 bits, written plainly in 128 bits.
int Reference16(int fn, __int128 a, __int128 b, __int128 c, __int128 d) {
    const __int128 w = 65535;
    const __int128 divisor = c == 0 ? 1 : c;
    const __int128 v = fn == kSubtract   ? a + d - (b * c) / w
                       : fn == kAdd      ? a + (b * c) / w + d
                       : fn == kDivide   ? (b == 0 ? w + d : (a * c) / (w * b) + d)
                       : fn == kMultiply ? (a * b * c) / w + d
                       : fn == kSquare   ? (a * a) / divisor + d
                                         : (a * a * a) / divisor + d;
    return static_cast<int>(v < 0 ? 0 : (v > w ? w : v));
}

TEST(Batch, SixteenBitFunctionsMatchPlainReferences) {
    const int64_t factors[] = {
        65535, 1, 0, 40000, -7, int64_t{65535} * 65535, INT32_MAX, INT32_MIN, INT64_MAX, INT64_MIN};
    const int32_t offsets[] = {0, -65535, 300, 65535};
    const uint16_t edges[] = {0, 1, 2, 255, 256, 65534, 65535};
    uint32_t seed = 900;
    for (int fn = 0; fn < kBatchFunctionCount; ++fn) {
        for (int64_t c : factors) {
            for (int32_t d : offsets) {
                SCOPED_TRACE("function " + std::to_string(fn) + " factor " + std::to_string(c) +
                             " offset " + std::to_string(d));
                BatchParams params;
                params.factor = c;
                params.offset = d;
                params.reference = test::RandomImage16(9, 3, seed++);
                RgbImage source = test::RandomImage16(9, 3, seed++);
                for (int i = 0; i < 7; ++i) {  // every pair of edge values
                    for (int j = 0; j < 3; ++j) {
                        source.Row16(1)[i * 3 + j] = edges[i];
                        params.reference.Row16(1)[i * 3 + j] = edges[(i + j * 3) % 7];
                    }
                }
                RgbImage buffer;
                buffer.Resize(9, 3, 16);
                ASSERT_TRUE(BatchFunction(fn)(source, buffer, &params));
                for (int y = 0; y < 3; ++y) {
                    for (int x = 0; x < 27; ++x) {
                        ASSERT_EQ(
                            buffer.Row16(y)[x],
                            Reference16(fn, source.Row16(y)[x], params.reference.Row16(y)[x], c, d))
                            << "a " << source.Row16(y)[x] << " b " << params.reference.Row16(y)[x];
                    }
                }
            }
        }
    }
}

TEST(Batch, SixteenBitDefaultsReferencesAndDepthMismatches) {
    for (int i = 0; i < kBatchFunctionCount; ++i) {
        EXPECT_EQ(DefaultFactor(i, 16), i == 5 ? int64_t{65535} * 65535 : 65535) << i;
        EXPECT_EQ(DefaultFactor(i, 8), DefaultFactor(i)) << i;
    }
    // A 1 x 1 reference adds black: the picture stays as it is.
    BatchParams params;
    ClearImage(&params.reference);
    params.factor = DefaultFactor(kAdd, 16);
    RgbImage source = test::RandomImage16(5, 2, 3);
    RgbImage buffer;
    buffer.Resize(5, 2, 16);
    ASSERT_TRUE(BatchAdd(source, buffer, &params));
    EXPECT_EQ(params.reference.Depth(), 16);  // black at the pictures' depth
    EXPECT_TRUE(test::SamePixels(buffer, source));

    RgbImage narrow = RandomImage(5, 2, 4);
    EXPECT_FALSE(BatchAdd(narrow, buffer, &params));  // source of another depth
    params.reference = RandomImage(5, 2, 5);
    EXPECT_FALSE(BatchSubtract(source, buffer, &params));  // reference of another depth
    EXPECT_TRUE(test::SamePixels(buffer, source));
}

}  // namespace
}  // namespace nocturo
