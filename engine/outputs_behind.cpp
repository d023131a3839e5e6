#include "engine/outputs_behind.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

namespace nocturo {

OutputsBehind::OutputsBehind(int inFlight, const std::vector<ListEntry>& copy)
    : inFlight_(inFlight), copy_(copy), canonical_(copy.size()) {}

std::string OutputsBehind::Canonical(const std::string& name) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(name, error);
    return error ? name : path.string();
}

void OutputsBehind::Write(const RgbImage& result, const std::string& name) {
    while (static_cast<int>(saves_.size()) >= inFlight_) {
        FinishOldest();
    }
    std::string canonical = Canonical(name);
    for (const auto& pending : saves_) {
        if (pending->canonical == canonical) {
            WaitForAll();  // the later write must land last
            break;
        }
    }
    auto save = std::make_unique<PendingSave>();
    if (!imageSpare_.empty()) {
        save->image = std::move(imageSpare_.back());
        imageSpare_.pop_back();
    }
    if (!save->image.Resize(result.Width(), result.Height(), result.Depth())) {
        throw std::bad_alloc();
    }
    for (int y = 0; y < result.Height(); ++y) {
        std::copy_n(result.Row(y), result.Stride(), save->image.Row(y));
    }
    save->image.SetFormat(result.Format());
    save->name = name;
    save->canonical = std::move(canonical);
    if (!scratchSpare_.empty()) {
        save->scratch = std::move(scratchSpare_.back());
        scratchSpare_.pop_back();
    } else {
        save->scratch = std::make_unique<SaveScratch>();
    }
    PendingSave* job = save.get();
    save->done = std::async(std::launch::async, [job] {
        std::string target = job->name;
        return SaveImageFile(job->image, target, kDefaultOutputName, &job->reason, 1,
                             job->scratch.get());
    });
    saves_.push_back(std::move(save));
}

// Waits for the oldest output being written and counts it.
void OutputsBehind::FinishOldest() {
    std::unique_ptr<PendingSave> save = std::move(saves_.front());
    saves_.pop_front();
    lastOk_ = save->done.get();
    if (lastOk_) {
        ++written_;
    } else {
        unwritten_.push_back({save->name, save->reason});
    }
    imageSpare_.push_back(std::move(save->image));
    scratchSpare_.push_back(std::move(save->scratch));
}

void OutputsBehind::WaitForAll() {
    while (!saves_.empty()) {
        FinishOldest();
    }
}

void OutputsBehind::WaitIfWriting(int slot, const std::string& name) {
    if (saves_.empty()) {
        return;
    }
    for (const auto& pending : saves_) {
        if (pending->name == name) {
            WaitForAll();
            return;
        }
    }
    std::string canonical;
    if (slot >= 0 && slot < static_cast<int>(canonical_.size())) {
        std::string& cached = canonical_[static_cast<size_t>(slot)];
        if (cached.empty()) {
            cached = Canonical(copy_[static_cast<size_t>(slot)].text);
        }
        canonical = copy_[static_cast<size_t>(slot)].text == name ? cached : Canonical(name);
    } else {
        canonical = Canonical(name);
    }
    for (const auto& pending : saves_) {
        if (pending->canonical == canonical) {
            WaitForAll();
            return;
        }
    }
}

}  // namespace nocturo
