// The view's arithmetic: rounding, layout in zoom and stretch mode, pointer
// mapping and the texts of the readout and the zoom label.

#include <QTest>
#include <climits>
#include <cmath>
#include <limits>

#include "core/rgb_image.h"
#include "viewer/view_geometry.h"

using namespace nocturo;

namespace {

// A picture whose pixel (x, y) has red x, green y and blue x + y (mod 256).
RgbImage CoordinatePicture(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<uint8_t>(x + y);
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = static_cast<uint8_t>(x);
        }
    }
    return image;
}

}  // namespace

class ViewGeometryTest : public QObject {
    Q_OBJECT

  private slots:
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void roundingAgreesWithNearbyint();
    void zoomMode_data();
    void zoomMode();
    void stretchMode_data();
    void stretchMode();
    void stretchNeverGivesNegativeSizes();
    void modeSelectsTheArithmetic();
    void pointerMapsToPicturePixels_data();
    void pointerMapsToPicturePixels();
    void readsPixelsAndWhiteOutside();
    void readoutText();
    void zoomLabelText();
    void wheelZoomsByNotches();
    void zoomKeepsThePointUnderThePointer();
};

void ViewGeometryTest::roundsHalvesToEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5 down to even") << 2.5 << 2;
    QTest::newRow("3.5 up to even") << 3.5 << 4;
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-2.5") << -2.5 << -2;
    QTest::newRow("-3.5") << -3.5 << -4;
    QTest::newRow("just below half") << 2.4999999 << 2;
    QTest::newRow("just above half") << 2.5000001 << 3;
    QTest::newRow("negative just above half") << -2.5000001 << -3;
    QTest::newRow("whole") << 7.0 << 7;
    QTest::newRow("large") << 1e20 << INT_MAX;
    QTest::newRow("large negative") << -1e20 << INT_MIN;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << INT_MAX;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void ViewGeometryTest::roundsHalvesToEven() {
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(RoundHalfEven(value), expected);
}

void ViewGeometryTest::roundingAgreesWithNearbyint() {
    // Quarters and a few awkward fractions across signs: the same answers as
    // the platform's default rounding.
    for (int i = -4000; i <= 4000; ++i) {
        for (double value : {i / 4.0, i / 3.0, i * 0.1, i * 1.5 + 0.5}) {
            QCOMPARE(RoundHalfEven(value), static_cast<int>(std::nearbyint(value)));
        }
    }
}

void ViewGeometryTest::zoomMode_data() {
    QTest::addColumn<int>("pictureWidth");
    QTest::addColumn<int>("pictureHeight");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("zoom");
    QTest::newRow("1 %") << 4000 << 3000 << 1 << 40 << 30 << 0.01;
    QTest::newRow("1000 %") << 4000 << 3000 << 1000 << 40000 << 30000 << 10.0;
    QTest::newRow("100 %") << 640 << 480 << 100 << 640 << 480 << 1.0;
    QTest::newRow("position 0 is 100 %") << 640 << 480 << 0 << 640 << 480 << 1.0;
    QTest::newRow("negative position is 100 %") << 640 << 480 << -5 << 640 << 480 << 1.0;
    QTest::newRow("halves to even") << 5 << 7 << 50 << 2 << 4 << 0.5;
    QTest::newRow("empty image at 50 %") << 1 << 1 << 50 << 0 << 0 << 0.5;
    QTest::newRow("no pixels") << 0 << 0 << 300 << 0 << 0 << 3.0;
}

void ViewGeometryTest::zoomMode() {
    QFETCH(int, pictureWidth);
    QFETCH(int, pictureHeight);
    QFETCH(int, position);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, zoom);
    const ViewGeometry g = ZoomGeometry(pictureWidth, pictureHeight, position);
    QCOMPARE(g.left, 0);
    QCOMPARE(g.top, 0);
    QCOMPARE(g.width, width);
    QCOMPARE(g.height, height);
    QCOMPARE(g.zoom, zoom);
}

void ViewGeometryTest::stretchMode_data() {
    QTest::addColumn<int>("pictureWidth");
    QTest::addColumn<int>("pictureHeight");
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("zoom");
    // The empty image is enlarged to a square of side min(outer - 6), centred.
    QTest::newRow("empty image, wide box")
        << 1 << 1 << 406 << 306 << 52 << 2 << 300 << 300 << 300.0;
    QTest::newRow("empty image, tall box")
        << 1 << 1 << 206 << 506 << 2 << 152 << 200 << 200 << 200.0;
    // Large pictures are reduced, the tighter axis decides.
    QTest::newRow("reduced by width")
        << 6000 << 4000 << 1206 << 1006 << 2 << 102 << 1200 << 800 << 0.2;
    QTest::newRow("reduced by height")
        << 6000 << 4000 << 2006 << 806 << 402 << 2 << 1200 << 800 << 0.2;
    // (outer - 6 - w) / 2 at .5 rounds to even: 50.5 -> 50, 51.5 -> 52.
    QTest::newRow("left at 50.5") << 100 << 100 << 207 << 106 << 52 << 2 << 100 << 100 << 1.0;
    QTest::newRow("left at 51.5") << 100 << 100 << 209 << 106 << 54 << 2 << 100 << 100 << 1.0;
    QTest::newRow("top at 50.5") << 100 << 100 << 106 << 207 << 2 << 52 << 100 << 100 << 1.0;
    // Scaled sizes round half to even too: 5 * 1.5 = 7.5 -> 8, 3 * 1.5 = 4.5 -> 4.
    QTest::newRow("width 7.5") << 5 << 2 << 106 << 9 << 48 << 2 << 8 << 3 << 1.5;
    QTest::newRow("width 4.5") << 3 << 2 << 106 << 9 << 50 << 2 << 4 << 3 << 1.5;
    // An axis without pixels keeps a factor of 1 there; the other one decides.
    QTest::newRow("no width") << 0 << 100 << 406 << 306 << 202 << 102 << 0 << 100 << 1.0;
    QTest::newRow("no height") << 100 << 0 << 206 << 406 << 52 << 202 << 100 << 0 << 1.0;
    QTest::newRow("no pixels") << 0 << 0 << 406 << 306 << 202 << 152 << 0 << 0 << 1.0;
    // No room at all: a factor of 0 becomes 1.
    QTest::newRow("box of exactly the margin") << 10 << 10 << 6 << 6 << -3 << -3 << 10 << 10 << 1.0;
}

void ViewGeometryTest::stretchMode() {
    QFETCH(int, pictureWidth);
    QFETCH(int, pictureHeight);
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, zoom);
    const ViewGeometry g = StretchGeometry(pictureWidth, pictureHeight, outerWidth, outerHeight);
    QCOMPARE(g.left, left);
    QCOMPARE(g.top, top);
    QCOMPARE(g.width, width);
    QCOMPARE(g.height, height);
    QCOMPARE(g.zoom, zoom);
}

void ViewGeometryTest::stretchNeverGivesNegativeSizes() {
    // A box smaller than its margin (a window squeezed to nothing) would give a
    // negative factor: the control would get a negative size and the pointer
    // mapping would flip. It is shown at 100 % instead, centred.
    for (int outer : {0, 1, 5, -100, INT_MIN}) {
        const ViewGeometry g = StretchGeometry(400, 300, outer, outer);
        QCOMPARE(g.zoom, 1.0);
        QCOMPARE(g.width, 400);
        QCOMPARE(g.height, 300);
    }
    const ViewGeometry squeezed = StretchGeometry(400, 300, 4, 500);
    QCOMPARE(squeezed.zoom, 1.0);
    QCOMPARE(squeezed.left, -199);  // round((4 - 6 - 400) / 2) + 2
    // Huge outer sizes and pictures saturate instead of overflowing.
    const ViewGeometry huge = StretchGeometry(1, 1, INT_MAX, INT_MAX);
    QVERIFY(huge.width > 0);
    QVERIFY(huge.left >= 0);
}

void ViewGeometryTest::modeSelectsTheArithmetic() {
    const ViewGeometry stretched = ComputeViewGeometry(true, 4000, 3000, 806, 606, 1);
    QCOMPARE(stretched.width, 800);
    QCOMPARE(stretched.height, 600);
    QCOMPARE(stretched.left, 2);
    const ViewGeometry zoomed = ComputeViewGeometry(false, 4000, 3000, 806, 606, 1);
    QCOMPARE(zoomed.width, 40);
    QCOMPARE(zoomed.height, 30);
    QCOMPARE(zoomed.left, 0);
}

void ViewGeometryTest::pointerMapsToPicturePixels_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("100 %") << 12.0 << 340.0 << 1.0 << 12 << 340;
    QTest::newRow("300 % rounds up past the edge") << 299.0 << 10.0 << 3.0 << 100 << 3;
    QTest::newRow("200 % halves to even") << 5.0 << 7.0 << 2.0 << 2 << 4;
    QTest::newRow("20 %") << 101.0 << 0.0 << 0.2 << 505 << 0;
    QTest::newRow("left of the picture") << -7.0 << -1.0 << 2.0 << -4 << 0;
    QTest::newRow("zoom 0 taken as 1") << 9.0 << 9.0 << 0.0 << 9 << 9;
}

void ViewGeometryTest::pointerMapsToPicturePixels() {
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, zoom);
    QFETCH(int, px);
    QFETCH(int, py);
    const PicturePoint p = PointerToPicture(x, y, zoom);
    QCOMPARE(p.x, px);
    QCOMPARE(p.y, py);
}

void ViewGeometryTest::readsPixelsAndWhiteOutside() {
    const RgbImage picture = CoordinatePicture(100, 50);
    const PixelColour inside = ReadViewPixel(picture, 99, 49);
    QCOMPARE(inside.red, 99);
    QCOMPARE(inside.green, 49);
    QCOMPARE(inside.blue, 148);
    const PixelColour corner = ReadViewPixel(picture, 0, 0);
    QCOMPARE(corner.red, 0);
    QCOMPARE(corner.green, 0);
    QCOMPARE(corner.blue, 0);
    for (auto [x, y] : {std::pair{100, 0}, std::pair{0, 50}, std::pair{-1, 0}, std::pair{0, -1},
                        std::pair{INT_MAX, INT_MAX}, std::pair{INT_MIN, 3}}) {
        const PixelColour outside = ReadViewPixel(picture, x, y);
        QCOMPARE(outside.red, 255);
        QCOMPARE(outside.green, 255);
        QCOMPARE(outside.blue, 255);
    }
    RgbImage none;  // 0 x 0, no pixel memory at all
    QCOMPARE(ReadViewPixel(none, 0, 0).red, 255);

    // A 16-bit picture reads its 16-bit values, and 65535 outside.
    RgbImage wide;
    QVERIFY(WidenTo16(picture, wide));
    wide.Row16(49)[99 * 3 + 2] = 25443;
    QCOMPARE(ReadViewPixel(wide, 99, 49).red, 25443);
    QCOMPARE(ReadViewPixel(wide, 99, 49).blue, 148 * 257);
    QCOMPARE(ReadViewPixel(wide, 100, 0).green, 65535);
    QCOMPARE(PointerReadoutText(wide, 99, 49, 1.0),
             std::string("X0099/Y0049 - r25443/g12593/b38036//lum25357"));
}

void ViewGeometryTest::readoutText() {
    QCOMPARE(PixelReadoutText(12, 340, 255, 128, 0),
             std::string("X0012/Y0340 - r255/g128/b000//lum127"));
    QCOMPARE(PixelReadoutText(0, 0, 0, 0, 0), std::string("X0000/Y0000 - r000/g000/b000//lum000"));
    QCOMPARE(PixelReadoutText(12345, 7, 1, 2, 3),
             std::string("X12345/Y0007 - r001/g002/b003//lum002"));
    QCOMPARE(PixelReadoutText(-1, -12, 9, 9, 9),
             std::string("X-0001/Y-0012 - r009/g009/b009//lum009"));

    // At 300 % the pointer at X = 299 on a picture 100 wide maps to pixel 100,
    // outside the picture, which reads white.
    const RgbImage picture = CoordinatePicture(100, 100);
    QCOMPARE(PointerReadoutText(picture, 299, 30, 3.0),
             std::string("X0100/Y0010 - r255/g255/b255//lum255"));
    QCOMPARE(PointerReadoutText(picture, 30, 60, 3.0),
             std::string("X0010/Y0020 - r010/g020/b030//lum020"));
}

void ViewGeometryTest::zoomLabelText() {
    QCOMPARE(ZoomLabelText(50), std::string(" Z = 50% "));
    QCOMPARE(ZoomLabelText(100), std::string(" Z = 100% "));
    QCOMPARE(ZoomLabelText(1), std::string(" Z = 1% "));
    QCOMPARE(ZoomLabelText(1000), std::string(" Z = 1000% "));
}

void ViewGeometryTest::wheelZoomsByNotches() {
    const struct {
        int position, delta, expected;
    } cases[] = {
        {100, 120, 125}, {100, -120, 80}, {100, 240, 156},   {100, 15, 103},   {1, 120, 2},
        {2, -120, 1},    {1, -120, 1},    {1000, 120, 1000}, {900, 120, 1000}, {100, 0, 100},
        {5000, 0, 1000}, {-7, 120, 2},    {50, 1200, 466},   {3, -1, 2},
    };
    for (const auto& c : cases) {
        QCOMPARE(WheelZoomPosition(c.position, c.delta), c.expected);
    }
}

void ViewGeometryTest::zoomKeepsThePointUnderThePointer() {
    const struct {
        int px, py;
        ScrollPoint scroll;
        ViewGeometry before, after;
        int x, y;
    } cases[] = {
        // Zoom mode, the control at the origin: 1 -> 2 and 0.5 -> 1.
        {50, 40, {0, 0}, {0, 0, 100, 100, 1.0}, {0, 0, 200, 200, 2.0}, 50, 40},
        {50, 40, {30, 20}, {0, 0, 50, 50, 0.5}, {0, 0, 100, 100, 1.0}, 110, 80},
        // Zooming out past the origin scrolls no further than to it.
        {50, 40, {10, 10}, {0, 0, 100, 100, 1.0}, {0, 0, 50, 50, 0.5}, 0, 0},
        // From a centred stretch layout into zoom mode.
        {300, 220, {0, 0}, {100, 20, 500, 500, 0.5}, {0, 0, 600, 600, 0.6}, 0, 20},
        {300, 220, {0, 0}, {100, 20, 500, 500, 0.5}, {0, 0, 2000, 2000, 2.0}, 500, 580},
    };
    for (const auto& c : cases) {
        const ScrollPoint s = ScrollForZoomAbout(c.px, c.py, c.scroll, c.before, c.after);
        QCOMPARE(s.x, c.x);
        QCOMPARE(s.y, c.y);
    }
}

QTEST_APPLESS_MAIN(ViewGeometryTest)
#include "view_geometry_test.moc"
