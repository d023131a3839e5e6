#pragma once
// WindowFrames: the decoded frames of a moving window over a fixed sequence
// of files, so that a frame that stays in the window for many outputs is
// decoded once, ahead, instead of once per output.
//
// Threading rules
// - The owner is the thread that runs the command (the GUI thread in the
//   program). Only the owner calls the public functions, the destructor
//   included.
// - Workers receive copies of the file names at construction and nothing
//   else; they decode with LoadImageFile into images of their own and hand
//   them to a slot under the mutex. They never touch a list, a host or the
//   result buffer.
// - One mutex guards the slots, the window bounds and the byte count. A
//   slot's pixels change only under the mutex, and only while its state is
//   not Done, or by the owner; a pointer the owner got from Frame() stays
//   valid until the owner next calls SetWindow, Frame or the destructor.
// - The destructor stops the workers after their current decode and joins
//   them.
// - Memory: at most `budget` bytes of decoded frames are kept, besides one
//   frame being decoded per worker. A frame that does not fit keeps only
//   what a load of it said (loaded or not, and its size); its pixels are
//   decoded again by whoever needs them.
// - At 16 bits per channel a frame is kept whole, at its own (double)
//   size in bytes, and the darkening below does not thin it.
// - At 8 bits frames are kept as blocks (block_frame.h). The owner says which
//   darkening a frame will at least get while the window starts at a given
//   index; the blocks that darkening wipes out are given back when the frame
//   is decoded and whenever the window moves on.
//
// A frame is handed out only while its file is still the one that was
// decoded (same inode, size and times); a file rewritten since then, for
// instance by the command's own outputs, is decoded again, so the owner sees
// what a load at that moment sees.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/excluded_areas.h"
#include "core/rgb_image.h"
#include "engine/block_frame.h"
#include "engine/file_stamp.h"

namespace nocturo {

/// Half of the physical memory: the default budget for kept frames.
size_t DefaultFrameBudget();

class WindowFrames {
  public:
    /// The least darkening frame `index` will be merged with from now on,
    /// while the window starts at `first`; below 0: none is known.
    using LeastDarkening = std::function<int(int index, int first)>;

    /// names: the files, by index. threads: decode workers (0: the owner
    /// decodes each frame when it asks for it). ahead: frames decoded beyond
    /// the window's end. depth: bits per channel the frames are loaded at
    /// (8 or 16). excluded: the areas of each file painted black as soon as
    /// it is decoded (a max takes nothing from them); empty for none.
    WindowFrames(std::vector<std::string> names, int threads, int ahead, size_t budget,
                 LeastDarkening leastDarkening = {}, int depth = 8,
                 std::vector<ExcludedAreas> excluded = {});
    ~WindowFrames();
    WindowFrames(const WindowFrames&) = delete;
    WindowFrames& operator=(const WindowFrames&) = delete;

    /// The window now covers indices [first, end): frames before first are
    /// released for good, and workers decode up to end + ahead. Neither
    /// bound may move backwards.
    void SetWindow(int first, int end);

    /// What loading frame `index` gives now.
    struct Frame {
        bool loaded = false;
        int width = 0;
        int height = 0;
        /// The pixels when they are kept, less the blocks that the least
        /// darkening wipes out (see BlockFrame::floor); null when the frame
        /// did not fit the budget (decode it with Decode) or did not load.
        const BlockFrame* blocks = nullptr;
        /// At 16 bits: the whole frame when it is kept, else null.
        const RgbImage* image = nullptr;
        /// Changes whenever the slot is decoded again: two Frames of one
        /// index with the same generation hold the same pixels. 0 for a
        /// frame loaded outside the window.
        uint64_t generation = 0;
    };
    /// The frames decoded at most beyond the window's end.
    int Ahead() const { return ahead_; }

    /// Waits for the frame's decode (or decodes it on the owner's thread when
    /// no worker has started it) and checks that the file did not change
    /// since. `name` must be the slot's name: anything else is loaded afresh
    /// and not kept.
    Frame Get(int index, const std::string& name);

    /// Decodes a frame that is not kept into `image`, as LoadImageFile does
    /// (its excluded areas black).
    /// Counted in Decodes().
    bool Decode(int index, RgbImage& image);

    /// Frames decoded so far, by workers and owner together.
    int64_t Decodes() const;
    /// Bytes of frames kept now, and the most kept at any time.
    size_t BytesKept() const;
    size_t PeakBytesKept() const;

  private:
    enum class State { Empty, Decoding, Done, Released };
    struct Slot {
        State state = State::Empty;
        bool usable = false;  // the decode ran to its end without throwing
        bool loaded = false;
        int width = 0;
        int height = 0;
        FileStamp stamp;
        RgbImage image;     // the decode's buffer, until it is stored
        BlockFrame blocks;  // empty unless kept (8 bits)
        RgbImage whole;     // empty unless kept (16 bits)
        bool kept = false;
        uint64_t generation = 0;
    };

    void WorkerLoop();
    /// Decodes slot `index`'s file and keeps the blocks above floor; no
    /// lock held.
    void DecodeInto(int index, Slot& result, int floor);
    /// The least darkening of frame index now; the caller holds mutex_.
    int FloorLocked(int index) const;
    /// Stores a finished decode; the caller holds mutex_.
    void StoreLocked(int index, Slot&& result);
    void ReleaseLocked(Slot& slot);
    /// Bytes of picture a slot keeps.
    size_t KeptBytes(const Slot& slot) const;
    /// Gives the slot's kept pixels back; the caller holds mutex_.
    void DropKeptLocked(Slot& slot);
    RgbImage TakeBufferLocked();

    const std::vector<std::string> names_;
    const int ahead_;
    const size_t budget_;
    const LeastDarkening leastDarkening_;
    const std::vector<ExcludedAreas> excluded_;
    const int depth_;
    // Decode buffers kept for reuse: one per worker and one for the owner.
    // Fixed before the workers start, which read it.
    const size_t poolLimit_;
    BlockPool blockPool_;
    std::vector<Slot> slots_;
    std::vector<std::thread> workers_;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable decodeFinished_;
    bool stopping_ = false;
    int first_ = 0;
    int end_ = 0;
    int next_ = 0;  // lowest slot a worker may still find Empty
    size_t bytesKept_ = 0;
    size_t peakBytesKept_ = 0;
    int64_t decodes_ = 0;
    uint64_t generations_ = 0;
    /// Buffers of frames that left the window, for the next decodes: a
    /// fresh frame-sized allocation costs the kernel a page clearing.
    std::vector<RgbImage> pool_;
};

}  // namespace nocturo
