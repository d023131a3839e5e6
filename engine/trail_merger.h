#pragma once
// The stacking run's part in gap filling and fades. Before the first merge
// it reads the first few frames (kept for the run, which then reads them
// from here) and measures how the sky turns on them; then for every frame
// it weighs the pixels, notes the star pixels and, after the merge, merges
// them again turned through the gap.

#include <functional>
#include <string>
#include <vector>

#include "core/combine.h"
#include "core/fades.h"
#include "core/gap_fill.h"
#include "engine/run_state.h"
#include "engine/trail_options.h"
#include "lists/file_list.h"

namespace nocturo {

class TrailMerger {
  public:
    /// Frames read before the run to measure the rotation.
    static constexpr int kMeasuredFrames = 4;

    /// Inactive (every call does nothing) unless the state's trail options
    /// ask for something and the operation is AddMax or AddMaxLum merged
    /// frame by frame.
    TrailMerger(const RunState& state, ImageOperation operation, bool firstIsMerged);
    bool Active() const { return fills_ || fades_; }

    using Reader = std::function<bool(int index, RgbImage& destination)>;
    /// Before the first merge: counts the frames; for gap filling reads the
    /// first frames the run takes (with `read`, the run's own reading),
    /// measures the rotation and the gap, and loads the sky mask.
    void Prepare(const FileList& left, const Reader& read);

    /// A frame read by Prepare for entry `index`, when the entry still
    /// names it: swapped into destination, true. False otherwise.
    bool TakePrepared(const FileList& left, int index, RgbImage& destination);

    /// The frame of entry `index` of the left list is merged next, as the
    /// `merged`-th picture (0 for the first): weighs it and notes its star
    /// pixels. With weighInMerge, when WeighsInMerge(), the weight is only
    /// noted and the caller merges with MergeWeighed instead.
    void BeforeMerge(RgbImage& frame, const FileList& left, int index, int merged,
                     bool weighInMerge = false);
    /// Whether a frame's weight can be taken in its AddMax instead of in a
    /// pass of its own: fades alone, on AddMax.
    bool WeighsInMerge() const { return fades_ && !fills_ && !byLuminosity_; }
    /// AddMax of the frame, weighed as BeforeMerge noted, into result.
    bool MergeWeighed(RgbImage& frame, RgbImage& result) const {
        return AddMaxWeighed(frame, result, factor_);
    }
    /// It was merged into result: its star pixels, turned through the gap.
    void AfterMerge(RgbImage& result);

    const TrailReport& Report() const { return report_; }

  private:
    TrailOptions options_;
    bool fills_ = false;
    bool fades_ = false;
    bool byLuminosity_ = false;
    int frames_ = 0;  // frames the run takes, counted at its start
    double gapRadians_ = 0;
    SkyMask mask_;
    Background background_;
    std::vector<StarPixel> pixels_;
    bool pending_ = false;           // pixels_ wait for AfterMerge
    uint32_t factor_ = kFullWeight;  // the weight MergeWeighed takes
    struct Prepared {
        int index;
        std::string name;
        RgbImage frame;
    };
    std::vector<Prepared> prepared_;
    TrailReport report_;
};

/// The lines that tell what a run's gap filling found, for its report.
std::vector<std::string> TrailReportLines(const TrailReport& report);

}  // namespace nocturo
