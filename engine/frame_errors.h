#pragma once
// The rule every run that merges frames follows for a frame it cannot use:
// one bad frame must not cost the night. A frame that cannot be loaded, or
// that its operation rejects (another size than the result, say), is counted,
// its entry is unchecked and disabled so later runs skip it, the status bar
// shows it in the error style, and the run goes on with the result exactly
// as it was before that frame. At the end the run names what failed: the
// frames in error and the files it could not write, with why.

#include <cstddef>
#include <string>
#include <vector>

#include "core/combine.h"
#include "core/rgb_image.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// Names of each kind a report lists; the rest are counted.
inline constexpr size_t kReportNamesShown = 10;

/// "%d File(s) in Error" with the report's count.
std::string RunReportCountLine(const RunReport& report);
/// The lines that name what failed: up to kReportNamesShown files in error,
/// then how many more; then how many files could not be written, and the
/// same for them, each with why. Empty when nothing failed.
std::vector<std::string> RunReportLines(const RunReport& report);
/// The count line, then the lines naming the files, one a line.
std::string RunReportText(const RunReport& report);

/// A run's error count and the marking of its failed frames.
class FrameErrors {
  public:
    explicit FrameErrors(RunContext& context) : context_(context) {}

    /// Entry `index` of the left list failed: counted, named in the report,
    /// unchecked and disabled (pending events run), shown with
    /// ShowStatus(-index, text, left list, not ok). The result buffer is not
    /// touched.
    void Skip(int index);

    /// The frame of entry `index`, loaded (or not: loaded false) into
    /// `frame`, merged into `result` with `operation`. A frame that did not
    /// load, whose size differs from the result's, or that the operation
    /// rejects is skipped (Skip) and the result stays as it was; true when
    /// the frame was merged.
    bool Merge(int index, bool loaded, RgbImage& frame, RgbImage& result, ImageOperation operation,
               OperationRecord* record);

    /// A file the run tried to write and could not, and why.
    void WriteFailed(const std::string& name, const std::string& reason);

    /// Lines added at the end of the final message.
    void Note(const std::vector<std::string>& lines) {
        report_.notes.insert(report_.notes.end(), lines.begin(), lines.end());
    }

    /// Frames skipped so far.
    int Count() const { return report_.errors; }
    const RunReport& Report() const { return report_; }

    /// The run's final message (host.ShowRunReport): "%d File(s) in Error"
    /// under "Processed Pictures", shown also for a count of 0, with the
    /// names of what failed.
    void ShowReport();

  private:
    RunContext& context_;
    RunReport report_;
};

}  // namespace nocturo
