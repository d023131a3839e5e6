#include "engine/night_measure.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "core/image_file.h"
#include "engine/frame_map.h"

namespace nocturo {

double MeanLuminosity(const RgbImage& image) {
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0) {
        return 0;
    }
    uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = image.Row(y);
        uint32_t rowSum = 0;  // at most 255 * 2^24 pixels fit; rows are far shorter
        for (int x = 0; x < width; ++x, p += 3) {
            rowSum += static_cast<uint32_t>(Luminosity(p[0], p[1], p[2]));
        }
        sum += rowSum;
    }
    return static_cast<double>(sum) / (static_cast<double>(width) * height);
}

double ReducedMeanLuminosity(const RgbImage& reduced, int fullWidth, int fullHeight, int scale) {
    const int width = reduced.Width();
    const int height = reduced.Height();
    if (width <= 0 || height <= 0 || fullWidth <= 0 || fullHeight <= 0 || scale <= 0) {
        return 0;
    }
    if (fullWidth == width && fullHeight == height) {
        return MeanLuminosity(reduced);
    }
    // Blocks are `scale` pixels a side, whatever the picture's size: a 17
    // pixel wide row reduces to blocks of 8, 8 and 1, not to thirds. The last
    // column and row of blocks hold what the full size leaves for them.
    const int64_t block = scale;
    const int64_t lastX = std::clamp<int64_t>(fullWidth - block * (width - 1), 1, block);
    const int64_t lastY = std::clamp<int64_t>(fullHeight - block * (height - 1), 1, block);
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = reduced.Row(y);
        int64_t inner = 0;
        for (int x = 0; x < width - 1; ++x, p += 3) {
            inner += Luminosity(p[0], p[1], p[2]);
        }
        const int64_t row = inner * block + int64_t{Luminosity(p[0], p[1], p[2])} * lastX;
        sum += static_cast<double>(row * (y == height - 1 ? lastY : block));
    }
    return sum / (static_cast<double>(block * (width - 1) + lastX) *
                  static_cast<double>(block * (height - 1) + lastY));
}

std::optional<double> MeasureFile(const std::string& fileName) {
    thread_local RgbImage buffer;
    int fullWidth = 0;
    int fullHeight = 0;
    if (!LoadImageFileReduced(buffer, fileName, kMeasureScale, fullWidth, fullHeight)) {
        return std::nullopt;
    }
    return ReducedMeanLuminosity(buffer, fullWidth, fullHeight, kMeasureScale);
}

// --- the cache ----------------------------------------------------------------

std::optional<MeasuredValue> LuminosityCache::Find(const std::string& fileName) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(fileName);
    if (it == entries_.end()) {
        return std::nullopt;
    }
    return it->second.value;
}

std::optional<MeasuredValue> LuminosityCache::FindCurrent(const std::string& fileName,
                                                          const FileStamp& stamp) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(fileName);
    if (it == entries_.end() || !(it->second.stamp == stamp)) {
        return std::nullopt;
    }
    return it->second.value;
}

void LuminosityCache::Store(const std::string& fileName, const FileStamp& stamp,
                            MeasuredValue value) {
    std::lock_guard lock(mutex_);
    entries_[fileName] = Entry{stamp, value};
}

int64_t LuminosityCache::Decodes() const {
    std::lock_guard lock(mutex_);
    return decodes_;
}

void LuminosityCache::CountDecode() {
    std::lock_guard lock(mutex_);
    ++decodes_;
}

// --- the measurer -------------------------------------------------------------

NightMeasurer::NightMeasurer(LuminosityCache& cache, int threads)
    : cache_(cache), threads_(std::max(1, threads)) {}

NightMeasurer::~NightMeasurer() {
    Cancel();
}

void NightMeasurer::Join() {
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
}

void NightMeasurer::Cancel() {
    cancel_ = true;
    Join();
}

void NightMeasurer::Wait() {
    Join();
}

bool NightMeasurer::Running() const {
    return !workers_.empty() && done_.load() < Total() && !cancel_.load();
}

void NightMeasurer::Start(std::vector<std::string> names) {
    Cancel();
    names_ = std::move(names);
    next_ = 0;
    done_ = 0;
    cancel_ = false;
    const int count = std::min(threads_, Total());
    try {
        for (int k = 0; k < count; ++k) {
            workers_.emplace_back([this] { WorkerLoop(); });
        }
    } catch (const std::system_error&) {
        // No more threads: those started do the work.
    }
    if (workers_.empty()) {
        WorkerLoop();  // not even one: measure on the owner's thread
    }
}

void NightMeasurer::WorkerLoop() {
    // Every worker measures frames of its own: a RAW frame develops on one core.
    const RawDecodeThreads oneCore(1);
    for (;;) {
        if (cancel_.load()) {
            return;
        }
        const int k = next_.fetch_add(1);
        if (k >= Total()) {
            return;
        }
        const std::string& name = names_[k];
        const FileStamp stamp = StampOf(name);
        if (!cache_.FindCurrent(name, stamp)) {
            cache_.CountDecode();
            // A decoder that throws (out of memory) makes a gap, as a file
            // that does not load does.
            MeasuredValue value;
            try {
                value.mean = MeasureFile(name);
            } catch (...) {
                value.mean.reset();
            }
            cache_.Store(name, stamp, value);
        }
        ++done_;
    }
}

// --- the graph's values -------------------------------------------------------

std::vector<NightPoint> NightPoints(const FileList& list, const LuminosityCache& cache) {
    std::vector<NightPoint> points(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        const std::optional<MeasuredValue> value = cache.Find(list.Text(i));
        if (!value) {
            continue;
        }
        if (value->mean) {
            points[i].state = NightPoint::State::Measured;
            points[i].mean = *value->mean;
        } else {
            points[i].state = NightPoint::State::Failed;
        }
    }
    return points;
}

int UncheckFramesAbove(FileList& list, const LuminosityCache& cache, double limit) {
    const std::vector<NightPoint> points = NightPoints(list, cache);
    FileList::UpdateGuard update(list);
    int count = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (points[i].state == NightPoint::State::Measured && points[i].mean > limit &&
            list.IsChecked(i)) {
            list.SetChecked(i, false);
            ++count;
        }
    }
    return count;
}

std::string FormatMean(double mean) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", mean);
    return text;
}

std::string NightCsv(const FileList& list, const LuminosityCache& cache) {
    const std::vector<NightPoint> points = NightPoints(list, cache);
    std::string csv = "file,mean_luminosity,checked\n";
    for (int i = 0; i < list.Count(); ++i) {
        csv += CsvField(list.Text(i));
        csv += ',';
        if (points[i].state == NightPoint::State::Measured) {
            csv += FormatMean(points[i].mean);
        }
        csv += list.IsChecked(i) ? ",1\n" : ",0\n";
    }
    return csv;
}

}  // namespace nocturo
