#include "engine/step_saving.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "core/image_file.h"
#include "core/text.h"
#include "engine/frame_errors.h"
#include "engine/own_inputs.h"
#include "engine/video_run.h"
#include "lang/language_strings.h"

namespace nocturo {

const char* const kStepSaveFilter =
    "All Images|*.BMP;*.JPG;*.JPE;*.JPS;*.JPEG;*.PNG;*.TIF;*.TIFF;*.GIF"
    "|BMP Files|*.BMP|JPEG Files|*.JPG;*.JPE;*.JPS;*.JPEG|PNG Files|*.PNG"
    "|TIF Files|*.TIF;*.TIFF|GIF Files|*.GIF";

namespace {

// Files saved one after another on a thread keep one encoder and output
// buffer between them, as the writers behind a run do.
SaveScratch& WriterScratch() {
    thread_local SaveScratch scratch;
    return scratch;
}

constexpr int kMaxDigits = 255;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int DecimalDigits(int64_t value) {
    int digits = 1;
    for (value = value < 0 ? -value : value; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

bool Writes(Answer answer) {
    return answer == Answer::Yes || answer == Answer::YesToAll;
}

}  // namespace

bool OverwriteQuestionDue(const std::string& fileName, Answer answer) {
    struct stat st {};
    const bool exists = ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    return exists && answer != Answer::NoToAll && answer != Answer::YesToAll;
}

Answer DecideOverwrite(RunContext& context, const std::string& fileName, Answer& answer) {
    struct stat st {};
    const bool exists = ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!exists) {
        return Answer::Yes;
    }
    if (OverwriteQuestionDue(fileName, answer)) {
        answer = context.host.Ask(
            FormatText(Lng().kstoverwrite, fileName), Lng().txtWarning,
            {Answer::Yes, Answer::No, Answer::Cancel, Answer::NoToAll, Answer::YesToAll}, true);
    }
    return answer;
}

Answer ConfirmNameDepth(RunContext& context, const std::string& fileName, int depth) {
    if (depth != 16 || SaveFormatHolds16Bits(fileName)) {
        return Answer::Yes;
    }
    const Answer answer =
        context.host.Ask(FormatText(Lng().txtEightBits, fileName), Lng().txtEightBitsCaption,
                         {Answer::Yes, Answer::No, Answer::Cancel}, true);
    return answer == Answer::Yes || answer == Answer::No ? answer : Answer::Cancel;
}

int FirstNumberInFormat(std::string_view format) {
    // The last character is never part of the number.
    const size_t end = format.empty() ? 0 : format.size() - 1;
    size_t start = 0;
    while (start < end && format[start] != '-' && !IsDigit(format[start])) {
        ++start;
    }
    if (start >= end) {
        return 0;
    }
    size_t stop = start;
    while (stop < end && (format[stop] == '-' || IsDigit(format[stop]))) {
        ++stop;
    }
    const std::optional<int32_t> value = ParseInt32(format.substr(start, stop - start));
    return value ? *value : 6;
}

std::string StepFileName(StepSettings& settings, int32_t n, int leftCount) {
    const std::string base = settings.baseName.empty() ? "proc" : settings.baseName;
    const std::string ext = settings.extension.empty() ? ".jpg" : settings.extension;
    if (n <= 0 || n > settings.WrapLimit()) {
        settings.StepNumber = 1;
        n = 1;
    }
    int digits = 0;  // the plain number
    if (settings.FormatNumbers) {
        int d = FirstNumberInFormat(settings.NumberFormat);
        if (settings.AutoAdaptDigits && DecimalDigits(leftCount) > d) {
            d = DecimalDigits(leftCount);
        }
        digits = d > 0 ? std::min(d, kMaxDigits) : (d == 0 ? 0 : 4);
    }
    const std::string number = std::to_string(n);
    std::string name = base;
    if (static_cast<int>(number.size()) < digits) {
        name.append(static_cast<size_t>(digits) - number.size(), '0');
    }
    name += number;
    name += ext;
    return name;
}

std::vector<std::string> StepFileNames(const StepSettings& settings, int count, int leftCount) {
    StepSettings next = settings;
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        names.push_back(StepFileName(next, next.StepNumber, leftCount));
        next.StepNumber = next.StepNumber < INT32_MAX ? next.StepNumber + 1 : 0;
    }
    return names;
}

bool PrepareStepSaving(RunContext& context, ImageOperation operation, OperationRecord* record,
                       bool firstIsMerged) {
    StepSettings& steps = context.state.Steps;
    const WriteOptions& writes = context.state.Writes;
    if (writes.video != nullptr && !writes.stepFiles) {
        // The video alone: no step file to name.
        StackingRun(context, operation, record, true, firstIsMerged);
        return true;
    }
    const int32_t old = steps.StepNumber;
    if (steps.ForceStartNumber) {
        steps.StepNumber = steps.StartNumber;
    }

    SaveRequest request;
    // A video may be chosen here, unless it is chosen already.
    request.filter = writes.video == nullptr ? StepSaveFilterWithVideo() : kStepSaveFilter;
    request.filterIndex = 1;
    request.defaultExtension = "bmp";
    request.fileName = StepFileName(steps, steps.StepNumber, context.lists.Left().Count());
    std::optional<std::string> chosen;
    for (;;) {
        chosen = context.host.AskSaveFileName(request);
        if (!chosen) {
            return false;
        }
        const Answer depth = ConfirmNameDepth(context, *chosen, context.state.Depth);
        if (depth == Answer::Yes) {
            break;
        }
        if (depth != Answer::No) {
            return false;
        }
        request.fileName = *chosen;
    }
    if (writes.video == nullptr && IsVideoName(*chosen)) {
        steps.StepNumber = old;
        StepVideo video(context);
        return video.Start(*chosen) && PrepareStepSaving(context, operation, record, firstIsMerged);
    }

    const std::string extension = FileExtension(*chosen);
    const std::string base = chosen->substr(0, chosen->size() - extension.size());
    size_t k = 0;
    while (k < base.size() && IsDigit(base[base.size() - 1 - k])) {
        ++k;
    }
    int32_t number = 0;
    if (k > 0) {
        const std::string digits = base.substr(base.size() - k);
        const std::optional<int32_t> value = ParseInt32(digits);
        if (!value) {
            context.host.ShowMessage(FormatText(Lng().txtNotAnInteger, digits), Lng().txtError);
            return false;
        }
        number = *value;
    }
    steps.StepNumber = number;
    if (steps.StepNumber != old && steps.ForceStartNumber) {
        steps.ForceStartNumber = false;
        context.host.StartNumberChanged();
    }
    steps.baseName = base.substr(0, base.size() - k);
    steps.extension = extension;

    // Every step file the run may write, one per picture it takes.
    const FileList& left = context.lists.Left();
    int taken = 0;
    for (int i = 0; i < left.Count(); ++i) {
        taken += left.IsChecked(i) && left.IsEnabled(i) ? 1 : 0;
    }
    if (RefuseOwnInputs(context, StepFileNames(steps, taken, left.Count()))) {
        return false;
    }

    StackingRun(context, operation, record, true, firstIsMerged);
    return true;
}

void SaveStep(RunContext& context, Answer& answer, FrameErrors* errors) {
    RunState& state = context.state;
    std::string name =
        StepFileName(state.Steps, state.Steps.StepNumber, context.lists.Left().Count());
    if (!Writes(DecideOverwrite(context, name, answer))) {
        state.StopRequested = true;
        return;
    }
    const RgbImage* result = state.Result.get();
    RgbImage empty;
    if (result == nullptr) {
        ClearImage(&empty);
        result = &empty;
    }
    std::string reason;
    const bool ok = SaveImageFile(*result, name, kDefaultOutputName, &reason, 1, &WriterScratch());
    state.ResultUnsaved = !ok;
    if (ok) {
        context.lists.Right().Append(name);
    } else {
        // Listed all the same, unchecked and disabled: the user sees what
        // was tried, and the report says why it failed.
        context.lists.Right().Append(name, false, false);
        if (errors != nullptr) {
            errors->WriteFailed(name, reason);
        }
    }
    // Past the largest number the next name starts again at 1.
    state.Steps.StepNumber = state.Steps.StepNumber < INT32_MAX ? state.Steps.StepNumber + 1 : 0;
}

bool SaveWithOverwriteQuestion(RunContext& context, const RgbImage& image,
                               const std::string& fileName, Answer& answer, std::string* reason) {
    const Answer decision = DecideOverwrite(context, fileName, answer);
    if (Writes(decision)) {
        std::string name = fileName;
        // A copy of a frame, not the result buffer: whether the result
        // still waits to be saved is not this file's business.
        return SaveImageFile(image, name, kDefaultOutputName, reason, 1, &WriterScratch());
    }
    if (decision != Answer::No && decision != Answer::NoToAll) {
        context.state.StopRequested = true;  // Cancel, or closed without a button
    }
    return false;
}

}  // namespace nocturo
