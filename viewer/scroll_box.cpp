#include "viewer/scroll_box.h"

#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

namespace nocturo {

namespace {

// Right or bottom edge of the child in content coordinates, never negative and
// never beyond int even for a child at the far end of the coordinate range.
int ContentExtent(int start, int length) {
    const long long end = static_cast<long long>(start) + length;
    return static_cast<int>(std::clamp<long long>(end, 0, INT_MAX));
}

}  // namespace

ScrollBox::ScrollBox(QWidget* parent) : QAbstractScrollArea(parent) {
    // Around a centred picture the box shows the window's colour.
    viewport()->setBackgroundRole(QPalette::Window);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    SetAutoScroll(true);
}

void ScrollBox::SetChild(QWidget* child) {
    if (child_ == child) {
        return;
    }
    child_ = child;
    if (child_ != nullptr) {
        child_->setParent(viewport());
        child_->show();
        MoveChild();
    }
}

void ScrollBox::PlaceChild(const QRect& contentRect) {
    childRect_ = contentRect;
    UpdateScrollBars();
    MoveChild();
}

void ScrollBox::SetAutoScroll(bool on) {
    autoScroll_ = on;
    const Qt::ScrollBarPolicy policy = on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    UpdateScrollBars();
    MoveChild();
}

QPoint ScrollBox::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void ScrollBox::ScrollTo(const QPoint& position) {
    horizontalScrollBar()->setValue(position.x());
    verticalScrollBar()->setValue(position.y());
}

void ScrollBox::PanBy(int dx, int dy) {
    ScrollTo(ScrollPosition() + QPoint(dx, dy));
}

void ScrollBox::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // A wheel over the child reaches here through the viewport, with the
    // position already in viewport coordinates.
    const QPoint delta = event->angleDelta();
    emit zoomWheel(delta.y() != 0 ? delta.y() : delta.x(), event->position().toPoint());
    event->accept();
}

void ScrollBox::scrollContentsBy(int /*dx*/, int /*dy*/) {
    // Placed from the absolute scroll position rather than moved by the
    // deltas, so the child can never drift from its rectangle.
    MoveChild();
}

void ScrollBox::resizeEvent(QResizeEvent* /*event*/) {
    // The viewport changed size: the scroll range follows.
    UpdateScrollBars();
    MoveChild();
}

void ScrollBox::UpdateScrollBars() {
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    if (!autoScroll_) {
        // Ranges of zero also reset both positions to the origin.
        horizontal->setRange(0, 0);
        vertical->setRange(0, 0);
        return;
    }
    const QSize room = viewport()->size();
    const int right = ContentExtent(childRect_.x(), childRect_.width());
    const int bottom = ContentExtent(childRect_.y(), childRect_.height());
    horizontal->setPageStep(std::max(1, room.width()));
    vertical->setPageStep(std::max(1, room.height()));
    horizontal->setRange(0, std::max(0, right - room.width()));
    vertical->setRange(0, std::max(0, bottom - room.height()));
}

void ScrollBox::MoveChild() {
    if (child_ == nullptr) {
        return;
    }
    const QPoint scrolled = ScrollPosition();
    child_->setGeometry(QRect(childRect_.topLeft() - scrolled, childRect_.size()));
}

}  // namespace nocturo
