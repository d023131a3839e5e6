#pragma once
// The video run: the checked entries of a list, in order, become the frames
// of a time-lapse video ("Make video from list..." in the window,
// nocturo-stack --make-video). Frames are decoded ahead as in every run and
// encoded behind it (video/video_writer.h), so the run waits for neither
// while a core is free. A frame that cannot be read, or whose size differs
// from the first frame's, is counted, disabled and left out, as the runs do.

#include <optional>
#include <string>

#include "engine/stacking_run.h"
#include "video/video_writer.h"

namespace nocturo {

struct VideoRequest {
    std::string fileName;
    VideoSettings settings;
    /// An existing file of that name may be replaced (the user said so).
    bool replace = false;
};

struct VideoOutcome {
    /// Frames in the video.
    int frames = 0;
    /// The video is complete under its name.
    bool written = false;
    /// Why it is not; empty when it is.
    std::string reason;
    /// The run refused to start: the video would replace one of the list's
    /// files (the host was told).
    bool refused = false;
    /// What the run told at its end (the video among the files not written
    /// when it is not).
    RunReport report;
};

/// The video a run writes as it goes (state.Writes.video), completed at the
/// run's end: the status bar says so and the host's events run meanwhile.
/// Nothing when there is none or it is complete; otherwise the video as a
/// file not written, with why (no file is left under its name).
std::optional<FailedWrite> CompleteRunVideo(RunContext& context);

/// The file types of the step question: the pictures' (kStepSaveFilter),
/// then "Video (MP4)...": a name ending in .mp4 answers with a video.
std::string StepSaveFilterWithVideo();
/// Whether a name chosen in the step question is a video's.
bool IsVideoName(const std::string& fileName);

/// A run's video chosen in the step question, from its start to the end of
/// the command: its settings asked (host.AskVideoSettings), an existing
/// file replaced only after the overwrite question, never a file of the
/// left list; open and set as state.Writes.video (stepFiles as the user
/// chose) for the run, which completes it. Leaving the scope puts the
/// write options back and removes a video the run did not complete.
class StepVideo {
  public:
    explicit StepVideo(RunContext& context) : context_(context), saved_(context.state.Writes) {}
    ~StepVideo() { context_.state.Writes = saved_; }
    StepVideo(const StepVideo&) = delete;
    StepVideo& operator=(const StepVideo&) = delete;

    /// False when the user cancelled or the video cannot be written (a
    /// message said why): no run then.
    bool Start(const std::string& fileName);

  private:
    RunContext& context_;
    const WriteOptions saved_;
    VideoWriter writer_;
};

/// Encodes the checked and enabled entries of `list` (either list of the
/// window) into request.fileName, in list order, reading the list afresh at
/// every entry. Between frames it lets the host run pending events; the
/// abort button then asks whether to stop, and a stopped run still
/// completes the video of the frames so far. A video that cannot be
/// written (an unwritable folder, a full disk, an existing file not to be
/// replaced) stops the run and leaves no file. Ends with
/// host.ShowRunReport. An exception (std::bad_alloc) reaches the caller
/// with no file left behind.
VideoOutcome MakeVideoRun(RunContext& context, FileList& list, const VideoRequest& request);

}  // namespace nocturo
