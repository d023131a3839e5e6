#pragma once
// Measuring a night: the mean luminosity of every frame, for the night graph
// and `nocturo-stack --measure`. A frame is decoded at reduced size (JPEG at
// 1/8 in the DCT domain), which is many times quicker than a full decode and
// changes the mean by a fraction of a level.
//
// Threading rules
// - NightMeasurer's public functions, its destructor included, are called
//   from one owner thread (the GUI thread in the program).
// - Its workers receive copies of the file names and nothing else; they
//   never touch a list, a window or the run state. They read files, decode
//   into their own buffers and write results into the LuminosityCache.
// - LuminosityCache is guarded by its own mutex: any thread may read it.
// - Cancel() and the destructor wait for the frames being measured and join
//   every worker; afterwards no worker runs.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/rgb_image.h"
#include "engine/file_stamp.h"
#include "lists/file_list.h"

namespace nocturo {

/// Each side of a JPEG is divided by this when a frame is measured.
inline constexpr int kMeasureScale = 8;

/// The mean over every pixel of Luminosity, (R + G + B) div 3. 0 for an
/// image without pixels.
double MeanLuminosity(const RgbImage& image);

/// The mean of a picture of fullWidth x fullHeight from its copy reduced to
/// 1/scale (sides rounded up), in which each pixel stands for a block of
/// scale x scale pixels, the last column and row for what is left. With the
/// full size equal to the image's own, MeanLuminosity.
double ReducedMeanLuminosity(const RgbImage& reduced, int fullWidth, int fullHeight, int scale);

/// Loads a file at reduced size and measures it; nothing when it does not
/// load.
std::optional<double> MeasureFile(const std::string& fileName);

/// The value of one file: measured (mean) or failed to load (no mean).
struct MeasuredValue {
    std::optional<double> mean;
};

/// Values per file name, kept with the stamp they were measured at, so that
/// sorting or swapping the list, or measuring again, decodes nothing twice.
class LuminosityCache {
  public:
    /// The last value measured for the name, whatever the file did since;
    /// nothing when the name was never measured.
    std::optional<MeasuredValue> Find(const std::string& fileName) const;
    /// The value measured for the name when the file had this stamp.
    std::optional<MeasuredValue> FindCurrent(const std::string& fileName,
                                             const FileStamp& stamp) const;
    void Store(const std::string& fileName, const FileStamp& stamp, MeasuredValue value);
    /// Files decoded to fill the cache, since it was made.
    int64_t Decodes() const;
    void CountDecode();

  private:
    struct Entry {
        FileStamp stamp;
        MeasuredValue value;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    int64_t decodes_ = 0;
};

/// Measures a list of files on worker threads into a cache.
class NightMeasurer {
  public:
    /// threads below 1 count as 1.
    NightMeasurer(LuminosityCache& cache, int threads);
    ~NightMeasurer();
    NightMeasurer(const NightMeasurer&) = delete;
    NightMeasurer& operator=(const NightMeasurer&) = delete;

    /// Cancels what runs and measures these files (a file whose cached value
    /// is still current is only stat'ed). Progress restarts at 0 of
    /// names.size().
    void Start(std::vector<std::string> names);
    /// Stops after the frames being measured; their values are kept.
    void Cancel();
    /// Blocks until every file of the last Start is measured or cancelled.
    void Wait();

    bool Running() const;
    int Total() const { return static_cast<int>(names_.size()); }
    int Done() const { return done_.load(); }

  private:
    void Join();
    void WorkerLoop();

    LuminosityCache& cache_;
    int threads_;
    std::vector<std::string> names_;  // read-only while workers run
    std::atomic<int> next_{0};
    std::atomic<int> done_{0};
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> workers_;
};

/// One point of the night graph.
struct NightPoint {
    enum class State { Unmeasured, Failed, Measured };
    State state = State::Unmeasured;
    double mean = 0;
};

/// The graph's points: one per entry of the list, in list order.
std::vector<NightPoint> NightPoints(const FileList& list, const LuminosityCache& cache);

/// Unchecks, as one change, every entry whose measured mean is above limit.
/// Returns how many entries it unchecked.
int UncheckFramesAbove(FileList& list, const LuminosityCache& cache, double limit);

/// A mean as the tables write it: two decimals.
std::string FormatMean(double mean);

/// The values as CSV: "file,mean_luminosity,checked", then one line per
/// entry (an empty value for a frame not measured or failed; checked 1 or 0).
std::string NightCsv(const FileList& list, const LuminosityCache& cache);

}  // namespace nocturo
