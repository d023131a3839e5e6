#include "engine/moving_max.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/image_file.h"
#include "engine/darkened_max.h"
#include "engine/frame_errors.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"
#include "engine/window_frames.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

// Consecutive windows merged together when the frames they will take are
// known: each block of a frame is then read from memory once for all of
// them. Since merges skip the blocks that darkening wipes out, a larger
// batch saves little reading but holds more frames decoded ahead and more
// outputs at once.
constexpr int kBatch = 2;

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

/// The least darkening frame `index` gets while the window starts at
/// `first`: its position in the window only falls as the window moves on,
/// and never exceeds the newest position.
WindowFrames::LeastDarkening LeastDarkening(const MovingMaxSettings& settings) {
    const int n = settings.windowSize;
    if (!settings.darkening) {
        // Merged undarkened: only black blocks add nothing.
        return [](int, int) { return 0; };
    }
    return [n](int index, int first) {
        return DarkeningValue(n, std::clamp(index - first, 0, std::max(n - 1, 0)));
    };
}

int Processors() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::string WithoutFolder(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

/// One run: the window in the left list, the frames behind it, the
/// outputs.
class Run {
  public:
    Run(RunContext& context, MovingMaxDisplay& display, const MovingMaxSettings& settings,
        const MovingMaxOutput& output, const MovingMaxOptions& options,
        const std::vector<ListEntry>& entries)
        : context_(context),
          state_(context.state),
          host_(context.host),
          left_(context.lists.Left()),
          display_(display),
          settings_(settings),
          output_(output),
          entries_(entries),
          mergeThreads_(options.mergeThreads > 0 ? options.mergeThreads : Processors()),
          frames_(Names(entries), options.decodeThreads >= 0 ? options.decodeThreads : Processors(),
                  // Enough decoded ahead to keep every worker busy and to
                  // see the frames of the next batch of windows.
                  kBatch + std::max(2, options.decodeThreads >= 0 ? options.decodeThreads
                                                                  : Processors()),
                  options.frameBudget > 0 ? options.frameBudget : DefaultFrameBudget(),
                  LeastDarkening(settings)) {
        MakeSchedule();
        canonical_.resize(entries_.size());
    }

    void Execute() {
        const int m = static_cast<int>(entries_.size());
        const int n = settings_.windowSize;
        if (!settings_.progressive) {
            for (int k = 0; k < std::min(n, m); ++k) {
                Append(k);
            }
            Produce();
        } else {
            for (int k = 0; k < std::min(n, m) && !state_.StopRequested; ++k) {
                Append(k);
                Produce();
            }
        }
        for (int k = n; k < m && !state_.StopRequested; ++k) {
            Append(k);
            DropOldest();
            display_.SetStatusPanel(
                3, FormatText(Lng().txtMovingMaxProgress,
                              WithoutFolder(left_.Text(left_.Count() - 1)), m - 1 - k));
            Produce();
        }
        if (settings_.progressive) {
            for (int k = 0; k < n - 1 && !state_.StopRequested; ++k) {
                DropOldest();
                Produce();
            }
        }
        WaitForSave();
        if (lastOutputSaved_) {
            state_.ResultUnsaved = !lastSaveOk_;
        }
        report_.stopped = state_.StopRequested;
        report_.decodes += frames_.Decodes();
        report_.peakBytesKept = frames_.PeakBytesKept();
    }

    MovingMaxReport& Report() { return report_; }

  private:
    struct Planned {
        // Kept by the frame cache and usable with this darkening, or null:
        // decode `name`.
        const BlockFrame* blocks;
        std::string name;
        uint8_t darkening;
        int slot;  // list copy index
        uint64_t generation;
    };
    /// What makes two windows' merges alike.
    struct Key {
        int slot;
        uint64_t generation;
        uint8_t darkening;
        friend bool operator==(const Key&, const Key&) = default;
    };
    /// A window merged ahead, with what it was merged from.
    struct Ready {
        int width = 0;
        int height = 0;
        std::vector<Key> keys;
        RgbImage image;
    };

    /// The window (list copy indices [first, end)) of every output, as the
    /// run will move it when nothing stops it.
    void MakeSchedule() {
        const int m = static_cast<int>(entries_.size());
        const int n = settings_.windowSize;
        int first = 0;
        int end = 0;
        auto append = [&] { ++end; };
        auto drop = [&] { first = std::min(first + 1, end); };
        auto output = [&] { schedule_.emplace_back(first, end); };
        if (!settings_.progressive) {
            for (int k = 0; k < std::min(n, m); ++k) {
                append();
            }
            output();
        } else {
            for (int k = 0; k < std::min(n, m); ++k) {
                append();
                output();
            }
        }
        for (int k = n; k < m; ++k) {
            append();
            drop();
            output();
        }
        if (settings_.progressive) {
            for (int k = 0; k < n - 1; ++k) {
                drop();
                output();
            }
        }
    }

    /// A kept frame merged with darkening d: usable unless blocks that d
    /// does not wipe out were given back.
    static const BlockFrame* Usable(const BlockFrame* blocks, int d) {
        return blocks != nullptr && d >= blocks->floor ? blocks : nullptr;
    }

    static bool Fits(const BlockFrame* blocks, const RgbImage& result) {
        return blocks != nullptr && blocks->width == result.Width() &&
               blocks->height == result.Height();
    }

    static std::vector<Key> KeysOf(const std::vector<Planned>& plan) {
        std::vector<Key> keys;
        keys.reserve(plan.size());
        for (const Planned& p : plan) {
            keys.push_back({p.slot, p.generation, p.darkening});
        }
        return keys;
    }

    RgbImage SpareImage() {
        if (spare_.empty()) {
            return RgbImage();
        }
        RgbImage image = std::move(spare_.back());
        spare_.pop_back();
        return image;
    }

    /// Keeps a buffer for the next batch; an emptied one is of no use (a
    /// fresh frame-sized allocation costs the kernel a page clearing).
    void KeepSpare(RgbImage&& image) {
        if (image.Width() > 0 && image.Height() > 0 &&
            static_cast<int>(spare_.size()) < kBatch + 1) {
            spare_.push_back(std::move(image));
        }
    }

    /// Makes `image` the result; the old result's buffer is kept for reuse.
    void TakeAsResult(RgbImage& image) {
        Result().Swap(image);
        blackPending_ = false;
        KeepSpare(std::move(image));
    }

    /// The merge of a window whose frames are decided. Without live display
    /// it may come from a batch merged ahead, or start one.
    void FinishWindow(int output) {
        RgbImage& result = Result();
        const std::vector<Key> keys = KeysOf(plan_);
        auto it = ready_.find(output);
        const bool matches = it != ready_.end() && it->second.width == result.Width() &&
                             it->second.height == result.Height() && it->second.keys == keys;
        if (matches) {
            TakeAsResult(it->second.image);
            ++report_.mergedAhead;
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
        const bool allKept = std::all_of(plan_.begin(), plan_.end(),
                                         [&](const Planned& p) { return Fits(p.blocks, result); });
        if (!plan_.empty() && allKept && output + 1 < static_cast<int>(schedule_.size())) {
            MergeBatch(output);
        } else {
            MergePlan();
        }
        plan_.clear();
    }

    /// Merges this window with the next ones whose frames are already
    /// decided by what is known now (list marks, frames decoded); each
    /// later one is used only if its window turns out merged from the same
    /// frames with the same darkening.
    void MergeBatch(int output) {
        RgbImage& result = Result();
        const int w = result.Width();
        const int h = result.Height();
        // The marks the entries will have: the left list's for the entries
        // in it, the copy's for those still to come; entries that fail are
        // disabled as they will be.
        std::map<int, bool> takes;
        auto taken = [&](int ci) {
            auto found = takes.find(ci);
            if (found != takes.end()) {
                return found->second;
            }
            const int li = ci - first_;
            const bool t = ci < end_ ? Takes(left_, li)
                                     : entries_[static_cast<size_t>(ci)].checked &&
                                           entries_[static_cast<size_t>(ci)].enabled;
            takes[ci] = t;
            return t;
        };
        std::vector<std::vector<Planned>> plans;
        plans.push_back(plan_);
        for (int p = output + 1;
             p < static_cast<int>(schedule_.size()) && static_cast<int>(plans.size()) < kBatch;
             ++p) {
            const auto [f, e] = schedule_[static_cast<size_t>(p)];
            int fw = -1;
            int fh = -1;
            for (int ci = f; ci < e; ++ci) {
                if (!taken(ci)) {
                    continue;
                }
                const WindowFrames::Frame frame =
                    GetFrame(ci, entries_[static_cast<size_t>(ci)].text);
                if (frame.loaded) {
                    fw = frame.width;
                    fh = frame.height;
                    break;
                }
                takes[ci] = false;
            }
            if (fw != w || fh != h) {
                break;
            }
            std::vector<Planned> plan;
            bool usable = true;
            for (int ci = f; ci < e && usable; ++ci) {
                if (!taken(ci)) {
                    continue;
                }
                const WindowFrames::Frame frame =
                    GetFrame(ci, entries_[static_cast<size_t>(ci)].text);
                if (frame.loaded && frame.width == w && frame.height == h) {
                    const int d =
                        settings_.darkening ? DarkeningValue(settings_.windowSize, ci - f) : 0;
                    const BlockFrame* blocks = Usable(frame.blocks, d);
                    usable = blocks != nullptr;
                    plan.push_back(
                        {blocks, std::string(), static_cast<uint8_t>(d), ci, frame.generation});
                } else {
                    takes[ci] = false;
                }
            }
            if (!usable || plan.empty()) {
                break;
            }
            plans.push_back(std::move(plan));
        }
        // A frame decoded again meanwhile may have lost its place in memory.
        for (const auto& plan : plans) {
            for (const Planned& item : plan) {
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
            for (const Planned& item : plans[k]) {
                auto [where, added] = sourceOf.emplace(item.slot, sources.size());
                if (added) {
                    sources.push_back({nullptr, {}, nullptr, item.blocks});
                }
                sources[where->second].targets.emplace_back(static_cast<int>(k), item.darkening);
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

    static std::vector<std::string> Names(const std::vector<ListEntry>& entries) {
        std::vector<std::string> names;
        names.reserve(entries.size());
        for (const ListEntry& e : entries) {
            names.push_back(e.text);
        }
        return names;
    }

    void Append(int k) {
        const ListEntry& e = entries_[static_cast<size_t>(k)];
        left_.Append(ListEntry{e.text, e.checked, e.enabled, false});
        end_ = k + 1;
        frames_.SetWindow(first_, end_);
    }

    void DropOldest() {
        if (left_.Delete(0)) {
            ++first_;
        }
        frames_.SetWindow(first_, end_);
    }

    RgbImage& Result() {
        if (!state_.Result && !EnsureImage(state_.Result)) {
            throw std::bad_alloc();
        }
        return *state_.Result;
    }

    void Fail(int index) {
        ++report_.errors;
        const std::string& name = left_.Text(index);
        if (namedInError_.insert(name).second) {
            report_.inError.push_back(name);
        }
        DisableEntry(context_, index, left_);
        host_.ShowStatus(-index, left_.Text(index), left_, false);
    }

    /// The pause question between two entries; true when the user stops.
    bool PauseStops() {
        if (!state_.PauseRequested) {
            return false;
        }
        if (host_.Ask(Lng().lnginpause, Lng().lngstopuser, {Answer::Yes, Answer::No}, false) ==
            Answer::Yes) {
            state_.StopRequested = true;
            return true;
        }
        state_.StopRequested = false;
        state_.PauseRequested = false;
        return false;
    }

    void Produce() {
        host_.ProcessEvents();
        ComputeWindow();
        host_.ShowImage(state_.Result.get(), true);
        const std::string name = MovingMaxFileName(output_, counter_);
        ++counter_;
        ++report_.outputs;
        if (!state_.StopRequested && !state_.PauseRequested && Replaces(name)) {
            std::string written = name;
            SaveInBackground(written);
        } else {
            lastOutputSaved_ = false;
        }
        host_.ProcessEvents();
    }

    /// The overwrite question for an output whose file exists, as for a
    /// step file; any refusal stops the run. Outputs have names of their own,
    /// so no earlier write of this run is under the name.
    bool Replaces(const std::string& name) {
        const Answer decision = DecideOverwrite(context_, name, answer_);
        if (decision == Answer::Yes || decision == Answer::YesToAll) {
            return true;
        }
        state_.StopRequested = true;
        return false;
    }

    /// Writes a copy of the result on another thread while the next windows
    /// are merged. Up to one write per processor runs at once, each on its
    /// own copy; they are accounted for in output order.
    void SaveInBackground(const std::string& name) {
        while (static_cast<int>(saves_.size()) >= savesInFlight_) {
            FinishOldestSave();
        }
        std::string canonical = Canonical(name);
        for (const auto& pending : saves_) {
            if (pending->canonical == canonical) {
                WaitForSave();  // the later write must land last
                break;
            }
        }
        const RgbImage& result = Result();
        auto save = std::make_unique<PendingSave>();
        if (!saveSpare_.empty()) {
            save->image = std::move(saveSpare_.back());
            saveSpare_.pop_back();
        }
        if (!save->image.Resize(result.Width(), result.Height())) {
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
        lastOutputSaved_ = true;
    }

    /// Waits for the oldest output being written and counts it.
    void FinishOldestSave() {
        std::unique_ptr<PendingSave> save = std::move(saves_.front());
        saves_.pop_front();
        const bool ok = save->done.get();
        lastSaveOk_ = ok;
        ++(ok ? report_.written : report_.failedSaves);
        if (!ok) {
            report_.unwritten.push_back({save->name, save->reason});
        }
        saveSpare_.push_back(std::move(save->image));
        scratchSpare_.push_back(std::move(save->scratch));
    }

    /// Waits for every output being written, and counts them.
    void WaitForSave() {
        while (!saves_.empty()) {
            FinishOldestSave();
        }
    }

    /// Before a frame is read: an output still being written under that
    /// name must be complete, as it is when outputs are written in turn.
    void WaitIfWriting(int slot, const std::string& name) {
        if (saves_.empty()) {
            return;
        }
        for (const auto& pending : saves_) {
            if (pending->name == name) {
                WaitForSave();
                return;
            }
        }
        std::string canonical;
        if (slot >= 0 && slot < static_cast<int>(canonical_.size())) {
            std::string& cached = canonical_[static_cast<size_t>(slot)];
            if (cached.empty()) {
                cached = Canonical(entries_[static_cast<size_t>(slot)].text);
            }
            canonical = entries_[static_cast<size_t>(slot)].text == name ? cached : Canonical(name);
        } else {
            canonical = Canonical(name);
        }
        for (const auto& pending : saves_) {
            if (pending->canonical == canonical) {
                WaitForSave();
                return;
            }
        }
    }

    static std::string Canonical(const std::string& name) {
        std::error_code error;
        const std::filesystem::path path = std::filesystem::weakly_canonical(name, error);
        return error ? name : path.string();
    }

    WindowFrames::Frame GetFrame(int slot, const std::string& name) {
        WaitIfWriting(slot, name);
        return frames_.Get(slot, name);
    }

    void ComputeWindow() {
        state_.PauseRequested = false;
        state_.StopRequested = false;
        host_.FocusLeftList();
        host_.ProcessEvents();
        if (!state_.Result && !EnsureImage(state_.Result)) {
            return;
        }
        state_.ResultUnsaved = true;
        ClearImage(state_.Result.get());
        blackPending_ = false;
        state_.DropFrameMap();
        const bool live = settings_.showProcess;

        // A black picture of the first loadable frame's size.
        for (int i = 0; i < left_.Count(); ++i) {
            if (Takes(left_, i)) {
                const std::string name = left_.Text(i);
                const WindowFrames::Frame frame = GetFrame(first_ + i, name);
                if (frame.loaded) {
                    RgbImage& result = Result();
                    if (!result.Resize(frame.width, frame.height)) {
                        throw std::bad_alloc();
                    }
                    if (live) {
                        FillImage(result, 0, 0, 0);
                        host_.ShowImage(&result, false);
                    } else {
                        // Nobody sees it before the merge, which may take a
                        // window merged ahead instead.
                        blackPending_ = true;
                    }
                    host_.ShowStatus(0, name, left_, true);
                    break;
                }
                Fail(i);
            }
            host_.ProcessEvents();
        }

        // Decide what is merged, in list order, as loading each entry in
        // turn would; with live display off the pixels are merged in one
        // pass at the end, which nobody can tell apart.
        state_.ResultPosition = 0;
        plan_.clear();
        for (int i = 0; i < left_.Count() && !state_.StopRequested; ++i) {
            if (Takes(left_, i)) {
                const std::string name = left_.Text(i);
                const WindowFrames::Frame frame = GetFrame(first_ + i, name);
                const RgbImage& result = Result();
                const bool fits = frame.loaded && frame.width == result.Width() &&
                                  frame.height == result.Height() &&
                                  result.Format() == kPixelFormat24 && result.Width() > 0 &&
                                  result.Height() > 0;
                if (fits) {
                    const int d = settings_.darkening ? DarkeningValue(settings_.windowSize, i) : 0;
                    display_.SetStatusPanel(1, DarkeningStatusText(i, d, settings_.darkening));
                    host_.ProcessEvents();
                    const BlockFrame* blocks = Usable(frame.blocks, d);
                    plan_.push_back({blocks, blocks ? std::string() : name, static_cast<uint8_t>(d),
                                     first_ + i, frame.generation});
                    if (live) {
                        MergePlan();
                    }
                    state_.ResultUnsaved = true;
                    ++state_.ResultPosition;
                    if (!state_.StopRequested) {
                        if (live) {
                            host_.ShowImage(state_.Result.get(), false);
                        }
                        host_.ShowStatus(state_.ResultPosition - 1, name, left_, true);
                    }
                } else {
                    Fail(i);
                }
            }
            host_.ProcessEvents();
            if (PauseStops()) {
                break;
            }
        }
        if (live || state_.StopRequested) {
            // Merged entry by entry already, or a stopped window: as it is.
            MergePlan();
        } else {
            FinishWindow(counter_ - 1);
        }
    }

    /// Merges the planned frames into the result: the kept ones in one pass,
    /// each other one decoded again (once for this output) and merged alone.
    void MergePlan() {
        RgbImage& result = Result();
        if (blackPending_) {
            FillImage(result, 0, 0, 0);
            blackPending_ = false;
        }
        std::vector<DarkenedSource> kept;
        for (const Planned& p : plan_) {
            if (Fits(p.blocks, result)) {
                kept.push_back({nullptr, p.darkening, nullptr, p.blocks});
                continue;
            }
            ++report_.decodes;
            const std::string& name =
                p.name.empty() ? entries_[static_cast<size_t>(p.slot)].text : p.name;
            WaitIfWriting(p.slot, name);
            if (LoadImageFile(scratch_, name) && scratch_.SameSize(result)) {
                const DarkenedSource one{&scratch_, p.darkening};
                MergeDarkened(result, {&one, 1}, mergeThreads_);
            }
        }
        MergeDarkened(result, kept, mergeThreads_);
        plan_.clear();
    }

    RunContext& context_;
    RunState& state_;
    RunHost& host_;
    FileList& left_;
    MovingMaxDisplay& display_;
    const MovingMaxSettings settings_;
    const MovingMaxOutput output_;
    const std::vector<ListEntry>& entries_;
    const int mergeThreads_;
    WindowFrames frames_;
    int first_ = 0;  // list copy index of the left list's first entry
    int end_ = 0;
    int counter_ = 1;
    std::vector<Planned> plan_;
    // The result has the window's size but is not black yet.
    bool blackPending_ = false;
    std::vector<std::pair<int, int>> schedule_;
    std::map<int, Ready> ready_;  // by output, from 0
    std::vector<RgbImage> spare_;
    RgbImage scratch_;
    MovingMaxReport report_;
    std::unordered_set<std::string> namedInError_;
    // The overwrite answer of the run, Yes at its start.
    Answer answer_ = Answer::Yes;
    std::vector<std::string> canonical_;  // of the copy's names, when asked
    // The outputs being written, oldest first, and buffers of written ones:
    // their images and their encoders' memory serve the next outputs.
    struct PendingSave {
        std::string name;
        std::string canonical;
        std::string reason;  // why the write failed
        RgbImage image;
        std::unique_ptr<SaveScratch> scratch;
        std::future<bool> done;  // last: waited for before the image goes
    };
    const int savesInFlight_ = Processors();
    std::deque<std::unique_ptr<PendingSave>> saves_;
    std::vector<RgbImage> saveSpare_;
    std::vector<std::unique_ptr<SaveScratch>> scratchSpare_;
    bool lastOutputSaved_ = false;
    bool lastSaveOk_ = false;
};

/// Gives the left list back as it was and shows the right list again,
/// however the run ends.
class RestoreLeftList {
  public:
    RestoreLeftList(FileList& left, MovingMaxDisplay& display, std::vector<ListEntry> entries,
                    int current)
        : left_(left), display_(display), entries_(std::move(entries)), current_(current) {}
    ~RestoreLeftList() {
        try {
            FileList::UpdateGuard update(left_);
            left_.Clear();
            left_.AppendEntries(entries_);
            left_.SetCurrent(current_);
        } catch (...) {
            // Out of memory while putting entries back: nothing more to do.
        }
        display_.ShowListCopy(nullptr);
    }
    RestoreLeftList(const RestoreLeftList&) = delete;
    RestoreLeftList& operator=(const RestoreLeftList&) = delete;

    const std::vector<ListEntry>& Entries() const { return entries_; }

  private:
    FileList& left_;
    MovingMaxDisplay& display_;
    std::vector<ListEntry> entries_;
    int current_;
};

class LiveDisplayOn {
  public:
    explicit LiveDisplayOn(MovingMaxDisplay& display) : display_(display) {}
    ~LiveDisplayOn() { display_.SetLiveDisplay(true); }
    LiveDisplayOn(const LiveDisplayOn&) = delete;
    LiveDisplayOn& operator=(const LiveDisplayOn&) = delete;

  private:
    MovingMaxDisplay& display_;
};

}  // namespace

bool DarkenedMax(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    const auto* params = dynamic_cast<const MovingMaxParams*>(record);
    if (params == nullptr || buffer.Format() != kPixelFormat24 || !source.SameSize(buffer) ||
        buffer.Width() == 0 || buffer.Height() == 0) {
        return false;
    }
    ConvertTo24Bit(source);
    const int d = params->darkening ? DarkeningValue(params->windowSize, params->position) : 0;
    for (int y = 0; y < buffer.Height(); ++y) {
        DarkenedMaxBytes(source.Row(y), buffer.Row(y), buffer.Stride(), static_cast<uint8_t>(d));
    }
    return true;
}

std::string DarkeningStatusText(int a, int d, bool darkening) {
    if (darkening) {
        return FormatText(Lng().txtDarkening, a, d);
    }
    return std::to_string(a) + " / 0";
}

MovingMaxOutput MovingMaxOutputBase(const std::string& chosen) {
    MovingMaxOutput output;
    output.extension = FileExtension(chosen);
    output.base = chosen.substr(0, chosen.size() - output.extension.size());
    while (!output.base.empty() && output.base.back() >= '0' && output.base.back() <= '9') {
        output.base.pop_back();
    }
    return output;
}

std::string MovingMaxFileName(const MovingMaxOutput& output, int counter) {
    char number[16];
    std::snprintf(number, sizeof number, "%4.4d", counter);
    return output.base + number + output.extension;
}

int MovingMaxOutputCount(const MovingMaxSettings& settings, int entryCount) {
    const int m = std::max(entryCount, 0);
    const int n = std::max(settings.windowSize, 1);
    // As the run moves its window: the first full (or whole-list) window,
    // one per entry after it, and the growing and shrinking ones.
    const int full = 1 + std::max(0, m - n);
    return settings.progressive ? full + std::min(n, m) - 1 + (n - 1) : full;
}

std::vector<std::string> MovingMaxOutputNames(const MovingMaxOutput& output,
                                              const MovingMaxSettings& settings, int entryCount) {
    const int count = MovingMaxOutputCount(settings, entryCount);
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int counter = 1; counter <= count; ++counter) {
        names.push_back(MovingMaxFileName(output, counter));
    }
    return names;
}

RunReport MovingMaxRunReport(const MovingMaxReport& report) {
    RunReport run;
    run.errors = report.errors;
    run.inError = report.inError;
    run.unwritten = report.unwritten;
    return run;
}

MovingMaxReport MovingMaxRun(RunContext& context, MovingMaxDisplay& display,
                             const MovingMaxSettings& settings, const MovingMaxOutput& output,
                             const MovingMaxOptions& options) {
    FileList& left = context.lists.Left();
    context.host.FocusLeftList();
    // The copy outlives the restore, which stops showing it.
    FileList copy;
    RestoreLeftList restore(left, display, left.Entries(), left.Current());
    copy.AppendEntries(restore.Entries());
    display.ShowListCopy(&copy);
    left.Clear();
    context.host.ProcessEvents();

    Run run(context, display, settings, output, options, restore.Entries());
    run.Execute();
    return run.Report();
}

std::optional<MovingMaxReport> MovingMaxCommand(RunContext& context, MovingMaxDisplay& display,
                                                const AskMovingMaxSettings& askSettings,
                                                const MovingMaxOptions& options) {
    RunState& state = context.state;
    LiveDisplayOn liveAgain(display);
    display.SetStatusPanel(2, "");
    state.PauseRequested = false;
    state.StopRequested = false;

    const FileList& left = context.lists.Left();
    if (left.IsEmpty()) {
        return std::nullopt;
    }
    if (left.Count() == 1) {
        // No window of two or more entries fits: say so instead of failing
        // silently.
        context.host.ShowMessage(Lng().txtMovingMaxOneEntry, Lng().txtMovingMaxCaption);
        return std::nullopt;
    }
    std::optional<MovingMaxSettings> settings = askSettings(left.Count());
    if (!settings || settings->windowSize == 0) {
        return std::nullopt;
    }
    settings->windowSize = std::max(settings->windowSize, 2);
    display.SetLiveDisplay(settings->showProcess);

    // The proposal is the next step file's name; choosing a name here leaves
    // the step numbering as it is.
    StepSettings proposal = state.Steps;
    SaveRequest request;
    request.filter = kStepSaveFilter;
    request.filterIndex = 1;
    request.defaultExtension = "bmp";
    request.fileName = StepFileName(proposal, proposal.StepNumber, left.Count());
    const std::optional<std::string> chosen = context.host.AskSaveFileName(request);
    if (!chosen) {
        return std::nullopt;
    }
    const MovingMaxOutput output = MovingMaxOutputBase(*chosen);
    if (RefuseOwnInputs(context, MovingMaxOutputNames(output, *settings, left.Count()))) {
        return std::nullopt;
    }
    MovingMaxReport report = MovingMaxRun(context, display, *settings, output, options);
    context.host.ShowRunReport(MovingMaxRunReport(report));
    return report;
}

}  // namespace nocturo
