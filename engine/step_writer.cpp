#include "engine/step_writer.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/image_file.h"
#include "engine/frame_errors.h"
#include "engine/step_saving.h"
#include "video/video_writer.h"

namespace nocturo {

StepWriter::StepWriter(RunContext& context, int inFlight, FrameErrors* errors)
    : context_(context),
      inFlight_(std::max(0, inFlight)),
      errors_(errors),
      video_(context.state.Writes.video),
      files_(context.state.Writes.stepFiles || video_ == nullptr) {
    try {
        for (int k = 0; k < inFlight_; ++k) {
            workers_.emplace_back([this] { Work(); });
        }
    } catch (...) {
        // Fewer threads than asked: those there are still write.
    }
}

StepWriter::~StepWriter() {
    try {
        Finish();
    } catch (...) {
        // Only the right list's growth can throw here; the files are written.
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void StepWriter::Work() {
    // The encoder and its output buffer serve every step this worker writes.
    SaveScratch scratch;
    // Nothing waits for this thread's writes but the run's end: a step
    // may wait for the disk rather than be copied into the page cache.
    scratch.pastPageCache = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;  // stopping, nothing left to write
        }
        std::shared_ptr<Job> job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        bool ok = false;
        std::string reason;
        try {
            std::string name = job->name;
            ok = SaveImageFile(job->image, name, kDefaultOutputName, &reason, 1, &scratch);
        } catch (...) {
            ok = false;  // out of memory while encoding: a failed write
            reason = "out of memory";
        }
        lock.lock();
        // The copy's buffer serves the next step: a frame-sized allocation
        // (and its page faults) per step costs as much as the copy itself.
        if (spare_.size() < static_cast<size_t>(inFlight_)) {
            spare_.push_back(std::move(job->image));
        }
        job->image = RgbImage();
        job->ok = ok;
        job->reason = std::move(reason);
        job->done = true;
        done_.notify_all();
    }
}

void StepWriter::Apply(bool latest) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard lock(mutex_);
            if (order_.empty() || !order_.front()->done) {
                return;
            }
            job = std::move(order_.front());
            order_.pop_front();
        }
        // As the write at once would have: a written file joins the right
        // list. ResultUnsaved follows only the last step when no picture was
        // merged after it; a later merge has set it already.
        if (job->ok) {
            context_.lists.Right().Append(job->name);
        } else {
            context_.lists.Right().Append(job->name, false, false);
            if (errors_ != nullptr) {
                errors_->WriteFailed(job->name, job->reason);
            }
        }
        bool last = false;
        {
            std::lock_guard lock(mutex_);
            last = order_.empty();
        }
        if (latest && last) {
            context_.state.ResultUnsaved = !job->ok;
        }
    }
}

void StepWriter::Drain(size_t keep, bool latest) {
    bool waitsForPending = false;
    if (pending_) {
        std::lock_guard lock(mutex_);
        waitsForPending = order_.size() > keep;
    }
    if (waitsForPending) {
        BeforeResultChanges();
    }
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (order_.size() <= keep) {
                break;
            }
        }
        // Wait for the oldest only, then account for every one done.
        {
            std::unique_lock lock(mutex_);
            done_.wait(lock, [&] { return order_.front()->done; });
        }
        Apply(latest);
    }
    Apply(latest);
}

RgbImage StepWriter::TakeSpare() {
    std::lock_guard lock(mutex_);
    RgbImage buffer;
    if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
    }
    return buffer;
}

void StepWriter::ToVideo(RgbImage* taken, const RgbImage& picture) {
    videoPending_ = false;
    const VideoWriter::AddResult added =
        taken != nullptr ? video_->Take(*taken) : video_->Add(picture);
    if (added == VideoWriter::AddResult::Failed && !files_) {
        context_.state.StopRequested = true;  // the report says why
    }
}

void StepWriter::Queue(RgbImage picture) {
    if (video_ != nullptr) {
        ToVideo(nullptr, picture);
    }
    std::shared_ptr<Job> job = std::move(pending_);
    {
        std::lock_guard lock(mutex_);
        job->image = std::move(picture);
        queue_.push_back(std::move(job));
    }
    work_.notify_one();
}

void StepWriter::BeforeResultChanges() {
    if (videoPending_) {
        const RunState& state = context_.state;
        if (state.Result) {
            ToVideo(nullptr, *state.Result);
        }
        videoPending_ = false;
    }
    if (!pending_) {
        return;
    }
    RgbImage picture = TakeSpare();
    try {
        const RunState& state = context_.state;
        if (state.Result) {
            picture = *state.Result;
        } else {
            ClearImage(&picture);
        }
    } catch (...) {
        // No memory for the copy: the step counts as a write that failed,
        // so that nothing waits for it.
        std::shared_ptr<Job> job = std::move(pending_);
        {
            std::lock_guard lock(mutex_);
            job->reason = "out of memory";
            job->done = true;
        }
        done_.notify_all();
        throw;
    }
    Queue(std::move(picture));
}

void StepWriter::HandOver(RgbImage& result, RgbImage& merged) {
    result.Swap(merged);
    if (videoPending_) {
        // The video alone: it takes the step's buffer, and `merged` the
        // spare it gives back.
        ToVideo(&merged, merged);
        return;
    }
    if (!pending_) {
        return;
    }
    RgbImage picture = std::move(merged);
    merged = TakeSpare();
    Queue(std::move(picture));
}

bool StepWriter::InFlight(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    return std::any_of(order_.begin(), order_.end(),
                       [&](const auto& job) { return job->name == fileName; });
}

void StepWriter::BeforeReading(const std::string& fileName) {
    if (InFlight(fileName)) {
        Drain(0, !mergedSinceStep_);
    }
}

void StepWriter::Finish() {
    BeforeResultChanges();
    Drain(0, !mergedSinceStep_);
}

void StepWriter::SaveStep(Answer& answer) {
    if (!files_) {
        // The video alone: no name, no question, no number. The picture
        // goes with the next merge, or as a copy when anything else comes
        // first.
        mergedSinceStep_ = false;
        videoPending_ = true;
        if (workers_.empty()) {
            BeforeResultChanges();
        }
        return;
    }
    if (workers_.empty()) {
        nocturo::SaveStep(context_, answer, errors_);
        if (video_ != nullptr && context_.state.Result && !context_.state.StopRequested) {
            ToVideo(nullptr, *context_.state.Result);
        }
        return;
    }
    mergedSinceStep_ = true;
    RunState& state = context_.state;
    const std::string name =
        StepFileName(state.Steps, state.Steps.StepNumber, context_.lists.Left().Count());
    // The question sees the disk as the writes at once would have left it,
    // and is asked after every earlier outcome is in: finish them first.
    // A name still being written (numbers that wrapped) is one to wait for
    // as well.
    if (OverwriteQuestionDue(name, answer) || InFlight(name)) {
        Drain(0, false);
    }
    const Answer decision = DecideOverwrite(context_, name, answer);
    if (decision != Answer::Yes && decision != Answer::YesToAll) {
        state.StopRequested = true;
        return;
    }
    // Room for one more copy of the result.
    Drain(static_cast<size_t>(inFlight_) - 1, false);

    // The picture comes with the next merge, or as a copy when anything
    // else happens first.
    auto job = std::make_shared<Job>();
    job->name = name;
    {
        std::lock_guard lock(mutex_);
        order_.push_back(job);
    }
    pending_ = std::move(job);
    mergedSinceStep_ = false;
    // Past the largest number the next name starts again at 1.
    state.Steps.StepNumber = state.Steps.StepNumber < INT32_MAX ? state.Steps.StepNumber + 1 : 0;
}

}  // namespace nocturo
