#include "app/run_progress_bar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVariantMap>
#include <algorithm>

namespace nocturo {

namespace {

// The bar and the task bar follow a run at this pace; a run reports every
// frame, far more often than anyone reads.
constexpr qint64 kRefreshMs = 250;

}  // namespace

UnityLauncherProgress::UnityLauncherProgress(QString desktopId)
    : appUri_(QStringLiteral("application://") + desktopId) {}

void UnityLauncherProgress::Update(bool visible, double fraction) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/com/canonical/unity/launcherentry/nocturo"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("progress"), std::clamp(fraction, 0.0, 1.0));
    signal << appUri_ << properties;
    bus.send(signal);
}

RunProgressBar::RunProgressBar(QWidget* parent) : QWidget(parent) {
    setObjectName("RunProgressBar");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    bar_->setFixedWidth(160);
    label_ = new QLabel(this);
    layout->addWidget(bar_);
    layout->addWidget(label_);
    clock_.start();
    hide();
}

RunProgressBar::~RunProgressBar() {
    End();
}

void RunProgressBar::SetTaskbar(std::unique_ptr<TaskbarProgress> taskbar) {
    taskbar_ = std::move(taskbar);
}

double RunProgressBar::Now() const {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

void RunProgressBar::Begin() {
    progress_.Start(Now());
    lastRefresh_.invalidate();
}

void RunProgressBar::Report(int done, int total) {
    if (!progress_.Running()) {
        return;  // only a run's counter, not a click in a list
    }
    progress_.Report(done, total, Now());
    if (!lastRefresh_.isValid() || lastRefresh_.elapsed() >= kRefreshMs || done >= total) {
        Refresh();
    }
}

void RunProgressBar::End() {
    const bool shown = isVisible() || lastRefresh_.isValid();
    progress_.Stop();
    lastRefresh_.invalidate();
    hide();
    if (shown && taskbar_) {
        taskbar_->Update(false, 0.0);
    }
}

QString RunProgressBar::Text() const {
    return QString::fromStdString(progress_.Text());
}

void RunProgressBar::Refresh() {
    lastRefresh_.start();
    const int total = std::max(1, progress_.Total());
    bar_->setRange(0, total);
    bar_->setValue(std::min(progress_.Done(), total));
    label_->setText(Text());
    show();
    if (taskbar_) {
        taskbar_->Update(true, static_cast<double>(progress_.Done()) / total);
    }
}

}  // namespace nocturo
