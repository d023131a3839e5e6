#include "engine/meteor_search.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "core/image_file.h"
#include "core/point_reader.h"
#include "engine/file_stamp.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

// A missing file is a frame that cannot be loaded, not an empty picture
// that would read 765 and win.
bool LoadWhole(RgbImage& destination, const std::string& fileName, int depth) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    return LoadImageFile(destination, fileName, LoadOptions{depth});
}

// How far ahead the search looks for the next frames to read, and how many
// points per worker it reads ahead at most.
constexpr int kLookAheadEntries = 256;
constexpr size_t kReadsAheadPerWorker = 8;

struct PointRead {
    bool ok = false;
    PointSample sample;
    FileStamp stamp;  // taken before the read
};

PointRead ReadPoint(const std::string& fileName, int x, int y, int depth) {
    PointRead read;
    read.stamp = StampOf(fileName);
    read.ok = ReadPicturePoint(fileName, x, y, read.sample, depth);
    return read;
}

/// Reads the points of the next frames on worker threads while the search
/// deals with the current one.
///
/// Threading: the workers live as long as the object and take queued reads
/// in order; a read touches only its own job (a copy of the file name, the
/// point, and its result). One mutex guards the queue and the jobs. The
/// owner (the search's thread) alone queues, takes and drops jobs; a job
/// dropped while a worker reads it stays alive until that read ends. The
/// destructor lets every worker finish its current read and joins them.
/// Long-lived workers keep their read buffers warm: a fresh thread per read
/// would pay for fresh pages on every frame.
class PointsAhead {
  public:
    PointsAhead(int threads, int x, int y, int depth) : x_(x), y_(y), depth_(depth) {
        try {
            for (int k = 0; k < threads; ++k) {
                workers_.emplace_back([this] { Work(); });
            }
        } catch (const std::system_error&) {
            // Fewer workers; with none every point is read on the search's thread.
        }
    }
    ~PointsAhead() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
    }
    PointsAhead(const PointsAhead&) = delete;
    PointsAhead& operator=(const PointsAhead&) = delete;

    /// The point of fileName, as ReadPicturePoint gives it now.
    bool Read(const std::string& fileName, PointSample& sample) {
        std::optional<PointRead> ready;
        {
            std::unique_lock lock(mutex_);
            auto it = std::find_if(jobs_.begin(), jobs_.end(),
                                   [&](const auto& job) { return job->fileName == fileName; });
            if (it != jobs_.end()) {
                const std::shared_ptr<Job> job = *it;
                jobs_.erase(it);
                if (job->started) {
                    done_.wait(lock, [&] { return job->finished; });
                    ready = job->result;
                }
            }
        }
        if (!ready || ready->stamp != StampOf(fileName) || !ready->stamp.exists) {
            ready = ReadPoint(fileName, x_, y_, depth_);
        }
        sample = ready->sample;
        return ready->ok;
    }

    /// The entries the search will read next, in order.
    void Want(const FileList& list, int from) {
        if (workers_.empty()) {
            return;
        }
        // Several reads queued per worker keep them busy while the search
        // decodes a new maximum whole; a read ahead holds only its result.
        const size_t most = kReadsAheadPerWorker * workers_.size();
        std::vector<std::string> wanted;
        const int end = std::min(list.Count(), from + kLookAheadEntries);
        for (int j = from; j < end && wanted.size() < most; ++j) {
            if (Takes(list, j) && IsLoadableName(list.Text(j)) &&
                !InExcludedArea(list.Excluded(j), x_, y_)) {
                wanted.push_back(list.Text(j));
            }
        }
        {
            std::lock_guard lock(mutex_);
            std::erase_if(jobs_, [&](const auto& job) {
                return std::find(wanted.begin(), wanted.end(), job->fileName) == wanted.end();
            });
            for (const std::string& name : wanted) {
                const bool queued = std::any_of(jobs_.begin(), jobs_.end(), [&](const auto& job) {
                    return job->fileName == name;
                });
                if (!queued) {
                    auto job = std::make_shared<Job>();
                    job->fileName = name;
                    jobs_.push_back(std::move(job));
                }
            }
        }
        work_.notify_all();
    }

  private:
    struct Job {
        std::string fileName;
        bool started = false;
        bool finished = false;
        PointRead result;
    };

    void Work() {
        // A RAW frame is read whole: on one core, as the other workers read.
        const RawDecodeThreads oneCore(1);
        std::unique_lock lock(mutex_);
        for (;;) {
            std::shared_ptr<Job> job;
            work_.wait(lock, [&] {
                if (stopping_) {
                    return true;
                }
                for (const auto& queued : jobs_) {
                    if (!queued->started) {
                        job = queued;
                        return true;
                    }
                }
                return false;
            });
            if (stopping_) {
                return;
            }
            job->started = true;
            lock.unlock();
            PointRead result;
            try {
                result = ReadPoint(job->fileName, x_, y_, depth_);
            } catch (...) {
                // Left unread: the search reads it itself and meets the error.
                result.stamp = FileStamp{};
            }
            lock.lock();
            job->result = result;
            job->finished = true;
            done_.notify_all();
        }
    }

    const int x_;
    const int y_;
    const int depth_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool stopping_ = false;
};

}  // namespace

int PointBrightness(const RgbImage& picture, int x, int y) {
    const bool wide = picture.Depth() == 16;
    if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) {
        return 3 * (wide ? kWhite16 : 255);
    }
    if (wide) {
        const uint16_t* p = picture.Row16(y) + static_cast<size_t>(x) * 3;
        return p[0] + p[1] + p[2];
    }
    const uint8_t* p = picture.Row(y) + static_cast<size_t>(x) * 3;
    return p[0] + p[1] + p[2];
}

MeteorOutcome MaximumSearch(RunContext& context, int x, int y) {
    RunState& state = context.state;
    RunHost& host = context.host;
    FileList& left = context.lists.Left();
    MeteorOutcome outcome;
    std::string maximumName;

    if (!StartNewResult(context)) {
        return outcome;
    }

    // Counted before the run unchecks the frames that hold no new maximum.
    RunCounter counter(host, left, Takes);
    auto fail = [&](int index) {
        counter.Passed();
        ++outcome.errors;
        DisableEntry(context, index, left);
        const std::string text = left.Text(index);
        host.ShowStatus(-index, text, left, false);
    };

    // The points of the frames after the first are read ahead while the
    // first frame is decoded whole, straight into the result.
    const int depth = state.Depth;
    PointsAhead points(state.Decode.threads, x, y, depth);
    int i = 0;
    while (i < left.Count() && !Takes(left, i)) {
        ++i;
    }
    points.Want(left, i + 1);
    i = 0;
    // A frame whose excluded areas hold the point is not read: it cannot
    // hold the maximum there, and is unchecked like a frame that does not.
    auto excluded = [&](int index) {
        if (!InExcludedArea(left.Excluded(index), x, y)) {
            return false;
        }
        left.SetChecked(index, false);
        host.ShowStatus(-index, left.Text(index), left, false);
        counter.Passed();
        return true;
    };
    for (; i < left.Count(); ++i) {
        if (Takes(left, i) && !excluded(i)) {
            const std::string name = left.Text(i);
            if (LoadWhole(state.ResultBuffer(), name, depth)) {
                outcome.maximum = PointBrightness(*state.Result, x, y);
                outcome.chain.push_back(name);
                maximumName = name;
                host.ShowImage(state.Result.get(), false);
                host.ShowStatus(0, name, left, true);
                counter.Passed();
                break;
            }
            fail(i);
        }
        host.ProcessEvents();
    }
    const int width = state.ResultBuffer().Width();
    const int height = state.ResultBuffer().Height();

    state.ResultPosition = 1;
    RgbImage frame;
    for (++i; i < left.Count() && !state.StopRequested; ++i) {
        if (Takes(left, i) && !excluded(i)) {
            const std::string name = left.Text(i);
            PointSample point;
            const bool read = points.Read(name, point);
            points.Want(left, i + 1);
            if (!read || point.width != width || point.height != height) {
                fail(i);
            } else {
                const int value = point.inside ? point.blue + point.green + point.red
                                               : 3 * (depth == 16 ? kWhite16 : 255);
                if (value > outcome.maximum) {
                    // A new maximum becomes the result: only now is the frame
                    // decoded whole, and it must load whole to count.
                    if (!LoadWhole(frame, name, depth) || frame.Width() != width ||
                        frame.Height() != height) {
                        fail(i);
                    } else {
                        outcome.maximum = PointBrightness(frame, x, y);
                        state.ResultUnsaved = true;
                        left.SetChecked(i, true);
                        maximumName = name;
                        outcome.chain.push_back(name);
                        ++state.ResultPosition;
                        if (!state.StopRequested) {
                            state.ResultBuffer().Swap(frame);
                            host.ShowImage(state.Result.get(), false);
                            host.ShowStatus(state.ResultPosition - 1, name, left, true);
                        }
                        counter.Passed();
                    }
                } else {
                    left.SetChecked(i, false);
                    host.ShowStatus(-i, name, left, false);
                    counter.Passed();
                }
            }
        }
        host.ProcessEvents();
        if (state.PauseRequested) {
            if (host.Ask(Lng().lnginpause, Lng().lngstopuser, {Answer::Yes, Answer::No}, false) ==
                Answer::Yes) {
                state.StopRequested = true;
                break;
            }
            state.StopRequested = false;
            state.PauseRequested = false;
        }
    }

    host.SetStatusPanel(2, maximumName);
    host.ShowMessage(maximumName, Lng().lngimgmax);
    return outcome;
}

}  // namespace nocturo
