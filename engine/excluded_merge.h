#pragma once
// How a stacking run leaves the excluded areas of its frames out: a frame's
// pixels inside its areas take no part in the merge, so the result there is
// the merge of the other frames, exactly as if that frame had held nothing
// there. A run over a list without excluded areas takes none of this path.
//
// - Later frames: for AddMax, AddMaxLum and Add a black pixel changes
//   nothing, so the frame's areas are painted black before the merge (which
//   keeps a frame map right as well); for the other operations the result's
//   pixels in the areas are kept before the merge and put back after it.
// - The first frame's areas start black and "waiting": the first later
//   frame that has no area there puts its pixels in as a first picture
//   would, and from then on they merge as usual. A pixel every frame
//   excludes stays black.

#include <cstdint>
#include <vector>

#include "core/combine.h"
#include "core/excluded_areas.h"
#include "lists/file_list.h"

namespace nocturo {

class FrameMap;

class ExcludedMerge {
  public:
    /// Active when the run merges frames (firstIsMerged) and some entry of
    /// the list has excluded areas now.
    ExcludedMerge(const FileList& list, ImageOperation operation, bool firstIsMerged);
    bool Active() const { return active_; }

    /// Whether merging entry `index` goes through Merge: the run must then
    /// merge the frame into the result, not the result into the frame.
    bool Touches(int index) const {
        return active_ && (waiting_ > 0 || !list_.Excluded(index).empty());
    }

    /// The first picture, entry `index`, is in the result.
    void Start(RgbImage& result, int index);

    /// Merges entry `index`'s picture as `merge()` does, with the entry's
    /// areas left out; returns what `merge()` returned.
    template <typename MergeFn>
    bool Merge(RgbImage& source, RgbImage& result, int index, MergeFn merge) {
        if (!Touches(index)) {
            return merge();
        }
        const ExcludedAreas& areas = list_.Excluded(index);
        const bool keep = !areas.empty() && !blackIsNeutral_;
        if (!areas.empty() && blackIsNeutral_ && source.SameSize(result)) {
            BlackenAreas(source, areas);
        } else if (keep) {
            keeper_.Keep(result, areas);
        }
        if (!merge()) {
            return false;
        }
        if (keep) {
            keeper_.Restore(result);
        }
        FillWaiting(source, result, areas);
        return true;
    }

    /// The frame map of the run: pixels of the first frame's areas that no
    /// later frame marked name no frame.
    void FixMap(FrameMap& map) const;

  private:
    void FillWaiting(const RgbImage& source, RgbImage& result, const ExcludedAreas& areas);

    const FileList& list_;
    bool active_ = false;
    bool blackIsNeutral_ = false;
    AreaKeeper keeper_;
    int firstIndex_ = -1;
    ExcludedAreas firstAreas_;  // clipped to the result
    int width_ = 0;
    std::vector<uint8_t> waitingMask_;  // width_ x height, 1 while waiting
    ExcludedArea waitingBox_;
    int64_t waiting_ = 0;  // pixels still waiting
};

}  // namespace nocturo
