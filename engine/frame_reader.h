#pragma once

// Loads a run's frames from the left list: itself, or through the
// decode-ahead workers when the run state asks for them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "core/rgb_image.h"
#include "engine/frame_prefetcher.h"
#include "engine/run_state.h"
#include "lists/file_list.h"

namespace nocturo {

/// Reads a run's frames at the depth the options give. Either way a frame
/// is loaded with the entry's text at the moment the run reaches it, exactly
/// as LoadImageFile would at that depth.
class FrameReader {
  public:
    /// Whether the run will take entry `index` of the list; the look-ahead
    /// decodes only those.
    using TakesEntry = bool (*)(const FileList& list, int index);

    /// `missingFails`: a name that is no longer a regular file fails to load
    /// even when its picture was already decoded ahead.
    FrameReader(const DecodeOptions& options, TakesEntry takes, bool missingFails = false,
                int depth = 8);

    /// Loads entry `index` of `list` (one the run takes: the caller made
    /// sure) into destination, with LoadImageFile's result and effects.
    bool Load(const FileList& list, int index, RgbImage& destination);

    /// Cancels what is queued and joins the workers.
    void Stop();

  private:
    void PlanAhead(const FileList& list, int from);
    void Count(int64_t DecodeStats::*counter);

    DecodeStats* stats_;
    TakesEntry takes_;
    bool missingFails_;
    int depth_;
    std::optional<FramePrefetcher> prefetcher_;
    // While workers decode, a RAW frame the run loads itself develops on
    // one core as theirs do: the cores are busy already.
    std::optional<RawDecodeThreads> oneCore_;
    std::vector<std::string> wanted_;
};

}  // namespace nocturo
