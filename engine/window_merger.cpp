#include "engine/window_merger.h"

#include <algorithm>
#include <new>

#include "core/image_file.h"
#include "engine/darkened_max.h"

namespace nocturo {

WindowMerger::WindowMerger(RunState& state, WindowEntries& entries,
                           const std::vector<ListEntry>& copy, const MovingMaxSettings& settings,
                           std::vector<std::pair<int, int>> schedule, int mergeThreads)
    : state_(state),
      entries_(entries),
      copy_(copy),
      settings_(settings),
      schedule_(std::move(schedule)),
      mergeThreads_(mergeThreads) {}

void WindowMerger::StartWindow() {
    blackPending_ = false;
    plan_.clear();
}

std::vector<WindowMerger::Key> WindowMerger::KeysOf(const std::vector<PlannedFrame>& plan) {
    std::vector<Key> keys;
    keys.reserve(plan.size());
    for (const PlannedFrame& p : plan) {
        keys.push_back({p.slot, p.generation, p.darkening});
    }
    return keys;
}

RgbImage WindowMerger::SpareImage() {
    if (spare_.empty()) {
        return RgbImage();
    }
    RgbImage image = std::move(spare_.back());
    spare_.pop_back();
    return image;
}

// Keeps a buffer for the next windows merged together; an emptied one is of
// no use (a fresh frame-sized allocation costs the kernel a page clearing).
void WindowMerger::KeepSpare(RgbImage&& image) {
    if (image.Width() > 0 && image.Height() > 0 &&
        static_cast<int>(spare_.size()) < kWindowsMergedTogether + 1) {
        spare_.push_back(std::move(image));
    }
}

// Makes `image` the result; the old result's buffer is kept for reuse.
void WindowMerger::TakeAsResult(RgbImage& image) {
    state_.ResultBuffer().Swap(image);
    blackPending_ = false;
    KeepSpare(std::move(image));
}

void WindowMerger::FinishWindow(int output) {
    RgbImage& result = state_.ResultBuffer();
    const std::vector<Key> keys = KeysOf(plan_);
    auto it = ready_.find(output);
    const bool matches = it != ready_.end() && it->second.width == result.Width() &&
                         it->second.height == result.Height() && it->second.keys == keys;
    if (matches) {
        TakeAsResult(it->second.image);
        ++mergedAhead_;
    }
    // Windows merged ahead for outputs up to this one are of no more use.
    while (!ready_.empty() && ready_.begin()->first <= output) {
        KeepSpare(std::move(ready_.begin()->second.image));
        ready_.erase(ready_.begin());
    }
    if (matches) {
        plan_.clear();
        return;
    }
    if (result.Depth() == 16) {
        MergePlan();
        return;
    }
    const bool allKept = std::all_of(plan_.begin(), plan_.end(),
                                     [&](const PlannedFrame& p) { return Fits(p.blocks, result); });
    if (!plan_.empty() && allKept && output + 1 < static_cast<int>(schedule_.size())) {
        MergeTogether(output);
    } else {
        MergePlan();
    }
    plan_.clear();
}

std::vector<std::vector<PlannedFrame>> WindowMerger::PlansAhead(int output, int w, int h) {
    // The marks the entries will have: the run's for the entries it knows,
    // the copy's for those still to come; entries that fail are left out
    // as the run will disable them.
    std::map<int, bool> takes;
    auto taken = [&](int slot) {
        auto found = takes.find(slot);
        if (found != takes.end()) {
            return found->second;
        }
        const bool t = entries_.WillTake(slot);
        takes[slot] = t;
        return t;
    };
    auto frameOf = [&](int slot) {
        return entries_.Frame(slot, copy_[static_cast<size_t>(slot)].text);
    };
    std::vector<std::vector<PlannedFrame>> plans;
    for (int p = output + 1; p < static_cast<int>(schedule_.size()) &&
                             static_cast<int>(plans.size()) + 1 < kWindowsMergedTogether;
         ++p) {
        const auto [f, e] = schedule_[static_cast<size_t>(p)];
        // The window's size is that of its first frame that loads.
        int fw = -1;
        int fh = -1;
        for (int slot = f; slot < e; ++slot) {
            if (!taken(slot)) {
                continue;
            }
            const WindowFrames::Frame frame = frameOf(slot);
            if (frame.loaded) {
                fw = frame.width;
                fh = frame.height;
                break;
            }
            takes[slot] = false;
        }
        if (fw != w || fh != h) {
            break;
        }
        std::vector<PlannedFrame> plan;
        bool usable = true;
        for (int slot = f; slot < e && usable; ++slot) {
            if (!taken(slot)) {
                continue;
            }
            const WindowFrames::Frame frame = frameOf(slot);
            if (frame.loaded && frame.width == w && frame.height == h) {
                const int d =
                    settings_.darkening ? DarkeningValue(settings_.windowSize, slot - f) : 0;
                const BlockFrame* blocks = Usable(frame.blocks, d);
                usable = blocks != nullptr;
                plan.push_back({blocks, std::string(), d, slot, frame.generation});
            } else {
                takes[slot] = false;
            }
        }
        if (!usable || plan.empty()) {
            break;
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

// Merges this window with the next ones whose frames are already decided by
// what is known now; each later one is used only if its window turns out
// merged from the same frames with the same darkening.
void WindowMerger::MergeTogether(int output) {
    const int w = state_.ResultBuffer().Width();
    const int h = state_.ResultBuffer().Height();
    std::vector<std::vector<PlannedFrame>> plans{plan_};
    for (std::vector<PlannedFrame>& plan : PlansAhead(output, w, h)) {
        plans.push_back(std::move(plan));
    }
    // A frame decoded again meanwhile may have lost its place in memory.
    const RgbImage& result = state_.ResultBuffer();
    for (const auto& plan : plans) {
        for (const PlannedFrame& item : plan) {
            if (!Fits(item.blocks, result)) {
                MergePlan();
                return;
            }
        }
    }

    std::vector<RgbImage> images(plans.size());
    std::vector<RgbImage*> outputs;
    for (RgbImage& image : images) {
        image = SpareImage();
        if (!image.Resize(w, h)) {
            throw std::bad_alloc();
        }
        outputs.push_back(&image);
    }
    std::map<int, size_t> sourceOf;
    std::vector<SharedSource> sources;
    for (size_t k = 0; k < plans.size(); ++k) {
        for (const PlannedFrame& item : plans[k]) {
            auto [where, added] = sourceOf.emplace(item.slot, sources.size());
            if (added) {
                sources.push_back({nullptr, {}, nullptr, item.blocks});
            }
            sources[where->second].targets.emplace_back(static_cast<int>(k),
                                                        static_cast<uint8_t>(item.darkening));
        }
    }
    MergeDarkenedShared(outputs, sources, mergeThreads_);
    TakeAsResult(images[0]);
    for (size_t k = 1; k < plans.size(); ++k) {
        Ready& ready = ready_[output + static_cast<int>(k)];
        ready.width = w;
        ready.height = h;
        ready.keys = KeysOf(plans[k]);
        ready.image = std::move(images[k]);
    }
}

void WindowMerger::MergePlan() {
    RgbImage& result = state_.ResultBuffer();
    if (blackPending_) {
        FillImage(result, 0, 0, 0);
        blackPending_ = false;
    }
    const int depth = result.Depth();
    std::vector<DarkenedSource> kept;
    for (const PlannedFrame& p : plan_) {
        if (depth == 8 && Fits(p.blocks, result)) {
            kept.push_back({nullptr, static_cast<uint8_t>(p.darkening), nullptr, p.blocks});
            continue;
        }
        if (depth == 16 && p.image != nullptr && p.image->SameSize(result) &&
            p.image->Depth() == 16) {
            MergeDarkened16(result, *p.image, p.darkening, mergeThreads_);
            continue;
        }
        ++decodes_;
        const std::string& name = p.name.empty() ? copy_[static_cast<size_t>(p.slot)].text : p.name;
        entries_.BeforeDecode(p.slot, name);
        if (LoadImageFile(scratch_, name, LoadOptions{depth}) && scratch_.SameSize(result)) {
            BlackenAreas(scratch_, copy_[static_cast<size_t>(p.slot)].excluded);
            if (depth == 16) {
                MergeDarkened16(result, scratch_, p.darkening, mergeThreads_);
                continue;
            }
            const DarkenedSource one{&scratch_, static_cast<uint8_t>(p.darkening)};
            MergeDarkened(result, {&one, 1}, mergeThreads_);
        }
    }
    MergeDarkened(result, kept, mergeThreads_);
    plan_.clear();
}

}  // namespace nocturo
