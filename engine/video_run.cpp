#include "engine/video_run.h"

#include <cstdio>
#include <vector>

#include "engine/frame_reader.h"
#include "engine/own_inputs.h"
#include "lang/language_strings.h"

namespace nocturo {

namespace {

constexpr const char* kPauseText = "Program in pause... Do you want to Stop process";
constexpr const char* kPauseCaption = "STOP by User";
// The progress panel: frames in the video of the entries to encode.
constexpr const char* kProgressText = "Video: %d of %d frames";
constexpr const char* kCompletingText = "Video: %d frames; completing the file...";
constexpr int kProgressPanel = 3;

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

}  // namespace

VideoOutcome MakeVideoRun(RunContext& context, FileList& list, const VideoRequest& request) {
    RunState& state = context.state;
    RunHost& host = context.host;
    VideoOutcome outcome;
    {
        std::vector<std::string> inputs;
        inputs.reserve(static_cast<size_t>(list.Count()));
        for (const ListEntry& entry : list.Entries()) {
            inputs.push_back(entry.text);
        }
        if (const auto own = FirstOwnInput({request.fileName}, inputs)) {
            host.ShowMessage(FormatText(kOwnInputText, *own), kOwnInputCaption);
            outcome.refused = true;
            outcome.reason = kOwnInputCaption;
            return outcome;
        }
    }
    state.PauseRequested = false;
    state.StopRequested = false;

    VideoWriter writer;
    auto notWritten = [&] {
        outcome.reason = writer.Reason();
        outcome.report.unwritten.push_back({request.fileName, outcome.reason});
    };
    if (!writer.Open(request.fileName, request.settings, request.replace)) {
        notWritten();
        host.ShowRunReport(outcome.report);
        return outcome;
    }
    host.ProcessEvents();

    int toEncode = 0;
    for (int i = 0; i < list.Count(); ++i) {
        toEncode += Takes(list, i) ? 1 : 0;
    }
    auto progress = [&] {
        char text[96];
        std::snprintf(text, sizeof text, kProgressText, writer.Frames(), toEncode);
        host.SetStatusPanel(kProgressPanel, text);
    };
    auto skip = [&](int index) {
        ++outcome.report.errors;
        // Named before the events that DisableEntry lets run may remove it.
        if (index < list.Count() && !list.Text(index).empty()) {
            outcome.report.inError.push_back(list.Text(index));
        }
        DisableEntry(context, index, list);
        host.ShowStatus(-index, index < list.Count() ? list.Text(index) : std::string(), list,
                        false);
    };
    {
        FrameReader frames(state.Decode, Takes);
        RgbImage frame;
        int width = 0;
        int height = 0;
        for (int i = 0; i < list.Count() && !state.StopRequested; ++i) {
            if (Takes(list, i)) {
                const bool loaded = frames.Load(list, i, frame);
                if (loaded && writer.Frames() == 0) {
                    width = frame.Width();
                    height = frame.Height();
                }
                if (!loaded || frame.Width() != width || frame.Height() != height) {
                    skip(i);
                } else {
                    const std::string text = list.Text(i);
                    host.ShowImage(&frame, false);
                    // The frame's buffer goes to the encoder; a spare comes back.
                    if (writer.Take(frame) != VideoWriter::AddResult::Queued) {
                        break;  // nothing more can be written
                    }
                    host.ShowStatus(writer.Frames() - 1, text, list, true);
                    progress();
                }
            }
            host.ProcessEvents();
            if (state.PauseRequested) {
                if (host.Ask(kPauseText, kPauseCaption, {Answer::Yes, Answer::No}, false) ==
                    Answer::Yes) {
                    state.StopRequested = true;
                    break;
                }
                state.StopRequested = false;
                state.PauseRequested = false;
            }
        }
        frames.Stop();
    }
    outcome.frames = writer.Frames();
    // The encoder's last frames take seconds for large pictures: the host
    // stays responsive meanwhile.
    if (outcome.frames > 0) {
        char text[96];
        std::snprintf(text, sizeof text, kCompletingText, outcome.frames);
        host.SetStatusPanel(kProgressPanel, text);
    }
    outcome.written = writer.Finish([&] { host.ProcessEvents(); });
    if (outcome.frames > 0) {
        progress();
    }
    if (!outcome.written) {
        notWritten();
    }
    host.ShowRunReport(outcome.report);
    return outcome;
}

}  // namespace nocturo
