// The banded JPEG encoder: whatever the number of bands, the file decodes
// to exactly the pixels of the one-thread encode.

#include "core/codecs/jpeg_bands.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

RgbImage Decoded(const std::vector<uint8_t>& bytes) {
    RgbImage image;
    EXPECT_TRUE(codecs::DecodeJpeg(bytes.data(), bytes.size(), image));
    return image;
}

// A decoder that stops at the first warning: a restart marker out of
// sequence or a row of blocks too few would show here.
bool DecodesWithoutWarning(const std::vector<uint8_t>& bytes, int width, int height) {
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    const int status = tjDecompress2(tj, bytes.data(), bytes.size(), pixels.data(), width,
                                     width * 3, height, TJPF_BGR, TJFLAG_STOPONWARNING);
    tjDestroy(tj);
    return status == 0;
}

TEST(JpegBands, DecodeToThePixelsOfTheOneThreadEncode) {
    struct Size {
        int width, height;
    };
    // Heights that are and are not multiples of the 8-row block, fewer rows
    // of blocks than bands, and more than eight rows of blocks per band (the
    // restart numbers wrap).
    for (const Size size : {Size{1, 1}, Size{7, 9}, Size{17, 8}, Size{64, 63}, Size{33, 24},
                            Size{257, 130}, Size{300, 517}}) {
        const RgbImage image = test::RandomImage(size.width, size.height, size.width + size.height);
        for (int quality : {100, 85}) {
            std::vector<uint8_t> single;
            ASSERT_TRUE(codecs::EncodeJpeg(image, quality, single));
            const RgbImage expected = Decoded(single);
            for (int threads : {1, 2, 3, 4, 8, 100}) {
                SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << ", q"
                                                << quality << ", " << threads << " threads");
                std::vector<uint8_t> banded;
                ASSERT_TRUE(codecs::EncodeJpegBands(image, quality, threads, banded));
                EXPECT_TRUE(DecodesWithoutWarning(banded, size.width, size.height));
                const RgbImage got = Decoded(banded);
                ASSERT_EQ(got.Width(), size.width);
                ASSERT_EQ(got.Height(), size.height);
                EXPECT_TRUE(test::SamePixels(got, expected));
            }
        }
    }
}

// A large JPEG saved on several threads reads back as the one saved on one.
TEST(JpegBands, SavingOnSeveralThreadsReadsBackTheSame) {
    test::TempDir dir;
    const RgbImage image = test::RandomImage(1100, 1000, 77);
    std::string one = dir.File("one.jpg");
    std::string four = dir.File("four.jpg");
    ASSERT_TRUE(SaveImageFile(image, one, kDefaultOutputName, nullptr, 1));
    ASSERT_TRUE(SaveImageFile(image, four, kDefaultOutputName, nullptr, 4));
    EXPECT_NE(test::ReadBytes(one), test::ReadBytes(four));  // the bands were used
    RgbImage a, b;
    ASSERT_TRUE(LoadImageFile(a, one));
    ASSERT_TRUE(LoadImageFile(b, four));
    EXPECT_TRUE(test::SamePixels(a, b));
}

TEST(JpegBands, RefusesPicturesWithoutPixelsAndKeepsOut) {
    RgbImage none;
    std::vector<uint8_t> out{1, 2, 3};
    EXPECT_FALSE(codecs::EncodeJpegBands(none, 100, 2, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace nocturo
