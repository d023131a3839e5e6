#include "engine/window_frames.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/image_file.h"

namespace nocturo {

size_t DefaultFrameBudget() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return size_t{1} << 30;  // unknown: a modest gigabyte
    }
    return static_cast<size_t>(pages) / 2 * static_cast<size_t>(pageSize);
}

WindowFrames::WindowFrames(std::vector<std::string> names, int threads, int ahead, size_t budget,
                           LeastDarkening leastDarkening, int depth,
                           std::vector<ExcludedAreas> excluded)
    : names_(std::move(names)),
      ahead_(std::max(ahead, 0)),
      budget_(budget),
      // Whole 16-bit frames are not thinned: no darkening is asked for.
      leastDarkening_(depth == 16 ? LeastDarkening() : std::move(leastDarkening)),
      excluded_(std::move(excluded)),
      depth_(depth == 16 ? 16 : 8),
      poolLimit_(static_cast<size_t>(std::max(threads, 0)) + 1),
      slots_(names_.size()) {
    try {
        for (int k = 0; k < threads; ++k) {
            workers_.emplace_back([this] { WorkerLoop(); });
        }
    } catch (const std::system_error&) {
        // Fewer workers; with none the owner decodes every frame itself.
    }
}

WindowFrames::~WindowFrames() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void WindowFrames::SetWindow(int first, int end) {
    const int count = static_cast<int>(slots_.size());
    first = std::clamp(first, 0, count);
    end = std::clamp(end, first, count);
    {
        std::lock_guard lock(mutex_);
        for (int i = first_; i < first; ++i) {
            ReleaseLocked(slots_[static_cast<size_t>(i)]);
        }
        first_ = std::max(first_, first);
        end_ = std::max(end_, end);
        next_ = std::max(next_, first_);
        // Blocks that the darkenings still to come wipe out are not needed.
        const int last = std::min(count, end_ + ahead_);
        for (int i = first_; i < last && leastDarkening_; ++i) {
            Slot& slot = slots_[static_cast<size_t>(i)];
            if (slot.kept && slot.state == State::Done) {
                bytesKept_ -= blockPool_.Thin(slot.blocks, FloorLocked(i));
            }
        }
    }
    workAvailable_.notify_all();
}

int WindowFrames::FloorLocked(int index) const {
    return leastDarkening_ ? leastDarkening_(index, first_) : -1;
}

size_t WindowFrames::KeptBytes(const Slot& slot) const {
    return depth_ == 16 ? slot.whole.Bytes() : slot.blocks.BytesKept();
}

void WindowFrames::DropKeptLocked(Slot& slot) {
    if (slot.kept) {
        bytesKept_ -= KeptBytes(slot);
        slot.kept = false;
    }
    blockPool_.Clear(slot.blocks);
    if (slot.whole.Width() > 0 && pool_.size() < poolLimit_) {
        pool_.push_back(std::move(slot.whole));
    }
    slot.whole.Release();
}

void WindowFrames::ReleaseLocked(Slot& slot) {
    DropKeptLocked(slot);
    if (slot.state != State::Decoding) {
        slot.state = State::Released;  // a decode in flight is dropped when it ends
    }
}

RgbImage WindowFrames::TakeBufferLocked() {
    if (pool_.empty()) {
        return RgbImage();
    }
    RgbImage buffer = std::move(pool_.back());
    pool_.pop_back();
    return buffer;
}

void WindowFrames::DecodeInto(int index, Slot& result, int floor) {
    const std::string& name = names_[static_cast<size_t>(index)];
    // Stat before reading, so that a change during the read shows too.
    result.stamp = StampOf(name);
    result.usable = false;
    try {
        // Straight into the buffer: its old pixels do not matter.
        result.loaded = LoadImageFileInto(result.image, name, LoadOptions{depth_});
        if (result.loaded && static_cast<size_t>(index) < excluded_.size()) {
            BlackenAreas(result.image, excluded_[static_cast<size_t>(index)]);
        }
        // Kept as blocks: a frame that cannot be cut up is not kept. At 16
        // bits the decode's own buffer is kept.
        result.kept =
            result.loaded && (depth_ == 16 || blockPool_.Fill(result.blocks, result.image, floor));
        result.usable = true;
    } catch (...) {
        // The owner loads the file itself and meets the error there.
        result.image.Release();
    }
    result.width = result.image.Width();
    result.height = result.image.Height();
}

void WindowFrames::StoreLocked(int index, Slot&& result) {
    ++decodes_;
    Slot& slot = slots_[static_cast<size_t>(index)];
    if (depth_ == 16 && result.kept && index >= first_) {
        result.whole.Swap(result.image);
    }
    // The decode's buffer serves the next decode.
    if (result.image.Width() > 0 && pool_.size() < poolLimit_) {
        pool_.push_back(std::move(result.image));
    }
    result.image.Release();
    if (index < first_) {
        blockPool_.Clear(result.blocks);
        slot.state = State::Released;
        decodeFinished_.notify_all();
        return;
    }
    DropKeptLocked(slot);
    slot.usable = result.usable;
    slot.loaded = result.loaded;
    slot.width = result.width;
    slot.height = result.height;
    slot.stamp = result.stamp;
    slot.generation = ++generations_;
    const size_t bytes = result.kept ? KeptBytes(result) : 0;
    slot.kept = result.usable && result.loaded && result.kept && bytesKept_ + bytes <= budget_;
    if (slot.kept) {
        std::swap(slot.blocks, result.blocks);
        slot.whole.Swap(result.whole);
        bytesKept_ += bytes;
        peakBytesKept_ = std::max(peakBytesKept_, bytesKept_);
    } else {
        blockPool_.Clear(result.blocks);
        if (result.whole.Width() > 0 && pool_.size() < poolLimit_) {
            pool_.push_back(std::move(result.whole));
        }
    }
    slot.state = State::Done;
    decodeFinished_.notify_all();
}

WindowFrames::Frame WindowFrames::Get(int index, const std::string& name) {
    const int count = static_cast<int>(slots_.size());
    Frame frame;
    std::unique_lock lock(mutex_);
    if (index < first_ || index >= count || names_[static_cast<size_t>(index)] != name) {
        lock.unlock();
        // Not a frame of the window: loaded afresh and not kept, like a
        // frame that does not fit.
        RgbImage loose;
        frame.loaded = LoadImageFile(loose, name, LoadOptions{depth_});
        frame.width = loose.Width();
        frame.height = loose.Height();
        return frame;
    }
    Slot& slot = slots_[static_cast<size_t>(index)];
    if (slot.state == State::Empty || slot.state == State::Released) {
        slot.state = State::Decoding;
        Slot result;
        result.image = TakeBufferLocked();
        const int floor = FloorLocked(index);
        lock.unlock();
        DecodeInto(index, result, floor);
        lock.lock();
        StoreLocked(index, std::move(result));
    }
    decodeFinished_.wait(lock, [&] { return slot.state == State::Done; });
    if (!slot.usable || !(slot.stamp == StampOf(name))) {
        // The decode threw, or the file changed since: decode it now, as a
        // load at this moment would.
        slot.state = State::Decoding;
        Slot result;
        result.image = TakeBufferLocked();
        const int floor = FloorLocked(index);
        lock.unlock();
        DecodeInto(index, result, floor);
        if (!result.usable) {
            // Let the error reach the owner.
            RgbImage scratch;
            LoadImageFile(scratch, name, LoadOptions{depth_});
        }
        lock.lock();
        StoreLocked(index, std::move(result));
    }
    frame.loaded = slot.loaded;
    frame.width = slot.width;
    frame.height = slot.height;
    frame.blocks = slot.kept && depth_ == 8 ? &slot.blocks : nullptr;
    frame.image = slot.kept && depth_ == 16 ? &slot.whole : nullptr;
    frame.generation = slot.generation;
    return frame;
}

bool WindowFrames::Decode(int index, RgbImage& image) {
    const bool ok = LoadImageFile(image, names_[static_cast<size_t>(index)], LoadOptions{depth_});
    if (ok && static_cast<size_t>(index) < excluded_.size()) {
        BlackenAreas(image, excluded_[static_cast<size_t>(index)]);
    }
    std::lock_guard lock(mutex_);
    ++decodes_;
    return ok;
}

int64_t WindowFrames::Decodes() const {
    std::lock_guard lock(mutex_);
    return decodes_;
}

size_t WindowFrames::BytesKept() const {
    std::lock_guard lock(mutex_);
    return bytesKept_;
}

size_t WindowFrames::PeakBytesKept() const {
    std::lock_guard lock(mutex_);
    return peakBytesKept_;
}

void WindowFrames::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        int index = -1;
        workAvailable_.wait(lock, [&] {
            if (stopping_) {
                return true;
            }
            const int limit = std::min(static_cast<int>(slots_.size()), end_ + ahead_);
            while (next_ < limit && slots_[static_cast<size_t>(next_)].state != State::Empty) {
                ++next_;
            }
            if (next_ < limit) {
                index = next_++;
                return true;
            }
            return false;
        });
        if (stopping_) {
            return;
        }
        slots_[static_cast<size_t>(index)].state = State::Decoding;
        Slot result;
        result.image = TakeBufferLocked();
        const int floor = FloorLocked(index);
        lock.unlock();
        DecodeInto(index, result, floor);
        lock.lock();
        StoreLocked(index, std::move(result));
    }
}

}  // namespace nocturo
