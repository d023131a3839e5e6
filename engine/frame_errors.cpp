#include "engine/frame_errors.h"

#include <algorithm>

#include "lang/language_strings.h"

namespace nocturo {

void RunHost::ShowRunReport(const RunReport& report) {
    ShowMessage(RunReportText(report), Lng().lngprocpictures);
}

std::string RunReportCountLine(const RunReport& report) {
    return FormatText(Lng().lngfilesinerror, report.errors);
}

std::vector<std::string> RunReportLines(const RunReport& report) {
    std::vector<std::string> lines;
    const size_t named = std::min(report.inError.size(), kReportNamesShown);
    for (size_t k = 0; k < named; ++k) {
        lines.push_back(FormatText(Lng().txtInError, report.inError[k]));
    }
    if (report.inError.size() > named) {
        lines.push_back(FormatText(Lng().txtMoreInError,
                                   static_cast<long long>(report.inError.size() - named)));
    }
    if (!report.unwritten.empty()) {
        lines.push_back(
            FormatText(Lng().txtNotWrittenCount, static_cast<long long>(report.unwritten.size())));
    }
    const size_t listed = std::min(report.unwritten.size(), kReportNamesShown);
    for (size_t k = 0; k < listed; ++k) {
        const FailedWrite& failed = report.unwritten[k];
        std::string line = FormatText(Lng().txtNotWritten, failed.name);
        if (!failed.reason.empty()) {
            line += " (" + LocalizedError(failed.reason) + ")";
        }
        lines.push_back(std::move(line));
    }
    if (report.unwritten.size() > listed) {
        lines.push_back(FormatText(Lng().txtMoreNotWritten,
                                   static_cast<long long>(report.unwritten.size() - listed)));
    }
    return lines;
}

std::string RunReportText(const RunReport& report) {
    std::string text = RunReportCountLine(report);
    for (const std::string& line : RunReportLines(report)) {
        text += '\n';
        text += line;
    }
    return text;
}

void FrameErrors::Skip(int index) {
    FileList& left = context_.lists.Left();
    ++report_.errors;
    // Named before the events that DisableEntry lets run may remove it.
    const std::string name = index < left.Count() ? left.Text(index) : std::string();
    if (!name.empty()) {
        report_.inError.push_back(name);
    }
    DisableEntry(context_, index, left);
    const std::string text = index < left.Count() ? left.Text(index) : std::string();
    context_.host.ShowStatus(-index, text, left, false);
}

bool FrameErrors::Merge(int index, bool loaded, RgbImage& frame, RgbImage& result,
                        ImageOperation operation, OperationRecord* record) {
    // The size is checked here, not left to the operation: an operation that
    // wrote part of the result before it noticed would spoil what is merged.
    if (loaded && frame.SameSize(result) && operation(frame, result, record)) {
        return true;
    }
    Skip(index);
    return false;
}

void FrameErrors::WriteFailed(const std::string& name, const std::string& reason) {
    report_.unwritten.push_back({name, reason});
}

void FrameErrors::ShowReport() {
    context_.host.ShowRunReport(report_);
}

}  // namespace nocturo
