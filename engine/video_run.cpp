#include "engine/video_run.h"

#include <vector>

#include "core/image_file.h"
#include "core/text.h"
#include "engine/frame_reader.h"
#include "engine/own_inputs.h"
#include "engine/step_saving.h"
#include "lang/language_strings.h"

namespace nocturo {

namespace {

// The progress panel: frames in the video of the entries to encode.
constexpr int kProgressPanel = 3;

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

}  // namespace

std::string StepSaveFilterWithVideo() {
    return std::string(kStepSaveFilter) + "|" + Lng().txtVideoFileType + "|*.MP4";
}

bool IsVideoName(const std::string& fileName) {
    return Upper(FileExtension(fileName)) == ".MP4";
}

bool StepVideo::Start(const std::string& fileName) {
    RunHost& host = context_.host;
    WriteOptions& writes = context_.state.Writes;
    VideoSettings settings;
    bool stepFiles = false;
    if (!host.AskVideoSettings(settings, stepFiles)) {
        return false;
    }
    if (RefuseOwnInputs(context_, {fileName})) {
        return false;
    }
    Answer answer = Answer::Yes;
    const Answer decision = DecideOverwrite(context_, fileName, answer);
    if (decision != Answer::Yes && decision != Answer::YesToAll) {
        return false;
    }
    if (!writer_.Open(fileName, settings, true)) {
        host.ShowMessage(
            FormatText(Lng().txtCannotWriteFileBecause, fileName, LocalizedError(writer_.Reason())),
            Lng().txtError);
        return false;
    }
    writes.video = &writer_;
    writes.stepFiles = stepFiles;
    return true;
}

std::optional<FailedWrite> CompleteRunVideo(RunContext& context) {
    VideoWriter* video = context.state.Writes.video;
    if (video == nullptr || video->Written()) {
        return std::nullopt;
    }
    const int frames = video->Frames();
    if (frames > 0) {
        context.host.SetStatusPanel(kProgressPanel, FormatText(Lng().txtVideoCompleting, frames));
    }
    if (video->Finish([&] { context.host.ProcessEvents(); })) {
        context.host.SetStatusPanel(kProgressPanel, FormatText(Lng().txtVideoFrames, frames));
        return std::nullopt;
    }
    return FailedWrite{video->FileName(), video->Reason()};
}

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
            host.ShowMessage(FormatText(Lng().txtOwnInput, *own), Lng().txtWarning);
            outcome.refused = true;
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
        host.SetStatusPanel(kProgressPanel,
                            FormatText(Lng().txtVideoProgress, writer.Frames(), toEncode));
    };
    RunCounter counter(host, toEncode);
    auto skip = [&](int index) {
        counter.Passed();
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
                    counter.Passed();
                }
            }
            host.ProcessEvents();
            if (state.PauseRequested) {
                if (host.Ask(Lng().lnginpause, Lng().lngstopuser, {Answer::Yes, Answer::No},
                             false) == Answer::Yes) {
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
        host.SetStatusPanel(kProgressPanel, FormatText(Lng().txtVideoCompleting, outcome.frames));
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
