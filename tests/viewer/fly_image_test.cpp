// The picture control and its scroll box as the main window uses them: what
// they draw, what pointer events they report, and where the layout puts them.

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "core/rgb_image.h"
#include "viewer/fly_image.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"
#include "viewer/view_layout.h"

using namespace nocturo;

namespace {

void SetPixel(RgbImage& image, int x, int y, QRgb colour) {
    uint8_t* p = image.Row(y) + x * 3;
    p[0] = static_cast<uint8_t>(qBlue(colour));
    p[1] = static_cast<uint8_t>(qGreen(colour));
    p[2] = static_cast<uint8_t>(qRed(colour));
}

// Pixel (x, y) has red x, green y, blue (x * 7 + y * 3) mod 256: every pixel
// of a small picture tells where it came from.
RgbImage CoordinatePicture(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            SetPixel(image, x, y, qRgb(x % 256, y % 256, (x * 7 + y * 3) % 256));
        }
    }
    return image;
}

QRgb PictureColour(const RgbImage& image, int x, int y) {
    const uint8_t* p = image.Row(y) + x * 3;
    return qRgb(p[2], p[1], p[0]);
}

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Colour at (x, y) of a grabbed widget, alpha dropped.
QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xff000000u;
}

QString Hex(QRgb colour) {
    return QString::number(colour & 0xffffffu, 16);
}

}  // namespace

class FlyImageTest : public QObject {
    Q_OBJECT

  private slots:
    void startsWithTheEmptyPicture();
    void drawsThePictureStretchedToItsBounds();
    void reducedPictureShowsAveragedBlocks();
    void enlargedPictureShowsSharpPixels();
    void repaintsShowChangedPixels();
    void rapidChangesAreSpacedButTheLastIsPainted();
    void notifiesEnterAndLeaveOnlyWhenSet();
    void reportsMouseMovesAndPresses();
    void reportsClicks();
    void dragReportsPanningInsteadOfAClick();
    void zoomLayoutScrollsALargePicture();
    void scrolledViewShowsTheRightPixels();
    void stretchLayoutCentresThePicture();
    void switchingModesKeepsNoScrollState();
};

void FlyImageTest::startsWithTheEmptyPicture() {
    tFlyImage image;
    QVERIFY(image.Picture().IsEmptyImage());
    QCOMPARE(image.PictureFormat(), int{kPixelFormat24});
    QVERIFY(!image.onMouseEnter);
    QVERIFY(!image.onMouseLeave);
    QVERIFY(image.hasMouseTracking());

    // ShowPicture copies, keeping size and format code, and keeps no reference.
    auto source = std::make_unique<RgbImage>(CoordinatePicture(7, 5));
    source->SetFormat(kPixelFormat8);
    image.ShowPicture(source.get());
    source.reset();
    QCOMPARE(image.Picture().Width(), 7);
    QCOMPARE(image.Picture().Height(), 5);
    QCOMPARE(image.PictureFormat(), int{kPixelFormat8});
    QCOMPARE(PictureColour(image.Picture(), 6, 4), qRgb(6, 4, 54));
    image.ShowPicture(nullptr);
    QVERIFY(image.Picture().IsEmptyImage());
}

void FlyImageTest::drawsThePictureStretchedToItsBounds() {
    RgbImage picture;
    picture.Resize(2, 2);
    SetPixel(picture, 0, 0, qRgb(255, 0, 0));
    SetPixel(picture, 1, 0, qRgb(0, 255, 0));
    SetPixel(picture, 0, 1, qRgb(0, 0, 255));
    SetPixel(picture, 1, 1, qRgb(255, 255, 0));
    tFlyImage image;
    image.ShowPicture(&picture);
    image.resize(200, 200);
    const QImage shot = Grab(image);
    QCOMPARE(shot.size(), QSize(200, 200));
    struct Quadrant {
        int x0, y0;
        QRgb colour;
    };
    for (const Quadrant& q :
         {Quadrant{0, 0, qRgb(255, 0, 0)}, Quadrant{100, 0, qRgb(0, 255, 0)},
          Quadrant{0, 100, qRgb(0, 0, 255)}, Quadrant{100, 100, qRgb(255, 255, 0)}}) {
        for (int y = q.y0; y < q.y0 + 100; y += 11) {
            for (int x = q.x0; x < q.x0 + 100; x += 11) {
                QCOMPARE(Hex(At(shot, x, y)), Hex(q.colour));
            }
        }
        // The quadrant's own corners: no blending at the edges.
        QCOMPARE(Hex(At(shot, q.x0 + 99, q.y0 + 99)), Hex(q.colour));
        QCOMPARE(Hex(At(shot, q.x0, q.y0)), Hex(q.colour));
    }

    // Resized, it follows its new bounds.
    image.resize(60, 20);
    const QImage wide = Grab(image);
    QCOMPARE(Hex(At(wide, 29, 9)), Hex(qRgb(255, 0, 0)));
    QCOMPARE(Hex(At(wide, 30, 9)), Hex(qRgb(0, 255, 0)));
    QCOMPARE(Hex(At(wide, 30, 10)), Hex(qRgb(255, 255, 0)));
}

void FlyImageTest::reducedPictureShowsAveragedBlocks() {
    // 400 x 400: the left half dark grey with a one-pixel white line every
    // 40 columns, the right half alternating red and blue columns.
    RgbImage picture;
    picture.Resize(400, 400);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            QRgb c = qRgb(40, 40, 40);
            if (x >= 200) {
                c = x % 2 == 0 ? qRgb(200, 0, 0) : qRgb(0, 0, 100);
            } else if (x % 40 == 5) {
                c = qRgb(255, 255, 255);
            }
            SetPixel(picture, x, y, c);
        }
    }
    tFlyImage image;
    image.ShowPicture(&picture);
    image.resize(40, 40);  // blocks of 10 x 10
    const QImage shot = Grab(image);
    for (int y = 0; y < 40; y += 13) {
        // Blocks with a line: 9 columns of 40 and one of 255 -> 61.5 -> 62.
        QCOMPARE(Hex(At(shot, 0, y)), Hex(qRgb(62, 62, 62)));
        QCOMPARE(Hex(At(shot, 4, y)), Hex(qRgb(62, 62, 62)));
        // Blocks without a line keep their grey.
        QCOMPARE(Hex(At(shot, 1, y)), Hex(qRgb(40, 40, 40)));
        // Red and blue columns mix to their average.
        QCOMPARE(Hex(At(shot, 20, y)), Hex(qRgb(100, 0, 50)));
        QCOMPARE(Hex(At(shot, 39, y)), Hex(qRgb(100, 0, 50)));
    }
}

void FlyImageTest::enlargedPictureShowsSharpPixels() {
    const RgbImage picture = CoordinatePicture(5, 4);
    tFlyImage image;
    image.ShowPicture(&picture);
    image.resize(50, 40);  // 10 x 10 squares
    const QImage shot = Grab(image);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            QCOMPARE(Hex(At(shot, x, y)), Hex(PictureColour(picture, x / 10, y / 10)));
        }
    }
}

void FlyImageTest::repaintsShowChangedPixels() {
    RgbImage picture;
    picture.Resize(4, 4);
    FillImage(picture, 0, 0, 255);  // red
    tFlyImage image;
    image.ShowPicture(&picture);
    image.resize(40, 40);
    QCOMPARE(Hex(At(Grab(image), 5, 5)), Hex(qRgb(255, 0, 0)));

    // A plain repaint reuses what was rendered: pixels changed behind the
    // control's back do not show...
    FillImage(image.Picture(), 255, 0, 0);  // blue
    QCOMPARE(Hex(At(Grab(image), 5, 5)), Hex(qRgb(255, 0, 0)));
    // ...until the control is told.
    image.PictureChanged();
    QCOMPARE(Hex(At(Grab(image), 5, 5)), Hex(qRgb(0, 0, 255)));

    // A new picture of another size shows at once, stretched like the first.
    const RgbImage coordinates = CoordinatePicture(2, 2);
    image.ShowPicture(&coordinates);
    const QImage shot = Grab(image);
    QCOMPARE(Hex(At(shot, 39, 39)), Hex(PictureColour(coordinates, 1, 1)));
    QCOMPARE(Hex(At(shot, 0, 39)), Hex(PictureColour(coordinates, 0, 1)));

    // Cleared, the control is black.
    image.ShowPicture(nullptr);
    const QImage black = Grab(image);
    QCOMPARE(Hex(At(black, 0, 0)), Hex(qRgb(0, 0, 0)));
    QCOMPARE(Hex(At(black, 39, 39)), Hex(qRgb(0, 0, 0)));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void FlyImageTest::rapidChangesAreSpacedButTheLastIsPainted() {
    tFlyImage image;
    image.resize(60, 40);
    image.show();
    QVERIFY(QTest::qWaitForWindowExposed(&image));
    PaintCounter counter;
    image.installEventFilter(&counter);

    // Twenty pictures as fast as a run of small frames delivers them, with
    // events let through after each as the run does.
    RgbImage picture;
    picture.Resize(6, 4);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i) {
        FillImage(picture, 0, static_cast<uint8_t>(i * 10), 0);
        image.ShowPicture(&picture);
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    // At most one paint per 40 ms, and one more for the start.
    QVERIFY2(counter.paints <= 2 + elapsed / 40, qPrintable(QString::number(counter.paints)));

    // A change right after a paint is held back, but still reaches the
    // screen without any further change or event from outside.
    QTest::qWait(60);
    image.ShowPicture(&picture);
    QCoreApplication::processEvents();
    const int afterFirst = counter.paints;
    FillImage(picture, 0, 0, 250);
    image.ShowPicture(&picture);
    QCoreApplication::processEvents();
    QTRY_VERIFY(counter.paints > afterFirst);
    QCOMPARE(Hex(At(Grab(image), 30, 20)), Hex(qRgb(250, 0, 0)));
}

void FlyImageTest::notifiesEnterAndLeaveOnlyWhenSet() {
    tFlyImage image;
    image.resize(20, 20);
    QEnterEvent enter(QPointF(3, 4), QPointF(3, 4), QPointF(3, 4));
    QEvent leave(QEvent::Leave);

    // Cleared slots: the events pass without a call (and without a crash).
    QApplication::sendEvent(&image, &enter);
    QApplication::sendEvent(&image, &leave);

    int entered = 0;
    int left = 0;
    image.onMouseEnter = [&] { ++entered; };
    image.onMouseLeave = [&] { ++left; };
    QApplication::sendEvent(&image, &enter);
    QCOMPARE(entered, 1);
    QCOMPARE(left, 0);
    QApplication::sendEvent(&image, &leave);
    QCOMPARE(entered, 1);
    QCOMPARE(left, 1);

    // A handler may clear its own slot while it runs.
    image.onMouseEnter = [&] {
        ++entered;
        image.onMouseEnter = nullptr;
    };
    QApplication::sendEvent(&image, &enter);
    QApplication::sendEvent(&image, &enter);
    QCOMPARE(entered, 2);

    image.onMouseLeave = nullptr;
    QApplication::sendEvent(&image, &leave);
    QCOMPARE(left, 1);
}

void FlyImageTest::reportsMouseMovesAndPresses() {
    QWidget window;
    window.resize(300, 200);
    tFlyImage image(&window);
    image.setGeometry(40, 30, 200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QSignalSpy moves(&image, &tFlyImage::mouseMoved);
    QSignalSpy presses(&image, &tFlyImage::mousePressed);

    // A move without a button is reported (mouse tracking), in the control's
    // own coordinates.
    QTest::mouseMove(&image, QPoint(17, 23));
    QVERIFY(moves.count() >= 1);
    QList<QVariant> last = moves.takeLast();
    QCOMPARE(last.at(2).toInt(), 17);
    QCOMPARE(last.at(3).toInt(), 23);

    // Modifiers and held buttons travel with the move.
    QMouseEvent shiftMove(QEvent::MouseMove, QPointF(5, 6), image.mapToGlobal(QPointF(5, 6)),
                          Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&image, &shiftMove);
    last = moves.takeLast();
    QCOMPARE(last.at(0).value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::LeftButton));
    QCOMPARE(last.at(1).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(last.at(2).toInt(), 5);
    QCOMPARE(last.at(3).toInt(), 6);

    // Every button is reported with its modifiers and position.
    QTest::mousePress(&image, Qt::RightButton, Qt::ShiftModifier, QPoint(150, 90));
    QTest::mouseRelease(&image, Qt::RightButton, Qt::ShiftModifier, QPoint(150, 90));
    QTest::mousePress(&image, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier, QPoint(0, 99));
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, QPoint(0, 99));
    QCOMPARE(presses.count(), 2);
    QCOMPARE(presses.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    QCOMPARE(presses.at(0).at(1).value<Qt::KeyboardModifiers>(),
             Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(presses.at(0).at(2).toInt(), 150);
    QCOMPARE(presses.at(0).at(3).toInt(), 90);
    QCOMPARE(presses.at(1).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(presses.at(1).at(1).value<Qt::KeyboardModifiers>(),
             Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier));
    QCOMPARE(presses.at(1).at(2).toInt(), 0);
    QCOMPARE(presses.at(1).at(3).toInt(), 99);
}

void FlyImageTest::reportsClicks() {
    QWidget window;
    window.resize(300, 200);
    tFlyImage image(&window);
    image.setGeometry(10, 10, 100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(&image, &tFlyImage::clicked);

    QTest::mouseClick(&image, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(&image, Qt::LeftButton, Qt::ShiftModifier, QPoint(1, 1));
    QCOMPARE(clicks.count(), 2);
    // Other buttons do not click.
    QTest::mouseClick(&image, Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
    QCOMPARE(clicks.count(), 2);
    // Pressed on the control but released away from it: no click.
    QTest::mousePress(&image, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, QPoint(150, 50));
    QCOMPARE(clicks.count(), 2);
    // A release without a press on the control: no click.
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QCOMPARE(clicks.count(), 2);
}

void FlyImageTest::dragReportsPanningInsteadOfAClick() {
    QWidget window;
    window.resize(300, 200);
    tFlyImage image(&window);
    image.setGeometry(10, 10, 200, 150);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy drags(&image, &tFlyImage::dragged);
    QSignalSpy presses(&image, &tFlyImage::mousePressed);
    QSignalSpy clicks(&image, &tFlyImage::clicked);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), image.mapToGlobal(QPointF(at)), button, held,
                          Qt::ShiftModifier);
        QApplication::sendEvent(&image, &event);
    };
    const int slack = QApplication::startDragDistance() - 1;

    // Moving less than the drag distance is still a click, at the press's place.
    send(QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {50 + slack, 50}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {50 + slack, 50}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(drags.count(), 0);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(presses.count(), 1);
    QCOMPARE(presses.at(0).at(2).toInt(), 50);

    // A drag reports the travel reversed, move by move, and no click.
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {70, 90}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {60, 95}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {60, 95}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(drags.count(), 2);
    QCOMPARE(drags.at(0).at(0).toInt(), 30);
    QCOMPARE(drags.at(0).at(1).toInt(), 10);
    QCOMPARE(drags.at(1).at(0).toInt(), 10);
    QCOMPARE(drags.at(1).at(1).toInt(), -5);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(presses.count(), 1);
    QVERIFY(!image.testAttribute(Qt::WA_SetCursor));

    // Any button drags; moves without a button never do.
    send(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {100, 100}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {100, 140}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, {100, 140}, Qt::RightButton, Qt::NoButton);
    QCOMPARE(drags.count(), 3);
    QCOMPARE(drags.at(2).at(1).toInt(), -40);
    QCOMPARE(presses.count(), 1);

    // A second button during a press is ignored; a press whose release went
    // elsewhere gives way to the next one.
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonPress, {90, 90}, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    send(QEvent::MouseButtonPress, {20, 20}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {20, 20}, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(presses.count(), 2);
    QCOMPARE(presses.at(1).at(2).toInt(), 20);
}

void FlyImageTest::zoomLayoutScrollsALargePicture() {
    ScrollBox box;
    box.setObjectName("ScrollBox1");
    box.resize(300, 200);
    auto* image = new tFlyImage;
    const RgbImage picture = CoordinatePicture(100, 80);
    image->ShowPicture(&picture);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    const double zoom = ApplyViewLayout(box, *image, false, 1000);
    QCOMPARE(zoom, 10.0);
    QCOMPARE(image->parentWidget(), box.viewport());
    QCOMPARE(box.ChildRect(), QRect(0, 0, 1000, 800));
    QCOMPARE(image->size(), QSize(1000, 800));
    QTRY_VERIFY(box.horizontalScrollBar()->isVisible());
    QTRY_VERIFY(box.verticalScrollBar()->isVisible());
    const QSize room = box.viewport()->size();
    QCOMPARE(box.horizontalScrollBar()->maximum(), 1000 - room.width());
    QCOMPARE(box.verticalScrollBar()->maximum(), 800 - room.height());
    QCOMPARE(box.horizontalScrollBar()->pageStep(), room.width());

    // Scrolling moves the child.
    box.horizontalScrollBar()->setValue(250);
    box.verticalScrollBar()->setValue(120);
    QCOMPARE(image->pos(), QPoint(-250, -120));
    QCOMPARE(box.ScrollPosition(), QPoint(250, 120));
    // Beyond the end the scroll bar stops at the child's edge.
    box.horizontalScrollBar()->setValue(5000);
    QCOMPARE(image->x(), room.width() - 1000);

    // A smaller zoom shrinks the range and pulls the child back into view.
    QCOMPARE(ApplyViewLayout(box, *image, false, 100), 1.0);
    QCOMPARE(image->geometry(), QRect(0, 0, 100, 80));
    QTRY_VERIFY(!box.horizontalScrollBar()->isVisible());
    QTRY_VERIFY(!box.verticalScrollBar()->isVisible());
    QCOMPARE(box.ScrollPosition(), QPoint(0, 0));

    // The pointer mapping of the readout uses the returned zoom.
    QCOMPARE(ApplyViewLayout(box, *image, false, 300), 3.0);
    QCOMPARE(PointerReadoutText(image->Picture(), 299, 30, 3.0),
             std::string("X0100/Y0010 - r255/g255/b255//lum255"));
}

void FlyImageTest::scrolledViewShowsTheRightPixels() {
    // 200 x 150 at 300 % in a box that shows a part of it: after a first paint
    // and a scroll in both directions, every visible pixel is the picture pixel
    // under it (the kept part and the newly rendered strip fit together).
    ScrollBox box;
    box.resize(260, 190);
    tFlyImage image;
    const RgbImage picture = CoordinatePicture(200, 150);
    image.ShowPicture(&picture);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    ApplyViewLayout(box, image, false, 300);
    QTRY_VERIFY(box.horizontalScrollBar()->isVisible());

    const QPoint scrolls[] = {QPoint(0, 0), QPoint(123, 77), QPoint(100, 90), QPoint(340, 5)};
    for (const QPoint& scroll : scrolls) {
        box.horizontalScrollBar()->setValue(scroll.x());
        box.verticalScrollBar()->setValue(scroll.y());
        QCOMPARE(box.ScrollPosition(), scroll);
        const QImage shot = Grab(*box.viewport());
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const int px = (x + scroll.x()) / 3;
                const int py = (y + scroll.y()) / 3;
                if (At(shot, x, y) != PictureColour(picture, px, py)) {
                    QFAIL(qPrintable(QStringLiteral("scrolled to (%1, %2): pixel (%3, %4) is %5")
                                         .arg(scroll.x())
                                         .arg(scroll.y())
                                         .arg(x)
                                         .arg(y)
                                         .arg(Hex(At(shot, x, y)))));
                }
            }
        }
    }
}

void FlyImageTest::stretchLayoutCentresThePicture() {
    // The empty image in stretch mode: a black square of side
    // min(outer width - 6, outer height - 6), centred.
    ScrollBox box;
    box.resize(406, 306);
    tFlyImage image;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const double zoom = ApplyViewLayout(box, image, true, 50);
    QCOMPARE(zoom, 300.0);
    QCOMPARE(box.ChildRect(), QRect(52, 2, 300, 300));
    QCOMPARE(image.geometry(), QRect(52, 2, 300, 300));
    QVERIFY(!box.horizontalScrollBar()->isVisible());
    QVERIFY(!box.verticalScrollBar()->isVisible());
    const QImage shot = Grab(*box.viewport());
    const QRgb background = At(shot, 20, 150);
    QVERIFY(background != qRgb(0, 0, 0));
    QCOMPARE(Hex(At(shot, 52, 2)), Hex(qRgb(0, 0, 0)));
    QCOMPARE(Hex(At(shot, 351, 301)), Hex(qRgb(0, 0, 0)));
    QCOMPARE(Hex(At(shot, 51, 150)), Hex(background));
    QCOMPARE(Hex(At(shot, 352, 150)), Hex(background));

    // A wide picture fits the width and is centred vertically, using the
    // box's outer size.
    const RgbImage wide = CoordinatePicture(800, 200);
    image.ShowPicture(&wide);
    const double fit = ApplyViewLayout(box, image, true, 50);
    QCOMPARE(fit, 0.5);
    QCOMPARE(image.geometry(), QRect(2, 102, 400, 100));

    // A resized box gets a new layout from its new outer size.
    box.resize(206, 406);
    QCOMPARE(ApplyViewLayout(box, image, true, 50), 0.25);
    QCOMPARE(image.geometry(), QRect(2, 177, 200, 50));
}

void FlyImageTest::switchingModesKeepsNoScrollState() {
    ScrollBox box;
    box.resize(200, 150);
    tFlyImage image;
    const RgbImage picture = CoordinatePicture(400, 300);
    image.ShowPicture(&picture);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    ApplyViewLayout(box, image, false, 200);
    QTRY_VERIFY(box.horizontalScrollBar()->isVisible());
    box.horizontalScrollBar()->setValue(300);
    box.verticalScrollBar()->setValue(200);
    QCOMPARE(image.pos(), QPoint(-300, -200));

    // Stretch mode: no scroll bars, no scrolling, the child at its place.
    ApplyViewLayout(box, image, true, 200);
    QVERIFY(!box.AutoScroll());
    QTRY_VERIFY(!box.horizontalScrollBar()->isVisible());
    QVERIFY(!box.verticalScrollBar()->isVisible());
    QCOMPARE(box.ScrollPosition(), QPoint(0, 0));
    const ViewGeometry g = StretchGeometry(400, 300, 200, 150);
    QCOMPARE(image.geometry(), QRect(g.left, g.top, g.width, g.height));
    // Wheel or keys cannot scroll it away.
    box.horizontalScrollBar()->setValue(50);
    QCOMPARE(image.pos(), QPoint(g.left, g.top));

    // Back in zoom mode the same zoom shows again from the origin.
    ApplyViewLayout(box, image, false, 200);
    QVERIFY(box.AutoScroll());
    QCOMPARE(image.geometry(), QRect(0, 0, 800, 600));
    QTRY_VERIFY(box.horizontalScrollBar()->isVisible());
}

QTEST_MAIN(FlyImageTest)
#include "fly_image_test.moc"
