#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/rgb_image.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::PixelAt;
using test::RandomImage;

TEST(RgbImage, EmptyImageIsOneBlackPixelAt24Bits) {
    RgbImage image = RandomImage(7, 5, 1);
    image.SetFormat(kPixelFormat8);
    ClearImage(&image);
    EXPECT_EQ(image.Width(), 1);
    EXPECT_EQ(image.Height(), 1);
    EXPECT_EQ(image.Format(), kPixelFormat24);
    EXPECT_EQ(PixelAt(image, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_TRUE(image.IsEmptyImage());

    ClearImage(nullptr);  // no image: nothing happens

    std::unique_ptr<RgbImage> slot = std::make_unique<RgbImage>(RandomImage(3, 3, 2));
    ASSERT_TRUE(EnsureImage(slot));
    ASSERT_NE(slot, nullptr);
    EXPECT_TRUE(slot->IsEmptyImage());
}

TEST(RgbImage, ResizeRefusesAbsurdSizesAndKeepsTheImage) {
    RgbImage image = RandomImage(4, 3, 3);
    const RgbImage before = image;
    EXPECT_FALSE(image.Resize(-1, 10));
    EXPECT_FALSE(image.Resize(100000, 100000));
    EXPECT_FALSE(image.Resize(25000, 20001));  // just above the pixel limit
    EXPECT_TRUE(test::SamePixels(image, before));
    EXPECT_TRUE(image.Resize(0, 0));
    EXPECT_EQ(image.Width(), 0);
}

TEST(RgbImage, CopyTakesSizePixelsAndTheGivenFormat) {
    const RgbImage source = RandomImage(13, 9, 4);
    RgbImage destination = RandomImage(2, 2, 5);
    CopyImage(&source, &destination, kPixelFormat24);
    EXPECT_TRUE(test::SamePixels(source, destination));
    EXPECT_EQ(destination.Format(), kPixelFormat24);

    CopyImage(&source, &destination, kPixelFormat8);
    EXPECT_EQ(destination.Format(), kPixelFormat8);

    CopyImage(nullptr, &destination, kPixelFormat24);  // missing source: nothing happens
    EXPECT_EQ(destination.Width(), 13);
    CopyImage(&source, nullptr, kPixelFormat24);

    // Copies are deep: changing the copy leaves the source alone.
    RgbImage copy = source;
    test::SetPixel(copy, 0, 0, 1, 2, 3);
    EXPECT_NE(PixelAt(copy, 0, 0), PixelAt(source, 0, 0));
}

TEST(RgbImage, FillPaintsEveryPixel) {
    RgbImage image = RandomImage(5, 4, 6);
    FillImage(image, 10, 20, 30);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(PixelAt(image, x, y), (std::vector<uint8_t>{10, 20, 30}));
        }
    }
}

TEST(RgbImage, PixelFormatBitsBothWays) {
    const int bits[] = {1, 4, 8, 15, 16, 24, 32};
    for (int code = 1; code <= 7; ++code) {
        EXPECT_EQ(PixelFormatBits(code), bits[code - 1]);
        EXPECT_EQ(PixelFormatFromBits(bits[code - 1]), code);
    }
    EXPECT_EQ(PixelFormatBits(0), -1);
    EXPECT_EQ(PixelFormatBits(8), -1);
    EXPECT_EQ(PixelFormatBits(-3), -1);
    EXPECT_EQ(PixelFormatFromBits(0), kPixelFormatCustom);
    EXPECT_EQ(PixelFormatFromBits(12), kPixelFormatCustom);
    EXPECT_EQ(PixelFormatFromBits(48), kPixelFormatCustom);
    EXPECT_EQ(PixelFormatBits(kPixelFormat48), 48);
}

TEST(RgbImage, SixteenBitPicturesHoldTwiceTheBytes) {
    RgbImage image;
    ASSERT_TRUE(image.Resize(5, 3, 16));
    EXPECT_EQ(image.Depth(), 16);
    EXPECT_EQ(image.Format(), kPixelFormat48);
    EXPECT_EQ(image.Stride(), 30u);
    EXPECT_EQ(image.Bytes(), 90u);
    EXPECT_EQ(RgbImage::BytesFor(6000, 4000, 16), 144'000'000u);
    EXPECT_FALSE(image.Resize(5, 3, 12));
    EXPECT_FALSE(image.ConvertDepth(24));
    EXPECT_EQ(image.Depth(), 16);

    FillImage(image, 0, 1, 255);
    EXPECT_EQ(image.Row16(2)[12], 0);
    EXPECT_EQ(image.Row16(2)[13], 257);
    EXPECT_EQ(image.Row16(2)[14], 65535);
    RgbImage copy;
    CopyImage(&image, &copy, kPixelFormat8);  // the depth goes with the pixels
    EXPECT_TRUE(test::SamePixels(copy, image));

    ASSERT_TRUE(image.Resize(1, 1, 16));
    FillImage(image, 0, 0, 0);
    EXPECT_FALSE(image.IsEmptyImage());  // the empty image is 8-bit
    ClearImage(&image);
    EXPECT_TRUE(image.IsEmptyImage());
    EXPECT_EQ(image.Depth(), 8);
}

TEST(RgbImage, WideningIsExactAndNarrowingRoundsToNearest) {
    for (int v = 0; v < 65536; ++v) {
        const auto n = Narrow16(static_cast<uint16_t>(v));
        ASSERT_LE(std::abs(v - n * 257), 128) << v;  // the nearest of the 8-bit values
    }
    for (int v = 0; v < 256; ++v) {
        ASSERT_EQ(Widen8(static_cast<uint8_t>(v)), v * 257);
        ASSERT_EQ(Narrow16(Widen8(static_cast<uint8_t>(v))), v);
    }
    // In place (with and without room for the wider pixels) and into another
    // image agree with the per-sample rule, at widths the vector loops split.
    for (int w : {1, 7, 33, 101}) {
        SCOPED_TRACE(w);
        const RgbImage narrow = RandomImage(w, 4, 70 + w);
        RgbImage expected;
        ASSERT_TRUE(expected.Resize(w, 4, 16));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < w * 3; ++x) {
                expected.Row16(y)[x] = Widen8(narrow.Row(y)[x]);
            }
        }
        RgbImage other, roomy, tight = narrow;
        ASSERT_TRUE(WidenTo16(narrow, other));
        EXPECT_TRUE(test::SamePixels(other, expected));
        roomy.Resize(w, 8, 16);
        CopyImage(&narrow, &roomy, kPixelFormat24);
        ASSERT_TRUE(roomy.ConvertDepth(16));
        EXPECT_TRUE(test::SamePixels(roomy, expected));
        ASSERT_TRUE(tight.ConvertDepth(16));
        EXPECT_TRUE(test::SamePixels(tight, expected));
        EXPECT_EQ(tight.Format(), kPixelFormat48);

        const RgbImage wide = test::RandomImage16(w, 4, 90 + w);
        RgbImage rounded;
        ASSERT_TRUE(rounded.Resize(w, 4, 8));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < w * 3; ++x) {
                rounded.Row(y)[x] = Narrow16(wide.Row16(y)[x]);
            }
        }
        RgbImage inPlace = wide;
        ASSERT_TRUE(NarrowTo8(wide, other));
        EXPECT_TRUE(test::SamePixels(other, rounded));
        ASSERT_TRUE(NarrowTo8(inPlace, inPlace));
        EXPECT_TRUE(test::SamePixels(inPlace, rounded));
        EXPECT_EQ(inPlace.Format(), kPixelFormat24);
    }
}

TEST(RgbImage, LuminosityDropsTheRemainderWithoutWeighting) {
    EXPECT_EQ(Luminosity(255, 255, 255), 255);
    EXPECT_EQ(Luminosity(0, 1, 1), 0);
    EXPECT_EQ(Luminosity(2, 2, 2), 2);
    EXPECT_EQ(Luminosity(0, 0, 90), 30);  // red 90
    EXPECT_EQ(Luminosity(91, 0, 0), 30);  // blue 91
}

}  // namespace
}  // namespace nocturo
