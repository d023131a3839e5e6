#pragma once
// FramePrefetcher: decodes the next frames of a run on worker threads while
// the run merges the current one, so that a night of large JPEGs is bound by
// the slower of decoding and merging, not by their sum.
//
// Threading rules
// - The owner is the thread that runs the command (the GUI thread in the
//   program). Only the owner calls the public functions, including the
//   destructor.
// - Workers receive copies of file names and nothing else. They call
//   LoadImageFile into frame buffers that the prefetcher owns. They never
//   touch a list, a host, a window, the run state or the result buffer.
// - One mutex guards the job table, the buffer pool and the counters. A
//   frame buffer belongs to exactly one holder at a time: the pool, a job
//   (queued or finished), the worker that decodes into it, or the owner
//   after Take. It changes hands only under the mutex, so its pixels are
//   never shared between threads.
// - Stop() and the destructor drop the queued jobs, wait for the frames
//   being decoded, and join every worker. After they return no worker runs
//   and the prefetcher holds no frame.
// - Memory: at most `ahead` frame buffers exist in the prefetcher (queued,
//   being decoded, ready, or idle in the pool), besides the owner's own
//   images and each worker's decode scratch inside LoadImageFile. Once the
//   size of a frame is known (the first one decoded, or one the owner
//   notes), the buffers are also held to `aheadBytes`: a night of large
//   16-bit frames decodes fewer ahead than one of 8-bit frames. One buffer
//   is always allowed.
// - Each worker develops camera RAW frames on one core (RawDecodeThreads):
//   the workers together already keep every core busy.
//
// A frame is identified by its file name, and a decoded frame is handed out
// only while the file is still the one that was decoded (same inode, size and
// times). A file replaced or rewritten after it was decoded, for instance a
// step file that the run itself just saved under that name, is therefore
// loaded again by the owner: the owner sees what a load at that moment sees.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/rgb_image.h"
#include "engine/file_stamp.h"

namespace nocturo {

class FramePrefetcher {
  public:
    /// Starts min(threads, ahead) workers, which load frames at `depth`
    /// bits per channel (LoadOptions). With threads or ahead below 1, or
    /// when the system refuses a thread, the prefetcher is inactive and
    /// every Take finds nothing. aheadBytes 0 or less sets no byte limit.
    FramePrefetcher(int threads, int ahead, int depth = 8, int64_t aheadBytes = 0);
    ~FramePrefetcher();
    FramePrefetcher(const FramePrefetcher&) = delete;
    FramePrefetcher& operator=(const FramePrefetcher&) = delete;

    /// Workers are running.
    bool Active() const { return !workers_.empty() && !stopped_; }
    int Ahead() const { return ahead_; }

    /// The frames the owner will take next, in order; only the first Ahead()
    /// names count. Frames already queued, being decoded or ready for these
    /// names are kept; every other one is dropped (a frame being decoded is
    /// finished by its worker and its buffer recycled); the missing names
    /// are queued while fewer than Ahead() buffers are in use. Costs a lock
    /// and a few comparisons: no file access, no pixel copy.
    void Want(const std::vector<std::string>& fileNames);

    /// Hands over the frame of fileName, waiting while it is being decoded.
    /// - Nothing usable (no job for the name, the job still queued behind
    ///   busy workers, the decoder threw, or the file changed since it was
    ///   decoded): nullopt and destination is untouched; the owner loads the
    ///   file itself.
    /// - Decoded: true; the frame is swapped into destination, whose old
    ///   buffer goes back to the pool.
    /// - LoadImageFile failed: false; destination is untouched, as
    ///   LoadImageFile leaves it on failure, except for a name that is no
    ///   file (missing, a folder): the empty image then, as LoadImageFile.
    /// Only names that IsLoadableName accepts are ever decoded ahead.
    std::optional<bool> Take(const std::string& fileName, RgbImage& destination);

    /// Blocks until no job is queued or being decoded. For tests and
    /// benchmarks that need the queue settled.
    void WaitForPending();

    /// Drops the queued jobs, waits for the frames being decoded and joins
    /// the workers. Idempotent; the prefetcher stays inactive afterwards.
    void Stop();

    /// Frame buffers held now (queued, being decoded, ready, pooled).
    int BuffersHeld() const;

    /// The owner loaded a frame of this many bytes itself: the byte limit
    /// counts with it before a worker has decoded one.
    void NoteFrameBytes(size_t bytes);
    /// The buffers the limits allow now: `ahead`, or fewer when frames of
    /// the size seen so far would exceed `aheadBytes`; at least 1.
    int BufferLimit() const;

  private:
    enum class JobState { Queued, Decoding, Done };
    struct Job {
        std::string fileName;  // immutable after creation
        JobState state = JobState::Queued;
        bool abandoned = false;  // dropped while its worker decodes
        bool usable = false;     // the decode ran to its end without throwing
        bool ok = false;         // what LoadImageFile returned
        FileStamp stamp;
        RgbImage image;
    };

    void WorkerLoop();
    /// Pool bookkeeping; the caller holds mutex_.
    RgbImage TakePoolBuffer();
    void TrimPool(std::vector<RgbImage>& released);
    int BuffersHeldLocked() const;
    int BufferLimitLocked() const;

    const int ahead_;
    const int depth_;
    const int64_t aheadBytes_;
    std::vector<std::thread> workers_;
    bool stopped_ = false;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;  // workers wait here
    std::condition_variable jobFinished_;    // the owner waits here
    bool stopping_ = false;
    std::vector<std::shared_ptr<Job>> jobs_;  // in the order the owner wants them
    std::vector<RgbImage> pool_;
    int abandonedDecoding_ = 0;
    int decoding_ = 0;
    size_t frameBytes_ = 0;  // the largest frame seen
};

}  // namespace nocturo
