#include "engine/frame_reader.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/image_file.h"

namespace nocturo {

namespace {

// How far ahead a run looks for the next frames to decode. A run over a
// long stretch of unchecked or unreadable entries would otherwise rescan it
// for every frame.
constexpr int kLookAheadEntries = 256;

bool IsRegularFile(const std::string& fileName) {
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

FrameReader::FrameReader(const DecodeOptions& options, TakesEntry takes, bool missingFails,
                         int depth)
    : stats_(options.stats), takes_(takes), missingFails_(missingFails), depth_(depth) {
    if (options.threads > 0 && options.ahead > 0) {
        prefetcher_.emplace(options.threads, options.ahead, depth,
                            options.aheadBytes > 0 ? options.aheadBytes : DefaultAheadBytes());
        if (!prefetcher_->Active()) {
            prefetcher_.reset();
        } else {
            oneCore_.emplace(1);
        }
    }
}

bool FrameReader::Load(const FileList& list, int index, RgbImage& destination) {
    const std::string name = list.Text(index);
    std::optional<bool> taken;
    if (prefetcher_) {
        taken = prefetcher_->Take(name, destination);
        PlanAhead(list, index + 1);
    }
    if (missingFails_ && !IsRegularFile(name)) {
        return false;
    }
    if (taken) {
        Count(&DecodeStats::prefetched);
        return *taken;
    }
    Count(&DecodeStats::loadedByRun);
    const bool loaded = LoadImageFile(destination, name, LoadOptions{depth_});
    if (loaded && prefetcher_) {
        prefetcher_->NoteFrameBytes(destination.Bytes());
    }
    return loaded;
}

void FrameReader::Stop() {
    if (prefetcher_) {
        prefetcher_->Stop();
    }
    oneCore_.reset();
}

// The next entries the run will take if nothing changes. Names that cannot
// be loaded at all would only take a slot.
void FrameReader::PlanAhead(const FileList& list, int from) {
    wanted_.clear();
    const int end = std::min(list.Count(), from + kLookAheadEntries);
    for (int j = from; j < end && static_cast<int>(wanted_.size()) < prefetcher_->Ahead(); ++j) {
        if (takes_(list, j) && IsLoadableName(list.Text(j))) {
            wanted_.push_back(list.Text(j));
        }
    }
    prefetcher_->Want(wanted_);
}

void FrameReader::Count(int64_t DecodeStats::*counter) {
    if (stats_ != nullptr) {
        ++(stats_->*counter);
    }
}

}  // namespace nocturo
