#include "viewer/fly_image.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cstring>
#include <utility>

namespace nocturo {

namespace {

// Above this many pixels the visible part is not kept as a whole (a control
// without a clipping parent would otherwise keep its full zoomed size);
// only the exposed rectangle is rendered then.
constexpr int64_t kMaxKeptPixels = 16'000'000;

int64_t Area(const QRect& r) {
    return r.isEmpty() ? 0 : static_cast<int64_t>(r.width()) * r.height();
}

}  // namespace

tFlyImage::tFlyImage(QWidget* parent) : QWidget(parent) {
    ClearImage(&picture_);
    onMouseEnter = nullptr;
    onMouseLeave = nullptr;
    // Every pixel is painted, so Qt need not clear the background first and
    // may scroll the control by copying what is already on screen.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Pointer moves are reported without a button held too (pixel readout).
    setMouseTracking(true);
    deferredUpdate_.setSingleShot(true);
    connect(&deferredUpdate_, &QTimer::timeout, this, [this] { update(); });
}

tFlyImage::~tFlyImage() = default;

void tFlyImage::SetOverlayAreas(std::vector<QRect> areas) {
    if (areas != overlay_) {
        overlay_ = std::move(areas);
        update();
    }
}

void tFlyImage::ShowPicture(const RgbImage* image) {
    overlay_.clear();
    if (image != nullptr) {
        CopyImage(image, &picture_, image->Format());
    } else {
        ClearImage(&picture_);
    }
    PictureChanged();
}

void tFlyImage::PictureChanged() {
    constexpr qint64 kMinRepaintInterval = 40;  // milliseconds: 25 pictures a second
    ++generation_;
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : kMinRepaintInterval;
    if (since >= kMinRepaintInterval) {
        update();
    } else if (!deferredUpdate_.isActive()) {
        deferredUpdate_.start(static_cast<int>(kMinRepaintInterval - since));
    }
}

bool tFlyImage::RenderingValid() const {
    return !rendered_.isNull() && renderedFor_ == size() && renderedGeneration_ == generation_ &&
           renderedPictureWidth_ == picture_.Width() &&
           renderedPictureHeight_ == picture_.Height() &&
           renderedPixels_ == (picture_.Width() > 0 ? picture_.Row(0) : nullptr);
}

QRect tFlyImage::VisibleRect() const {
    QRect visible = rect();
    const QWidget* w = this;
    QPoint offset(0, 0);
    while (!w->isWindow() && w->parentWidget() != nullptr) {
        offset += w->pos();
        w = w->parentWidget();
        visible &= w->rect().translated(-offset);
    }
    return visible;
}

void tFlyImage::RenderInto(QImage& image, const QRect& imageRect, const QRect& part) {
    const QRect r = part & imageRect;
    if (r.isEmpty()) {
        return;
    }
    const ptrdiff_t stride = image.bytesPerLine() / 4;
    uint32_t* out = reinterpret_cast<uint32_t*>(image.bits()) +
                    static_cast<ptrdiff_t>(r.top() - imageRect.top()) * stride +
                    (r.left() - imageRect.left());
    renderer_.Render(picture_, width(), height(), r.left(), r.top(), r.width(), r.height(), out,
                     stride);
}

const QImage& tFlyImage::RenderArea(const QRect& area) {
    const QRect wanted = area & rect();
    if (wanted.isEmpty()) {
        return rendered_;
    }
    const bool valid = RenderingValid();
    if (valid && renderedRect_.contains(wanted)) {
        return rendered_;
    }
    // Remember what rendering costs, so that a run can space its updates.
    struct CostClock {
        QElapsedTimer clock;
        qint64& cost;
        explicit CostClock(qint64& target) : cost(target) { clock.start(); }
        ~CostClock() { cost = clock.nsecsElapsed(); }
    } costClock(lastRenderCost_);

    // Render the whole visible part while at it, so that the next exposures
    // (an uncovered window, a small scroll) find their pixels ready.
    QRect target = wanted;
    const QRect grown = VisibleRect().united(wanted);
    if (Area(grown) <= std::max(Area(wanted), kMaxKeptPixels)) {
        target = grown;
    }

    if (spare_.size() != target.size() || spare_.format() != QImage::Format_RGB32) {
        spare_ = QImage(target.size(), QImage::Format_RGB32);
    }
    if (spare_.isNull()) {
        // Out of memory for the buffer: keep nothing, the paint shows black.
        rendered_ = QImage();
        renderedRect_ = QRect();
        return rendered_;
    }

    const QRect kept = valid ? (renderedRect_ & target) : QRect();
    if (!kept.isEmpty()) {
        // Reuse the pixels already rendered (the usual case when scrolling)
        // and render only what is new.
        const size_t rowBytes = static_cast<size_t>(kept.width()) * 4;
        for (int y = kept.top(); y <= kept.bottom(); ++y) {
            const uchar* from = rendered_.constScanLine(y - renderedRect_.top()) +
                                static_cast<size_t>(kept.left() - renderedRect_.left()) * 4;
            uchar* to = spare_.scanLine(y - target.top()) +
                        static_cast<size_t>(kept.left() - target.left()) * 4;
            std::memcpy(to, from, rowBytes);
        }
        const QRegion fresh = QRegion(target).subtracted(QRegion(kept));
        for (const QRect& part : fresh) {
            RenderInto(spare_, target, part);
        }
    } else {
        RenderInto(spare_, target, target);
    }

    std::swap(rendered_, spare_);
    renderedRect_ = target;
    renderedFor_ = size();
    renderedGeneration_ = generation_;
    renderedPictureWidth_ = picture_.Width();
    renderedPictureHeight_ = picture_.Height();
    renderedPixels_ = picture_.Width() > 0 ? picture_.Row(0) : nullptr;
    return rendered_;
}

void tFlyImage::paintEvent(QPaintEvent* event) {
    const QRect exposed = event->rect() & rect();
    if (exposed.isEmpty()) {
        return;
    }
    lastPaint_.restart();
    const QImage& image = RenderArea(exposed);
    QPainter painter(this);
    if (image.isNull() || !renderedRect_.contains(exposed)) {
        painter.fillRect(exposed, Qt::black);
        return;
    }
    painter.drawImage(exposed.topLeft(), image, exposed.translated(-renderedRect_.topLeft()));
    if (!overlay_.empty() && picture_.Width() > 0 && picture_.Height() > 0) {
        // The control shows the whole picture over its whole area.
        const double sx = static_cast<double>(width()) / picture_.Width();
        const double sy = static_cast<double>(height()) / picture_.Height();
        painter.setPen(QPen(QColor(255, 64, 64), 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        for (const QRect& area : overlay_) {
            painter.drawRect(
                QRectF(area.x() * sx, area.y() * sy, area.width() * sx, area.height() * sy)
                    .adjusted(0, 0, -1, -1));
        }
    }
}

void tFlyImage::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    // A copy, so that a handler may replace or clear the slot while it runs.
    if (const std::function<void()> handler = onMouseEnter) {
        handler();
    }
}

void tFlyImage::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (const std::function<void()> handler = onMouseLeave) {
        handler();
    }
}

void tFlyImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouseMoved(event->buttons(), event->modifiers(), p.x(), p.y());
    if (pressButton_ == Qt::NoButton) {
        return;
    }
    // Screen positions: the control moves under the pointer while it pans.
    const QPoint global = event->globalPosition().toPoint();
    if (!dragging_ &&
        (global - pressGlobal_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
        setCursor(Qt::ClosedHandCursor);
    }
    if (dragging_) {
        const QPoint delta = lastGlobal_ - global;
        lastGlobal_ = global;
        if (!delta.isNull()) {
            emit dragged(delta.x(), delta.y());
        }
    }
}

void tFlyImage::mousePressEvent(QMouseEvent* event) {
    // A second button during a press changes nothing. A press whose release
    // never came (a window took the pointer away) is forgotten.
    if (pressButton_ != Qt::NoButton && event->button() != pressButton_ &&
        (event->buttons() & pressButton_)) {
        return;
    }
    if (dragging_) {
        unsetCursor();
    }
    pressButton_ = event->button();
    pressModifiers_ = event->modifiers();
    pressPos_ = event->position().toPoint();
    pressGlobal_ = event->globalPosition().toPoint();
    lastGlobal_ = pressGlobal_;
    dragging_ = false;
}

void tFlyImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != pressButton_) {
        return;
    }
    const bool dragged = dragging_;
    pressButton_ = Qt::NoButton;
    dragging_ = false;
    if (dragged) {
        unsetCursor();
        return;
    }
    const Qt::MouseButton button = event->button();
    emit mousePressed(button, pressModifiers_, pressPos_.x(), pressPos_.y());
    if (button == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

}  // namespace nocturo
