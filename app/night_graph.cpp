#include "app/night_graph.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <thread>

#include "engine/bright_frames.h"

namespace nocturo {

namespace {

constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 8;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 8;
// A press this close to the limit line grabs it.
constexpr int kLineGrab = 5;
// A press that moves less than this is a click.
constexpr int kClickSlack = 3;
// How often the panel looks at the measuring's progress.
constexpr int kPollMs = 100;
// A burst of list changes (a fill, a run disabling entries) measures once.
constexpr int kSettleMs = 250;

const QColor kBackground(16, 20, 36);
const QColor kGrid(48, 56, 80);
const QColor kAxisText(170, 178, 200);
const QColor kChecked(120, 190, 255);
const QColor kUnchecked(130, 130, 140);
const QColor kDisabled(230, 60, 60);
const QColor kCurrent(255, 190, 60);
const QColor kSelected(60, 80, 130);
const QColor kLimit(255, 90, 90);

}  // namespace

// --- the plot -----------------------------------------------------------------

TNightGraph::TNightGraph(const FileList& list, QWidget* parent) : QWidget(parent), list_(list) {
    setMouseTracking(true);
    setMinimumHeight(90);
}

void TNightGraph::SetPoints(std::vector<NightPoint> points) {
    points_ = std::move(points);
    UpdateScale();
    update();
}

void TNightGraph::UpdateScale() {
    double top = 0;
    for (const NightPoint& p : points_) {
        if (p.state == NightPoint::State::Measured) {
            top = std::max(top, p.mean);
        }
    }
    const bool any = std::any_of(points_.begin(), points_.end(), [](const NightPoint& p) {
        return p.state == NightPoint::State::Measured;
    });
    // Room above the brightest frame for the line; whole levels read best.
    scaleTop_ = std::max(1.0, std::ceil(top * 1.1 + 0.5));
    // Until the user moves it, the line stays just above the brightest
    // frame, so that it unchecks nothing.
    if (any && !limitMoved_) {
        limit_ = std::min(scaleTop_, std::ceil(top) + 1);
    }
    if (limit_ && *limit_ > scaleTop_) {
        scaleTop_ = std::ceil(*limit_);
    }
}

void TNightGraph::SetLimit(double limit) {
    limitMoved_ = true;
    limit_ = std::clamp(limit, 0.0, 255.0);
    if (*limit_ > scaleTop_) {
        scaleTop_ = std::ceil(*limit_);
    }
    update();
    emit limitChanged(*limit_);
}

QRect TNightGraph::PlotRect() const {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                 std::max(1, height() - kTopMargin - kBottomMargin));
}

double TNightGraph::EntryX(int index) const {
    const QRect plot = PlotRect();
    const int n = std::max(1, static_cast<int>(points_.size()));
    return plot.left() + (index + 0.5) * plot.width() / n;
}

int TNightGraph::EntryAt(double x) const {
    const int n = static_cast<int>(points_.size());
    if (n == 0) {
        return -1;
    }
    const QRect plot = PlotRect();
    const int index = static_cast<int>(std::floor((x - plot.left()) * n / plot.width()));
    return std::clamp(index, 0, n - 1);
}

double TNightGraph::ValueY(double value) const {
    const QRect plot = PlotRect();
    return plot.bottom() - value / scaleTop_ * (plot.height() - 1);
}

double TNightGraph::YValue(double y) const {
    const QRect plot = PlotRect();
    return (plot.bottom() - y) / (plot.height() - 1) * scaleTop_;
}

void TNightGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const QRect plot = PlotRect();
    const int n = static_cast<int>(points_.size());

    // Scale: a few whole levels.
    painter.setFont(font());
    const double step = std::max(1.0, std::ceil(scaleTop_ / 4));
    for (double v = 0; v <= scaleTop_ + 1e-9; v += step) {
        const int y = static_cast<int>(std::lround(ValueY(v)));
        painter.setPen(kGrid);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(kAxisText);
        painter.drawText(QRect(0, y - 8, kLeftMargin - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(v, 'f', 0));
    }
    if (n == 0) {
        return;
    }
    const double column = static_cast<double>(plot.width()) / n;

    // Selected entries: a band behind them.
    for (int i = 0; i < n; ++i) {
        if (list_.IsSelected(i)) {
            const double x = plot.left() + i * column;
            painter.fillRect(QRectF(x, plot.top(), std::max(1.0, column), plot.height()),
                             kSelected);
        }
    }
    // The current entry: an upright line.
    if (const int current = list_.Current(); current >= 0 && current < n) {
        painter.setPen(QPen(kCurrent, 1));
        const double x = EntryX(current);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }

    // The values: a line through consecutive measured frames, broken at a
    // gap, and a mark per frame while there is room for one.
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath path;
    bool open = false;
    for (int i = 0; i < n; ++i) {
        if (points_[i].state != NightPoint::State::Measured) {
            open = false;
            continue;
        }
        const QPointF p(EntryX(i), ValueY(points_[i].mean));
        if (open) {
            path.lineTo(p);
        } else {
            path.moveTo(p);
            open = true;
        }
    }
    painter.setPen(QPen(QColor(90, 110, 160), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);

    const double radius = std::clamp(column / 3, 1.5, 3.5);
    for (int i = 0; i < n; ++i) {
        if (points_[i].state != NightPoint::State::Measured) {
            continue;
        }
        const QPointF p(EntryX(i), ValueY(points_[i].mean));
        if (!list_.IsEnabled(i)) {
            painter.setPen(QPen(kDisabled, 1.5));
            painter.drawLine(p + QPointF(-radius, -radius), p + QPointF(radius, radius));
            painter.drawLine(p + QPointF(-radius, radius), p + QPointF(radius, -radius));
        } else if (list_.IsChecked(i)) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(kChecked);
            painter.drawEllipse(p, radius, radius);
        } else {
            painter.setPen(QPen(kUnchecked, 1.2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(p, radius, radius);
        }
    }
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The limit line with its value.
    if (limit_) {
        const int y = static_cast<int>(std::lround(ValueY(*limit_)));
        painter.setPen(QPen(kLimit, 1, Qt::DashLine));
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(kLimit);
        painter.drawText(QRect(plot.left() + 4, y - 16, 120, 15), Qt::AlignLeft | Qt::AlignBottom,
                         QString::number(*limit_, 'f', 2));
    }

    // The range being dragged.
    if (drag_ == Drag::Range) {
        const int x0 = std::min(pressPos_.x(), dragX_);
        const int x1 = std::max(pressPos_.x(), dragX_);
        painter.fillRect(QRect(x0, plot.top(), x1 - x0 + 1, plot.height()),
                         QColor(255, 255, 255, 40));
    }
}

void TNightGraph::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressPos_ = event->position().toPoint();
    dragX_ = pressPos_.x();
    if (limit_ && std::abs(pressPos_.y() - ValueY(*limit_)) <= kLineGrab) {
        drag_ = Drag::Limit;
    } else {
        drag_ = Drag::Pending;
    }
}

void TNightGraph::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (drag_ == Drag::None) {
        const bool onLine = limit_ && std::abs(pos.y() - ValueY(*limit_)) <= kLineGrab;
        setCursor(onLine ? Qt::SizeVerCursor : Qt::ArrowCursor);
        return;
    }
    if (drag_ == Drag::Limit) {
        const double value = std::round(std::clamp(YValue(pos.y()), 0.0, scaleTop_) * 100) / 100;
        SetLimit(value);
        return;
    }
    if (drag_ == Drag::Pending && std::abs(pos.x() - pressPos_.x()) >= kClickSlack) {
        drag_ = Drag::Range;
    }
    if (drag_ == Drag::Range) {
        dragX_ = pos.x();
        update();
    }
}

void TNightGraph::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = drag_;
    drag_ = Drag::None;
    const int x = event->position().toPoint().x();
    if (drag == Drag::Pending) {
        const int index = EntryAt(x);
        if (index >= 0) {
            emit entryClicked(index);
        }
    } else if (drag == Drag::Range) {
        const int a = EntryAt(std::min(pressPos_.x(), x));
        const int b = EntryAt(std::max(pressPos_.x(), x));
        update();
        if (a >= 0) {
            emit rangeSelected(a, b);
        }
    }
}

// --- the panel ----------------------------------------------------------------

TPanelGraph::TPanelGraph(FileList& list, QWidget* parent) : QWidget(parent), list_(list) {
    setObjectName("PanelGraph");
    const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    measurer_ = std::make_unique<NightMeasurer>(cache_, threads);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    graph_ = new TNightGraph(list_, this);
    graph_->setObjectName("NightGraph");
    layout->addWidget(graph_, 1);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(2, 0, 2, 2);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBarGraph");
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setMaximumHeight(18);
    bar->addWidget(progress_, 1);
    cancel_ = new QPushButton("Cancel measuring", this);
    cancel_->setObjectName("ButtonGraphCancel");
    cancel_->setEnabled(false);
    connect(cancel_, &QPushButton::clicked, this, &TPanelGraph::ButtonGraphCancelClick);
    bar->addWidget(cancel_);
    uncheckAbove_ = new QPushButton("Uncheck frames above the line", this);
    uncheckAbove_->setObjectName("ButtonUncheckAbove");
    connect(uncheckAbove_, &QPushButton::clicked, this, &TPanelGraph::UncheckAbove1Click);
    bar->addWidget(uncheckAbove_);
    layout->addLayout(bar);

    menu_ = new QMenu(this);
    menu_->setObjectName("PopupMenuGraph");
    QAction* uncheck = menu_->addAction("Uncheck frames above the line");
    uncheck->setObjectName("UncheckAbove1");
    connect(uncheck, &QAction::triggered, this, &TPanelGraph::UncheckAbove1Click);
    // The button says what the menu item says, in the language it is given.
    connect(uncheck, &QAction::changed, this,
            [this, uncheck] { uncheckAbove_->setText(uncheck->text()); });
    QAction* bright = menu_->addAction("Uncheck bright frames");
    bright->setObjectName("UncheckBright1");
    connect(bright, &QAction::triggered, this, &TPanelGraph::UncheckBright1Click);
    QAction* save = menu_->addAction("Save values as CSV...");
    save->setObjectName("SaveGraphCsv1");
    connect(save, &QAction::triggered, this, &TPanelGraph::saveCsvRequested);
    QAction* again = menu_->addAction("Measure again");
    again->setObjectName("MeasureAgain1");
    connect(again, &QAction::triggered, this, &TPanelGraph::MeasureAll);
    cancelMeasure_ = menu_->addAction("Cancel measuring");
    cancelMeasure_->setObjectName("CancelMeasure1");
    cancelMeasure_->setEnabled(false);
    connect(cancelMeasure_, &QAction::triggered, this, &TPanelGraph::ButtonGraphCancelClick);
    // Like the other button, Cancel follows its menu item: text and state.
    connect(cancelMeasure_, &QAction::changed, this, [this] {
        cancel_->setText(cancelMeasure_->text());
        cancel_->setEnabled(cancelMeasure_->isEnabled());
    });

    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &TPanelGraph::Poll);
    listSettled_.setSingleShot(true);
    listSettled_.setInterval(kSettleMs);
    connect(&listSettled_, &QTimer::timeout, this, &TPanelGraph::MeasureMissing);

    list_.AddObserver(this);
    Refresh();
}

TPanelGraph::~TPanelGraph() {
    list_.RemoveObserver(this);
    measurer_.reset();  // joins the workers before the cache goes
}

bool TPanelGraph::Measuring() const {
    return measurer_->Running();
}

void TPanelGraph::MeasureAll() {
    cancelled_ = false;
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(list_.Count()));
    for (const ListEntry& entry : list_.Entries()) {
        names.push_back(entry.text);
    }
    StartMeasuring(std::move(names));
}

void TPanelGraph::MeasureMissing() {
    if (cancelled_ || !isVisible() || Measuring()) {
        return;
    }
    std::vector<std::string> names;
    for (const ListEntry& entry : list_.Entries()) {
        if (!cache_.Find(entry.text)) {
            names.push_back(entry.text);
        }
    }
    if (names.empty()) {
        return;
    }
    StartMeasuring(std::move(names));
}

void TPanelGraph::StartMeasuring(std::vector<std::string> names) {
    measurer_->Start(std::move(names));
    progress_->setRange(0, std::max(1, measurer_->Total()));
    progress_->setValue(0);
    cancelMeasure_->setEnabled(true);
    poll_.start();
    emit measuring(0, measurer_->Total(), true);
}

void TPanelGraph::WaitForMeasuring() {
    measurer_->Wait();
    Poll();
}

void TPanelGraph::Poll() {
    progress_->setValue(measurer_->Done());
    Refresh();
    if (measurer_->Running()) {
        emit measuring(measurer_->Done(), measurer_->Total(), true);
    } else {
        poll_.stop();
        cancelMeasure_->setEnabled(false);
        measurer_->Wait();
        progress_->setValue(progress_->maximum());
        emit measuring(measurer_->Done(), measurer_->Total(), false);
        // Names that came while measuring ran.
        listSettled_.start();
    }
}

void TPanelGraph::Refresh() {
    graph_->SetPoints(NightPoints(list_, cache_));
}

void TPanelGraph::ListChanged(const FileList&, const ListChange& change) {
    // Rows may have new names (a fill, a redirect); only the current
    // entry moving needs no new values.
    if (change.HasRows()) {
        Refresh();
        listSettled_.start();
    } else {
        graph_->update();
    }
}

void TPanelGraph::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Measuring()) {
        MeasureAll();
    }
}

void TPanelGraph::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
}

void TPanelGraph::ButtonGraphCancelClick() {
    cancelled_ = true;
    measurer_->Cancel();
    Poll();
}

void TPanelGraph::UncheckBright1Click() {
    const std::vector<BrightFrame> bright = UncheckBrightFrames(list_, cache_);
    emit brightFramesUnchecked(static_cast<int>(bright.size()),
                               bright.empty() ? -1 : bright.front().index);
}

void TPanelGraph::UncheckAbove1Click() {
    if (!graph_->Limit()) {
        return;
    }
    emit framesUnchecked(UncheckFramesAbove(list_, cache_, *graph_->Limit()));
}

}  // namespace nocturo
