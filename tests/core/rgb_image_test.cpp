#include <gtest/gtest.h>

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
