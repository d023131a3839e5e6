#pragma once
// StepWriter: writes a run's step files behind the run, so that encoding a
// step (a JPEG at quality 100 costs about twice a decode) overlaps with
// decoding and merging the next frames.
//
// Threading rules
// - The owner is the thread that runs the command (the GUI thread in the
//   program). Only the owner calls the public functions, including the
//   destructor; it alone asks questions, touches the lists, the host and
//   the run state.
// - Workers receive a job: a copy of the result taken when the step is due
//   and the file name. The picture of the step due last may come later, as
//   long as the result does not change: the next merge hands over the
//   result's buffer (HandOver), and anything else that needs the step
//   written or the result changed copies it first. They call SaveImageFile and report whether it
//   succeeded, nothing else; each keeps its encoder's memory (SaveScratch)
//   from one step to the next. One mutex guards the job queues.
// - At most `inFlight` jobs hold a copy of the result at once; a step that
//   finds them all busy waits for the oldest. As many buffers of written
//   copies are kept for the next steps, until the run ends.
// - Finish() and the destructor wait for every write and join the workers.
//
// What the run does stays exactly what writing each step at once does: the
// overwrite question is asked when the step is due, after every earlier
// write has finished and been accounted for, and before anything is
// written; outcomes (the right list entry, ResultUnsaved) are applied in
// step order; the numbering moves on when the step is due. So the files,
// the right list, the marks and the messages at the end of a run are those
// of the sequential run.
//
// With a video (state.Writes.video) each step is also handed to the video
// writer, which encodes behind the run on a thread of its own: a copy of the
// step's picture, or, when the video is all that is written, the result's
// buffer itself at the next merge (HandOver), the writer's spare coming
// back in its place.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/rgb_image.h"
#include "engine/stacking_run.h"

namespace nocturo {

class FrameErrors;
class VideoWriter;

class StepWriter {
  public:
    /// inFlight: writes that may run behind the run (0: every step is
    /// written at once, as SaveStep does). errors, when set, receives every
    /// write that failed, with why.
    StepWriter(RunContext& context, int inFlight, FrameErrors* errors = nullptr);
    ~StepWriter();

    StepWriter(const StepWriter&) = delete;
    StepWriter& operator=(const StepWriter&) = delete;

    /// SaveStep's contract, with the write done behind the run. Called
    /// after every merged picture, as SaveStep.
    void SaveStep(Answer& answer);

    /// The step due last still waits for its picture, which is the result
    /// as it stands: the run's next merge may hand the result's buffer over
    /// (HandOver) instead of having it copied.
    bool AwaitsPicture() const { return pending_ != nullptr || videoPending_; }

    /// The result is about to change in place: the step waiting for its
    /// picture takes a copy of it now.
    void BeforeResultChanges();

    /// The run merged the next frame into `merged` (the result into the
    /// frame, for an operation that commutes; a batch function's whole new
    /// picture, written into a spare buffer), so `result` still holds the
    /// picture of the step due. The step takes that buffer, `result` the
    /// merged picture, and `merged` a spare buffer to decode into (or none).
    /// This saves copying the result at every step.
    void HandOver(RgbImage& result, RgbImage& merged);

    /// The run is about to read fileName: a write in flight under that name
    /// is finished first, as it would have been written before.
    void BeforeReading(const std::string& fileName);

    /// Waits for every write in flight and applies the outcomes. The run
    /// calls it before the pause question and before its final message;
    /// it may go on writing steps afterwards.
    void Finish();

  private:
    struct Job {
        std::string name;
        RgbImage image;
        bool done = false;
        bool ok = false;
        std::string reason;  // why the write failed
    };

    void Work();
    // Applies the outcomes at the front of the step order that are done.
    // `latest`: no picture was merged after the last step queued.
    void Apply(bool latest);
    // Waits until at most `keep` writes are unaccounted for.
    void Drain(size_t keep, bool latest);
    bool InFlight(const std::string& fileName);
    RgbImage TakeSpare();
    // Gives the step waiting for its picture that picture and queues it.
    void Queue(RgbImage picture);

    RunContext& context_;
    const int inFlight_;
    FrameErrors* const errors_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    // Jobs in step order, written or not, whose outcome is not applied yet.
    std::deque<std::shared_ptr<Job>> order_;
    // Jobs no worker took yet.
    std::deque<std::shared_ptr<Job>> queue_;
    // Buffers of written copies, reused for the next ones.
    std::vector<RgbImage> spare_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
    // The step due last, in order_ but not yet queued: its picture is the
    // result as it stands (owner only).
    std::shared_ptr<Job> pending_;
    // A picture was merged after the last step that was queued (owner only).
    bool mergedSinceStep_ = false;
    // The video's side (owner only): the step due last still has to go to
    // the video, which is all that is written.
    VideoWriter* const video_;
    const bool files_;
    bool videoPending_ = false;
    // Hands the step's picture to the video: taken (its buffer replaced by
    // a spare) or copied. A video that can take nothing more stops a run
    // that writes nothing else.
    void ToVideo(RgbImage* taken, const RgbImage& picture);
};

}  // namespace nocturo
