// PNG decoding and encoding. Test files are written here with libpng itself,
// so the decoder is checked against files it did not write, and the encoder
// is checked by libpng's own reader.

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/image_file.h"
#include "core/point_reader.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using codecs::DecodePng;
using codecs::EncodePng;
using test::PixelAt;
using test::RandomImage;
using test::ReadBytes;
using test::SamePixels;
using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Writing test files with libpng

struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows{};  // stored bytes, packed as the file holds them
    std::vector<png_color> palette{};
    std::vector<uint8_t> paletteAlpha{};  // tRNS for palette pictures
    double gamma = 0;                     // gAMA chunk when non-zero
    bool text = false;                    // a tEXt chunk before the image data
};

void AppendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Jumped over by png_error: no locals with destructors.
bool WriteLayout(png_structp png, png_infop info, const PngLayout& layout) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width),
                 static_cast<png_uint_32>(layout.height), layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty()) {
        png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
    }
    if (!layout.paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout.paletteAlpha.data(),
                     static_cast<int>(layout.paletteAlpha.size()), nullptr);
    }
    if (layout.gamma != 0) {
        png_set_gAMA(png, info, layout.gamma);
    }
    png_text text{};
    char key[] = "Comment";
    char value[] = "written by a test";
    if (layout.text) {
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = key;
        text.text = value;
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (const auto& row : layout.rows) {
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
    return true;
}

std::vector<uint8_t> WritePng(const PngLayout& layout) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    const bool ok = WriteLayout(png, info, layout);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        ADD_FAILURE() << "libpng could not write the test file";
        out.clear();
    }
    return out;
}

// ---------------------------------------------------------------------------
// Reading reference files with libpng: stored 8-bit RGBA, no gamma applied.

struct Rgba {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // red, green, blue, alpha
};

struct MemorySource {
    const std::vector<uint8_t>* bytes;
    size_t pos;
};

void ReadBytesFromSource(png_structp png, png_bytep out, size_t length) {
    auto* src = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > src->bytes->size() - src->pos) {
        png_error(png, "end of data");
    }
    std::memcpy(out, src->bytes->data() + src->pos, length);
    src->pos += length;
}

// Jumped over by png_error: no locals with destructors.
bool ReadRgbaRows(png_structp png, png_infop info, Rgba* out, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB_ALPHA ||
        png_get_bit_depth(png, info) != 8 || png_get_interlace_type(png, info) != 0) {
        return false;
    }
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->pixels.resize(static_cast<size_t>(out->width) * out->height * 4);
    rows->resize(static_cast<size_t>(out->height));
    for (int y = 0; y < out->height; ++y) {
        (*rows)[static_cast<size_t>(y)] =
            out->pixels.data() + static_cast<size_t>(y) * out->width * 4;
    }
    png_read_image(png, rows->data());
    return true;
}

bool ReadReferenceRgba(const std::string& file, Rgba& out) {
    const std::vector<uint8_t> bytes = ReadBytes(file);
    MemorySource src{&bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &src, ReadBytesFromSource);
    std::vector<png_bytep> rows;
    const bool ok = ReadRgbaRows(png, info, &out, &rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

// ---------------------------------------------------------------------------
// Hand-built chunks, for headers libpng would refuse to write.

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<uint32_t>(crc));
}

// A file with an RGB 8-bit header of the given size whose IDAT holds
// `storedRows` rows of zeros (each a filter byte and width * 3 bytes).
std::vector<uint8_t> HandBuiltPng(uint32_t width, uint32_t height, uint32_t storedRows) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutU32(ihdr, width);
    PutU32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, PNG_COLOR_TYPE_RGB, 0, 0, 0});
    PutChunk(out, "IHDR", ihdr);
    const std::vector<uint8_t> raw(static_cast<size_t>(storedRows) * (1 + width * 3), 0);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(packedSize);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

// Offset of the first chunk of a type, or 0 when there is none.
size_t FindChunk(const std::vector<uint8_t>& png, const char* type) {
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t length = (uint32_t{png[pos]} << 24) | (uint32_t{png[pos + 1]} << 16) |
                                (uint32_t{png[pos + 2]} << 8) | png[pos + 3];
        if (std::memcmp(png.data() + pos + 4, type, 4) == 0) {
            return pos;
        }
        pos += 12 + length;
    }
    return 0;
}

RgbImage Decode(const std::vector<uint8_t>& bytes, bool* ok = nullptr) {
    RgbImage image;
    const bool decoded = DecodePng(bytes.data(), bytes.size(), image);
    if (ok != nullptr) {
        *ok = decoded;
    }
    EXPECT_TRUE(decoded || ok != nullptr);
    return image;
}

// A 3-pixel-wide row of RGB triples given in file order (red first).
std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

void ExpectPixel(const RgbImage& image, int x, int y, int red, int green, int blue) {
    EXPECT_EQ(PixelAt(image, x, y), Bytes({blue, green, red})) << "pixel " << x << "," << y;
}

// ---------------------------------------------------------------------------

TEST(PngCodec, RoundTripIsPixelExactAndReadableByLibpng) {
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{1, 1}, {2, 3}, {17, 5}, {64, 48}, {1, 40}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const RgbImage original = RandomImage(w, h, static_cast<uint32_t>(w * 100 + h));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodePng(original, bytes));
        ASSERT_GT(bytes.size(), 8u);
        EXPECT_EQ(0, png_sig_cmp(bytes.data(), 0, 8));

        EXPECT_TRUE(SamePixels(original, Decode(bytes)));

        // libpng's own reader sees the same pixels, in the same order.
        png_image reader{};
        reader.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&reader, bytes.data(), bytes.size()));
        reader.format = PNG_FORMAT_BGR;
        std::vector<uint8_t> bgr(PNG_IMAGE_SIZE(reader));
        ASSERT_TRUE(png_image_finish_read(&reader, nullptr, bgr.data(), 0, nullptr));
        ASSERT_EQ(reader.width, static_cast<png_uint_32>(w));
        ASSERT_EQ(reader.height, static_cast<png_uint_32>(h));
        for (int y = 0; y < h; ++y) {
            ASSERT_EQ(0, std::memcmp(bgr.data() + static_cast<size_t>(y) * w * 3, original.Row(y),
                                     static_cast<size_t>(w) * 3));
        }
    }
}

// The 16-bit grey map as libpng alone writes it: filters chosen by libpng,
// zlib's fastest level.
std::vector<uint8_t> LibpngGrey16(int width, int height, const std::vector<uint16_t>& samples) {
    std::vector<uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, size_t n) {
            auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_write_info(png, info);
    png_set_swap(png);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, reinterpret_cast<png_const_bytep>(samples.data() +
                                                             static_cast<size_t>(y) * width));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// Frame maps are written on two threads: the file must be libpng's, byte for
// byte, for every kind of map (every filter wins somewhere) and size (bands
// cut short, libpng's narrow window for small ones).
TEST(PngCodec, Grey16MapsAreLibpngsBytes) {
    const struct {
        int width, height, kind;
    } cases[] = {{640, 300, 0}, {333, 97, 1}, {1000, 41, 2}, {257, 129, 3},
                 {64, 64, 1},   {90, 91, 0},  {1, 50, 1},    {50, 1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " kind " << c.kind);
        std::vector<uint16_t> samples(static_cast<size_t>(c.width) * c.height);
        uint32_t seed = 12345;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                seed = seed * 1664525 + 1013904223;
                const int frame = static_cast<int>(seed >> 27);  // 0..31, noisy
                const uint16_t value =
                    c.kind == 0   ? static_cast<uint16_t>(frame + 1)
                    : c.kind == 1 ? static_cast<uint16_t>(x * 37 + y * 11)
                    : c.kind == 2 ? static_cast<uint16_t>(seed >> 16)
                                  : static_cast<uint16_t>((x / 16 + y / 8) % 5 == 0 ? frame : 7);
                samples[static_cast<size_t>(y) * c.width + x] = value;
            }
        }
        std::vector<uint8_t> ours = {9};
        ASSERT_TRUE(codecs::EncodePngGrey16(c.width, c.height, samples.data(), ours));
        ASSERT_EQ(ours[0], 9);
        ours.erase(ours.begin());
        EXPECT_TRUE(ours == LibpngGrey16(c.width, c.height, samples));
    }
}

TEST(PngCodec, EncoderAppendsAndRefusesEmptyPictures) {
    std::vector<uint8_t> out = {1, 2, 3};
    ASSERT_TRUE(EncodePng(test::SolidImage(4, 4, 10, 20, 30), out));
    EXPECT_EQ(Bytes({1, 2, 3}), std::vector<uint8_t>(out.begin(), out.begin() + 3));
    EXPECT_EQ(0, png_sig_cmp(out.data() + 3, 0, 8));

    std::vector<uint8_t> none;
    EXPECT_FALSE(EncodePng(RgbImage(), none));
    EXPECT_TRUE(none.empty());
}

TEST(PngDecode, RgbAndRgbaKeepStoredValuesWithAlphaDropped) {
    PngLayout rgb{.width = 2, .height = 1, .rows = {Bytes({10, 20, 30, 200, 150, 100})}};
    RgbImage image = Decode(WritePng(rgb));
    ASSERT_EQ(2, image.Width());
    ASSERT_EQ(1, image.Height());
    ExpectPixel(image, 0, 0, 10, 20, 30);
    ExpectPixel(image, 1, 0, 200, 150, 100);

    // Alpha is dropped, not composited: a transparent pixel keeps its colour.
    PngLayout rgba{.width = 2,
                   .height = 1,
                   .colourType = PNG_COLOR_TYPE_RGB_ALPHA,
                   .rows = {Bytes({10, 20, 30, 0, 200, 150, 100, 128})}};
    image = Decode(WritePng(rgba));
    ExpectPixel(image, 0, 0, 10, 20, 30);
    ExpectPixel(image, 1, 0, 200, 150, 100);
}

TEST(PngDecode, SixteenBitKeepsTheHighByte) {
    // Per channel: 0x12AB, 0xFFFF, 0x0000 for pixel 0; v * 257 for pixel 1.
    PngLayout rgb16{.width = 2,
                    .height = 1,
                    .bitDepth = 16,
                    .rows = {Bytes({0x12, 0xAB, 0xFF, 0xFF, 0x00, 0x00,  //
                                    0x40, 0x40, 0x80, 0x80, 0xC8, 0xC8})}};
    RgbImage image = Decode(WritePng(rgb16));
    ExpectPixel(image, 0, 0, 0x12, 0xFF, 0x00);
    ExpectPixel(image, 1, 0, 0x40, 0x80, 0xC8);

    PngLayout rgba16{.width = 1,
                     .height = 1,
                     .colourType = PNG_COLOR_TYPE_RGB_ALPHA,
                     .bitDepth = 16,
                     .rows = {Bytes({0x01, 0x02, 0x7F, 0xFF, 0xFE, 0x00, 0x00, 0x00})}};
    ExpectPixel(Decode(WritePng(rgba16)), 0, 0, 0x01, 0x7F, 0xFE);

    PngLayout grey16{.width = 2,
                     .height = 1,
                     .colourType = PNG_COLOR_TYPE_GRAY,
                     .bitDepth = 16,
                     .rows = {Bytes({0xAB, 0xCD, 0x03, 0xFF})}};
    image = Decode(WritePng(grey16));
    ExpectPixel(image, 0, 0, 0xAB, 0xAB, 0xAB);
    ExpectPixel(image, 1, 0, 0x03, 0x03, 0x03);

    PngLayout greyAlpha16{.width = 1,
                          .height = 1,
                          .colourType = PNG_COLOR_TYPE_GRAY_ALPHA,
                          .bitDepth = 16,
                          .rows = {Bytes({0x55, 0x10, 0x00, 0x00})}};
    ExpectPixel(Decode(WritePng(greyAlpha16)), 0, 0, 0x55, 0x55, 0x55);
}

TEST(PngDecode, GreyOfEveryDepthIsSpreadOverTheFullRange) {
    // Eight pixels per row; the packed bytes hold levels 0, 1, 2, ... in turn.
    struct Case {
        int depth;
        std::vector<uint8_t> row;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {1, Bytes({0b10110010}), {255, 0, 255, 255, 0, 0, 255, 0}},
        {2, Bytes({0b00011011, 0b11100100}), {0, 85, 170, 255, 255, 170, 85, 0}},
        {4, Bytes({0x01, 0x7F, 0xA5, 0x3C}), {0, 17, 119, 255, 170, 85, 51, 204}},
        {8, Bytes({0, 1, 2, 127, 128, 200, 254, 255}), {0, 1, 2, 127, 128, 200, 254, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << "-bit grey");
        for (const bool interlaced : {false, true}) {
            PngLayout layout{.width = 8,
                             .height = 2,
                             .colourType = PNG_COLOR_TYPE_GRAY,
                             .bitDepth = c.depth,
                             .interlaced = interlaced,
                             .rows = {c.row, c.row}};
            const RgbImage image = Decode(WritePng(layout));
            ASSERT_EQ(8, image.Width());
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 8; ++x) {
                    const int v = c.expected[static_cast<size_t>(x)];
                    ExpectPixel(image, x, y, v, v, v);
                }
            }
        }
    }

    PngLayout greyAlpha{.width = 2,
                        .height = 1,
                        .colourType = PNG_COLOR_TYPE_GRAY_ALPHA,
                        .rows = {Bytes({77, 0, 200, 255})}};
    const RgbImage image = Decode(WritePng(greyAlpha));
    ExpectPixel(image, 0, 0, 77, 77, 77);
    ExpectPixel(image, 1, 0, 200, 200, 200);
}

TEST(PngDecode, PalettesOfEveryDepthGiveTheirColours) {
    std::vector<png_color> palette{};
    for (int i = 0; i < 256; ++i) {
        palette.push_back({static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                           static_cast<png_byte>(i * 7)});
    }
    struct Case {
        int depth;
        std::vector<uint8_t> row;
        std::vector<int> indices;
    };
    const Case cases[] = {
        {1, Bytes({0b01100000}), {0, 1, 1, 0}},
        {2, Bytes({0b11011000}), {3, 1, 2, 0}},
        {4, Bytes({0xF0, 0x9A}), {15, 0, 9, 10}},
        {8, Bytes({255, 0, 128, 77}), {255, 0, 128, 77}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << "-bit palette");
        PngLayout layout{.width = 4,
                         .height = 1,
                         .colourType = PNG_COLOR_TYPE_PALETTE,
                         .bitDepth = c.depth,
                         .rows = {c.row}};
        layout.palette.assign(palette.begin(), palette.begin() + (1 << c.depth));
        // Transparency entries do not change the colours delivered.
        layout.paletteAlpha = {0, 128};
        const RgbImage image = Decode(WritePng(layout));
        ASSERT_EQ(4, image.Width());
        for (int x = 0; x < 4; ++x) {
            const png_color& p = palette[static_cast<size_t>(c.indices[static_cast<size_t>(x)])];
            ExpectPixel(image, x, 0, p.red, p.green, p.blue);
        }
    }
}

TEST(PngDecode, InterlacedEqualsProgressive) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}, {13, 11}, {33, 9}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const RgbImage source = RandomImage(w, h, static_cast<uint32_t>(w + h));
        PngLayout layout{.width = w, .height = h};
        for (int y = 0; y < h; ++y) {
            std::vector<uint8_t> row;
            for (int x = 0; x < w; ++x) {
                const std::vector<uint8_t> bgr = PixelAt(source, x, y);
                row.insert(row.end(), {bgr[2], bgr[1], bgr[0]});
            }
            layout.rows.push_back(row);
        }
        EXPECT_TRUE(SamePixels(source, Decode(WritePng(layout))));
        layout.interlaced = true;
        EXPECT_TRUE(SamePixels(source, Decode(WritePng(layout))));
    }
}

TEST(PngDecode, GammaChunkDoesNotChangeStoredValues) {
    for (const double gamma : {1.0, 1.0 / 2.2, 2.5}) {
        PngLayout layout{.width = 2, .height = 1, .rows = {Bytes({0, 64, 128, 192, 250, 255})}};
        layout.gamma = gamma;
        const RgbImage image = Decode(WritePng(layout));
        ExpectPixel(image, 0, 0, 0, 64, 128);
        ExpectPixel(image, 1, 0, 192, 250, 255);
    }
}

TEST(PngDecode, DeclaredSizesAreCheckedBeforeAllocating) {
    // On refusal the destination has not even been resized.
    RgbImage out = RandomImage(3, 2, 1);
    const auto refused = [&out](const std::vector<uint8_t>& bytes) {
        const bool ok = DecodePng(bytes.data(), bytes.size(), out);
        return !ok && out.Width() == 3 && out.Height() == 2;
    };
    // Beyond the pixel limit.
    EXPECT_TRUE(refused(HandBuiltPng(100000, 100000, 0)));
    EXPECT_TRUE(refused(HandBuiltPng(static_cast<uint32_t>(kMaxPixels / 2 + 1), 2, 0)));
    // Within the limit, but far more than a few hundred bytes can encode.
    EXPECT_TRUE(refused(HandBuiltPng(20000, 20000, 1)));
    EXPECT_TRUE(refused(HandBuiltPng(0, 10, 1)));

    // The hand-built file itself is sound when header and data agree.
    bool ok = false;
    const RgbImage image = Decode(HandBuiltPng(5, 3, 3), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(5, image.Width());
    EXPECT_EQ(3, image.Height());
}

TEST(PngDecode, DamagedFilesFail) {
    PngLayout layout{.width = 6, .height = 5, .text = true};
    const RgbImage source = RandomImage(6, 5, 9);
    for (int y = 0; y < 5; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < 6; ++x) {
            const std::vector<uint8_t> bgr = PixelAt(source, x, y);
            row.insert(row.end(), {bgr[2], bgr[1], bgr[0]});
        }
        layout.rows.push_back(row);
    }
    const std::vector<uint8_t> good = WritePng(layout);
    ASSERT_TRUE(SamePixels(source, Decode(good)));

    RgbImage out;
    for (size_t length = 0; length < good.size(); ++length) {
        EXPECT_FALSE(DecodePng(good.data(), length, out)) << "cut to " << length << " bytes";
    }

    // A flipped bit in the image data or in an ancillary chunk breaks a CRC.
    for (const char* chunk : {"IDAT", "tEXt"}) {
        std::vector<uint8_t> bad = good;
        const size_t pos = FindChunk(bad, chunk);
        ASSERT_NE(0u, pos) << chunk;
        bad[pos + 8] ^= 0x04;
        EXPECT_FALSE(DecodePng(bad.data(), bad.size(), out)) << chunk;
    }

    // Sound chunks, but the image data holds fewer rows than the header
    // promises: a failure, not a picture with black rows.
    const std::vector<uint8_t> short4 = HandBuiltPng(8, 8, 4);
    EXPECT_FALSE(DecodePng(short4.data(), short4.size(), out));

    const std::vector<uint8_t> signatureOnly(good.begin(), good.begin() + 8);
    EXPECT_FALSE(DecodePng(signatureOnly.data(), signatureOnly.size(), out));
    EXPECT_FALSE(DecodePng(nullptr, 0, out));
}

// Compressed data that goes on after the last row is complete (more rows
// than the header has, bytes after the deflate stream, IDAT chunks after
// it) is left by common writers and costs no pixel: such files load. A
// stream whose checksum or end is wrong is still damaged.
TEST(PngDecode, SurplusDataAfterTheLastRowLoads) {
    const uint32_t w = 6, h = 4;
    auto rows = [&](uint32_t count) {
        std::vector<uint8_t> raw;
        for (uint32_t y = 0; y < count; ++y) {
            raw.push_back(0);  // no filter
            for (uint32_t x = 0; x < w; ++x) {
                raw.insert(raw.end(), {static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 60),
                                       static_cast<uint8_t>(200 - x - y)});
            }
        }
        return raw;
    };
    auto deflate = [](const std::vector<uint8_t>& raw) {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::vector<uint8_t> packed(size);
        compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
        packed.resize(size);
        return packed;
    };
    auto file = [&](const std::vector<std::vector<uint8_t>>& idats) {
        std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<uint8_t> ihdr;
        PutU32(ihdr, w);
        PutU32(ihdr, h);
        ihdr.insert(ihdr.end(), {8, PNG_COLOR_TYPE_RGB, 0, 0, 0});
        PutChunk(out, "IHDR", ihdr);
        for (const auto& idat : idats) {
            PutChunk(out, "IDAT", idat);
        }
        PutChunk(out, "IEND", {});
        return out;
    };
    const std::vector<uint8_t> exact = deflate(rows(h));
    std::vector<uint8_t> trailing = exact;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
    std::vector<uint8_t> badCheck = exact;
    badCheck.back() ^= 0x01;  // the stream's Adler-32 checksum
    const std::vector<uint8_t> unfinished(exact.begin(), exact.end() - 4);

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool loads;
    } cases[] = {
        {"exact", file({exact}), true},
        {"more rows than the header has", file({deflate(rows(h + 3))}), true},
        {"bytes after the deflate stream", file({trailing}), true},
        {"an IDAT chunk after the stream", file({exact, {9, 9, 9}}), true},
        {"a second stream in another IDAT", file({exact, deflate(rows(1))}), true},
        {"wrong checksum", file({badCheck}), false},
        {"stream without its end", file({unfinished}), false},
        {"fewer rows than the header has", file({deflate(rows(h - 1))}), false},
    };
    RgbImage expected;
    ASSERT_TRUE(expected.Resize(static_cast<int>(w), static_cast<int>(h)));
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            test::SetPixel(expected, static_cast<int>(x), static_cast<int>(y),
                           static_cast<uint8_t>(200 - x - y), static_cast<uint8_t>(y * 60),
                           static_cast<uint8_t>(x * 40));
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage out;
        ASSERT_EQ(DecodePng(c.bytes.data(), c.bytes.size(), out), c.loads);
        if (c.loads) {
            EXPECT_TRUE(SamePixels(expected, out));
            // The meteor search's point reader loads them too, last row included.
            PointSample sample;
            ASSERT_EQ(codecs::ReadPngPoint(c.bytes.data(), c.bytes.size(), 2, h - 1, sample),
                      codecs::PointResult::Read);
            const std::vector<uint8_t> point = PixelAt(expected, 2, h - 1);
            EXPECT_EQ((std::vector<int>{sample.blue, sample.green, sample.red}),
                      std::vector<int>(point.begin(), point.end()));
        }
    }
}

// Colour profiles, gamma, text and transparency do not matter to the pixels
// delivered, so a malformed one (with a sound CRC) does not cost the picture.
TEST(PngDecode, MalformedAncillaryChunksAreIgnored) {
    const std::vector<uint8_t> good = HandBuiltPng(5, 3, 3);
    const struct {
        const char* type;
        std::vector<uint8_t> data;
    } chunks[] = {
        {"iCCP", Bytes({'x', 0, 0, 1, 2, 3, 4, 5})},  // not a deflate stream
        {"gAMA", Bytes({0, 1})},                      // too short
        {"tRNS", Bytes({1, 2, 3})},                   // odd length for RGB
        {"sRGB", Bytes({9, 9})},
        {"tEXt", {}},
    };
    for (const auto& chunk : chunks) {
        SCOPED_TRACE(chunk.type);
        std::vector<uint8_t> extra;
        PutChunk(extra, chunk.type, chunk.data);
        std::vector<uint8_t> bytes = good;
        const size_t idat = FindChunk(bytes, "IDAT");
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(idat), extra.begin(), extra.end());
        bool ok = false;
        const RgbImage image = Decode(bytes, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(5, image.Width());
    }
}

TEST(PngLoad, FailuresLeaveTheDestinationAsItWas) {
    TempDir dir;
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodePng(RandomImage(20, 10, 4), good));
    std::vector<uint8_t> badCrc = good;
    badCrc[FindChunk(badCrc, "IDAT") + 10] ^= 0xFF;
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"empty.png", {}},
        {"truncated.png", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
        {"crc.png", badCrc},
        {"huge.png", HandBuiltPng(100000, 100000, 0)},
    };
    const RgbImage before = RandomImage(7, 3, 77);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        WriteBytes(dir.File(name), bytes);
        RgbImage destination = before;
        EXPECT_FALSE(LoadImageFile(destination, dir.File(name)));
        EXPECT_TRUE(SamePixels(before, destination));
    }

    WriteBytes(dir.File("good.png"), good);
    RgbImage destination = before;
    ASSERT_TRUE(LoadImageFile(destination, dir.File("good.png")));
    EXPECT_TRUE(SamePixels(RandomImage(20, 10, 4), destination));
}

// ---------------------------------------------------------------------------
// Public conformance files

std::vector<std::string> PngFiles(const fs::path& folder, bool recursive) {
    std::vector<std::string> files;
    std::error_code ec;
    const auto add = [&files](const fs::directory_entry& entry) {
        if (entry.is_regular_file() && entry.path().extension() == ".png") {
            files.push_back(entry.path().string());
        }
    };
    if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
            add(entry);
        }
    } else {
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            add(entry);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

fs::path SuiteDir() {
    const std::string root = test::TestDataDir();
    return root.empty() ? fs::path() : fs::path(root) / "pngsuite";
}

uint32_t HeaderValue(const std::vector<uint8_t>& bytes, size_t pos) {
    return (uint32_t{bytes[pos]} << 24) | (uint32_t{bytes[pos + 1]} << 16) |
           (uint32_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
}

TEST(PngSuite, EveryValidFileLoadsAtItsDeclaredSize) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "conformance pictures not present";
    }
    std::vector<std::string> files;
    for (const char* folder : {"primary", "16bit", "unused"}) {
        const auto more = PngFiles(suite / "full-pngsuite-via-stb" / folder, false);
        files.insert(files.end(), more.begin(), more.end());
    }
    for (const auto& more : {PngFiles(suite / "libpng-contrib-pngsuite", true),
                             PngFiles(suite / "libpng-testpngs", false),
                             PngFiles(suite / "libpng-testpngs" / "png-3", false)}) {
        files.insert(files.end(), more.begin(), more.end());
    }
    ASSERT_GT(files.size(), 300u);
    for (const std::string& file : files) {
        const std::vector<uint8_t> bytes = ReadBytes(file);
        RgbImage image;
        ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), image)) << file;
        EXPECT_EQ(static_cast<int>(HeaderValue(bytes, 16)), image.Width()) << file;
        EXPECT_EQ(static_cast<int>(HeaderValue(bytes, 20)), image.Height()) << file;
    }
}

// The references are another decoder's RGBA output. They carry the stored
// colour values (no gamma applied, alpha and tRNS not composited), which is
// what we deliver too, so every pixel's colour must match; the reference
// alpha is ignored.
TEST(PngSuite, PrimaryFilesMatchTheReferenceDecodes) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "conformance pictures not present";
    }
    const fs::path base = suite / "full-pngsuite-via-stb";
    const std::vector<std::string> files = PngFiles(base / "primary", false);
    ASSERT_EQ(77u, files.size());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = ReadBytes(file);
        RgbImage image;
        ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), image));
        Rgba reference;
        ASSERT_TRUE(ReadReferenceRgba((base / "primary_check" / fs::path(file).filename()).string(),
                                      reference));
        ASSERT_EQ(reference.width, image.Width());
        ASSERT_EQ(reference.height, image.Height());
        int wrong = 0;
        for (int y = 0; y < image.Height(); ++y) {
            for (int x = 0; x < image.Width(); ++x) {
                const uint8_t* ref =
                    reference.pixels.data() + (static_cast<size_t>(y) * reference.width + x) * 4;
                if (PixelAt(image, x, y) != std::vector<uint8_t>{ref[2], ref[1], ref[0]}) {
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(0, wrong);
    }
}

TEST(PngSuite, CorruptFilesFailAndLeaveTheDestinationAlone) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "conformance pictures not present";
    }
    const std::vector<std::string> files =
        PngFiles(suite / "full-pngsuite-via-stb" / "corrupt", false);
    ASSERT_EQ(14u, files.size());
    const RgbImage before = RandomImage(4, 4, 5);
    testing::internal::CaptureStderr();  // libpng prints nothing on its own
    for (const std::string& file : files) {
        RgbImage destination = before;
        EXPECT_FALSE(LoadImageFile(destination, file)) << file;
        EXPECT_TRUE(SamePixels(before, destination)) << file;
    }
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

// Fuzzer finds, short palettes and Apple's variant: loading may go either
// way, but must end cleanly, and a failure must not touch the destination.
TEST(PngSuite, HostileFilesEndCleanly) {
    const fs::path suite = SuiteDir();
    if (suite.empty()) {
        GTEST_SKIP() << "conformance pictures not present";
    }
    std::vector<std::string> files;
    for (const auto& more : {PngFiles(suite / "libpng-testpngs" / "crashers", false),
                             PngFiles(suite / "libpng-testpngs" / "badpal", false),
                             PngFiles(suite / "full-pngsuite-via-stb" / "iphone", false)}) {
        files.insert(files.end(), more.begin(), more.end());
    }
    ASSERT_GT(files.size(), 35u);
    const RgbImage before = RandomImage(4, 4, 6);
    testing::internal::CaptureStderr();
    for (const std::string& file : files) {
        RgbImage destination = before;
        if (LoadImageFile(destination, file)) {
            EXPECT_GT(destination.Width(), 0) << file;
            EXPECT_GT(destination.Height(), 0) << file;
        } else {
            EXPECT_TRUE(SamePixels(before, destination)) << file;
        }
    }
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

}  // namespace
}  // namespace nocturo
