#pragma once
// The frame map: for every pixel of the result buffer, which entry of the
// left list made it, recorded while AddMax or AddMaxLum merges a night. It
// lets the user trace a plane's trail or a bright patch back to its frames.
//
// The map belongs to the result buffer: a run starts without one, and any
// command that replaces the result drops it (RunState::DropFrameMap).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/combine.h"
#include "core/large_array.h"
#include "core/rgb_image.h"
#include "lists/file_list.h"

namespace nocturo {

class FrameMap {
  public:
    /// The largest value a 16-bit cell holds.
    static constexpr uint32_t kNarrowMax = 65535;

    /// Makes the map width x height with every pixel made by entry
    /// `firstIndex`. False, leaving the map empty, when memory runs out or
    /// the size is absurd.
    bool Reset(int width, int height, int firstIndex);
    void Release();

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0; }
    bool SameSize(const RgbImage& image) const {
        return !Empty() && width_ == image.Width() && height_ == image.Height();
    }

    // A cell holds the entry index + 1 of the frame behind its pixel, 0 for
    // none; the cells of a row follow those of the row above. They take 16
    // bits while every value fits (nights of up to 65,535 entries), 32
    // beyond.

    /// The cell of pixel (x, y), which must lie inside the map.
    uint32_t Cell(int x, int y) const {
        const size_t at = static_cast<size_t>(y) * width_ + x;
        return narrow_.empty() ? wide_.data()[at] : narrow_.data()[at];
    }
    /// The 16-bit cells, or null when the map holds 32-bit ones.
    uint16_t* NarrowCells() { return narrow_.empty() ? nullptr : narrow_.data(); }
    const uint16_t* NarrowCells() const { return narrow_.empty() ? nullptr : narrow_.data(); }
    /// The 32-bit cells, or null when the map holds 16-bit ones.
    uint32_t* WideCells() { return wide_.empty() ? nullptr : wide_.data(); }
    const uint32_t* WideCells() const { return wide_.empty() ? nullptr : wide_.data(); }
    /// Row y as 32-bit cells, for writing any value: 16-bit cells are
    /// widened first. Null when memory for that runs out.
    uint32_t* Row(int y);
    /// Makes the cells 32-bit. False, changing nothing, when memory runs
    /// out.
    bool Widen();

    /// The entry index behind pixel (x, y): -1 outside the map or for none.
    int IndexAt(int x, int y) const;

    /// Remembers the file name of entry `index` as it was when merged, so
    /// the map still names its frames after the list was edited or sorted.
    void NoteName(int index, const std::string& name);
    /// The name noted for an index, or an empty text.
    const std::string& NameOf(int index) const;
    /// Indices with a noted name, ascending.
    std::vector<int> NotedIndices() const;

  private:
    friend class FrameMapRecorder;
    /// Makes the map width x height with undefined cells of 16 bits, or of
    /// 32 when `wide`, for the caller to write every one.
    bool Allocate(int width, int height, bool wide);
    size_t Size() const { return static_cast<size_t>(width_) * height_; }

    int width_ = 0;
    int height_ = 0;
    LargeArray<uint16_t> narrow_;  // one of the two holds the cells
    LargeArray<uint32_t> wide_;
    std::vector<std::string> names_;
};

/// AddMax that also records `index` for every pixel one of whose channels
/// the source raised. Same result and same refusals as AddMax; false also
/// when the map's size is not the buffer's.
bool AddMaxRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index);
/// AddMaxLum that also records `index` for every pixel the source replaced.
bool AddMaxLumRecording(RgbImage& source, RgbImage& buffer, FrameMap& map, int index);

/// The widest instructions the frame map's loops may use; the processor's
/// own limit holds as well. Tests narrow it to check every kind of loop
/// against the same results; not to be changed while a merge runs.
enum class MapKernels { kScalar, kSsse3, kAvx2 };
void LimitFrameMapKernels(MapKernels widest);

/// What the stacking run calls to keep a frame map beside the result. It is
/// inactive (every call does what the run would do without it) unless the
/// run state asks for a map and the operation is AddMax or AddMaxLum on
/// frames merged as they come.
class FrameMapRecorder {
  public:
    FrameMapRecorder(bool wanted, ImageOperation operation, bool firstIsMerged);
    bool Active() const { return operation_ != nullptr; }

    /// The first picture is in the result buffer: every pixel is its.
    void Start(const RgbImage& result, int index, const std::string& name);
    /// Merges as operation(source, result, record) would, recording.
    bool Merge(ImageOperation operation, OperationRecord* record, RgbImage& source,
               RgbImage& result, int index, const std::string& name);
    /// The map of the run, or an empty one when none fits the result.
    FrameMap Finish(const RgbImage& result);

  private:
    // A merge notes only which pixels the frame changed, one bit per pixel
    // in a plane of its own: written once, an eighth of a byte a pixel,
    // against two or four bytes of a cell read and written by every merge.
    // Every kSlots frames, and at the end, the planes are folded into the
    // map: each cell takes the last frame whose bit is set.
    // Seven: more would fold less often but keep more fresh memory.
    static constexpr int kSlots = 7;
    static_assert(kSlots <= 15, "a fold tells at most 15 planes apart");
    bool Fold();
    void NoteName(int index, const std::string& name);

    ImageOperation operation_ = nullptr;
    bool started_ = false;
    int width_ = 0;
    int height_ = 0;
    uint32_t firstValue_ = 0;       // the first frame's cell value
    size_t planeWords_ = 0;         // 16-bit words in a plane
    LargeArray<uint16_t> planes_;   // kSlots planes, one after the other
    uint32_t values_[kSlots] = {};  // the cell value of each plane's frame
    int used_ = 0;                  // planes not yet folded
    FrameMap map_;                  // empty until the first fold
    std::vector<std::pair<int, std::string>> names_;
};

/// Entry indices that made at least one pixel of the rectangle from (x0, y0)
/// to (x1, y1), both corners included, in any order; clipped to the map.
/// Ascending.
std::vector<int> FramesInArea(const FrameMap& map, int x0, int y0, int x1, int y1);

/// Selects, as one change, exactly the entries of list that made at least
/// one pixel of the rectangle (see FramesInArea); every other entry is
/// unselected. An entry is found by its index while it still holds the name
/// the map noted for it, otherwise by that name. Returns the first selected
/// index, -1 when none.
int SelectFramesBehind(FileList& list, const FrameMap& map, int x0, int y0, int x1, int y1);

/// The margin of "Select the frames behind this area", in levels of 8-bit
/// luminosity (times 257 at 16 bits).
inline constexpr int kBehindMarginDefault = 20;

/// Entry indices behind the pixels of the rectangle (as FramesInArea) whose
/// luminosity in `result` stands at least `margin` levels (times 257 at
/// 16 bits) above the median luminosity of the rectangle's pixels: the
/// frames that made what is bright there, not the sky around it. Empty
/// unless the map has the result's size.
std::vector<int> FramesBehindBright(const FrameMap& map, const RgbImage& result, int x0, int y0,
                                    int x1, int y1, int margin);

/// Selects, as one change, exactly the entries `indices` names (as
/// SelectFramesBehind finds them). Returns the first selected index, -1
/// when none.
int SelectMappedFrames(FileList& list, const FrameMap& map, const std::vector<int>& indices);

/// A field of a CSV line: quoted when it holds a comma, a quote or a line
/// break, quotes doubled.
std::string CsvField(const std::string& text);

/// The name of the CSV that goes beside a frame map picture: its extension
/// replaced by ".csv" (added when there is none).
std::string FrameMapCsvName(const std::string& pictureName);

/// Writes the map as a 16-bit grey PNG (entry index + 1; 0 where no frame)
/// and, beside it, a CSV with the header line `header` and one line
/// "index,file name" per entry of `names`. False with a reason when either
/// cannot be written or an index does not fit 16 bits; nothing is left
/// half-written.
bool SaveFrameMap(const FrameMap& map, const std::string& pictureName, const std::string& header,
                  const std::vector<std::pair<int, std::string>>& names, std::string& problem);

}  // namespace nocturo
