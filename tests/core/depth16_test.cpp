#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using test::TempDir;

RgbImage Widened(const RgbImage& image) {
    RgbImage out;
    EXPECT_TRUE(WidenTo16(image, out));
    return out;
}

TEST(Depth16, PngAndTiffKeepSixteenBitsBothWays) {
    TempDir dir;
    for (int w : {1, 37}) {
        const RgbImage picture = test::RandomImage16(w, 11, static_cast<uint32_t>(w));
        for (const char* ext : {".png", ".tif"}) {
            SCOPED_TRACE(std::string(ext) + " width " + std::to_string(w));
            std::string name = dir.File("wide" + std::to_string(w) + ext);
            ASSERT_TRUE(SaveImageFile(picture, name));
            RgbImage back;
            int format = 0;
            ASSERT_TRUE(LoadImageFile(back, name, LoadOptions{16}, &format));
            EXPECT_EQ(format, kPixelFormat48);
            EXPECT_TRUE(test::SamePixels(back, picture));
            // At 8 bits the same file loads as an 8-bit picture.
            ASSERT_TRUE(LoadImageFile(back, name));
            EXPECT_EQ(back.Depth(), 8);
        }
    }
}

TEST(Depth16, EightBitPicturesAreWidenedExactly) {
    TempDir dir;
    const RgbImage picture = test::GradientImage(33, 17);
    for (const char* ext : {".png", ".tif", ".jpg", ".bmp", ".gif"}) {
        SCOPED_TRACE(ext);
        std::string name = dir.File(std::string("narrow") + ext);
        ASSERT_TRUE(SaveImageFile(picture, name));
        RgbImage eight, sixteen;
        ASSERT_TRUE(LoadImageFile(eight, name));
        // Into a buffer that held a 16-bit frame: widened in place.
        sixteen = test::RandomImage16(33, 17, 3);
        ASSERT_TRUE(LoadImageFileInto(sixteen, name, LoadOptions{16}));
        EXPECT_TRUE(test::SamePixels(sixteen, Widened(eight)));
    }
    // Every kind of PNG of the conformance suite: grey, palette, alpha and
    // interlaced pictures widen what an 8-bit load gives; 16-bit ones keep
    // what an 8-bit load rounds away.
    const std::string suite = test::TestDataDir();
    if (suite.empty()) {
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(suite + "/pngsuite")) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 4 || name[0] == 'x' || name.substr(name.size() - 4) != ".png") {
            continue;
        }
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = test::ReadBytes(entry.path().string());
        RgbImage eight, sixteen;
        ASSERT_TRUE(codecs::DecodePng(bytes.data(), bytes.size(), eight, 8));
        ASSERT_TRUE(codecs::DecodePng(bytes.data(), bytes.size(), sixteen, 16));
        if (name.find("16") == std::string::npos) {
            EXPECT_TRUE(test::SamePixels(sixteen, Widened(eight)));
        } else {
            RgbImage rounded;
            ASSERT_TRUE(NarrowTo8(sixteen, rounded));
            EXPECT_LE(test::MaxChannelDifference(eight, rounded), 1);
        }
    }
}

// A one-row TIFF of the given layout written with libtiff, its samples as
// given (in host order).
std::vector<uint8_t> TiffOf(const std::string& file, uint16_t bits, uint16_t spp, uint16_t format,
                            uint16_t photometric, const void* row, size_t rowBytes, int width,
                            const uint16_t* palette = nullptr) {
    TIFF* t = TIFFOpen(file.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (palette != nullptr) {
        TIFFSetField(t, TIFFTAG_COLORMAP, palette, palette + 256, palette + 512);
    }
    std::vector<uint8_t> line(static_cast<const uint8_t*>(row),
                              static_cast<const uint8_t*>(row) + rowBytes);
    TIFFWriteScanline(t, line.data(), 0, 0);
    TIFFClose(t);
    return test::ReadBytes(file);
}

TEST(Depth16, TiffSamplesScaleOntoSixteenBits) {
    TempDir dir;
    const std::string file = dir.File("t.tif");
    const uint16_t rgb16[6] = {1, 2, 65535, 0, 40000, 7};
    const uint16_t grey16[2] = {0, 1000};
    const uint32_t int32[2] = {0x80000000u, 0xFFFFFFFFu};
    const float floats[3] = {0.5f, 1.5f, -1.0f};
    const uint8_t index[2] = {3, 200};
    std::vector<uint16_t> palette(768);
    for (int i = 0; i < 768; ++i) {
        palette[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 85 + 1);  // not v * 257
    }
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<uint16_t> bgr;  // expected samples, pixel after pixel
    } cases[] = {
        {"rgb16",
         TiffOf(file, 16, 3, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB, rgb16, 12, 2),
         {65535, 2, 1, 7, 40000, 0}},
        {"miniswhite16",
         TiffOf(file, 16, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISWHITE, grey16, 4, 2),
         {65535, 65535, 65535, 64535, 64535, 64535}},
        {"uint32",
         TiffOf(file, 32, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK, int32, 8, 2),
         {32768, 32768, 32768, 65535, 65535, 65535}},
        {"float",
         TiffOf(file, 32, 1, SAMPLEFORMAT_IEEEFP, PHOTOMETRIC_MINISBLACK, floats, 12, 3),
         {32768, 32768, 32768, 65535, 65535, 65535, 0, 0, 0}},
        {"palette16",
         TiffOf(file, 8, 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_PALETTE, index, 2, 2, palette.data()),
         {palette[512 + 3], palette[256 + 3], palette[3], palette[512 + 200], palette[256 + 200],
          palette[200]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage out;
        ASSERT_TRUE(codecs::DecodeTiff(c.bytes.data(), c.bytes.size(), out, 16));
        ASSERT_EQ(out.Width() * 3, static_cast<int>(c.bgr.size()));
        EXPECT_EQ(std::vector<uint16_t>(out.Row16(0), out.Row16(0) + c.bgr.size()), c.bgr);
    }
}

TEST(Depth16, EightBitFormatsGetTheNearestEightBitValues) {
    for (const char* name : {"a.png", "b.TIF", "c.tiff"}) {
        EXPECT_TRUE(SaveFormatHolds16Bits(name)) << name;
    }
    for (const char* name : {"a.jpg", "b.bmp", "c.gif", "d.jpeg", "noext"}) {
        EXPECT_FALSE(SaveFormatHolds16Bits(name)) << name;
    }
    TempDir dir;
    const RgbImage wide = test::RandomImage16(24, 9, 8);
    RgbImage narrow;
    ASSERT_TRUE(NarrowTo8(wide, narrow));
    for (const char* ext : {".jpg", ".bmp", ".gif"}) {
        SCOPED_TRACE(ext);
        std::string fromWide = dir.File(std::string("w") + ext);
        std::string fromNarrow = dir.File(std::string("n") + ext);
        ASSERT_TRUE(SaveImageFile(wide, fromWide));
        ASSERT_TRUE(SaveImageFile(narrow, fromNarrow));
        EXPECT_EQ(test::ReadBytes(fromWide), test::ReadBytes(fromNarrow));
    }
    // The encoders themselves refuse what they cannot hold.
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(codecs::EncodeJpeg(wide, 90, bytes));
    EXPECT_FALSE(codecs::EncodeBmp(wide, bytes));
    EXPECT_FALSE(codecs::EncodeGif(wide, bytes));
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace nocturo
