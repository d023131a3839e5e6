#pragma once
// The merges of a moving maximum's windows (an inside of moving_max.cpp).
// The run decides, entry by entry as loading each would, which frames a
// window's output takes and with which darkening: its plan. The merger then
// merges the planned frames into the result buffer, the kept ones (see
// window_frames.h) in one pass over all of them, and a frame not kept
// decoded again once for this output.
//
// Merged ahead: when the frames of the next windows are already decided by
// what is known now (the list marks, the frames decoded), the merger merges
// them in the same pass ("windows merged together"), so each block of a
// frame is read from memory once for all of them. A window merged ahead is
// used only when its own plan turns out the same: the same frames, decoded
// the same time, with the same darkening.
//
// Everything runs on the run's thread; the merges themselves spread over
// `mergeThreads`. At 16 bits per channel (the result buffer's depth) frames
// are kept whole and each window is merged on its own.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/moving_max.h"
#include "engine/run_state.h"
#include "engine/window_frames.h"

namespace nocturo {

/// One frame of a window's plan.
struct PlannedFrame {
    /// Kept by the frame cache and usable with this darkening, or null:
    /// decode `name` (empty: the entry's own name).
    const BlockFrame* blocks = nullptr;
    std::string name;
    /// At the run's depth: 0..255, or 0..65535 at 16 bits.
    int darkening = 0;
    /// The entry's index in the list copy.
    int slot = 0;
    /// WindowFrames::Frame::generation of the frame planned.
    uint64_t generation = 0;
    /// At 16 bits: the kept whole frame, or null (decode it).
    const RgbImage* image = nullptr;
};

/// What the merger asks of the run about the entries of the list copy.
class WindowEntries {
  public:
    virtual ~WindowEntries() = default;
    /// Whether the run will take entry `slot`, by the marks known now.
    virtual bool WillTake(int slot) = 0;
    /// The frame of entry `slot` under `name`, as the run reads frames.
    virtual WindowFrames::Frame Frame(int slot, const std::string& name) = 0;
    /// Called before entry `slot` is decoded again under `name`.
    virtual void BeforeDecode(int slot, const std::string& name) = 0;
};

class WindowMerger {
  public:
    /// Consecutive windows merged together at most when the frames they
    /// take are known. Since merges skip the blocks that darkening wipes
    /// out, more would save little reading but hold more frames decoded
    /// ahead and more outputs at once.
    static constexpr int kWindowsMergedTogether = 2;

    /// schedule: the window (list copy indices [first, end)) of every
    /// output, as the run moves it when nothing stops it.
    WindowMerger(RunState& state, WindowEntries& entries, const std::vector<ListEntry>& copy,
                 const MovingMaxSettings& settings, std::vector<std::pair<int, int>> schedule,
                 int mergeThreads);

    /// The kept frame of a plan merged with darkening d: usable unless
    /// blocks that d does not wipe out were given back.
    static const BlockFrame* Usable(const BlockFrame* blocks, int d) {
        return blocks != nullptr && d >= blocks->floor ? blocks : nullptr;
    }

    /// A new window: no frame planned; the result buffer, cleared, is to be
    /// sized by the run.
    void StartWindow();
    /// The result has the window's size but is not black yet: nobody sees
    /// it before the merge, which may take a window merged ahead instead.
    void BlackPending() { blackPending_ = true; }
    void Plan(PlannedFrame frame) { plan_.push_back(std::move(frame)); }

    /// Merges the frames planned so far into the result (entry by entry
    /// with live display, or a stopped window as it is).
    void MergePlan();
    /// The window of output `output` (from 0) is decided: its merge, taken
    /// from a window merged ahead, or merged now with the next ones whose
    /// frames are decided.
    void FinishWindow(int output);

    /// Windows whose merge was taken from one merged ahead.
    int MergedAhead() const { return mergedAhead_; }
    /// Frames decoded again for a merge (not kept).
    int64_t Decodes() const { return decodes_; }

  private:
    /// What makes two windows' merges alike.
    struct Key {
        int slot;
        uint64_t generation;
        int darkening;
        friend bool operator==(const Key&, const Key&) = default;
    };
    /// A window merged ahead, with what it was merged from.
    struct Ready {
        int width = 0;
        int height = 0;
        std::vector<Key> keys;
        RgbImage image;
    };

    static bool Fits(const BlockFrame* blocks, const RgbImage& result) {
        return blocks != nullptr && blocks->width == result.Width() &&
               blocks->height == result.Height();
    }
    static std::vector<Key> KeysOf(const std::vector<PlannedFrame>& plan);

    void MergeTogether(int output);
    /// The plans of the windows after `output` whose frames are decided,
    /// up to kWindowsMergedTogether in all, for a result of w x h.
    std::vector<std::vector<PlannedFrame>> PlansAhead(int output, int w, int h);
    RgbImage SpareImage();
    void KeepSpare(RgbImage&& image);
    void TakeAsResult(RgbImage& image);

    RunState& state_;
    WindowEntries& entries_;
    const std::vector<ListEntry>& copy_;
    const MovingMaxSettings settings_;
    const std::vector<std::pair<int, int>> schedule_;
    const int mergeThreads_;
    std::vector<PlannedFrame> plan_;
    bool blackPending_ = false;
    std::map<int, Ready> ready_;  // by output, from 0
    std::vector<RgbImage> spare_;
    RgbImage scratch_;
    int mergedAhead_ = 0;
    int64_t decodes_ = 0;
};

}  // namespace nocturo
