#pragma once
// The console's answer to everything a run asks of a user interface, for
// every command of nocturo-stack: questions are answered from the command
// line's options (an existing file is replaced only with --overwrite;
// Ctrl+C, SIGTERM and SIGHUP act as the abort button and answer its
// question Yes), the status bar becomes a progress line on a terminal, and
// the messages are kept for the command to print.

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_host.h"
#include "engine/run_state.h"

namespace nocturo::cli {

/// Installs the handler of Ctrl+C (SIGINT), SIGTERM and SIGHUP: the first
/// of them asks the run to stop after the frame it is on
/// (ConsoleHost::ProcessEvents picks it up), so that every file being
/// written is finished; a second one ends the program at once, as the
/// signal normally does, after removing the temporary files of the saves
/// under way on every thread.
void InstallInterruptHandler();
/// True once one of those signals arrived.
bool Interrupted();
/// The exit status of a run they stopped: 128 + the first signal's number
/// (130 for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP), as shells report it.
int InterruptedStatus();
/// The status every command ends with: InterruptedStatus() when a signal
/// stopped it, 2 when an output could not be written (or was refused), 1
/// when some FILE was in error, else 0.
int ExitStatus(bool outputProblem, int errors);

/// A line on a terminal that shows how far a run is, rewritten in place.
/// Does nothing unless enabled.
class ProgressLine {
  public:
    ProgressLine(FILE* out, bool enabled, int total);

    /// One more frame is done (merged or in error); name is its file.
    void FrameDone(const std::string& name);
    /// Clears the line so that other text can be written to the terminal;
    /// the next update draws it again.
    void Clear();
    /// Draws the final state and ends the line.
    void Finish();

    int Done() const { return done_; }

  private:
    void Draw();

    FILE* out_;
    bool enabled_;
    int total_;
    int done_ = 0;
    std::string lastName_;
    bool drawn_ = false;
    size_t drawnLength_ = 0;
    int drawnDone_ = -1;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::chrono::steady_clock::time_point lastFrame_;
};

/// What a command line run asks of its host, and what the host prints.
struct ConsoleSettings {
    /// Where the result goes; empty for none (allowed only with steps).
    std::string output;
    /// Name of the first step file; empty when no steps are saved.
    std::string firstStepFile;
    /// Replace existing files (step files, copies, outputs) instead of
    /// stopping.
    bool overwrite = false;
    /// False for batch arithmetic: the first picture is loaded once only to
    /// size the result and is then processed like every other, so its first
    /// load is no frame done.
    bool firstIsMerged = true;
    /// Frames are counted as they are done, on the progress line, and a
    /// frame in error is named at once on standard error: the runs that
    /// merge. The search and the moving maximum name theirs in their own
    /// reports.
    bool countFrames = true;
};

class ConsoleHost : public RunHost {
  public:
    ConsoleHost(const ConsoleSettings& settings, RunState& state, ProgressLine& progress);

    void ShowImage(const RgbImage*, bool) override {}
    void ShowStatus(int position, const std::string& text, const FileList& list, bool ok) override;
    void ProcessEvents() override;
    Answer Ask(const std::string& text, const std::string& caption,
               const std::vector<Answer>& buttons, bool warning) override;
    std::optional<std::string> AskSaveFileName(const SaveRequest& request) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    /// Keeps the report: its count line joins the messages, the rest is
    /// for PrintReportLines.
    void ShowRunReport(const RunReport& report) override;
    void FocusLeftList() override {}
    void SaveResultAs() override;

    /// Saves the result to the output file; false (with a message on
    /// standard error) when it cannot be written.
    bool SaveOutput();

    /// The run starts now: its time is counted from here.
    void RunStarted();
    /// The run is over; its time ends here unless the final save ended it.
    void RunEnded();
    /// Seconds from the start of the run to the final save (or its end).
    double RunSeconds() const;
    /// Seconds spent writing OUTPUT.
    double SaveSeconds() const { return saveSeconds_; }
    /// Pixels of the frames merged, the first included.
    double MergedPixels() const { return mergedPixels_; }

    /// Frames that failed to load or to merge: the run's error count.
    int Errors() const { return errors_; }
    /// Frames that were merged (the first included).
    int Merged() const { return merged_; }
    /// SaveResultAs was called by the run.
    bool ResultSaveRequested() const { return saveRequested_; }
    /// Work for another thread while the run's final save writes the result
    /// (the frame map, compressed meanwhile). It must touch nothing the save
    /// does; it runs once at most. Its outcome: BesideSaveOutcome.
    void DoBesideSave(std::function<bool()> work) { beside_ = std::move(work); }
    /// What that work answered, or nothing when it has not run.
    std::optional<bool> BesideSaveOutcome() const { return besideOutcome_; }
    /// Saving the output failed.
    bool OutputFailed() const { return outputFailed_; }
    /// Existing files not replaced (no --overwrite); the first stopped the
    /// run.
    int OverwritesRefused() const { return overwritesRefused_; }
    bool OverwriteRefused() const { return overwritesRefused_ > 0; }
    /// The messages the run showed, in order (normally the error count).
    const std::vector<std::string>& Messages() const { return messages_; }
    /// The run's report (empty before the run's end).
    const RunReport& Report() const { return report_; }
    /// Writes the lines of the report that name what failed to out, each
    /// after "nocturo-stack: ".
    void PrintReportLines(FILE* out) const;

  private:
    const ConsoleSettings& settings_;
    RunState& state_;
    ProgressLine& progress_;
    int errors_ = 0;
    int merged_ = 0;
    bool saveRequested_ = false;
    std::function<bool()> beside_;
    std::optional<bool> besideOutcome_;
    bool outputFailed_ = false;
    int overwritesRefused_ = 0;
    std::vector<std::string> messages_;
    RunReport report_;
    std::chrono::steady_clock::time_point runStart_;
    std::optional<std::chrono::steady_clock::time_point> runEnd_;
    double saveSeconds_ = 0;
    double mergedPixels_ = 0;
};

}  // namespace nocturo::cli
