#include "engine/moving_max.h"

// The moving maximum's per-image operation, output names and counts; the
// run and the command are in moving_max_run.cpp.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/image_file.h"
#include "engine/darkened_max.h"
#include "lang/language_strings.h"

namespace nocturo {

bool DarkenedMax(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    const auto* params = dynamic_cast<const MovingMaxParams*>(record);
    if (params == nullptr || buffer.Format() != ProcessingFormat(buffer.Depth()) ||
        source.Depth() != buffer.Depth() || !source.SameSize(buffer) || buffer.Width() == 0 ||
        buffer.Height() == 0) {
        return false;
    }
    ConvertTo24Bit(source);
    const int depth = buffer.Depth();
    const int d =
        params->darkening ? DarkeningValue(params->windowSize, params->position, depth) : 0;
    if (depth == 16) {
        MergeDarkened16(buffer, source, d, 1);
        return true;
    }
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

}  // namespace nocturo
