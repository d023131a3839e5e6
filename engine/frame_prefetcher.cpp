#include "engine/frame_prefetcher.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/image_file.h"

namespace nocturo {

FramePrefetcher::FramePrefetcher(int threads, int ahead, int depth, int64_t aheadBytes)
    : ahead_(std::max(ahead, 0)), depth_(depth), aheadBytes_(aheadBytes) {
    const int count = std::min(threads, ahead_);
    try {
        for (int k = 0; k < count; ++k) {
            workers_.emplace_back([this] { WorkerLoop(); });
        }
    } catch (const std::system_error&) {
        // No thread to be had: the run reads every frame itself.
        Stop();
    }
}

FramePrefetcher::~FramePrefetcher() {
    Stop();
}

RgbImage FramePrefetcher::TakePoolBuffer() {
    if (pool_.empty()) {
        return RgbImage();  // grows inside the first decode
    }
    RgbImage buffer = std::move(pool_.back());
    pool_.pop_back();
    return buffer;
}

int FramePrefetcher::BuffersHeldLocked() const {
    return static_cast<int>(jobs_.size() + pool_.size()) + abandonedDecoding_;
}

int FramePrefetcher::BufferLimitLocked() const {
    if (aheadBytes_ <= 0 || frameBytes_ == 0) {
        return ahead_;
    }
    const int64_t fit = aheadBytes_ / static_cast<int64_t>(frameBytes_);
    return static_cast<int>(std::clamp<int64_t>(fit, 1, std::max(ahead_, 1)));
}

int FramePrefetcher::BufferLimit() const {
    std::lock_guard lock(mutex_);
    return BufferLimitLocked();
}

void FramePrefetcher::NoteFrameBytes(size_t bytes) {
    std::vector<RgbImage> released;  // freed after the lock is gone
    std::lock_guard lock(mutex_);
    frameBytes_ = std::max(frameBytes_, bytes);
    TrimPool(released);
}

void FramePrefetcher::TrimPool(std::vector<RgbImage>& released) {
    while (!pool_.empty() && BuffersHeldLocked() > BufferLimitLocked()) {
        released.push_back(std::move(pool_.back()));
        pool_.pop_back();
    }
}

int FramePrefetcher::BuffersHeld() const {
    std::lock_guard lock(mutex_);
    return BuffersHeldLocked();
}

void FramePrefetcher::Want(const std::vector<std::string>& fileNames) {
    if (!Active()) {
        return;
    }
    // A name that cannot be loaded is never decoded ahead: the owner's own
    // LoadImageFile call is what clears its destination.
    std::vector<const std::string*> names;
    for (const std::string& name : fileNames) {
        if (static_cast<int>(names.size()) < ahead_ && IsLoadableName(name)) {
            names.push_back(&name);
        }
    }
    const size_t wanted = names.size();
    std::vector<RgbImage> released;  // freed after the lock is gone
    {
        std::lock_guard lock(mutex_);
        // Match the wanted names with the jobs there are, each job once.
        std::vector<std::shared_ptr<Job>> matched(wanted);
        std::vector<bool> claimed(jobs_.size(), false);
        for (size_t w = 0; w < wanted; ++w) {
            for (size_t j = 0; j < jobs_.size(); ++j) {
                if (!claimed[j] && jobs_[j]->fileName == *names[w]) {
                    claimed[j] = true;
                    matched[w] = jobs_[j];
                    break;
                }
            }
        }
        // Drop the jobs nobody wants any more.
        for (size_t j = 0; j < jobs_.size(); ++j) {
            if (claimed[j]) {
                continue;
            }
            Job& job = *jobs_[j];
            if (job.state == JobState::Decoding) {
                job.abandoned = true;  // its worker recycles the buffer
                ++abandonedDecoding_;
            } else {
                pool_.push_back(std::move(job.image));
            }
        }
        jobs_.clear();
        int inUse = abandonedDecoding_;
        for (size_t w = 0; w < wanted; ++w) {
            if (matched[w]) {
                ++inUse;
            }
        }
        // Queue the missing ones in order while buffers are left.
        const int limit = BufferLimitLocked();
        bool queued = false;
        for (size_t w = 0; w < wanted; ++w) {
            if (!matched[w]) {
                if (inUse >= limit) {
                    continue;
                }
                auto job = std::make_shared<Job>();
                job->fileName = *names[w];
                job->image = TakePoolBuffer();
                matched[w] = std::move(job);
                ++inUse;
                queued = true;
            }
            jobs_.push_back(std::move(matched[w]));
        }
        TrimPool(released);
        if (queued) {
            workAvailable_.notify_all();
        }
    }
}

std::optional<bool> FramePrefetcher::Take(const std::string& fileName, RgbImage& destination) {
    if (!Active()) {
        return std::nullopt;
    }
    std::shared_ptr<Job> job;
    std::vector<RgbImage> released;  // freed after the lock is gone
    {
        std::unique_lock lock(mutex_);
        auto it = std::find_if(jobs_.begin(), jobs_.end(),
                               [&](const auto& j) { return j->fileName == fileName; });
        if (it == jobs_.end()) {
            return std::nullopt;
        }
        // Workers pick queued jobs in order. A queued job that no free
        // worker will reach at once would keep the owner waiting for more
        // than one decode: the owner loads the file itself instead. A job a
        // free worker is about to pick up is waited for, which is as fast
        // and keeps the decode off the owner's thread.
        if ((*it)->state == JobState::Queued) {
            const int queuedBefore = static_cast<int>(std::count_if(
                jobs_.begin(), it, [](const auto& j) { return j->state == JobState::Queued; }));
            const int freeWorkers = static_cast<int>(workers_.size()) - decoding_;
            if (queuedBefore >= freeWorkers) {
                pool_.push_back(std::move((*it)->image));
                jobs_.erase(it);
                TrimPool(released);
                return std::nullopt;
            }
        }
        job = *it;
        jobFinished_.wait(lock, [&] { return job->state == JobState::Done; });
        // The job may have moved in the table while the lock was released,
        // but only the owner removes jobs, so it is still there.
        jobs_.erase(std::find(jobs_.begin(), jobs_.end(), job));
    }

    // The stat happens on the owner's thread, after the decode: a file
    // replaced since the worker's stat shows another inode or other times.
    const bool current = job->usable && job->stamp == StampOf(fileName);
    std::optional<bool> outcome;
    if (current) {
        outcome = job->ok;
        if (job->ok) {
            destination.Swap(job->image);
        } else if (!job->stamp.regular) {
            // No file to read: LoadImageFile leaves the empty image then.
            ClearImage(&destination);
        }
    }
    {
        std::lock_guard lock(mutex_);
        pool_.push_back(std::move(job->image));
        TrimPool(released);
    }
    return outcome;
}

void FramePrefetcher::WaitForPending() {
    std::unique_lock lock(mutex_);
    jobFinished_.wait(lock, [&] {
        if (abandonedDecoding_ > 0) {
            return false;
        }
        return std::none_of(jobs_.begin(), jobs_.end(),
                            [](const auto& j) { return j->state != JobState::Done; }) ||
               stopping_;
    });
}

void FramePrefetcher::Stop() {
    if (stopped_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& job : jobs_) {
            if (job->state == JobState::Decoding) {
                job->abandoned = true;
                ++abandonedDecoding_;
            }
        }
        jobs_.clear();
    }
    workAvailable_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
    stopped_ = true;
    std::lock_guard lock(mutex_);
    pool_.clear();
}

void FramePrefetcher::WorkerLoop() {
    const RawDecodeThreads oneCore(1);
    std::unique_lock lock(mutex_);
    for (;;) {
        std::shared_ptr<Job> job;
        workAvailable_.wait(lock, [&] {
            if (stopping_) {
                return true;
            }
            for (const auto& j : jobs_) {
                if (j->state == JobState::Queued) {
                    job = j;
                    return true;
                }
            }
            return false;
        });
        if (stopping_) {
            return;
        }
        job->state = JobState::Decoding;
        ++decoding_;
        RgbImage image = std::move(job->image);
        lock.unlock();

        // Stat before reading, so that a change during the read shows too.
        const FileStamp stamp = StampOf(job->fileName);
        bool usable = true;
        bool ok = false;
        try {
            // The pool buffer's old pixels do not matter: decode straight
            // into it rather than through a second frame-sized scratch.
            ok = LoadImageFileInto(image, job->fileName, LoadOptions{depth_});
        } catch (...) {
            // The owner loads the file itself and meets the error there.
            usable = false;
        }

        lock.lock();
        --decoding_;
        if (ok) {
            frameBytes_ = std::max(frameBytes_, image.Bytes());
        }
        if (job->abandoned) {
            --abandonedDecoding_;
            if (!stopping_) {
                pool_.push_back(std::move(image));
                std::vector<RgbImage> released;
                TrimPool(released);
                // Freeing a frame under the lock is rare (a dropped job
                // beyond the pool's room) and short next to a decode.
            }
        } else {
            job->image = std::move(image);
            job->stamp = stamp;
            job->usable = usable;
            job->ok = ok;
            job->state = JobState::Done;
        }
        jobFinished_.notify_all();
    }
}

}  // namespace nocturo
