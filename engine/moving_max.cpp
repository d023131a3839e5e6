#include "engine/moving_max.h"

// The moving maximum's names, counts and command; the run itself is in
// moving_max_run.cpp.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/image_file.h"
#include "engine/darkened_max.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"

namespace nocturo {

const char* const kMovingMaxCaption = "MovingMax";
const char* const kMovingMaxOneEntry =
    "The moving maximum needs at least two pictures in the left list.";

namespace {

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
    const MovingMaxOutput output = MovingMaxOutputBase(*chosen);
    if (RefuseOwnInputs(context, MovingMaxOutputNames(output, *settings, left.Count()))) {
        return std::nullopt;
    }
    MovingMaxReport report = MovingMaxRun(context, display, *settings, output, options);
    context.host.ShowRunReport(MovingMaxRunReport(report));
    return report;
}

}  // namespace nocturo
