// GIF decoding and encoding, and the colour quantiser behind the encoder.
// Test files are written here with giflib itself, and the encoder's output
// is read back with giflib's own reader.

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/codecs/codecs.h"
#include "core/codecs/quantize.h"
#include "core/image_file.h"
#include "tests/support/test_support.h"

namespace nocturo {
namespace {

using codecs::DecodeGif;
using codecs::EncodeGif;
using codecs::Quantize;
using test::PixelAt;
using test::RandomImage;
using test::SamePixels;
using test::SetPixel;
using test::SolidImage;
using test::TempDir;
using test::WriteBytes;

// ---------------------------------------------------------------------------
// Writing test files with giflib

struct Frame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    std::vector<uint8_t> indices{};  // row by row from the top, as displayed
    std::vector<GifColorType> localMap{};
    int transparent = -1;
};

struct GifLayout {
    int width = 0;
    int height = 0;
    std::vector<GifColorType> globalMap{};
    int background = 0;
    std::vector<Frame> frames{};
};

int AppendBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// Rows of a frame in the order the file stores them.
std::vector<int> StoredRowOrder(int height, bool interlaced) {
    std::vector<int> order;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            order.push_back(y);
        }
        return order;
    }
    const int start[] = {0, 4, 2, 1};
    const int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < height; y += step[pass]) {
            order.push_back(y);
        }
    }
    return order;
}

ColorMapObject* MakeMap(std::vector<GifColorType> colours) {
    if (colours.empty()) {
        return nullptr;
    }
    return GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
}

std::vector<uint8_t> WriteGif(GifLayout layout) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendBytes, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(layout.globalMap);
    bool ok =
        EGifPutScreenDesc(gif, layout.width, layout.height, 8, layout.background, global) == GIF_OK;
    GifFreeMapObject(global);
    for (Frame& frame : layout.frames) {
        if (frame.transparent >= 0) {
            GraphicsControlBlock gcb{};
            gcb.TransparentColor = frame.transparent;
            GifByteType block[4];
            EGifGCBToExtension(&gcb, block);
            ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_OK;
        }
        ColorMapObject* local = MakeMap(frame.localMap);
        ok = ok && EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                    frame.interlaced, local) == GIF_OK;
        GifFreeMapObject(local);
        for (const int y : StoredRowOrder(frame.height, frame.interlaced)) {
            ok = ok && EGifPutLine(gif, frame.indices.data() + static_cast<size_t>(y) * frame.width,
                                   frame.width) == GIF_OK;
        }
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    if (!ok) {
        ADD_FAILURE() << "giflib could not write the test file";
    }
    return out;
}

std::vector<GifColorType> Greys(int count, int step) {
    std::vector<GifColorType> map;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<GifByteType>(i * step);
        map.push_back({v, v, v});
    }
    return map;
}

// ---------------------------------------------------------------------------
// Reading with giflib's own reader

struct Slurped {
    int width = 0;
    int height = 0;
    int colourCount = 0;
    std::string version;
    RgbImage image;
};

int ReadFromVector(GifFileType* gif, GifByteType* out, int length) {
    auto* src = static_cast<std::pair<const std::vector<uint8_t>*, size_t>*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(length), src->first->size() - src->second);
    std::copy_n(src->first->data() + src->second, n, out);
    src->second += n;
    return static_cast<int>(n);
}

bool Slurp(const std::vector<uint8_t>& bytes, Slurped& out) {
    std::pair<const std::vector<uint8_t>*, size_t> src{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&src, ReadFromVector, &error);
    if (gif == nullptr) {
        return false;
    }
    bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 && gif->SColorMap != nullptr;
    if (ok) {
        const SavedImage& frame = gif->SavedImages[0];
        out.width = gif->SWidth;
        out.height = gif->SHeight;
        out.colourCount = gif->SColorMap->ColorCount;
        out.version = std::string(reinterpret_cast<const char*>(bytes.data()), 6);
        ok = frame.ImageDesc.Width == out.width && frame.ImageDesc.Height == out.height &&
             out.image.Resize(out.width, out.height);
        for (int y = 0; ok && y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                const int index = frame.RasterBits[static_cast<size_t>(y) * out.width + x];
                ok = ok && index < out.colourCount;
                const GifColorType c = gif->SColorMap->Colors[index % out.colourCount];
                SetPixel(out.image, x, y, c.Blue, c.Green, c.Red);
            }
        }
    }
    DGifCloseFile(gif, &error);
    return ok;
}

// ---------------------------------------------------------------------------

RgbImage Decode(const std::vector<uint8_t>& bytes) {
    RgbImage image;
    EXPECT_TRUE(DecodeGif(bytes.data(), bytes.size(), image));
    return image;
}

void ExpectPixel(const RgbImage& image, int x, int y, GifColorType c) {
    EXPECT_EQ(PixelAt(image, x, y), (std::vector<uint8_t>{c.Blue, c.Green, c.Red}))
        << "pixel " << x << "," << y;
}

// A picture that uses exactly `colours` distinct colours, scattered.
RgbImage PictureWithColours(int width, int height, int colours, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::array<uint8_t, 3>> palette;
    std::set<std::array<uint8_t, 3>> seen;
    while (static_cast<int>(palette.size()) < colours) {
        const std::array<uint8_t, 3> c = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                          static_cast<uint8_t>(rng())};
        if (seen.insert(c).second) {
            palette.push_back(c);
        }
    }
    RgbImage image;
    image.Resize(width, height);
    for (int i = 0; i < width * height; ++i) {
        // Every colour at least once, then at random.
        const auto& c =
            palette[static_cast<size_t>(i < colours ? i : static_cast<int>(rng() % colours))];
        SetPixel(image, i % width, i / width, c[0], c[1], c[2]);
    }
    return image;
}

double MeanChannelError(const RgbImage& a, const RgbImage& b) {
    double total = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width() * 3; ++x) {
            total += std::abs(a.Row(y)[x] - b.Row(y)[x]);
        }
    }
    return total / (3.0 * a.Width() * a.Height());
}

// Black sky with faint noise (far more than 256 colours) and small bright
// stars of many colours: the pictures this program makes.
RgbImage StarField(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            SetPixel(image, x, y, static_cast<uint8_t>(rng() % 14),
                     static_cast<uint8_t>(rng() % 14), static_cast<uint8_t>(rng() % 14));
        }
    }
    for (int star = 0; star < 60; ++star) {
        const int sx = static_cast<int>(rng() % static_cast<uint32_t>(width - 2));
        const int sy = static_cast<int>(rng() % static_cast<uint32_t>(height - 2));
        const auto b = static_cast<uint8_t>(80 + rng() % 176);
        const auto g = static_cast<uint8_t>(80 + rng() % 176);
        const auto r = static_cast<uint8_t>(80 + rng() % 176);
        for (int y = sy; y < sy + 2; ++y) {
            for (int x = sx; x < sx + 2; ++x) {
                SetPixel(image, x, y, b, g, r);
            }
        }
    }
    return image;
}

// ---------------------------------------------------------------------------

TEST(Quantize, FewColoursAreKeptExactly) {
    for (const int colours : {1, 2, 3, 17, 255, 256}) {
        SCOPED_TRACE(colours);
        const RgbImage image = PictureWithColours(40, 30, colours, static_cast<uint32_t>(colours));
        const codecs::PaletteImage reduced = Quantize(image);
        ASSERT_EQ(static_cast<size_t>(colours), reduced.palette.size());
        ASSERT_EQ(size_t{40 * 30}, reduced.indices.size());
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                const auto& c = reduced.palette[reduced.indices[static_cast<size_t>(y * 40 + x)]];
                ASSERT_EQ(PixelAt(image, x, y), (std::vector<uint8_t>{c[2], c[1], c[0]}));
            }
        }
    }
    EXPECT_TRUE(Quantize(RgbImage()).palette.empty());
}

// Checks that a reduced picture stays within the limit and that every
// (sampled) pixel has its nearest palette colour; returns the mean error.
double CheckReduction(const RgbImage& image, int limit) {
    const codecs::PaletteImage reduced = Quantize(image, limit);
    EXPECT_LE(reduced.palette.size(), static_cast<size_t>(limit));
    EXPECT_EQ(static_cast<size_t>(image.Width()) * image.Height(), reduced.indices.size());
    RgbImage mapped;
    mapped.Resize(image.Width(), image.Height());
    int notNearest = 0;
    for (size_t i = 0; i < reduced.indices.size(); ++i) {
        if (reduced.indices[i] >= reduced.palette.size()) {
            ADD_FAILURE() << "index out of the palette";
            return 1e9;
        }
        const int x = static_cast<int>(i % static_cast<size_t>(image.Width()));
        const int y = static_cast<int>(i / static_cast<size_t>(image.Width()));
        const auto& mine = reduced.palette[reduced.indices[i]];
        SetPixel(mapped, x, y, mine[2], mine[1], mine[0]);
        if (i % 7 != 0) {
            continue;
        }
        const std::vector<uint8_t> p = PixelAt(image, x, y);
        const auto distance = [&p](const std::array<uint8_t, 3>& c) {
            return (p[2] - c[0]) * (p[2] - c[0]) + (p[1] - c[1]) * (p[1] - c[1]) +
                   (p[0] - c[2]) * (p[0] - c[2]);
        };
        int best = 1 << 30;
        for (const auto& c : reduced.palette) {
            best = std::min(best, distance(c));
        }
        notNearest += distance(mine) != best;
    }
    EXPECT_EQ(0, notNearest);
    return MeanChannelError(image, mapped);
}

TEST(Quantize, ManyColoursFitTheLimitAndStayClose) {
    // 4096 distinct colours, counted exactly.
    const RgbImage noise = RandomImage(64, 64, 3);
    for (const int limit : {1, 2, 16}) {
        SCOPED_TRACE(limit);
        CheckReduction(noise, limit);
    }
    // Uniform noise is the hardest case; even the best fixed palette,
    // 6 x 6 x 6 levels, is off by 12.75 on average.
    EXPECT_LT(CheckReduction(noise, 256), 10.5);

    // So many colours that the histogram falls back to bins: noise of 0..79
    // per channel, where 6 x 6 x 6 levels would be off by 4 on average.
    RgbImage dense = RandomImage(500, 400, 4);
    for (int y = 0; y < dense.Height(); ++y) {
        for (int x = 0; x < dense.Width() * 3; ++x) {
            dense.Row(y)[x] = static_cast<uint8_t>(dense.Row(y)[x] % 80);
        }
    }
    EXPECT_LT(CheckReduction(dense, 256), 3.5);
}

TEST(GifCodec, RoundTripOfFewColoursIsPixelExact) {
    for (const auto& [w, h, colours] : std::vector<std::tuple<int, int, int>>{
             {1, 1, 1}, {5, 3, 2}, {33, 7, 3}, {300, 7, 129}, {64, 64, 200}, {50, 40, 256}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << ", " << colours << " colours");
        const RgbImage original = PictureWithColours(w, h, colours, static_cast<uint32_t>(w + h));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodeGif(original, bytes));
        EXPECT_TRUE(SamePixels(original, Decode(bytes)));

        // giflib's own reader agrees, and the colour table is a power of two.
        Slurped slurped;
        ASSERT_TRUE(Slurp(bytes, slurped));
        EXPECT_EQ("GIF89a", slurped.version);
        EXPECT_TRUE(SamePixels(original, slurped.image));
        EXPECT_GE(slurped.colourCount, std::max(colours, 2));
        EXPECT_EQ(0, slurped.colourCount & (slurped.colourCount - 1));
        EXPECT_LT(slurped.colourCount, 2 * std::max(colours, 2));
    }
}

TEST(GifCodec, ManyColoursAreReducedWithoutLosingStars) {
    const RgbImage stars = StarField(160, 120, 11);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeGif(stars, bytes));
    const RgbImage decoded = Decode(bytes);
    ASSERT_TRUE(decoded.SameSize(stars));
    Slurped slurped;
    ASSERT_TRUE(Slurp(bytes, slurped));
    EXPECT_EQ(256, slurped.colourCount);
    EXPECT_TRUE(SamePixels(decoded, slurped.image));

    // The sky stays dark and nearly unchanged; every star keeps its colour
    // closely, though stars are a tiny share of the pixels.
    int worstStar = 0;
    int worstSky = 0;
    for (int y = 0; y < stars.Height(); ++y) {
        for (int x = 0; x < stars.Width(); ++x) {
            const std::vector<uint8_t> a = PixelAt(stars, x, y);
            const std::vector<uint8_t> b = PixelAt(decoded, x, y);
            int& worst = std::max({a[0], a[1], a[2]}) >= 80 ? worstStar : worstSky;
            for (size_t c = 0; c < 3; ++c) {
                worst = std::max(worst, std::abs(a[c] - b[c]));
            }
        }
    }
    EXPECT_LE(worstStar, 6);
    EXPECT_LE(worstSky, 6);
    EXPECT_LT(MeanChannelError(stars, decoded), 1.5);

    bytes.clear();
    const RgbImage noise = RandomImage(96, 64, 5);
    ASSERT_TRUE(EncodeGif(noise, bytes));
    EXPECT_LT(MeanChannelError(noise, Decode(bytes)), 10.5);
}

TEST(GifCodec, EncoderRefusesWhatGifCannotHold) {
    std::vector<uint8_t> out = {7};
    EXPECT_FALSE(EncodeGif(RgbImage(), out));
    EXPECT_FALSE(EncodeGif(SolidImage(65536, 1, 1, 2, 3), out));
    EXPECT_EQ(std::vector<uint8_t>{7}, out);
    // Appends to what the buffer holds.
    ASSERT_TRUE(EncodeGif(SolidImage(2, 2, 1, 2, 3), out));
    EXPECT_EQ(7, out[0]);
    EXPECT_EQ("GIF89a", std::string(out.begin() + 1, out.begin() + 7));
}

TEST(GifDecode, FirstFrameOfAnAnimation) {
    GifLayout layout{.width = 3, .height = 2, .globalMap = Greys(4, 80)};
    layout.frames.push_back({.width = 3, .height = 2, .indices = {0, 1, 2, 3, 2, 1}});
    layout.frames.push_back({.width = 3, .height = 2, .indices = {3, 3, 3, 3, 3, 3}});
    const RgbImage image = Decode(WriteGif(layout));
    ASSERT_EQ(3, image.Width());
    ASSERT_EQ(2, image.Height());
    const std::vector<int> expected = {0, 1, 2, 3, 2, 1};
    for (int i = 0; i < 6; ++i) {
        ExpectPixel(image, i % 3, i / 3, layout.globalMap[static_cast<size_t>(expected[i])]);
    }
}

TEST(GifDecode, FrameIsPlacedOnTheBackgroundAndClipped) {
    const std::vector<GifColorType> global = {{0, 0, 0}, {10, 20, 30}, {200, 100, 50}, {1, 2, 3}};
    const std::vector<GifColorType> local = {{255, 0, 0}, {0, 255, 0}};
    GifLayout layout{.width = 6, .height = 5, .globalMap = global, .background = 2};
    layout.frames.push_back({.left = 2,
                             .top = 1,
                             .width = 3,
                             .height = 2,
                             .indices = {0, 1, 0, 1, 1, 0},
                             .localMap = local});
    RgbImage image = Decode(WriteGif(layout));
    ASSERT_EQ(6, image.Width());
    ASSERT_EQ(5, image.Height());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            const GifColorType expected =
                inside ? local[layout.frames[0].indices[static_cast<size_t>((y - 1) * 3 + x - 2)]]
                       : global[2];
            ExpectPixel(image, x, y, expected);
        }
    }

    // A frame reaching past the screen is cut at its edges.
    layout.frames[0] = {
        .left = 4, .top = 3, .width = 4, .height = 4, .indices = std::vector<uint8_t>(16, 3)};
    image = Decode(WriteGif(layout));
    ASSERT_EQ(6, image.Width());
    ASSERT_EQ(5, image.Height());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            ExpectPixel(image, x, y, x >= 4 && y >= 3 ? global[3] : global[2]);
        }
    }

    // Without a global colour table the background is black.
    layout = {.width = 4, .height = 3};
    layout.frames.push_back(
        {.left = 1, .top = 1, .width = 1, .height = 1, .indices = {1}, .localMap = local});
    image = Decode(WriteGif(layout));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            ExpectPixel(image, x, y, x == 1 && y == 1 ? local[1] : GifColorType{0, 0, 0});
        }
    }
}

TEST(GifDecode, InterlacedRowsLandInPlace) {
    for (const int height : {1, 2, 5, 11, 17}) {
        SCOPED_TRACE(height);
        GifLayout layout{.width = 3, .height = height, .globalMap = Greys(32, 8)};
        Frame frame{.width = 3, .height = height, .interlaced = true};
        for (int y = 0; y < height; ++y) {
            frame.indices.insert(frame.indices.end(), 3, static_cast<uint8_t>(y));
        }
        layout.frames.push_back(frame);
        const RgbImage image = Decode(WriteGif(layout));
        ASSERT_EQ(height, image.Height());
        for (int y = 0; y < height; ++y) {
            ExpectPixel(image, 2, y, layout.globalMap[static_cast<size_t>(y)]);
        }
    }
}

TEST(GifDecode, TransparentPixelsShowTheBackground) {
    GifLayout layout{.width = 4, .height = 1, .globalMap = Greys(4, 60), .background = 1};
    layout.frames.push_back({.width = 4, .height = 1, .indices = {0, 3, 2, 3}, .transparent = 3});
    const RgbImage image = Decode(WriteGif(layout));
    ExpectPixel(image, 0, 0, layout.globalMap[0]);
    ExpectPixel(image, 1, 0, layout.globalMap[1]);
    ExpectPixel(image, 2, 0, layout.globalMap[2]);
    ExpectPixel(image, 3, 0, layout.globalMap[1]);
}

TEST(GifDecode, BadFilesFailBeforeAllocating) {
    GifLayout layout{.width = 20, .height = 10, .globalMap = Greys(16, 16)};
    Frame frame{.width = 20, .height = 10};
    std::mt19937 rng(2);
    for (int i = 0; i < 200; ++i) {
        frame.indices.push_back(static_cast<uint8_t>(rng() % 16));
    }
    layout.frames.push_back(frame);
    const std::vector<uint8_t> good = WriteGif(layout);
    ASSERT_EQ(';', good.back());
    RgbImage out;
    ASSERT_TRUE(DecodeGif(good.data(), good.size(), out));

    // Cut anywhere before the trailer: the first frame is incomplete.
    for (size_t length = 0; length + 1 < good.size(); ++length) {
        EXPECT_FALSE(DecodeGif(good.data(), length, out)) << "cut to " << length << " bytes";
    }

    // Refusals of the declared size happen before the picture is sized.
    out = RandomImage(3, 2, 1);
    const auto refused = [&out](GifLayout s) {
        const std::vector<uint8_t> bytes = WriteGif(std::move(s));
        return !DecodeGif(bytes.data(), bytes.size(), out) && out.Width() == 3 && out.Height() == 2;
    };
    const Frame dot{.width = 1, .height = 1, .indices = {1}};
    EXPECT_TRUE(refused({.width = 0, .height = 0, .globalMap = Greys(2, 1), .frames = {dot}}));
    EXPECT_TRUE(
        refused({.width = 65535, .height = 65535, .globalMap = Greys(2, 1), .frames = {dot}}));
    // Within the pixel limit, but a screen this size from a few dozen bytes
    // is no real picture.
    EXPECT_TRUE(
        refused({.width = 60000, .height = 8000, .globalMap = Greys(2, 1), .frames = {dot}}));
    // No image at all.
    EXPECT_TRUE(refused({.width = 2, .height = 2, .globalMap = Greys(2, 1)}));
    // A frame far larger than its data could encode.
    {
        std::vector<uint8_t> bytes =
            WriteGif({.width = 8, .height = 8, .globalMap = Greys(2, 1), .frames = {dot}});
        // Image descriptor: ',' left top width height flags; patch the width and height.
        const auto desc = std::find(bytes.begin() + 13 + 6, bytes.end(), ',');
        ASSERT_NE(bytes.end(), desc);
        const size_t at = static_cast<size_t>(desc - bytes.begin());
        bytes[at + 5] = 0xFF;
        bytes[at + 6] = 0xFF;
        bytes[at + 7] = 0xFF;
        bytes[at + 8] = 0xFF;
        EXPECT_FALSE(DecodeGif(bytes.data(), bytes.size(), out));
        EXPECT_EQ(3, out.Width());
    }
}

// A file without any colour table leaves the colours to the reader: the
// indices are grey levels.
TEST(GifDecode, WithoutAnyColourTableIndicesAreGreyLevels) {
    const Frame frame{.width = 4, .height = 2, .indices = {0, 1, 64, 128, 200, 254, 255, 7}};
    // giflib writes no file without a table: drop its global table afterwards.
    std::vector<uint8_t> bytes =
        WriteGif({.width = 4, .height = 2, .globalMap = Greys(256, 0), .frames = {frame}});
    ASSERT_EQ(0x80, bytes[10] & 0x80);
    const size_t tableBytes = size_t{3} << ((bytes[10] & 7) + 1);
    bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + static_cast<std::ptrdiff_t>(tableBytes));
    bytes[10] &= 0x7F;
    RgbImage out;
    ASSERT_TRUE(DecodeGif(bytes.data(), bytes.size(), out));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            const uint8_t v = frame.indices[static_cast<size_t>(y * 4 + x)];
            EXPECT_EQ(PixelAt(out, x, y), (std::vector<uint8_t>{v, v, v})) << x << "," << y;
        }
    }
}

TEST(GifLoad, FailuresLeaveTheDestinationAsItWas) {
    TempDir dir;
    std::vector<uint8_t> good;
    const RgbImage picture = PictureWithColours(30, 20, 50, 8);
    ASSERT_TRUE(EncodeGif(picture, good));
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"empty.gif", {}},
        {"header.gif", std::vector<uint8_t>(good.begin(), good.begin() + 13)},
        {"truncated.gif", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
    };
    const RgbImage before = RandomImage(7, 3, 77);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        WriteBytes(dir.File(name), bytes);
        RgbImage destination = before;
        EXPECT_FALSE(LoadImageFile(destination, dir.File(name)));
        EXPECT_TRUE(SamePixels(before, destination));
    }

    WriteBytes(dir.File("good.gif"), good);
    RgbImage destination = before;
    ASSERT_TRUE(LoadImageFile(destination, dir.File("good.gif")));
    EXPECT_TRUE(SamePixels(picture, destination));
}

}  // namespace
}  // namespace nocturo
