#pragma once
// The main window's RunHost: a run shows its progress in the window's view
// and status bar, asks through the Dialogs seam and lets the window's events
// run between frames.

#include <optional>
#include <string>
#include <vector>

#include "engine/run_host.h"

namespace nocturo {

class TFormMain;

class QtRunHost : public RunHost {
  public:
    explicit QtRunHost(TFormMain& form) : form_(form) {}

    void ShowImage(const RgbImage* image, bool force) override;
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

  private:
    TFormMain& form_;
};

}  // namespace nocturo
