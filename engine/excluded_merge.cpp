#include "engine/excluded_merge.h"

#include <algorithm>
#include <cstring>

#include "engine/frame_map.h"

namespace nocturo {

ExcludedMerge::ExcludedMerge(const FileList& list, ImageOperation operation, bool firstIsMerged)
    : list_(list),
      active_(firstIsMerged && list.AnyExcluded()),
      blackIsNeutral_(operation == AddMax || operation == AddMaxLum || operation == Add) {}

void ExcludedMerge::Start(RgbImage& result, int index) {
    firstIndex_ = index;
    firstAreas_.clear();
    waitingMask_.clear();
    waiting_ = 0;
    if (!active_) {
        return;
    }
    width_ = result.Width();
    for (const ExcludedArea& area : list_.Excluded(index)) {
        const ExcludedArea a = ClipArea(area, result.Width(), result.Height());
        if (a.w > 0) {
            firstAreas_.push_back(a);
        }
    }
    if (firstAreas_.empty()) {
        return;
    }
    BlackenAreas(result, firstAreas_);
    waitingMask_.assign(static_cast<size_t>(result.Width()) * result.Height(), 0);
    int left = result.Width(), top = result.Height(), right = 0, bottom = 0;
    for (const ExcludedArea& a : firstAreas_) {
        for (int y = a.y; y < a.y + a.h; ++y) {
            uint8_t* row = waitingMask_.data() + static_cast<size_t>(y) * width_;
            std::memset(row + a.x, 1, static_cast<size_t>(a.w));
        }
        left = std::min(left, a.x);
        top = std::min(top, a.y);
        right = std::max(right, a.x + a.w);
        bottom = std::max(bottom, a.y + a.h);
    }
    waitingBox_ = {left, top, right - left, bottom - top};
    waiting_ = std::count(waitingMask_.begin(), waitingMask_.end(), uint8_t{1});
}

void ExcludedMerge::FillWaiting(const RgbImage& source, RgbImage& result,
                                const ExcludedAreas& areas) {
    if (waiting_ == 0 || !source.SameSize(result) || result.Width() != width_ ||
        source.Depth() != result.Depth()) {
        return;
    }
    const size_t pixel = static_cast<size_t>(3 * (result.Depth() >> 3));
    const ExcludedArea& box = waitingBox_;
    for (int y = box.y; y < box.y + box.h; ++y) {
        uint8_t* mask = waitingMask_.data() + static_cast<size_t>(y) * width_;
        const uint8_t* from = source.Row(y);
        uint8_t* to = result.Row(y);
        for (int x = box.x; x < box.x + box.w; ++x) {
            if (mask[x] != 0 && !InExcludedArea(areas, x, y)) {
                std::memcpy(to + x * pixel, from + x * pixel, pixel);
                mask[x] = 0;
                --waiting_;
            }
        }
    }
}

void ExcludedMerge::FixMap(FrameMap& map) const {
    if (firstAreas_.empty() || map.Width() != width_) {
        return;
    }
    const uint32_t first = static_cast<uint32_t>(firstIndex_) + 1;
    auto clear = [&](auto* cells) {
        for (const ExcludedArea& a : firstAreas_) {
            for (int y = a.y; y < a.y + a.h && y < map.Height(); ++y) {
                auto* row = cells + static_cast<size_t>(y) * map.Width();
                for (int x = a.x; x < a.x + a.w; ++x) {
                    if (row[x] == first) {
                        row[x] = 0;
                    }
                }
            }
        }
    };
    if (map.NarrowCells() != nullptr) {
        clear(map.NarrowCells());
    } else if (map.WideCells() != nullptr) {
        clear(map.WideCells());
    }
}

}  // namespace nocturo
