// The moving maximum's command and run: the window moved over the list copy
// in the left list, each window's frames decided entry by entry as loading
// each would, and its output made. The frames come from the window's frame cache
// (window_frames.h), the merges from window_merger.h, and the outputs are
// written behind the run (outputs_behind.h).

#include <algorithm>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/darkened_max.h"
#include "engine/frame_errors.h"
#include "engine/moving_max.h"
#include "engine/outputs_behind.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"
#include "engine/video_run.h"
#include "engine/window_frames.h"
#include "engine/window_merger.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

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

std::vector<ExcludedAreas> Excluded(const std::vector<ListEntry>& entries) {
    std::vector<ExcludedAreas> out;
    if (std::any_of(entries.begin(), entries.end(),
                    [](const ListEntry& e) { return !e.excluded.empty(); })) {
        for (const ListEntry& e : entries) {
            out.push_back(e.excluded);
        }
    }
    return out;
}

std::vector<std::string> Names(const std::vector<ListEntry>& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const ListEntry& e : entries) {
        names.push_back(e.text);
    }
    return names;
}

/// The window (list copy indices [first, end)) of every output, as the run
/// moves it when nothing stops it.
std::vector<std::pair<int, int>> Schedule(const MovingMaxSettings& settings, int m) {
    const int n = settings.windowSize;
    std::vector<std::pair<int, int>> schedule;
    int first = 0;
    int end = 0;
    auto append = [&] { ++end; };
    auto drop = [&] { first = std::min(first + 1, end); };
    auto output = [&] { schedule.emplace_back(first, end); };
    if (!settings.progressive) {
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
    if (settings.progressive) {
        for (int k = 0; k < n - 1; ++k) {
            drop();
            output();
        }
    }
    return schedule;
}

/// One run: the window in the left list, the frames behind it, the
/// outputs.
class Run : private WindowEntries {
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
          frames_(
              Names(entries), options.decodeThreads >= 0 ? options.decodeThreads : Processors(),
              // Enough decoded ahead to keep every worker busy and to
              // see the frames of the windows merged together.
              WindowMerger::kWindowsMergedTogether +
                  std::max(2, options.decodeThreads >= 0 ? options.decodeThreads : Processors()),
              options.frameBudget > 0 ? options.frameBudget : DefaultFrameBudget(),
              LeastDarkening(settings), context.state.Depth, Excluded(entries)),
          merger_(state_, *this, entries, settings,
                  Schedule(settings, static_cast<int>(entries.size())),
                  options.mergeThreads > 0 ? options.mergeThreads : Processors()),
          outputs_(Processors(), entries) {}

    void Execute() {
        const int m = static_cast<int>(entries_.size());
        const int n = settings_.windowSize;
        outputsToDo_ = static_cast<int>(Schedule(settings_, m).size());
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
        outputs_.WaitForAll();
        if (lastOutputSaved_) {
            state_.ResultUnsaved = !outputs_.LastOk();
        }
        report_.written = outputs_.Written();
        report_.failedSaves = static_cast<int>(outputs_.Unwritten().size());
        report_.unwritten = outputs_.Unwritten();
        report_.stopped = state_.StopRequested;
        report_.mergedAhead = merger_.MergedAhead();
        report_.decodes = frames_.Decodes() + merger_.Decodes();
        report_.peakBytesKept = frames_.PeakBytesKept();
        if (const auto failed = CompleteRunVideo(context_)) {
            report_.unwritten.push_back(*failed);
            ++report_.failedSaves;
        }
    }

    MovingMaxReport& Report() { return report_; }

  private:
    // --- what the merger asks ---

    bool WillTake(int slot) override {
        if (slot < end_) {
            return Takes(left_, slot - first_);
        }
        const ListEntry& entry = entries_[static_cast<size_t>(slot)];
        return entry.checked && entry.enabled;
    }

    WindowFrames::Frame Frame(int slot, const std::string& name) override {
        outputs_.WaitIfWriting(slot, name);
        return frames_.Get(slot, name);
    }

    void BeforeDecode(int slot, const std::string& name) override {
        outputs_.WaitIfWriting(slot, name);
    }

    // --- the window ---

    void Append(int k) {
        const ListEntry& e = entries_[static_cast<size_t>(k)];
        left_.Append(ListEntry{e.text, e.checked, e.enabled, false, e.excluded});
        end_ = k + 1;
        frames_.SetWindow(first_, end_);
    }

    void DropOldest() {
        if (left_.Delete(0)) {
            ++first_;
        }
        frames_.SetWindow(first_, end_);
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
        host_.ShowProgress(report_.outputs, std::max(report_.outputs, outputsToDo_));
        VideoWriter* video = state_.Writes.video;
        const bool files = video == nullptr || state_.Writes.stepFiles;
        lastOutputSaved_ = false;
        if (!state_.StopRequested && !state_.PauseRequested && (!files || Replaces(name))) {
            if (files) {
                outputs_.Write(state_.ResultBuffer(), name);
                lastOutputSaved_ = true;
            }
            // The video copies the output at once and encodes it behind.
            if (video != nullptr &&
                video->Add(state_.ResultBuffer()) == VideoWriter::AddResult::Failed && !files) {
                state_.StopRequested = true;  // nothing more can be written
            }
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

    void ComputeWindow() {
        if (!StartNewResult(context_)) {
            return;
        }
        merger_.StartWindow();
        const bool live = settings_.showProcess;

        // A black picture of the first loadable frame's size.
        for (int i = 0; i < left_.Count(); ++i) {
            if (Takes(left_, i)) {
                const std::string name = left_.Text(i);
                const WindowFrames::Frame frame = Frame(first_ + i, name);
                if (frame.loaded) {
                    RgbImage& result = state_.ResultBuffer();
                    if (!result.Resize(frame.width, frame.height, depth_)) {
                        throw std::bad_alloc();
                    }
                    if (live) {
                        FillImage(result, 0, 0, 0);
                        host_.ShowImage(&result, false);
                    } else {
                        merger_.BlackPending();
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
        for (int i = 0; i < left_.Count() && !state_.StopRequested; ++i) {
            if (Takes(left_, i)) {
                const std::string name = left_.Text(i);
                const WindowFrames::Frame frame = Frame(first_ + i, name);
                const RgbImage& result = state_.ResultBuffer();
                const bool fits = frame.loaded && frame.width == result.Width() &&
                                  frame.height == result.Height() &&
                                  result.Format() == ProcessingFormat(depth_) &&
                                  result.Width() > 0 && result.Height() > 0;
                if (fits) {
                    const int d =
                        settings_.darkening ? DarkeningValue(settings_.windowSize, i, depth_) : 0;
                    display_.SetStatusPanel(1, DarkeningStatusText(i, d, settings_.darkening));
                    host_.ProcessEvents();
                    const BlockFrame* blocks = WindowMerger::Usable(frame.blocks, d);
                    const bool kept = blocks != nullptr || frame.image != nullptr;
                    merger_.Plan({blocks, kept ? std::string() : name, d, first_ + i,
                                  frame.generation, frame.image});
                    if (live) {
                        merger_.MergePlan();
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
            merger_.MergePlan();
        } else {
            merger_.FinishWindow(counter_ - 1);
        }
    }

    RunContext& context_;
    RunState& state_;
    // Bits per channel of the frames and the outputs, fixed for the run.
    const int depth_ = state_.Depth == 16 ? 16 : 8;
    RunHost& host_;
    FileList& left_;
    MovingMaxDisplay& display_;
    const MovingMaxSettings settings_;
    const MovingMaxOutput output_;
    const std::vector<ListEntry>& entries_;
    WindowFrames frames_;
    WindowMerger merger_;
    OutputsBehind outputs_;
    int first_ = 0;  // list copy index of the left list's first entry
    int end_ = 0;
    int counter_ = 1;
    int outputsToDo_ = 0;  // as the run goes when nothing stops it
    MovingMaxReport report_;
    std::unordered_set<std::string> namedInError_;
    // The overwrite answer of the run, Yes at its start.
    Answer answer_ = Answer::Yes;
    bool lastOutputSaved_ = false;
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

}  // namespace

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
    request.filter = StepSaveFilterWithVideo();
    request.filterIndex = 1;
    request.defaultExtension = "bmp";
    request.fileName = StepFileName(proposal, proposal.StepNumber, left.Count());
    // A 16-bit run asks before it writes its outputs at 8 bits; No shows the
    // dialog again with the name chosen.
    auto askName = [&]() -> std::optional<std::string> {
        for (;;) {
            std::optional<std::string> name = context.host.AskSaveFileName(request);
            if (!name) {
                return std::nullopt;
            }
            const Answer depth = ConfirmNameDepth(context, *name, state.Depth);
            if (depth == Answer::Yes) {
                return name;
            }
            if (depth != Answer::No) {
                return std::nullopt;
            }
            request.fileName = *name;
        }
    };
    std::optional<std::string> chosen = askName();
    if (!chosen) {
        return std::nullopt;
    }
    // A video instead of the outputs, or besides them: then their name.
    StepVideo video(context);
    if (IsVideoName(*chosen)) {
        if (!video.Start(*chosen)) {
            return std::nullopt;
        }
        if (state.Writes.stepFiles) {
            request.filter = kStepSaveFilter;
            chosen = askName();
            if (!chosen) {
                return std::nullopt;
            }
        }
    }
    const MovingMaxOutput output = MovingMaxOutputBase(*chosen);
    if (state.Writes.stepFiles &&
        RefuseOwnInputs(context, MovingMaxOutputNames(output, *settings, left.Count()))) {
        return std::nullopt;
    }
    MovingMaxReport report = MovingMaxRun(context, display, *settings, output, options);
    context.host.ShowRunReport(MovingMaxRunReport(report));
    return report;
}

}  // namespace nocturo
