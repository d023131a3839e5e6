#include "engine/moving_max.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "core/image_file.h"
#include "engine/darkened_max.h"
#include "engine/step_saving.h"
#include "engine/window_frames.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

const char* const kMovingMaxCaption = "MovingMax";
const char* const kMovingMaxOneEntry =
    "The moving maximum needs at least two pictures in the left list.";

namespace {

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
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
          frames_(Names(entries),
                  options.decodeThreads >= 0 ? options.decodeThreads : Processors(),
                  // Enough decoded ahead to keep every worker busy.
                  std::max(2, options.decodeThreads >= 0 ? options.decodeThreads : Processors()),
                  options.frameBudget > 0 ? options.frameBudget : DefaultFrameBudget()) {}

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
            display_.SetStatusPanel(3, "Progress : " + WithoutFolder(left_.Text(left_.Count() - 1)) +
                                           "   To do " + std::to_string(m - 1 - k));
            Produce();
        }
        if (settings_.progressive) {
            for (int k = 0; k < n - 1 && !state_.StopRequested; ++k) {
                DropOldest();
                Produce();
            }
        }
        report_.stopped = state_.StopRequested;
        report_.decodes = frames_.Decodes();
        report_.peakBytesKept = frames_.PeakBytesKept();
    }

    MovingMaxReport& Report() { return report_; }

  private:
    struct Planned {
        const RgbImage* image;  // kept by the frame cache, or null: decode `name`
        std::string name;
        uint8_t darkening;
    };

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
        left_.Delete(0);
        ++first_;
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
        if (!state_.StopRequested && !state_.PauseRequested) {
            std::string written = name;
            const bool ok = SaveImageFile(Result(), written, kDefaultOutputName);
            state_.ResultUnsaved = !ok;
            ++(ok ? report_.written : report_.failedSaves);
        }
        host_.ProcessEvents();
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
        const bool live = settings_.showProcess;

        // A black picture of the first loadable frame's size.
        for (int i = 0; i < left_.Count(); ++i) {
            if (Takes(left_, i)) {
                const std::string name = left_.Text(i);
                const WindowFrames::Frame frame = frames_.Get(first_ + i, name);
                if (frame.loaded) {
                    RgbImage& result = Result();
                    if (!result.Resize(frame.width, frame.height)) {
                        throw std::bad_alloc();
                    }
                    FillImage(result, 0, 0, 0);
                    if (live) {
                        host_.ShowImage(&result, false);
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
                const WindowFrames::Frame frame = frames_.Get(first_ + i, name);
                const RgbImage& result = Result();
                const bool fits = frame.loaded && frame.width == result.Width() &&
                                  frame.height == result.Height() &&
                                  result.Format() == kPixelFormat24 && result.Width() > 0 &&
                                  result.Height() > 0;
                if (fits) {
                    const int d =
                        settings_.darkening ? DarkeningValue(settings_.windowSize, i) : 0;
                    display_.SetStatusPanel(1, DarkeningStatusText(i, d, settings_.darkening));
                    host_.ProcessEvents();
                    plan_.push_back({frame.image, frame.image ? std::string() : name,
                                     static_cast<uint8_t>(d)});
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
        MergePlan();
    }

    /// Merges the planned frames into the result: the kept ones in one pass,
    /// each other one decoded again (once for this output) and merged alone.
    void MergePlan() {
        RgbImage& result = Result();
        std::vector<DarkenedSource> kept;
        for (const Planned& p : plan_) {
            if (p.image != nullptr) {
                kept.push_back({p.image, p.darkening});
                continue;
            }
            ++report_.decodes;
            if (LoadImageFile(scratch_, p.name) && scratch_.SameSize(result)) {
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
    RgbImage scratch_;
    MovingMaxReport report_;
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
    char text[64];
    if (darkening) {
        std::snprintf(text, sizeof text, "Darkening : %d / %d", a, d);
    } else {
        std::snprintf(text, sizeof text, "%d / %d", a, 0);
    }
    return text;
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
        context.host.ShowMessage(kMovingMaxOneEntry, kMovingMaxCaption);
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
    return MovingMaxRun(context, display, *settings, MovingMaxOutputBase(*chosen), options);
}

}  // namespace nocturo
