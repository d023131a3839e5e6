#pragma once
// The rule every run that merges frames follows for a frame it cannot use:
// one bad frame must not cost the night. A frame that cannot be loaded, or
// that its operation rejects (another size than the result, say), is counted,
// its entry is unchecked and disabled so later runs skip it, the status bar
// shows it in the error style, and the run goes on with the result exactly
// as it was before that frame.

#include <string>

#include "core/combine.h"
#include "core/rgb_image.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// A run's error count and the marking of its failed frames.
class FrameErrors {
  public:
    explicit FrameErrors(RunContext& context) : context_(context) {}

    /// Entry `index` of the left list failed: counted, unchecked and
    /// disabled (pending events run), shown with ShowStatus(-index, text,
    /// left list, not ok). The result buffer is not touched.
    void Skip(int index);

    /// The frame of entry `index`, loaded (or not: loaded false) into
    /// `frame`, merged into `result` with `operation`. A frame that did not
    /// load, whose size differs from the result's, or that the operation
    /// rejects is skipped (Skip) and the result stays as it was; true when
    /// the frame was merged.
    bool Merge(int index, bool loaded, RgbImage& frame, RgbImage& result, ImageOperation operation,
               OperationRecord* record);

    /// Frames skipped so far.
    int Count() const { return count_; }

    /// The run's final message: "%d File(s) in Error" under "Processed
    /// Pictures", shown also for a count of 0.
    void Report();

  private:
    RunContext& context_;
    int count_ = 0;
};

}  // namespace nocturo
