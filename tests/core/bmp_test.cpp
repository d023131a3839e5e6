#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using test::RandomImage;
using test::ReadBytes;
using test::SamePixels;
using test::TempDir;
using test::WriteBytes;

// ---------------------------------------------------------------------------
// A small BMP writer, independent of the codec under test.

struct Bgr {
    uint8_t b, g, r;
};

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

void Append16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    Append16(out, v & 0xFFFF);
    Append16(out, v >> 16);
}

struct BmpLayout {
    uint32_t headerSize = 40;  // 12 (OS/2 core), 16, 40, 52, 56, 108, 124
    int32_t width = 1;
    int32_t height = 1;  // negative: rows stored top-down
    uint16_t bits = 24;
    uint16_t planes = 1;
    uint32_t compression = kRgb;
    std::vector<Bgr> palette;
    int64_t colorsUsed = -1;      // -1: the palette's size
    std::vector<uint32_t> masks;  // after a 40-byte header, inside larger ones
    uint32_t gap = 0;             // unused bytes before the pixels
    int64_t pixelOffset = -1;     // -1: where the pixels really start
    std::vector<uint8_t> pixels;  // exactly as stored
};

// Info header, masks, palette, gap and pixels: what an icon embeds.
std::vector<uint8_t> MakeDib(const BmpLayout& f) {
    std::vector<uint8_t> out;
    Append32(out, f.headerSize);
    if (f.headerSize == 12) {
        Append16(out, static_cast<uint32_t>(f.width));
        Append16(out, static_cast<uint32_t>(f.height));
        Append16(out, f.planes);
        Append16(out, f.bits);
    } else {
        Append32(out, static_cast<uint32_t>(f.width));
        Append32(out, static_cast<uint32_t>(f.height));
        Append16(out, f.planes);
        Append16(out, f.bits);
        Append32(out, f.compression);
        Append32(out, static_cast<uint32_t>(f.pixels.size()));
        Append32(out, 2835);
        Append32(out, 2835);
        Append32(out, static_cast<uint32_t>(f.colorsUsed >= 0 ? f.colorsUsed : f.palette.size()));
        Append32(out, 0);
        for (size_t i = 0; i < f.masks.size() && f.headerSize >= 40 + 4 * (i + 1); ++i) {
            Append32(out, f.masks[i]);
        }
        out.resize(f.headerSize, 0);
        if (f.headerSize == 40) {
            for (uint32_t m : f.masks) {
                Append32(out, m);
            }
        }
    }
    for (const Bgr& c : f.palette) {
        out.insert(out.end(), {c.b, c.g, c.r});
        if (f.headerSize != 12) {
            out.push_back(0);
        }
    }
    out.resize(out.size() + f.gap, 0xEE);
    out.insert(out.end(), f.pixels.begin(), f.pixels.end());
    return out;
}

std::vector<uint8_t> MakeBmp(const BmpLayout& f) {
    const std::vector<uint8_t> dib = MakeDib(f);
    std::vector<uint8_t> out = {'B', 'M'};
    Append32(out, static_cast<uint32_t>(14 + dib.size()));
    Append32(out, 0);
    const size_t pixelStart = 14 + dib.size() - f.pixels.size();
    Append32(out, static_cast<uint32_t>(f.pixelOffset >= 0 ? f.pixelOffset : pixelStart));
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

// Packs one value per pixel (y = 0 is the top row) into rows of `bits`
// bits, most significant bits first, padded to four bytes, in the order a
// BMP stores them.
std::vector<uint8_t> PackPixels(int width, int height, int bits, bool topDown,
                                const std::function<uint32_t(int, int)>& value) {
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    std::vector<uint8_t> out(stride * height, 0);
    for (int r = 0; r < height; ++r) {
        const int y = topDown ? r : height - 1 - r;
        uint8_t* row = out.data() + r * stride;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            switch (bits) {
                case 1:
                case 2:
                case 4:
                case 8: {
                    const int bit = x * bits;
                    row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
                    break;
                }
                case 16:
                    row[x * 2] = static_cast<uint8_t>(v);
                    row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
                    break;
                case 24:  // v = 0xRRGGBB
                    row[x * 3] = static_cast<uint8_t>(v);
                    row[x * 3 + 1] = static_cast<uint8_t>(v >> 8);
                    row[x * 3 + 2] = static_cast<uint8_t>(v >> 16);
                    break;
                case 32:
                    for (int i = 0; i < 4; ++i) {
                        row[x * 4 + i] = static_cast<uint8_t>(v >> (8 * i));
                    }
                    break;
            }
        }
    }
    return out;
}

RgbImage MakeImage(int width, int height, const std::function<Bgr(int, int)>& colour) {
    RgbImage image;
    EXPECT_TRUE(image.Resize(width, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgr c = colour(x, y);
            test::SetPixel(image, x, y, c.b, c.g, c.r);
        }
    }
    return image;
}

// Pixel-by-pixel comparison that names the first pixel that differs.
::testing::AssertionResult SameImage(const RgbImage& actual, const RgbImage& expected) {
    if (!actual.SameSize(expected)) {
        return ::testing::AssertionFailure()
               << "size " << actual.Width() << "x" << actual.Height() << ", expected "
               << expected.Width() << "x" << expected.Height();
    }
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            const auto a = test::PixelAt(actual, x, y);
            const auto e = test::PixelAt(expected, x, y);
            if (a != e) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") is BGR " << int{a[0]} << "," << int{a[1]}
                       << "," << int{a[2]} << ", expected " << int{e[0]} << "," << int{e[1]} << ","
                       << int{e[2]};
            }
        }
    }
    return ::testing::AssertionSuccess();
}

bool Decode(const std::vector<uint8_t>& bytes, RgbImage& out) {
    return codecs::DecodeBmp(bytes.data(), bytes.size(), out);
}

std::vector<Bgr> TestPalette(int n) {
    std::vector<Bgr> palette;
    for (int i = 0; i < n; ++i) {
        palette.push_back({static_cast<uint8_t>(i * 37 + 5), static_cast<uint8_t>(255 - i),
                           static_cast<uint8_t>(i * 11 + 100)});
    }
    return palette;
}

// Libpng's simplified interface, for references and PNG test files.
bool ReadPng(const std::vector<uint8_t>& bytes, RgbImage& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return false;
    }
    image.format = PNG_FORMAT_BGR;
    std::vector<uint8_t> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr) ||
        !out.Resize(static_cast<int>(image.width), static_cast<int>(image.height))) {
        png_image_free(&image);
        return false;
    }
    for (int y = 0; y < out.Height(); ++y) {
        std::copy_n(buffer.data() + y * out.Stride(), out.Stride(), out.Row(y));
    }
    return true;
}

// ---------------------------------------------------------------------------
// Palette pictures

TEST(BmpDecode, PalettePicturesOfEveryDepthAndWidth) {
    for (int bits : {1, 2, 4, 8}) {
        const int colours = 1 << bits;
        const std::vector<Bgr> palette = TestPalette(colours);
        // Widths that end inside a byte, on a byte, and on the row padding.
        for (int width : {1, 3, 7, 9, 17, 33}) {
            const int height = 3;
            auto index = [&](int x, int y) {
                return static_cast<uint32_t>((x * 5 + y * 3) % colours);
            };
            BmpLayout f;
            f.width = width;
            f.height = height;
            f.bits = static_cast<uint16_t>(bits);
            f.palette = palette;
            f.pixels = PackPixels(width, height, bits, false, index);
            const RgbImage expected =
                MakeImage(width, height, [&](int x, int y) { return palette[index(x, y)]; });
            RgbImage out;
            ASSERT_TRUE(Decode(MakeBmp(f), out)) << bits << " bits, width " << width;
            EXPECT_TRUE(SameImage(out, expected)) << bits << " bits, width " << width;

            // The same rows stored top-down.
            f.height = -height;
            f.pixels = PackPixels(width, height, bits, true, index);
            ASSERT_TRUE(Decode(MakeBmp(f), out)) << bits << " bits, top-down";
            EXPECT_TRUE(SameImage(out, expected)) << bits << " bits, top-down";
        }
    }
}

TEST(BmpDecode, PaletteSizesAndIndicesOutsideThePalette) {
    const std::vector<Bgr> palette = TestPalette(256);
    auto index = [](int x, int) { return static_cast<uint32_t>(x * 51); };  // 0, 51, ..., 255
    BmpLayout f;
    f.width = 6;
    f.bits = 8;
    f.pixels = PackPixels(6, 1, 8, false, index);
    RgbImage out;

    // clrUsed 0 means the full 256 entries.
    f.palette = palette;
    f.colorsUsed = 0;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(
        SameImage(out, MakeImage(6, 1, [&](int x, int y) { return palette[index(x, y)]; })));

    // A 52-entry palette: indices past it read black, never outside memory.
    f.palette.assign(palette.begin(), palette.begin() + 52);
    f.colorsUsed = -1;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, MakeImage(6, 1, [&](int x, int) {
                              return x <= 1 ? palette[x * 51] : Bgr{0, 0, 0};
                          })));

    // A 1-bit picture with a one-colour palette.
    BmpLayout one;
    one.width = 4;
    one.bits = 1;
    one.palette = {{10, 20, 30}};
    one.pixels = PackPixels(4, 1, 1, false, [](int x, int) { return x % 2u; });
    ASSERT_TRUE(Decode(MakeBmp(one), out));
    EXPECT_TRUE(SameImage(out, MakeImage(4, 1, [](int x, int) {
                              return x % 2 ? Bgr{0, 0, 0} : Bgr{10, 20, 30};
                          })));

    // More than 256 entries: the extra ones are never used.
    f.palette = TestPalette(300);
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(
        SameImage(out, MakeImage(6, 1, [&](int x, int y) { return palette[index(x, y)]; })));
}

TEST(BmpDecode, EveryHeaderVersion) {
    const std::vector<Bgr> palette = TestPalette(16);
    auto index = [](int x, int y) { return static_cast<uint32_t>((x + 2 * y) % 16); };
    const RgbImage expected = MakeImage(5, 4, [&](int x, int y) { return palette[index(x, y)]; });
    // OS/2 1.x (3-byte palette entries), OS/2 2.x cut short, and the Windows
    // info header with its V2 to V5 extensions.
    for (uint32_t headerSize : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        BmpLayout f;
        f.headerSize = headerSize;
        f.width = 5;
        f.height = 4;
        f.bits = 4;
        f.palette = palette;
        f.colorsUsed = headerSize >= 36 ? 16 : -1;
        f.pixels = PackPixels(5, 4, 4, false, index);
        RgbImage out;
        ASSERT_TRUE(Decode(MakeBmp(f), out)) << "header " << headerSize;
        EXPECT_TRUE(SameImage(out, expected)) << "header " << headerSize;
        // Icons embed the same without the file header.
        const std::vector<uint8_t> dib = MakeDib(f);
        ASSERT_TRUE(codecs::DecodeDib(dib.data(), dib.size(), false, out)) << headerSize;
        EXPECT_TRUE(SameImage(out, expected)) << "bare header " << headerSize;
    }
}

// ---------------------------------------------------------------------------
// 16 and 32 bits

struct MaskedCase {
    uint32_t pixel;
    Bgr expected;
};

void CheckMasked(const BmpLayout& pattern, const std::vector<MaskedCase>& cases, const char* what) {
    BmpLayout f = pattern;
    const int n = static_cast<int>(cases.size());
    f.width = n;  // odd or even: both come up below
    f.height = 2;
    auto at = [&](int x, int y) { return static_cast<size_t>((x + y) % n); };
    f.pixels = PackPixels(n, 2, f.bits, false, [&](int x, int y) { return cases[at(x, y)].pixel; });
    RgbImage out;
    ASSERT_TRUE(Decode(MakeBmp(f), out)) << what;
    EXPECT_TRUE(
        SameImage(out, MakeImage(n, 2, [&](int x, int y) { return cases[at(x, y)].expected; })))
        << what;
}

TEST(BmpDecode, SixteenBitPicturesScaleEachChannelToFullRange) {
    BmpLayout f;
    f.bits = 16;
    // The default layout: x555, the top bit unused.
    CheckMasked(f,
                {{0x0000, {0, 0, 0}},
                 {0x7FFF, {255, 255, 255}},
                 {0xFFFF, {255, 255, 255}},
                 {0x7C00, {0, 0, 255}},
                 {0x03E0, {0, 255, 0}},
                 {0x001F, {255, 0, 0}},
                 {0x8000, {0, 0, 0}}},
                "555");
    // The same layout spelled out as bit fields.
    f.compression = kBitFields;
    f.masks = {0x7C00, 0x03E0, 0x001F};
    CheckMasked(f, {{0x7FFF, {255, 255, 255}}, {0x4210, {132, 132, 132}}, {0x0001, {8, 0, 0}}},
                "555 bit fields");
    // 565: green has six bits, so 21 of 63 is exactly a third.
    f.masks = {0xF800, 0x07E0, 0x001F};
    CheckMasked(f,
                {{0xFFFF, {255, 255, 255}},
                 {0xF800, {0, 0, 255}},
                 {0x07E0, {0, 255, 0}},
                 {0x001F, {255, 0, 0}},
                 {21 << 5, {0, 85, 0}}},
                "565");
    // Unusual masks: four bits each, in reverse order, top nibble unused.
    f.masks = {0x000F, 0x00F0, 0x0F00};
    CheckMasked(f, {{0x0F00, {255, 0, 0}}, {0x005A, {0, 85, 170}}, {0xF000, {0, 0, 0}}},
                "444 reversed");
    // A channel without bits reads as 0.
    f.masks = {0xFF00, 0x00FF, 0};
    CheckMasked(f, {{0x1234, {0, 0x34, 0x12}}}, "880");
    // A V5 header carries the masks inside.
    f.headerSize = 124;
    f.masks = {0xF800, 0x07E0, 0x001F, 0};
    CheckMasked(f, {{0xF81F, {255, 0, 255}}, {0x07E0, {0, 255, 0}}}, "565 in a V5 header");
}

TEST(BmpDecode, TwentyFourBitPicturesBothWaysUp) {
    for (int width : {1, 2, 3, 4, 5, 13}) {
        const RgbImage expected = RandomImage(width, 4, static_cast<uint32_t>(width));
        auto value = [&](int x, int y) {
            const auto p = test::PixelAt(expected, x, y);
            return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        };
        BmpLayout f;
        f.width = width;
        f.height = 4;
        f.pixels = PackPixels(width, 4, 24, false, value);
        RgbImage out;
        ASSERT_TRUE(Decode(MakeBmp(f), out)) << width;
        EXPECT_TRUE(SameImage(out, expected)) << "bottom-up, width " << width;

        f.height = -4;
        f.pixels = PackPixels(width, 4, 24, true, value);
        ASSERT_TRUE(Decode(MakeBmp(f), out)) << width;
        EXPECT_TRUE(SameImage(out, expected)) << "top-down, width " << width;
    }
}

TEST(BmpDecode, ThirtyTwoBitPicturesDropTheFourthByte) {
    BmpLayout f;
    f.bits = 32;
    // Default layout: blue, green, red, then a byte that is ignored.
    CheckMasked(
        f,
        {{0xFF102030, {0x30, 0x20, 0x10}}, {0x00FFFFFF, {255, 255, 255}}, {0x7F000000, {0, 0, 0}}},
        "BGRX");
    f.compression = kBitFields;
    f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red first
    CheckMasked(f, {{0xAA102030, {0x10, 0x20, 0x30}}, {0x000000FF, {0, 0, 255}}}, "RGBX");
    f.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};  // high bytes, low byte unused
    CheckMasked(f, {{0x102030AA, {0x30, 0x20, 0x10}}}, "XBGR");
    // Ten bits per channel: 1023 is full, 341 is a third.
    f.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    CheckMasked(f, {{0x3FFFFFFF, {255, 255, 255}}, {341u << 20, {0, 0, 85}}}, "10-10-10");
    // With an alpha mask after a plain info header.
    f.compression = kAlphaBitFields;
    f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    CheckMasked(f, {{0x80112233, {0x33, 0x22, 0x11}}}, "alpha bit fields");
    // V3 and V4 headers hold the masks themselves.
    f.compression = kBitFields;
    f.headerSize = 56;
    f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    CheckMasked(f, {{0x80112233, {0x11, 0x22, 0x33}}}, "masks in a V3 header");
    f.headerSize = 108;
    CheckMasked(f, {{0x80112233, {0x11, 0x22, 0x33}}}, "masks in a V4 header");
}

// ---------------------------------------------------------------------------
// Run-length streams

TEST(BmpDecode, Rle8WithRunsAbsoluteRunsDeltaAndEndOfLine) {
    const std::vector<Bgr> palette = {{1, 1, 1}, {10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    BmpLayout f;
    f.width = 8;
    f.height = 4;
    f.bits = 8;
    f.compression = kRle8;
    f.palette = palette;
    // Rows from the bottom; unreached pixels must be black, not colour 0.
    f.pixels = {
        3, 1,              // bottom row: three of colour 1
        0, 3, 2, 3, 1, 0,  // absolute 2, 3, 1, padded to an even length
        0, 0,              // end of line: x 6 and 7 stay black
        0, 2, 2, 1,        // delta: right 2, up 1, skipping the second row
        2, 3,              // third row from the bottom, x 2 and 3
        0, 0,              // end of line
        8, 2,              // top row: all colour 2
        0, 1,              // end of bitmap
    };
    const Bgr k{0, 0, 0};
    const Bgr c1 = palette[1], c2 = palette[2], c3 = palette[3];
    const std::vector<std::vector<Bgr>> rows = {
        {c2, c2, c2, c2, c2, c2, c2, c2},
        {k, k, c3, c3, k, k, k, k},
        {k, k, k, k, k, k, k, k},
        {c1, c1, c1, c2, c3, c1, k, k},
    };
    RgbImage out;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, MakeImage(8, 4, [&](int x, int y) { return rows[y][x]; })));
}

TEST(BmpDecode, Rle4WithAlternatingNibblesAndPaddedAbsoluteRuns) {
    const std::vector<Bgr> palette = TestPalette(16);
    BmpLayout f;
    f.width = 8;
    f.height = 2;
    f.bits = 4;
    f.compression = kRle4;
    f.palette = palette;
    f.pixels = {
        5, 0x12,                       // bottom row: 1 2 1 2 1
        0, 3,    0x34, 0x50,           // absolute 3 4 5: two bytes, already even
        0, 0,                          // end of line
        0, 2,    3,    0,              // delta: right 3
        0, 5,    0x67, 0x89, 0xA0, 0,  // absolute 6 7 8 9 A: three bytes padded to four
        0, 1,                          // end of bitmap
    };
    const std::vector<std::vector<int>> rows = {
        {-1, -1, -1, 6, 7, 8, 9, 10},
        {1, 2, 1, 2, 1, 3, 4, 5},
    };
    RgbImage out;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, MakeImage(8, 2, [&](int x, int y) {
                              return rows[y][x] < 0 ? Bgr{0, 0, 0} : palette[rows[y][x]];
                          })));
}

// Some writers let runs go on into a row's padding. The pixels past the
// row's end are dropped, up to the end-of-line code; nothing wraps into the
// next row and nothing is written outside the rows.
TEST(BmpDecode, RleRunsPastTheRowEndAreCutThere) {
    const std::vector<Bgr> palette = TestPalette(16);
    struct Case {
        const char* name;
        uint32_t compression;
        std::vector<uint8_t> stream;
        std::vector<std::vector<int>> rows;  // top row first; -1 is black
    };
    const Case cases[] = {
        {"RLE8 run longer than the row",
         kRle8,
         {6, 1, 0, 0, 3, 2, 0, 0, 0, 1},
         {{-1, -1, -1, -1}, {2, 2, 2, -1}, {1, 1, 1, 1}}},
        {"RLE8 run after a full row",
         kRle8,
         {4, 1, 2, 3, 0, 0, 1, 2, 0, 1},
         {{-1, -1, -1, -1}, {2, -1, -1, -1}, {1, 1, 1, 1}}},
        {"RLE8 absolute run past the edge",
         kRle8,
         {2, 1, 0, 3, 5, 6, 7, 0, 0, 0, 0, 3, 8, 9, 10, 0, 0, 0, 0, 1},
         {{-1, -1, -1, -1}, {8, 9, 10, -1}, {1, 1, 5, 6}}},
        {"RLE8 run past the last row's end without end of line",
         kRle8,
         {4, 1, 0, 0, 4, 2, 0, 0, 9, 3, 0, 1},
         {{3, 3, 3, 3}, {2, 2, 2, 2}, {1, 1, 1, 1}}},
        {"RLE4 run longer than the row",
         kRle4,
         {7, 0x12, 0, 0, 1, 0x30, 0, 0, 0, 1},
         {{-1, -1, -1, -1}, {3, -1, -1, -1}, {1, 2, 1, 2}}},
        {"RLE4 absolute run past the edge",
         kRle4,
         {1, 0x40, 0, 5, 0x56, 0x78, 0x90, 0, 0, 0, 2, 0xAB, 0, 1},
         {{-1, -1, -1, -1}, {10, 11, -1, -1}, {4, 5, 6, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpLayout f;
        f.width = 4;
        f.height = 3;
        f.bits = c.compression == kRle8 ? 8 : 4;
        f.compression = c.compression;
        f.palette = palette;
        f.pixels = c.stream;
        RgbImage out;
        ASSERT_TRUE(Decode(MakeBmp(f), out));
        EXPECT_TRUE(
            SameImage(out, MakeImage(4, 3, [&](int x, int y) {
                          const int index = c.rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
                          return index < 0 ? Bgr{0, 0, 0} : palette[static_cast<size_t>(index)];
                      })));
    }
}

TEST(BmpDecode, RleDeltasThatLeaveThePictureOrStreamsThatStopEarlyAreRefused) {
    const std::vector<Bgr> palette = TestPalette(4);
    BmpLayout f;
    f.width = 4;
    f.height = 3;
    f.bits = 8;
    f.compression = kRle8;
    f.palette = palette;
    RgbImage out;

    // Runs and deltas that reach exactly to the edges are fine.
    f.pixels = {
        4, 1, 0, 0,        // bottom row full, end of line
        0, 2, 4, 0,        // delta to the end of the middle row
        0, 0,              // end of line
        0, 4, 2, 3, 2, 3,  // top row: absolute run of four
        0, 0,              // end of line: all rows done, no end-of-bitmap needed
    };
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(
        SameImage(out, MakeImage(4, 3, [&](int x, int y) {
                      return y == 2 ? palette[1] : y == 1 ? Bgr{0, 0, 0} : palette[2 + x % 2];
                  })));
    f.pixels = {2, 1, 0, 2, 2, 2, 0, 1};  // delta to just past the top row
    EXPECT_TRUE(Decode(MakeBmp(f), out));

    // A delta one pixel further is damage, not something to wrap or clip.
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> damaged = {
        {"delta past the right edge", {0, 2, 5, 0, 0, 1}},
        {"delta past the top", {0, 2, 0, 4, 0, 1}},
        {"stream ends while rows remain", {4, 1, 0, 0, 4, 2}},
        {"absolute run without its bytes", {4, 1, 0, 0, 0, 3, 1, 2}},
        {"delta without its bytes", {4, 1, 0, 0, 0, 2, 1}},
        {"empty stream", {}},
    };
    for (const auto& [what, stream] : damaged) {
        f.pixels = stream;
        EXPECT_FALSE(Decode(MakeBmp(f), out)) << what;
    }

    // A large picture that the stream skips almost entirely, with one
    // end-of-line code per row, is still a picture.
    BmpLayout sparse = f;
    sparse.width = 1500;
    sparse.height = 1000;
    sparse.pixels = {3, 1};
    for (int y = 0; y < sparse.height; ++y) {
        sparse.pixels.insert(sparse.pixels.end(), {0, 0});
    }
    ASSERT_TRUE(Decode(MakeBmp(sparse), out));
    ASSERT_EQ(out.Width(), 1500);
    ASSERT_EQ(out.Height(), 1000);
    EXPECT_EQ(test::PixelAt(out, 2, 999),
              (std::vector<uint8_t>{palette[1].b, palette[1].g, palette[1].r}));
    EXPECT_EQ(test::PixelAt(out, 3, 999), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(test::PixelAt(out, 0, 0), (std::vector<uint8_t>{0, 0, 0}));

    // Top-down run-length pictures do not exist.
    f.height = -3;
    f.pixels = {0, 1};
    EXPECT_FALSE(Decode(MakeBmp(f), out));
}

// ---------------------------------------------------------------------------
// Where the pixels are, and how much of them is there

TEST(BmpDecode, PixelOffsetFromTheFileHeader) {
    const std::vector<Bgr> palette = TestPalette(4);
    auto index = [](int x, int y) { return static_cast<uint32_t>((x + y) % 4); };
    const RgbImage expected = MakeImage(5, 2, [&](int x, int y) { return palette[index(x, y)]; });
    BmpLayout f;
    f.width = 5;
    f.height = 2;
    f.bits = 8;
    f.palette = palette;
    f.pixels = PackPixels(5, 2, 8, false, index);
    RgbImage out;

    // Unused bytes between palette and pixels.
    f.gap = 10;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, expected));

    // An offset of 0 (or one inside the headers) is ignored.
    f.gap = 0;
    f.pixelOffset = 0;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, expected));
    f.pixelOffset = 20;
    ASSERT_TRUE(Decode(MakeBmp(f), out));
    EXPECT_TRUE(SameImage(out, expected));

    // An offset past the end of the file.
    f.pixelOffset = 100000;
    EXPECT_FALSE(Decode(MakeBmp(f), out));

    // OS/2 files with a palette shorter than 2^bits: only the offset tells
    // where the palette ends.
    BmpLayout os2 = f;
    os2.headerSize = 12;
    os2.pixelOffset = 14 + 12 + 4 * 3;
    ASSERT_TRUE(Decode(MakeBmp(os2), out));
    EXPECT_TRUE(SameImage(out, expected));
}

TEST(BmpDecode, TruncatedFilesFailExceptForTheLastRowsPadding) {
    // 3 pixels of 24 bits: 9 bytes and 3 of padding per row.
    BmpLayout f;
    f.width = 3;
    f.height = 2;
    const RgbImage expected = RandomImage(3, 2, 9);
    f.pixels = PackPixels(3, 2, 24, false, [&](int x, int y) {
        const auto p = test::PixelAt(expected, x, y);
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    });
    const std::vector<uint8_t> full = MakeBmp(f);
    RgbImage out;
    const std::vector<uint8_t> noPadding(full.begin(), full.end() - 3);
    ASSERT_TRUE(Decode(noPadding, out));
    EXPECT_TRUE(SameImage(out, expected));
    for (size_t length = 0; length < full.size() - 3; ++length) {
        const std::vector<uint8_t> cut(full.begin(), full.begin() + length);
        EXPECT_FALSE(Decode(cut, out)) << "cut to " << length << " bytes";
    }
}

TEST(BmpDecode, ImpossibleHeadersFailWithoutTouchingTheDestination) {
    const RgbImage before = RandomImage(3, 3, 7);
    auto check = [&](const std::vector<uint8_t>& bytes, const char* what) {
        RgbImage out = before;
        EXPECT_FALSE(Decode(bytes, out)) << what;
        EXPECT_TRUE(SamePixels(out, before)) << what;  // no resize happened
    };
    BmpLayout f;
    f.width = 2;
    f.height = 2;
    f.pixels = std::vector<uint8_t>(16, 0x55);
    ASSERT_TRUE([&] {
        RgbImage out;
        return Decode(MakeBmp(f), out);
    }()) << "the unchanged file is valid";

    BmpLayout g = f;
    g.width = 0;
    check(MakeBmp(g), "zero width");
    g = f;
    g.height = 0;
    check(MakeBmp(g), "zero height");
    g = f;
    g.width = -2;
    check(MakeBmp(g), "negative width");
    g = f;
    g.height = INT32_MIN;
    check(MakeBmp(g), "height INT32_MIN");
    g = f;
    g.width = 100000;
    g.height = 100000;
    check(MakeBmp(g), "100000 x 100000");
    g.height = -100000;
    check(MakeBmp(g), "100000 x 100000 top-down");
    // Within the pixel limit, but the file holds 16 bytes of pixels.
    g.width = 20000;
    g.height = 20000;
    check(MakeBmp(g), "20000 x 20000 in a few bytes");
    // A run-length stream of a few bytes cannot declare a huge picture.
    g.bits = 8;
    g.compression = kRle8;
    g.palette = TestPalette(2);
    g.pixels = {0, 1};
    check(MakeBmp(g), "20000 x 20000 RLE");
    g = f;
    g.headerSize = 12;
    g.width = 0;
    check(MakeBmp(g), "zero width, OS/2 header");

    g = f;
    g.bits = 64;
    check(MakeBmp(g), "64 bits");
    g.bits = 0;
    check(MakeBmp(g), "0 bits");
    g = f;
    g.planes = 3;
    check(MakeBmp(g), "three planes");
    g = f;
    g.headerSize = 66;
    check(MakeBmp(g), "unknown header size");
    g = f;
    g.compression = 4;  // a JPEG payload, meant for printers
    check(MakeBmp(g), "BI_JPEG");
    g.compression = 5;
    check(MakeBmp(g), "BI_PNG");
    g.compression = kBitFields;  // masks need 16 or 32 bits
    g.masks = {0xFF0000, 0xFF00, 0xFF};
    check(MakeBmp(g), "24-bit bit fields");
    g = f;
    g.compression = kRle8;  // RLE8 needs 8 bits
    check(MakeBmp(g), "RLE8 at 24 bits");
    g = f;
    g.bits = 8;
    g.colorsUsed = 0x10000000;  // a palette larger than the file
    check(MakeBmp(g), "huge palette");

    std::vector<uint8_t> bytes = MakeBmp(f);
    check({}, "zero length");
    check({'B', 'M'}, "file header only");
    check(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 20), "header cut");
    bytes[0] = 'X';
    check(bytes, "no signature");
}

TEST(BmpDecode, DamagedFilesNeverCrash) {
    // Valid files of several kinds, truncated at every length and with
    // random bytes overwritten; any result is fine as long as it is sane.
    std::vector<std::vector<uint8_t>> files;
    BmpLayout f;
    f.width = 9;
    f.height = 5;
    f.bits = 8;
    f.palette = TestPalette(256);
    f.pixels =
        PackPixels(9, 5, 8, false, [](int x, int y) { return static_cast<uint32_t>(x * y); });
    files.push_back(MakeBmp(f));
    f.bits = 4;
    f.compression = kRle4;
    f.pixels = {9, 0x12, 0, 0, 0, 2, 1, 1, 0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 0, 1};
    files.push_back(MakeBmp(f));
    f.bits = 8;
    f.compression = kRle8;
    f.pixels = {9, 200, 0, 0, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 0, 1};
    files.push_back(MakeBmp(f));
    BmpLayout g;
    g.width = 9;
    g.height = -5;
    g.bits = 16;
    g.compression = kBitFields;
    g.masks = {0xF800, 0x07E0, 0x001F};
    g.pixels =
        PackPixels(9, 5, 16, true, [](int x, int y) { return static_cast<uint32_t>(x * 999 + y); });
    files.push_back(MakeBmp(g));

    std::mt19937 rng(1234);
    for (const std::vector<uint8_t>& file : files) {
        for (size_t length = 0; length <= file.size(); ++length) {
            RgbImage out;
            const std::vector<uint8_t> cut(file.begin(), file.begin() + length);
            if (Decode(cut, out)) {
                EXPECT_TRUE(out.Width() > 0 && out.Height() > 0);
            }
        }
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bad = file;
            for (int i = 0; i < 3; ++i) {
                bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
            }
            RgbImage out;
            if (Decode(bad, out)) {
                // Only a run-length stream may declare more than its bytes.
                EXPECT_TRUE(out.Width() > 0 && out.Height() > 0 &&
                            int64_t{out.Width()} * out.Height() <=
                                std::max<int64_t>(int64_t{1} << 20, 2048 * int64_t(bad.size())));
            }
        }
    }
    // Random bytes behind a BMP signature.
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> junk(rng() % 300);
        for (uint8_t& b : junk) {
            b = static_cast<uint8_t>(rng());
        }
        if (junk.size() >= 2) {
            junk[0] = 'B';
            junk[1] = 'M';
        }
        RgbImage out;
        Decode(junk, out);
        codecs::DecodeDib(junk.data(), junk.size(), round % 2 == 0, out);
    }
}

// ---------------------------------------------------------------------------
// Writing

TEST(BmpEncode, WritesABottomUpTwentyFourBitFileWithPaddedRows) {
    const RgbImage image = RandomImage(3, 5, 42);
    std::vector<uint8_t> bytes = {7, 7, 7};  // the encoder appends
    ASSERT_TRUE(codecs::EncodeBmp(image, bytes));
    ASSERT_EQ(bytes[0], 7);
    const std::vector<uint8_t> file(bytes.begin() + 3, bytes.end());
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
                                     (file[at + 3] << 24));
    };
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(file[at] | (file[at + 1] << 8)); };
    const size_t stride = 12;  // 9 bytes of pixels, 3 of padding
    ASSERT_EQ(file.size(), 54 + stride * 5);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32(2), file.size());  // bfSize
    EXPECT_EQ(u32(10), 54u);         // pixel offset
    EXPECT_EQ(u32(14), 40u);         // BITMAPINFOHEADER
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 5u);  // positive height: bottom-up
    EXPECT_EQ(u16(26), 1u);
    EXPECT_EQ(u16(28), 24u);
    EXPECT_EQ(u32(30), 0u);  // BI_RGB
    EXPECT_EQ(u32(34), stride * 5);
    for (int r = 0; r < 5; ++r) {
        const uint8_t* row = file.data() + 54 + r * stride;
        const uint8_t* expected = image.Row(4 - r);
        EXPECT_TRUE(std::equal(expected, expected + 9, row)) << "stored row " << r;
        EXPECT_EQ(row[9] | row[10] | row[11], 0) << "padding of stored row " << r;
    }

    RgbImage none;
    std::vector<uint8_t> empty;
    EXPECT_FALSE(codecs::EncodeBmp(none, empty));
}

TEST(BmpEncode, RoundTripsArePixelExactAtOddWidths) {
    TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {3, 5}, {257, 3}, {4, 4}, {2, 7}}) {
        const RgbImage image = RandomImage(w, h, static_cast<uint32_t>(w * 31 + h));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(codecs::EncodeBmp(image, bytes));
        RgbImage decoded;
        ASSERT_TRUE(Decode(bytes, decoded));
        EXPECT_TRUE(SameImage(decoded, image)) << w << "x" << h;

        std::string name = dir.File("round.bmp");
        ASSERT_TRUE(SaveImageFile(image, name));
        RgbImage loaded = RandomImage(2, 2, 1);
        int format = 0;
        ASSERT_TRUE(LoadImageFile(loaded, name, &format));
        EXPECT_TRUE(SameImage(loaded, image)) << w << "x" << h << " through a file";
        EXPECT_EQ(format, kPixelFormat24);
    }
}

// ---------------------------------------------------------------------------
// Through LoadImageFile

TEST(BmpLoad, LoadsByContentWhateverTheName) {
    TempDir dir;
    const RgbImage image = RandomImage(6, 5, 77);
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(codecs::EncodeBmp(image, bmp));
    for (const char* name : {"bmp-named.jpg", "bmp-named.png", "bmp-named.TIF"}) {
        WriteBytes(dir.File(name), bmp);
        RgbImage loaded;
        ASSERT_TRUE(LoadImageFile(loaded, dir.File(name))) << name;
        EXPECT_TRUE(SameImage(loaded, image)) << name;
    }

    const std::vector<uint8_t> png = test::WritePngWithLibpng(image);
    RgbImage probe;
    if (!codecs::DecodePng(png.data(), png.size(), probe)) {
        GTEST_SKIP() << "PNG decoding is not available yet";
    }
    WriteBytes(dir.File("png-named.bmp"), png);
    RgbImage loaded;
    ASSERT_TRUE(LoadImageFile(loaded, dir.File("png-named.bmp")));
    EXPECT_TRUE(SameImage(loaded, image));
}

TEST(BmpLoad, AFailedLoadKeepsTheDestination) {
    TempDir dir;
    const RgbImage image = RandomImage(8, 8, 5);
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(codecs::EncodeBmp(image, bmp));
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"empty.bmp", {}},
        {"truncated.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + bmp.size() / 2)},
        {"header.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 30)},
        {"junk.bmp", {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    };
    for (const auto& [name, bytes] : bad) {
        WriteBytes(dir.File(name), bytes);
        RgbImage destination = RandomImage(4, 3, 11);
        const RgbImage before = destination;
        EXPECT_FALSE(LoadImageFile(destination, dir.File(name))) << name;
        EXPECT_TRUE(SamePixels(destination, before)) << name;
    }
}

// ---------------------------------------------------------------------------
// The BMP Suite

fs::path SuiteDir() {
    const std::string root = test::TestDataDir();
    return root.empty() ? fs::path() : fs::path(root) / "bmpsuite";
}

std::vector<fs::path> BmpFilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() == ".bmp") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Files of g/ and q/ with the reference rendering they should match.
const std::map<std::string, std::string>& References() {
    static const std::map<std::string, std::string> refs = {
        {"g/pal1.bmp", "pal1.png"},
        {"g/pal1wb.bmp", "pal1.png"},
        {"g/pal1bg.bmp", "pal1bg.png"},
        {"g/pal4.bmp", "pal4.png"},
        {"g/pal4gs.bmp", "pal4gs.png"},
        {"g/pal4rle.bmp", "pal4.png"},
        {"g/pal8.bmp", "pal8.png"},
        {"g/pal8-0.bmp", "pal8.png"},
        {"g/pal8gs.bmp", "pal8gs.png"},
        {"g/pal8rle.bmp", "pal8.png"},
        {"g/pal8w126.bmp", "pal8w126.png"},
        {"g/pal8w125.bmp", "pal8w125.png"},
        {"g/pal8w124.bmp", "pal8w124.png"},
        {"g/pal8topdown.bmp", "pal8.png"},
        {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
        {"g/pal8os2.bmp", "pal8.png"},
        {"g/pal8v4.bmp", "pal8.png"},
        {"g/pal8v5.bmp", "pal8.png"},
        {"g/rgb16.bmp", "rgb16.png"},
        {"g/rgb16bfdef.bmp", "rgb16.png"},
        {"g/rgb16-565.bmp", "rgb16-565.png"},
        {"g/rgb16-565pal.bmp", "rgb16-565.png"},
        {"g/rgb24.bmp", "rgb24.png"},
        {"g/rgb24pal.bmp", "rgb24.png"},
        {"g/rgb32.bmp", "rgb24.png"},
        {"g/rgb32bfdef.bmp", "rgb24.png"},
        {"g/rgb32bf.bmp", "rgb24.png"},
        // Questionable files that this decoder reads; skipped pixels black.
        {"q/pal1p1.bmp", "pal1p1.png"},
        {"q/pal2.bmp", "pal2.png"},
        {"q/pal2color.bmp", "pal2color.png"},
        {"q/pal4rletrns.bmp", "pal4rletrns-b.png"},
        {"q/pal4rlecut.bmp", "pal4rlecut-b.png"},
        {"q/pal8rletrns.bmp", "pal8rletrns-b.png"},
        {"q/pal8rlecut.bmp", "pal8rlecut-b.png"},
        {"q/pal8offs.bmp", "pal8.png"},
        {"q/pal8oversizepal.bmp", "pal8.png"},
        {"q/pal8os2-sz.bmp", "pal8.png"},
        {"q/pal8os2-hs.bmp", "pal8.png"},
        {"q/pal8os2sp.bmp", "pal8.png"},
        {"q/pal8os2v2.bmp", "pal8.png"},
        {"q/pal8os2v2-16.bmp", "pal8.png"},
        {"q/pal8os2v2-sz.bmp", "pal8.png"},
        {"q/pal8os2v2-40sz.bmp", "pal8.png"},
        {"q/rgb16-231.bmp", "rgb16-231.png"},
        {"q/rgb16-3103.bmp", "rgb16-3103.png"},
        {"q/rgb16faketrns.bmp", "rgb16.png"},
        {"q/rgb24largepal.bmp", "rgb24.png"},
        {"q/rgb32h52.bmp", "rgb24.png"},
        {"q/rgb32-xbgr.bmp", "rgb24.png"},
        {"q/rgb32fakealpha.bmp", "rgb24.png"},
        {"q/rgb32-111110.bmp", "rgb24.png"},
    };
    return refs;
}

TEST(BmpSuite, GoodFilesLoadAndMatchTheirReferences) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "no conformance pictures";
    }
    const std::vector<fs::path> good = BmpFilesIn(suite / "g");
    ASSERT_FALSE(good.empty());
    for (const fs::path& file : good) {
        RgbImage out;
        EXPECT_TRUE(Decode(ReadBytes(file.string()), out)) << file;
    }
    int compared = 0;
    for (const auto& [name, reference] : References()) {
        RgbImage expected;
        const std::vector<uint8_t> png = ReadBytes((suite / "html" / reference).string());
        ASSERT_TRUE(ReadPng(png, expected)) << reference;
        RgbImage out;
        const bool mustLoad = name.starts_with("g/");
        const bool ok = Decode(ReadBytes((suite / name).string()), out);
        if (mustLoad) {
            ASSERT_TRUE(ok) << name;
        } else if (!ok) {
            continue;
        }
        // Channels wider than 8 bits may round either way.
        EXPECT_LE(test::MaxChannelDifference(out, expected), mustLoad ? 0 : 1) << name;
        ++compared;
    }
    EXPECT_GE(compared, 27);
}

TEST(BmpSuite, BadFilesFailOrDecodeSanely) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "no conformance pictures";
    }
    const std::vector<fs::path> bad = BmpFilesIn(suite / "b");
    ASSERT_FALSE(bad.empty());
    // Files whose header is impossible or whose data is missing.
    const std::vector<std::string> mustFail = {
        "badbitcount.bmp", "badheadersize.bmp", "badpalettesize.bmp", "badplanes.bmp",
        "badwidth.bmp",    "reallybig.bmp",     "rletopdown.bmp",     "shortfile.bmp",
    };
    int failed = 0;
    for (const fs::path& file : bad) {
        RgbImage out;
        const bool ok = Decode(ReadBytes(file.string()), out);
        const std::string name = file.filename().string();
        if (std::find(mustFail.begin(), mustFail.end(), name) != mustFail.end()) {
            EXPECT_FALSE(ok) << name;
        }
        if (ok) {
            EXPECT_EQ(out.Width(), 127) << name;
            EXPECT_EQ(out.Height(), 64) << name;
        } else {
            ++failed;
        }
    }
    EXPECT_GE(failed, static_cast<int>(mustFail.size()));
}

TEST(BmpSuite, QuestionableAndForeignFilesNeverCrash) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "no conformance pictures";
    }
    for (const char* folder : {"q", "x"}) {
        for (const fs::path& file : BmpFilesIn(suite / folder)) {
            RgbImage out;
            if (Decode(ReadBytes(file.string()), out)) {
                EXPECT_EQ(out.Width(), 127) << file;
                EXPECT_EQ(out.Height(), 64) << file;
            }
        }
    }
}

}  // namespace
}  // namespace nocturo
