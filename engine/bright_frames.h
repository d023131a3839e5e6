#pragma once
// Bright frames: the frames of a night spoilt as a whole by a passing car's
// headlights, a flash or a lit cloud, told from the night's slow changes (a
// moon that rises and stays, the dawn) by their mean luminosity alone.
//
// A frame is bright when its mean stands more than K deviations above the
// median of the W measured frames before it and above the median of the W
// measured frames after it (only one side counts where the other has no
// frame). The deviation is 1.4826 times the median absolute change of the
// mean from one measured frame to the next over the night (the spread that
// noise alone gives), and never less than one level.

#include <optional>
#include <vector>

#include "engine/night_measure.h"
#include "lists/file_list.h"

namespace nocturo {

inline constexpr int kBrightWindowDefault = 15;
inline constexpr double kBrightDeviationsDefault = 5.0;

struct BrightFrame {
    int index = 0;     ///< in the sequence given
    double mean = 0;   ///< the frame's mean luminosity
    double limit = 0;  ///< the mean above which it counts as bright
};

/// The bright frames of a night, in order. means: one per frame, none for a
/// frame not measured (it is neither judged nor a neighbour). window below
/// 1 counts as 1.
std::vector<BrightFrame> FindBrightFrames(const std::vector<std::optional<double>>& means,
                                          int window = kBrightWindowDefault,
                                          double deviations = kBrightDeviationsDefault);

/// "Uncheck bright frames": judges the entries by their measured means and,
/// as one change, unchecks the bright ones and makes them exactly the
/// selection. Returns them.
std::vector<BrightFrame> UncheckBrightFrames(FileList& list, const LuminosityCache& cache,
                                             int window = kBrightWindowDefault,
                                             double deviations = kBrightDeviationsDefault);

}  // namespace nocturo
