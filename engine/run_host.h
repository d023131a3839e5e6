#pragma once
// RunHost: everything a run needs from the user interface. A run never calls
// Qt; the main window implements this with its real view, status bar and
// dialogs, the tests with scripts, nocturo-stack with the console.
//
// Every call comes from the thread that runs the command (the GUI thread in
// the program); never from a decode worker.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/rgb_image.h"
#include "lists/file_list.h"
#include "video/video_writer.h"

namespace nocturo {

/// A button of a question.
enum class Answer { None, Ok, Cancel, Yes, No, YesToAll, NoToAll };

/// What a save-file dialog proposes.
struct SaveRequest {
    std::string title;
    /// Filter in the program's form "Description|*.A;*.B|Other|*.C".
    std::string filter;
    int filterIndex = 1;
    /// Extension added to a typed name without one, without its dot.
    std::string defaultExtension;
    /// Name proposed.
    std::string fileName;
};

/// A file a run could not write, and why ("No space left on device").
struct FailedWrite {
    std::string name;
    std::string reason;
    friend bool operator==(const FailedWrite&, const FailedWrite&) = default;
};

/// What a run tells at its end.
struct RunReport {
    /// Frames in error: the number "%d File(s) in Error" shows.
    int errors = 0;
    /// The files in error, in the order they failed, each once.
    std::vector<std::string> inError;
    /// The files the run could not write (step files, outputs, copies).
    std::vector<FailedWrite> unwritten;
    /// Lines that end the report: what the run found (the sky's rotation).
    std::vector<std::string> notes;
};

class RunHost {
  public:
    virtual ~RunHost() = default;

    /// Puts a copy of image (null: the empty image) into the view; without
    /// force, only while live display is on.
    virtual void ShowImage(const RgbImage* image, bool force) = 0;
    /// Writes the position counter and a message into the status bar; ok
    /// false shows it as an error.
    virtual void ShowStatus(int position, const std::string& text, const FileList& list,
                            bool ok) = 0;
    /// Lets pending user-interface events run: this is when the user can
    /// press the abort button, which sets the run state's request flags.
    virtual void ProcessEvents() = 0;
    /// Asks a question with the given buttons; returns the one pressed.
    virtual Answer Ask(const std::string& text, const std::string& caption,
                       const std::vector<Answer>& buttons, bool warning) = 0;
    /// Asks for the name of a file to save; nothing on Cancel.
    virtual std::optional<std::string> AskSaveFileName(const SaveRequest& request) = 0;
    /// Shows a message with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    /// The end of a run. By default a message: RunReportText (see
    /// frame_errors.h) under "Processed Pictures".
    virtual void ShowRunReport(const RunReport& report);

    /// Makes the left list the current list, as its focus button does.
    virtual void FocusLeftList() = 0;
    /// Runs the "Save Result as..." command: asks for a name and saves the
    /// result buffer, appending the name to the right list.
    virtual void SaveResultAs() = 0;
    /// The forced start number was switched off by the step dialog; a
    /// window that shows it follows.
    virtual void StartNumberChanged() {}
    /// Writes a text into one panel of the status bar (0 is the first).
    virtual void SetStatusPanel(int /*panel*/, const std::string& /*text*/) {}
    /// The step question named a video: asks its settings and whether the
    /// step files (outputs) are written too (a window may propose its last
    /// choices instead of the defaults given). False on Cancel. By default
    /// the defaults are taken.
    virtual bool AskVideoSettings(VideoSettings& /*settings*/, bool& /*stepFiles*/) { return true; }
    /// How far the run has come: `done` of the `total` frames (or outputs)
    /// it is to go through, those that failed or were passed over included.
    /// For a progress bar with the time left; nothing by default.
    virtual void ShowProgress(int /*done*/, int /*total*/) {}
};

/// A run's count of the entries it has gone through, told to the host. The
/// total is the entries it takes when it starts; entries checked during the
/// run only raise it.
class RunCounter {
  public:
    template <class Takes>
    RunCounter(RunHost& host, const FileList& list, Takes takes) : host_(host) {
        for (int i = 0; i < list.Count(); ++i) {
            total_ += takes(list, i) ? 1 : 0;
        }
    }
    RunCounter(RunHost& host, int total) : host_(host), total_(total) {}

    /// One more entry gone through.
    void Passed() {
        ++done_;
        total_ = std::max(total_, done_);
        host_.ShowProgress(done_, total_);
    }

  private:
    RunHost& host_;
    int done_ = 0;
    int total_ = 0;
};

}  // namespace nocturo
