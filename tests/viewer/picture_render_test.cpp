// Drawing a picture stretched to a size: hand-worked cases at the edges of the
// averaging and the nearest-pixel enlargement, and the fast renderer against a
// plain per-pixel reference over many sizes and partial areas.

#include <QTest>
#include <cstdint>
#include <random>
#include <vector>

#include "core/rgb_image.h"
#include "viewer/picture_render.h"

using namespace nocturo;

namespace {

constexpr uint32_t kUntouched = 0x12345678u;

RgbImage RandomPicture(int width, int height, uint32_t seed) {
    RgbImage image;
    image.Resize(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width * 3; ++x) {
            row[x] = static_cast<uint8_t>(random());
        }
    }
    return image;
}

void SetPixel(RgbImage& image, int x, int y, uint8_t red, uint8_t green, uint8_t blue) {
    uint8_t* p = image.Row(y) + x * 3;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

// The rule written out pixel by pixel: target pixel d covers source pixels
// [d*S/D, (d+1)*S/D), at least one; the rounded average of the block.
uint32_t ReferencePixel(const RgbImage& picture, int targetWidth, int targetHeight, int x, int y) {
    const int64_t w = picture.Width();
    const int64_t h = picture.Height();
    if (w == 0 || h == 0) {
        return 0xff000000u;
    }
    int64_t x0 = x * w / targetWidth;
    int64_t x1 = (x + 1) * w / targetWidth;
    int64_t y0 = y * h / targetHeight;
    int64_t y1 = (y + 1) * h / targetHeight;
    x1 = x1 > x0 ? x1 : x0 + 1;
    y1 = y1 > y0 ? y1 : y0 + 1;
    uint64_t sum[3] = {0, 0, 0};
    for (int64_t sy = y0; sy < y1; ++sy) {
        for (int64_t sx = x0; sx < x1; ++sx) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += picture.Depth() == 16 ? picture.Row16(static_cast<int>(sy))[sx * 3 + c]
                                                : picture.Row(static_cast<int>(sy))[sx * 3 + c];
            }
        }
    }
    const uint64_t count = static_cast<uint64_t>((x1 - x0) * (y1 - y0));
    uint32_t pixel = 0xff000000u;
    for (int c = 0; c < 3; ++c) {
        // A 16-bit average is narrowed to the nearest 8-bit value.
        const uint64_t mean = (sum[c] + count / 2) / count;
        const uint32_t shown = picture.Depth() == 16 ? Narrow16(static_cast<uint16_t>(mean))
                                                     : static_cast<uint32_t>(mean);
        pixel |= shown << (8 * c);
    }
    return pixel;
}

std::vector<uint32_t> RenderAll(ScaledRenderer& renderer, const RgbImage& picture, int width,
                                int height) {
    std::vector<uint32_t> out(static_cast<size_t>(width) * height, kUntouched);
    renderer.Render(picture, width, height, 0, 0, width, height, out.data(), width);
    return out;
}

}  // namespace

class PictureRenderTest : public QObject {
    Q_OBJECT

  private slots:
    void averagesBlocksWhenReduced();
    void thinLinesStayVisibleDimmed();
    void unevenSpansAverageTheirOwnPixels();
    void enlargesWithSharpNearestPixels();
    void mixesAveragingAndEnlargementPerAxis();
    void tallBlocksDoNotOverflow();
    void hugeBlocksDoNotOverflow();
    void matchesTheReference();
    void partialAreasMatchTheWhole();
    void clipsToTheTarget();
    void pictureWithoutPixelsIsBlack();
};

void PictureRenderTest::averagesBlocksWhenReduced() {
    // 4 x 4 into 2 x 2: each target pixel is its 2 x 2 block, rounded.
    RgbImage picture;
    picture.Resize(4, 4);
    FillImage(picture, 0, 0, 0);
    SetPixel(picture, 0, 0, 100, 0, 255);
    SetPixel(picture, 1, 0, 101, 0, 255);
    SetPixel(picture, 0, 1, 102, 0, 255);
    SetPixel(picture, 1, 1, 103, 3, 255);  // red 406 / 4 = 101.5 -> 102; green 3 / 4 -> 1
    SetPixel(picture, 3, 3, 255, 255, 255);
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 2, 2);
    QCOMPARE(out[0], PackScreenPixel(102, 1, 255));
    QCOMPARE(out[1], PackScreenPixel(0, 0, 0));
    QCOMPARE(out[2], PackScreenPixel(0, 0, 0));
    QCOMPARE(out[3], PackScreenPixel(64, 64, 64));  // 255 / 4 = 63.75
}

void PictureRenderTest::thinLinesStayVisibleDimmed() {
    // A one-pixel white column and row in a black 100 x 100 picture shown at
    // 10 x 10: each block holds 10 white pixels of 100.
    RgbImage picture;
    picture.Resize(100, 100);
    FillImage(picture, 0, 0, 0);
    for (int i = 0; i < 100; ++i) {
        SetPixel(picture, 37, i, 255, 255, 255);
        SetPixel(picture, i, 81, 255, 255, 255);
    }
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 10, 10);
    const uint32_t dimmed = PackScreenPixel(26, 26, 26);  // (2550 + 50) / 100
    QCOMPARE(out[0 * 10 + 3], dimmed);
    QCOMPARE(out[5 * 10 + 3], dimmed);
    QCOMPARE(out[8 * 10 + 0], dimmed);
    QCOMPARE(out[8 * 10 + 9], dimmed);
    QCOMPARE(out[8 * 10 + 3], PackScreenPixel(48, 48, 48));  // 19 white: (4845 + 50) / 100
    QCOMPARE(out[0], PackScreenPixel(0, 0, 0));
    QCOMPARE(out[9 * 10 + 9], PackScreenPixel(0, 0, 0));
}

void PictureRenderTest::unevenSpansAverageTheirOwnPixels() {
    // 5 columns into 2: spans [0, 2) and [2, 5), every source pixel used once.
    RgbImage picture;
    picture.Resize(5, 1);
    const uint8_t values[5] = {10, 20, 30, 40, 50};
    for (int x = 0; x < 5; ++x) {
        SetPixel(picture, x, 0, values[x], 0, 0);
    }
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 2, 1);
    QCOMPARE(out[0], PackScreenPixel(15, 0, 0));
    QCOMPARE(out[1], PackScreenPixel(40, 0, 0));
}

void PictureRenderTest::enlargesWithSharpNearestPixels() {
    // Red, green, blue shown 30 x 10: three sharp 10-pixel bands, no blending
    // at the edges.
    RgbImage picture;
    picture.Resize(3, 1);
    SetPixel(picture, 0, 0, 255, 0, 0);
    SetPixel(picture, 1, 0, 0, 255, 0);
    SetPixel(picture, 2, 0, 0, 0, 255);
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 30, 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 30; ++x) {
            const uint32_t expected = x < 10   ? PackScreenPixel(255, 0, 0)
                                      : x < 20 ? PackScreenPixel(0, 255, 0)
                                               : PackScreenPixel(0, 0, 255);
            QCOMPARE(out[static_cast<size_t>(y) * 30 + x], expected);
        }
    }
    // A single pixel fills any target.
    RgbImage one;
    ClearImage(&one);
    SetPixel(one, 0, 0, 1, 2, 3);
    const std::vector<uint32_t> square = RenderAll(renderer, one, 7, 5);
    for (uint32_t pixel : square) {
        QCOMPARE(pixel, PackScreenPixel(1, 2, 3));
    }
}

void PictureRenderTest::mixesAveragingAndEnlargementPerAxis() {
    // 4 x 1 shown 2 x 3: columns pairs averaged, the one row repeated.
    RgbImage picture;
    picture.Resize(4, 1);
    SetPixel(picture, 0, 0, 0, 0, 0);
    SetPixel(picture, 1, 0, 200, 0, 0);
    SetPixel(picture, 2, 0, 0, 50, 0);
    SetPixel(picture, 3, 0, 0, 51, 0);
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 2, 3);
    for (int y = 0; y < 3; ++y) {
        QCOMPARE(out[y * 2 + 0], PackScreenPixel(100, 0, 0));
        QCOMPARE(out[y * 2 + 1], PackScreenPixel(0, 51, 0));  // 50.5 -> 51
    }
}

void PictureRenderTest::tallBlocksDoNotOverflow() {
    // 300 rows per target pixel: more than a 16-bit column sum holds.
    RgbImage picture;
    picture.Resize(3, 600);
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 3; ++x) {
            const uint8_t v = y % 2 == 0 ? 255 : 0;
            SetPixel(picture, x, y, v, 255, 0);
        }
    }
    ScaledRenderer renderer;
    const std::vector<uint32_t> out = RenderAll(renderer, picture, 3, 2);
    for (uint32_t pixel : out) {
        QCOMPARE(pixel, PackScreenPixel(128, 255, 0));  // 127.5 -> 128
    }
}

void PictureRenderTest::hugeBlocksDoNotOverflow() {
    // A whole picture of more than 2^24 white pixels into one: 255 times the
    // count is beyond 32 bits.
    RgbImage picture;
    QVERIFY(picture.Resize(4097, 4097));
    FillImage(picture, 255, 255, 255);
    SetPixel(picture, 0, 0, 0, 0, 0);
    ScaledRenderer renderer;
    uint32_t out = kUntouched;
    renderer.Render(picture, 1, 1, 0, 0, 1, 1, &out, 1);
    QCOMPARE(out, PackScreenPixel(255, 255, 255));
}

void PictureRenderTest::matchesTheReference() {
    struct Case {
        int sourceWidth, sourceHeight, targetWidth, targetHeight;
    };
    const Case cases[] = {
        {64, 48, 64, 48}, {64, 48, 16, 12},  {67, 41, 13, 7},    {67, 41, 200, 123},
        {7, 5, 64, 37},   {300, 20, 41, 90}, {20, 300, 90, 41},  {1, 1, 33, 17},
        {257, 3, 1, 1},   {3, 700, 2, 3},    {101, 99, 100, 98}, {99, 101, 100, 102},
    };
    ScaledRenderer renderer;
    uint32_t seed = 1;
    for (const Case& c : cases) {
        for (int depth : {8, 16}) {
            RgbImage picture = RandomPicture(c.sourceWidth, c.sourceHeight, seed++);
            if (depth == 16) {
                // Every 16-bit value: the low byte from another draw.
                const RgbImage low = RandomPicture(c.sourceWidth, c.sourceHeight, seed++);
                WidenTo16(picture, picture);
                for (int y = 0; y < picture.Height(); ++y) {
                    for (int x = 0; x < picture.Width() * 3; ++x) {
                        picture.Row16(y)[x] =
                            static_cast<uint16_t>((picture.Row16(y)[x] & 0xff00) | low.Row(y)[x]);
                    }
                }
            }
            const std::vector<uint32_t> out =
                RenderAll(renderer, picture, c.targetWidth, c.targetHeight);
            for (int y = 0; y < c.targetHeight; ++y) {
                for (int x = 0; x < c.targetWidth; ++x) {
                    const uint32_t expected =
                        ReferencePixel(picture, c.targetWidth, c.targetHeight, x, y);
                    if (out[static_cast<size_t>(y) * c.targetWidth + x] != expected) {
                        QFAIL(qPrintable(QStringLiteral("%1x%2 -> %3x%4 differs at (%5, %6)")
                                             .arg(c.sourceWidth)
                                             .arg(c.sourceHeight)
                                             .arg(c.targetWidth)
                                             .arg(c.targetHeight)
                                             .arg(x)
                                             .arg(y)));
                    }
                }
            }
        }
    }
}

void PictureRenderTest::partialAreasMatchTheWhole() {
    // The control renders exposed rectangles one at a time and pieces them
    // together: any rectangle must equal the same part of a full rendering.
    std::mt19937 random(7);
    ScaledRenderer renderer;
    ScaledRenderer partRenderer;
    const int sizes[][4] = {{120, 90, 37, 29}, {37, 29, 333, 250}, {120, 90, 500, 40}};
    for (const auto& s : sizes) {
        const RgbImage picture = RandomPicture(s[0], s[1], random());
        const int tw = s[2];
        const int th = s[3];
        const std::vector<uint32_t> whole = RenderAll(renderer, picture, tw, th);
        for (int round = 0; round < 40; ++round) {
            const int x = static_cast<int>(random() % tw);
            const int y = static_cast<int>(random() % th);
            const int w = 1 + static_cast<int>(random() % (tw - x));
            const int h = 1 + static_cast<int>(random() % (th - y));
            std::vector<uint32_t> part(static_cast<size_t>(w) * h, kUntouched);
            partRenderer.Render(picture, tw, th, x, y, w, h, part.data(), w);
            for (int j = 0; j < h; ++j) {
                for (int i = 0; i < w; ++i) {
                    QCOMPARE(part[static_cast<size_t>(j) * w + i],
                             whole[static_cast<size_t>(y + j) * tw + x + i]);
                }
            }
        }
    }
}

void PictureRenderTest::clipsToTheTarget() {
    // An area hanging over every edge of a 4 x 3 target: only the target's own
    // pixels are written, each at its place in the area.
    const RgbImage picture = RandomPicture(8, 6, 3);
    ScaledRenderer renderer;
    const std::vector<uint32_t> whole = RenderAll(renderer, picture, 4, 3);
    std::vector<uint32_t> area(static_cast<size_t>(8) * 7, kUntouched);  // stride 8
    renderer.Render(picture, 4, 3, -2, -3, 7, 7, area.data(), 8);
    for (int j = 0; j < 7; ++j) {
        for (int i = 0; i < 8; ++i) {
            const int x = i - 2;
            const int y = j - 3;
            const bool inside = i < 7 && x >= 0 && x < 4 && y >= 0 && y < 3;
            const uint32_t expected = inside ? whole[static_cast<size_t>(y) * 4 + x] : kUntouched;
            QCOMPARE(area[static_cast<size_t>(j) * 8 + i], expected);
        }
    }
    // Areas wholly outside, empty areas and empty targets write nothing.
    uint32_t pixel = kUntouched;
    renderer.Render(picture, 4, 3, 4, 0, 1, 1, &pixel, 1);
    renderer.Render(picture, 4, 3, 0, -1, 1, 1, &pixel, 1);
    renderer.Render(picture, 4, 3, 0, 0, 0, 1, &pixel, 1);
    renderer.Render(picture, 0, 3, 0, 0, 1, 1, &pixel, 1);
    renderer.Render(picture, 4, 3, 0, 0, 1, 1, nullptr, 1);
    QCOMPARE(pixel, kUntouched);
}

void PictureRenderTest::pictureWithoutPixelsIsBlack() {
    RgbImage none;  // 0 x 0
    ScaledRenderer renderer;
    for (uint32_t pixel : RenderAll(renderer, none, 5, 4)) {
        QCOMPARE(pixel, PackScreenPixel(0, 0, 0));
    }
    RgbImage empty;
    ClearImage(&empty);  // the empty image: one black pixel
    for (uint32_t pixel : RenderAll(renderer, empty, 3, 3)) {
        QCOMPARE(pixel, PackScreenPixel(0, 0, 0));
    }
}

QTEST_APPLESS_MAIN(PictureRenderTest)
#include "picture_render_test.moc"
