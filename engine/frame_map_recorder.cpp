#include "engine/frame_map.h"

#include <algorithm>
#include <utility>

#include "engine/frame_map_kernels.h"

namespace nocturo {

FrameMapRecorder::FrameMapRecorder(bool wanted, ImageOperation operation, bool firstIsMerged) {
    if (wanted && firstIsMerged && (operation == AddMax || operation == AddMaxLum)) {
        operation_ = operation;
    }
}

void FrameMapRecorder::Start(const RgbImage& result, int index, const std::string& name) {
    if (!Active()) {
        return;
    }
    map_.Release();
    used_ = 0;
    names_.clear();
    width_ = result.Width();
    height_ = result.Height();
    firstValue_ = static_cast<uint32_t>(index) + 1;
    planeWords_ = PlaneWords(static_cast<size_t>(width_) * height_);
    // Without memory for the record the run goes on without one.
    started_ = index >= 0 && width_ > 0 && height_ > 0 && planes_.Allocate(planeWords_ * kSlots);
    if (started_) {
        NoteName(index, name);
    }
}

void FrameMapRecorder::NoteName(int index, const std::string& name) {
    names_.emplace_back(index, name);
}

bool FrameMapRecorder::Fold() {
    const bool fresh = map_.Empty();
    if (fresh) {
        const uint32_t largest =
            std::max(firstValue_, used_ > 0 ? *std::max_element(values_, values_ + used_) : 0);
        if (!map_.Allocate(width_, height_, largest > FrameMap::kNarrowMax)) {
            return false;
        }
    }
    const uint16_t* planes[kSlots];
    for (int k = 0; k < used_; ++k) {
        planes[k] = planes_.data() + static_cast<size_t>(k) * planeWords_;
    }
    if (!FoldInto(map_, planes, used_, values_, fresh, firstValue_)) {
        return false;
    }
    used_ = 0;
    return true;
}

bool FrameMapRecorder::Merge(ImageOperation operation, OperationRecord* record, RgbImage& source,
                             RgbImage& result, int index, const std::string& name) {
    const bool fits = result.Width() == width_ && result.Height() == height_;
    if (!Active() || !started_ || !fits || index < 0) {
        return operation(source, result, record);
    }
    if (!CanCombine(source, result)) {
        return false;  // as the operation itself refuses it
    }
    if (used_ == kSlots && !Fold()) {
        started_ = false;  // no memory for the map: go on without one
        planes_.Release();
        map_.Release();
        return operation(source, result, record);
    }
    MergeMarking(operation_ == AddMax, source, result,
                 planes_.data() + static_cast<size_t>(used_) * planeWords_);
    values_[used_++] = static_cast<uint32_t>(index) + 1;
    NoteName(index, name);
    return true;
}

FrameMap FrameMapRecorder::Finish(const RgbImage& result) {
    FrameMap map;
    const bool fits = result.Width() == width_ && result.Height() == height_;
    if (started_ && fits && Fold()) {
        std::swap(map, map_);
        for (const auto& [index, name] : names_) {
            map.NoteName(index, name);
        }
    }
    map_.Release();
    planes_.Release();
    names_.clear();
    used_ = 0;
    started_ = false;
    return map;
}

}  // namespace nocturo
