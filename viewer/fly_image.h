#pragma once
// tFlyImage: the program's picture control. It owns the view's picture and
// always draws it stretched to its own bounds.

#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/rgb_image.h"
#include "viewer/picture_render.h"

namespace nocturo {

/// The picture control of the view.
///
/// Drawing: the picture is drawn stretched to the control's size, straight from
/// its rows (averaged where reduced, nearest pixel where enlarged); the control
/// keeps no second full-size copy. A paint renders only the exposed rectangle
/// and keeps what it rendered of the visible part, so repaints without a change
/// cost a blit and scrolling renders only the newly uncovered strip.
///
/// Whoever changes the picture's pixels through Picture() calls
/// PictureChanged() afterwards; ShowPicture() does both.
///
/// Pointer events, all in the control's own coordinates:
/// - onMouseEnter / onMouseLeave: called when set, when the pointer enters or
///   leaves the control; the constructor leaves both empty;
/// - mouseMoved, also without a button held;
/// - a press that moves the pointer by the platform's drag distance or more
///   before its release is a drag: it reports dragged(dx, dy) for every move
///   after that, by how much the picture should scroll (the pointer's travel
///   reversed, in screen pixels), and no click;
/// - any other press reports, at its release, mousePressed (any button, with
///   the press's position and modifiers) and, for the left button released
///   over the control, clicked.
class tFlyImage : public QWidget {
    Q_OBJECT

  public:
    explicit tFlyImage(QWidget* parent = nullptr);
    ~tFlyImage() override;

    /// The picture shown; its Format() is the pixel format code it was loaded
    /// with. Starts as the empty image (1 x 1, black).
    RgbImage& Picture() { return picture_; }
    const RgbImage& Picture() const { return picture_; }
    int PictureFormat() const { return picture_.Format(); }

    /// Copies image into the picture (CopyImage, keeping its format code and
    /// size), or clears the picture to the empty image when image is null, and
    /// repaints. The caller's image is not referenced afterwards.
    void ShowPicture(const RgbImage* image);
    /// Rectangles in picture pixels outlined over the picture (the excluded
    /// areas of the entry shown). ShowPicture clears them.
    void SetOverlayAreas(std::vector<QRect> areas);
    const std::vector<QRect>& OverlayAreas() const { return overlay_; }

    /// The picture's pixels or size changed: drop what was rendered and repaint.
    void PictureChanged();
    /// Counts the changes of the picture (ShowPicture, PictureChanged):
    /// whoever put a picture in can tell whether it is still there.
    uint64_t Generation() const { return generation_; }

    /// Brings the rendered pixels up to date for area (control coordinates) as
    /// a paint of that area does, and returns them: the result covers at least
    /// area clipped to the control, positioned at RenderedRect().
    const QImage& RenderArea(const QRect& area);
    QRect RenderedRect() const { return renderedRect_; }
    /// Nanoseconds the last rendering of changed pixels took.
    qint64 LastRenderCost() const { return lastRenderCost_; }

    std::function<void()> onMouseEnter;
    std::function<void()> onMouseLeave;

  signals:
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void clicked();
    void dragged(int dx, int dy);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // The part of the control not clipped away by its parents.
    QRect VisibleRect() const;
    bool RenderingValid() const;
    void RenderInto(QImage& image, const QRect& imageRect, const QRect& part);

    RgbImage picture_;
    std::vector<QRect> overlay_;
    ScaledRenderer renderer_;

    // What was rendered last, and for which picture and size.
    QImage rendered_;
    QImage spare_;  // the previous buffer, reused when the next has its size
    QRect renderedRect_;
    QSize renderedFor_;
    uint64_t renderedGeneration_ = 0;
    const uint8_t* renderedPixels_ = nullptr;
    int renderedPictureWidth_ = -1;
    int renderedPictureHeight_ = -1;
    uint64_t generation_ = 1;
    // A run changes the picture after every frame, faster than anyone can
    // watch; repaints for such changes are spaced kMinRepaintInterval apart
    // (the last change is always painted), so showing progress costs the
    // run little.
    QElapsedTimer lastPaint_;
    qint64 lastRenderCost_ = 0;
    QTimer deferredUpdate_;

    // The press under way (NoButton when none) and whether it became a drag.
    Qt::MouseButton pressButton_ = Qt::NoButton;
    Qt::KeyboardModifiers pressModifiers_;
    QPoint pressPos_;
    QPoint pressGlobal_;
    QPoint lastGlobal_;
    bool dragging_ = false;
};

}  // namespace nocturo
