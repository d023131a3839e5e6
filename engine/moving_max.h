#pragma once
// The moving maximum: one output picture per step of a time window of N
// consecutive entries sliding over the left list, each the darkened maximum
// of the entries inside the window, so that a night becomes a sequence of
// short fading star trails.
//
// While it runs the left list holds exactly the current window, and a copy
// of the whole list is shown in the right list's place; every way the
// command ends gives the left list back as it was. Each frame is decoded
// once, ahead, on worker threads, and kept while it is inside the window
// (see window_frames.h); a window is merged in one cache-friendly pass over
// all its frames, spread over the cores. What the user sees (outputs byte
// for byte, list marks, status texts, questions) is that of loading every
// entry of the window again for every output.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/combine.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// The record DarkenedMax receives for every entry it merges.
struct MovingMaxParams : OperationRecord {
    /// Window size N, 2 or more.
    int32_t windowSize = 50;
    /// Index of the entry being merged within the window (0 = oldest).
    int32_t position = 0;
    /// Older entries are darkened.
    bool darkening = true;
};

/// The per-image operation: darkens the source by DarkeningValue(N, a) at
/// the buffer's depth (0 without darkening) and merges it with the AddMax
/// rule. False, changing nothing, unless the buffer has the processing
/// format of its depth and both have the same depth and non-zero size (the
/// record must be a MovingMaxParams).
bool DarkenedMax(RgbImage& source, RgbImage& buffer, OperationRecord* record);

/// The text of status panel 1 while entry a is merged: "Darkening : a / d",
/// or "a / 0" without darkening.
std::string DarkeningStatusText(int a, int d, bool darkening);

/// Where the outputs go: the chosen name's folder and stem without its
/// trailing digits, and its extension with the dot.
struct MovingMaxOutput {
    std::string base;
    std::string extension;
};
/// trail0120.jpg gives (trail, .jpg); /out/1234.jpg gives (/out/, .jpg).
MovingMaxOutput MovingMaxOutputBase(const std::string& chosen);
/// base, the counter with at least four digits, extension: trail0001.jpg.
std::string MovingMaxFileName(const MovingMaxOutput& output, int counter);

/// The choices of the sample window.
struct MovingMaxSettings {
    int windowSize = 50;
    /// "Progressive": the window grows from one entry at the start and
    /// shrinks to one at the end; otherwise "Range only", full windows only.
    bool progressive = false;
    bool darkening = true;
    /// "ShowProcess (Slower !)": every merge step is shown.
    bool showProcess = false;
};

/// The outputs a run over entryCount entries writes when nothing stops it:
/// one per full window (entryCount - N + 1), and with "Progressive" also
/// the growing and shrinking ones (entryCount + N - 1 in all).
int MovingMaxOutputCount(const MovingMaxSettings& settings, int entryCount);
/// Their names, from counter 1 on.
std::vector<std::string> MovingMaxOutputNames(const MovingMaxOutput& output,
                                              const MovingMaxSettings& settings, int entryCount);

/// What the moving maximum shows besides what every run shows.
class MovingMaxDisplay {
  public:
    virtual ~MovingMaxDisplay() = default;
    /// Writes a status bar panel (1: darkening, 2: message, 3: progress).
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;
    /// Live display: while off, ShowImage without force shows nothing.
    virtual void SetLiveDisplay(bool on) = 0;
    /// Shows the copy of the whole list in the right list's place; null
    /// shows the right list again.
    virtual void ShowListCopy(FileList* copy) = 0;
};

/// How the frames are read. The defaults are the program's.
struct MovingMaxOptions {
    /// Decode workers; below 0: one per processor.
    int decodeThreads = -1;
    /// Threads merging a window; below 1: one per processor.
    int mergeThreads = 0;
    /// Bytes of decoded frames kept at most; 0: DefaultFrameBudget().
    size_t frameBudget = 0;
};

/// What a run did, for the command line, tests and benchmarks.
struct MovingMaxReport {
    /// Outputs computed, written, and written without success.
    int outputs = 0;
    int written = 0;
    int failedSaves = 0;
    /// Entries that failed to load or had another size (each disabled for
    /// the rest of its time in the window).
    int errors = 0;
    /// Their files, each once, in the order they first failed.
    std::vector<std::string> inError;
    /// The outputs that could not be written, with why.
    std::vector<FailedWrite> unwritten;
    bool stopped = false;
    /// Windows whose merge was done ahead, together with an earlier one.
    int mergedAhead = 0;
    /// Frames decoded, and the most bytes of frames kept at once.
    int64_t decodes = 0;
    size_t peakBytesKept = 0;
};

/// What the end of a run reports: its errors and the outputs not written.
RunReport MovingMaxRunReport(const MovingMaxReport& report);

/// The run over the left list with settings already chosen: the list copy,
/// the windows and their outputs, the restore. Failures disable entries
/// and are counted; a frame that fails to load or has another size than the
/// window's first frame is skipped, and the output keeps what was merged.
/// An output whose file exists is written only after the overwrite question
/// of step files (kstoverwrite, with "Yes to All"); any refusal writes
/// nothing and stops the run. Outputs are not added to the right list.
/// Whether an output is a file of the list is for the caller to check
/// before (MovingMaxCommand and the command line do).
/// The left list is restored and the copy hidden also when an exception
/// escapes (which then reaches the caller).
MovingMaxReport MovingMaxRun(RunContext& context, MovingMaxDisplay& display,
                             const MovingMaxSettings& settings, const MovingMaxOutput& output,
                             const MovingMaxOptions& options = {});

/// Shows the sample window for a left list of entryCount entries; nothing
/// when it is cancelled.
using AskMovingMaxSettings = std::function<std::optional<MovingMaxSettings>(int entryCount)>;

/// "MovingMax ": the sample window, the name of the first output (a save
/// dialog proposing the next step file's name, which it does not change),
/// then the run, which ends with its report (host.ShowRunReport). No run
/// when an output would be a file of the left list (a message names it).
/// Live display follows "ShowProcess (Slower !)" for the time of the
/// command and is on again however it ends. Returns the run's report, or
/// nothing when no run took place.
std::optional<MovingMaxReport> MovingMaxCommand(RunContext& context, MovingMaxDisplay& display,
                                                const AskMovingMaxSettings& askSettings,
                                                const MovingMaxOptions& options = {});

}  // namespace nocturo
