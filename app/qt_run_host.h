#pragma once
// The main window's RunHost: a run shows its progress in the window's view
// and status bar, asks through the Dialogs seam and lets the window's events
// run between frames.

#include <QElapsedTimer>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_host.h"

namespace nocturo {

class TFormMain;

class QtRunHost : public RunHost {
  public:
    explicit QtRunHost(TFormMain& form) : form_(form) {}

    /// Shows the run's result in the view. A run merges frames faster than
    /// anyone can watch, so the view takes a copy of the result only when
    /// due: at most ten times a second, and rarely enough that copying and
    /// drawing take no more than a twentieth of the run's time (twice a
    /// second for 24-megapixel frames). A frame shown in between is marked
    /// pending and shown by Flush, which every question and the end of a
    /// run call.
    void ShowImage(const RgbImage* image, bool force) override;
    /// Brings the view up to the latest result held back by ShowImage.
    void Flush();
    void ShowStatus(int position, const std::string& text, const FileList& list, bool ok) override;
    /// Lets the window paint and serve the abort button. A close request
    /// that arrived meanwhile keeps the run stopping: the run's pause
    /// question may have cleared the stop request.
    void ProcessEvents() override;
    Answer Ask(const std::string& text, const std::string& caption,
               const std::vector<Answer>& buttons, bool warning) override;
    std::optional<std::string> AskSaveFileName(const SaveRequest& request) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void FocusLeftList() override;
    void SaveResultAs() override;
    void StartNumberChanged() override;
    void SetStatusPanel(int panel, const std::string& text) override;
    bool AskVideoSettings(VideoSettings& settings, bool& stepFiles) override;
    void ShowProgress(int done, int total) override;

  private:
    static constexpr qint64 kMinShowInterval = 100'000'000;  // nanoseconds
    static constexpr qint64 kCostShare = 20;                 // show costs at most 1/20 of the time

    void ShowNow(const RgbImage* image, bool force);

    TFormMain& form_;
    QElapsedTimer lastShown_;
    qint64 showInterval_ = kMinShowInterval;
    bool resultPending_ = false;
};

}  // namespace nocturo
