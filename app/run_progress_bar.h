#pragma once
// What the window shows of a run's progress: a bar with the counter, the
// rate and the time left in the status bar, and the same fraction on the
// window's task-bar entry where the desktop shows one.

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <memory>

#include "engine/run_progress.h"

class QLabel;
class QProgressBar;

namespace nocturo {

/// The window's entry in the desktop's task bar or dock. Tests put in one
/// that records what would be sent.
class TaskbarProgress {
  public:
    virtual ~TaskbarProgress() = default;
    /// fraction in 0..1; visible false takes the progress off the entry.
    virtual void Update(bool visible, double fraction) = 0;
};

/// The launcher entry signal that KDE Plasma, Dash to Dock, Plank and
/// others follow, sent over the session bus; nothing when there is none.
class UnityLauncherProgress : public TaskbarProgress {
  public:
    /// desktopId as "nocturo.desktop".
    explicit UnityLauncherProgress(QString desktopId);
    void Update(bool visible, double fraction) override;

  private:
    QString appUri_;
};

/// The status bar's progress widget, fed by the run host.
class RunProgressBar : public QWidget {
    Q_OBJECT
  public:
    explicit RunProgressBar(QWidget* parent = nullptr);
    /// A window closed during a run leaves no progress on its task-bar entry.
    ~RunProgressBar() override;

    /// Replaces the task-bar entry (null: none).
    void SetTaskbar(std::unique_ptr<TaskbarProgress> taskbar);

    /// A run starts: counting begins, nothing is shown until it reports.
    void Begin();
    /// The run reports frame `done` of `total`.
    void Report(int done, int total);
    /// The run has ended: the bar is hidden.
    void End();

    const RunProgress& Progress() const { return progress_; }
    QString Text() const;

  private:
    double Now() const;
    void Refresh();

    RunProgress progress_;
    QElapsedTimer clock_;
    QElapsedTimer lastRefresh_;
    QProgressBar* bar_ = nullptr;
    QLabel* label_ = nullptr;
    std::unique_ptr<TaskbarProgress> taskbar_;
};

}  // namespace nocturo
