#pragma once
// ScrollBox: the scroll box that holds the picture control. Unlike
// QScrollArea it never moves or resizes its child on its own: the child goes
// exactly where the view's layout puts it.

#include <QAbstractScrollArea>
#include <QPoint>
#include <QPointer>
#include <QRect>

namespace nocturo {

/// A scroll area with one child placed at an explicit rectangle in content
/// coordinates (content (0, 0) is the top left of the viewport when nothing is
/// scrolled). With automatic scroll bars on, a scroll bar appears on an axis
/// where the child reaches beyond the viewport, its range follows the child's
/// right and bottom edges, and scrolling moves the child. With them off there
/// are no scroll bars and no scrolling: the child sits at its rectangle.
/// The scroll box's outer size (frame included) is width() x height().
class ScrollBox : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit ScrollBox(QWidget* parent = nullptr);

    /// Puts child into the viewport (the scroll box does not own it beyond Qt's
    /// parent ownership). A previous child is only released from placement.
    void SetChild(QWidget* child);
    QWidget* Child() const { return child_; }

    /// Places and sizes the child; the scroll range follows.
    void PlaceChild(const QRect& contentRect);
    QRect ChildRect() const { return childRect_; }

    /// Automatic scroll bars. Turning them off also scrolls back to the origin.
    void SetAutoScroll(bool on);
    bool AutoScroll() const { return autoScroll_; }

    /// How far the content is scrolled (0, 0 when not scrolled).
    QPoint ScrollPosition() const;
    /// Scrolls to a position, kept within the scroll bars' range.
    void ScrollTo(const QPoint& position);
    /// Scrolls by an amount (a drag of the picture), kept within the range.
    void PanBy(int dx, int dy);

  signals:
    /// The wheel turned with Ctrl held, over the box or its child: the view
    /// zooms instead of scrolling. angleDelta is in eighths of a degree (120
    /// a notch, positive away from the user); pointer is in viewport
    /// coordinates.
    void zoomWheel(int angleDelta, QPoint pointer);

  protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void UpdateScrollBars();
    void MoveChild();

    QPointer<QWidget> child_;
    QRect childRect_;
    bool autoScroll_ = true;
};

}  // namespace nocturo
