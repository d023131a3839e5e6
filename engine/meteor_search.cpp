#include "engine/meteor_search.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <new>
#include <optional>
#include <system_error>
#include <tuple>
#include <vector>

#include "core/image_file.h"
#include "core/point_reader.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

bool Takes(const FileList& list, int index) {
    return list.IsEnabled(index) && list.IsChecked(index);
}

// A missing file is a frame that cannot be loaded, not an empty picture
// that would read 765 and win.
bool LoadWhole(RgbImage& destination, const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    return LoadImageFile(destination, fileName);
}

// How far ahead the search looks for the next frames to read.
constexpr int kLookAheadEntries = 256;

/// What a file looked like: a point read ahead is used only while the file
/// still looks the same when the search reaches it.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modifiedNs = 0, changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp Stamp(const std::string& fileName) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        stamp.exists = true;
        stamp.device = static_cast<uint64_t>(st.st_dev);
        stamp.inode = static_cast<uint64_t>(st.st_ino);
        stamp.size = static_cast<int64_t>(st.st_size);
        stamp.modifiedNs = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
        stamp.changedNs = int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec;
    }
    return stamp;
}

struct PointRead {
    bool ok = false;
    PointSample sample;
    FileStamp stamp;  // taken before the read
};

PointRead ReadPoint(const std::string& fileName, int x, int y) {
    PointRead read;
    read.stamp = Stamp(fileName);
    read.ok = ReadPicturePoint(fileName, x, y, read.sample);
    return read;
}

/// Reads the points of the next frames on worker threads while the search
/// deals with the current one.
///
/// Threading: each read runs on its own thread (std::async) with a copy of
/// the file name and the point, and touches nothing else; the owner (the
/// search's thread) alone holds the futures. A read no longer wanted is
/// parked until it has finished, so that dropping it never waits; the
/// destructor waits for every read still running.
class PointsAhead {
  public:
    PointsAhead(int threads, int x, int y) : threads_(std::max(threads, 0)), x_(x), y_(y) {}
    ~PointsAhead() {
        for (Job& job : jobs_) {
            if (job.result.valid()) {
                job.result.wait();
            }
        }
        for (auto& parked : parked_) {
            parked.wait();
        }
    }
    PointsAhead(const PointsAhead&) = delete;
    PointsAhead& operator=(const PointsAhead&) = delete;

    /// The point of fileName, as ReadPicturePoint gives it now.
    bool Read(const std::string& fileName, PointSample& sample) {
        std::optional<PointRead> ready;
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if (it->fileName == fileName) {
                ready = it->result.get();
                jobs_.erase(it);
                break;
            }
        }
        if (!ready || ready->stamp != Stamp(fileName) || !ready->stamp.exists) {
            ready = ReadPoint(fileName, x_, y_);
        }
        sample = ready->sample;
        return ready->ok;
    }

    /// The entries the search will read next, in order.
    void Want(const FileList& list, int from) {
        if (threads_ == 0) {
            return;
        }
        std::vector<std::string> wanted;
        const int end = std::min(list.Count(), from + kLookAheadEntries);
        for (int j = from; j < end && static_cast<int>(wanted.size()) < threads_; ++j) {
            if (Takes(list, j) && IsLoadableName(list.Text(j))) {
                wanted.push_back(list.Text(j));
            }
        }
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if (std::find(wanted.begin(), wanted.end(), it->fileName) == wanted.end()) {
                parked_.push_back(std::move(it->result));
                it = jobs_.erase(it);
            } else {
                ++it;
            }
        }
        std::erase_if(parked_, [](std::future<PointRead>& f) {
            return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        for (const std::string& name : wanted) {
            const bool queued = std::any_of(jobs_.begin(), jobs_.end(),
                                            [&](const Job& job) { return job.fileName == name; });
            if (!queued && static_cast<int>(jobs_.size() + parked_.size()) < threads_) {
                try {
                    jobs_.push_back(
                        {name, std::async(std::launch::async, ReadPoint, name, x_, y_)});
                } catch (const std::system_error&) {
                    threads_ = 0;  // no thread to be had: read on the search's thread
                    return;
                }
            }
        }
    }

  private:
    struct Job {
        std::string fileName;
        std::future<PointRead> result;
    };
    int threads_;
    int x_;
    int y_;
    std::deque<Job> jobs_;
    std::vector<std::future<PointRead>> parked_;
};

RgbImage& ResultBuffer(RunState& state) {
    if (!state.Result && !EnsureImage(state.Result)) {
        throw std::bad_alloc();
    }
    return *state.Result;
}

}  // namespace

int PointBrightness(const RgbImage& picture, int x, int y) {
    if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) {
        return 765;
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

    state.PauseRequested = false;
    state.StopRequested = false;
    host.FocusLeftList();
    host.ProcessEvents();
    if (!state.Result && !EnsureImage(state.Result)) {
        return outcome;
    }
    state.ResultUnsaved = true;
    ClearImage(state.Result.get());
    state.DropFrameMap();

    auto fail = [&](int index) {
        ++outcome.errors;
        DisableEntry(context, index, left);
        const std::string text = left.Text(index);
        host.ShowStatus(-index, text, left, false);
    };

    // The points of the frames after the first are read ahead while the
    // first frame is decoded whole, straight into the result.
    PointsAhead points(state.Decode.threads, x, y);
    int i = 0;
    while (i < left.Count() && !Takes(left, i)) {
        ++i;
    }
    points.Want(left, i + 1);
    i = 0;
    for (; i < left.Count(); ++i) {
        if (Takes(left, i)) {
            const std::string name = left.Text(i);
            if (LoadWhole(ResultBuffer(state), name)) {
                outcome.maximum = PointBrightness(*state.Result, x, y);
                outcome.chain.push_back(name);
                maximumName = name;
                host.ShowImage(state.Result.get(), false);
                host.ShowStatus(0, name, left, true);
                break;
            }
            fail(i);
        }
        host.ProcessEvents();
    }
    const int width = ResultBuffer(state).Width();
    const int height = ResultBuffer(state).Height();

    state.ResultPosition = 1;
    RgbImage frame;
    for (++i; i < left.Count() && !state.StopRequested; ++i) {
        if (Takes(left, i)) {
            const std::string name = left.Text(i);
            PointSample point;
            const bool read = points.Read(name, point);
            points.Want(left, i + 1);
            if (!read || point.width != width || point.height != height) {
                fail(i);
            } else {
                const int value = point.inside ? point.blue + point.green + point.red : 765;
                if (value > outcome.maximum) {
                    // A new maximum becomes the result: only now is the frame
                    // decoded whole, and it must load whole to count.
                    if (!LoadWhole(frame, name) || frame.Width() != width ||
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
                            ResultBuffer(state).Swap(frame);
                            host.ShowImage(state.Result.get(), false);
                            host.ShowStatus(state.ResultPosition - 1, name, left, true);
                        }
                    }
                } else {
                    left.SetChecked(i, false);
                    host.ShowStatus(-i, name, left, false);
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
