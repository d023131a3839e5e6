#include "engine/bright_frames.h"

#include <algorithm>
#include <cmath>

namespace nocturo {

namespace {

// The median of values (reordered); the mean of the middle two for an even
// count.
double Median(std::vector<double>& values) {
    const size_t n = values.size();
    const size_t half = n / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(half), values.end());
    const double upper = values[half];
    if (n % 2 == 1) {
        return upper;
    }
    return (*std::max_element(values.begin(), values.begin() + static_cast<long>(half)) + upper) /
           2;
}

}  // namespace

std::vector<BrightFrame> FindBrightFrames(const std::vector<std::optional<double>>& means,
                                          int window, double deviations) {
    window = std::max(window, 1);
    std::vector<int> at;  // the measured frames' indices
    std::vector<double> v;
    for (size_t i = 0; i < means.size(); ++i) {
        if (means[i]) {
            at.push_back(static_cast<int>(i));
            v.push_back(*means[i]);
        }
    }
    std::vector<BrightFrame> bright;
    const int n = static_cast<int>(v.size());
    if (n < 2) {
        return bright;
    }
    std::vector<double> changes;
    changes.reserve(static_cast<size_t>(n - 1));
    for (int i = 1; i < n; ++i) {
        changes.push_back(std::fabs(v[i] - v[i - 1]));
    }
    const double deviation = std::max(1.0, 1.4826 * Median(changes));
    const double margin = deviations * deviation;
    std::vector<double> side;
    for (int i = 0; i < n; ++i) {
        double limit = 0;
        bool judged = false;
        bool above = true;
        for (const auto& [from, to] : {std::pair{std::max(0, i - window), i},
                                       std::pair{i + 1, std::min(n, i + 1 + window)}}) {
            if (from >= to) {
                continue;
            }
            side.assign(v.begin() + from, v.begin() + to);
            const double sideLimit = Median(side) + margin;
            limit = judged ? std::max(limit, sideLimit) : sideLimit;
            judged = true;
            above = above && v[i] > sideLimit;
        }
        if (judged && above) {
            bright.push_back({at[i], v[i], limit});
        }
    }
    return bright;
}

std::vector<BrightFrame> UncheckBrightFrames(FileList& list, const LuminosityCache& cache,
                                             int window, double deviations) {
    std::vector<std::optional<double>> means;
    means.reserve(static_cast<size_t>(list.Count()));
    for (const NightPoint& point : NightPoints(list, cache)) {
        means.push_back(point.state == NightPoint::State::Measured ? std::optional(point.mean)
                                                                   : std::nullopt);
    }
    const std::vector<BrightFrame> bright = FindBrightFrames(means, window, deviations);
    FileList::UpdateGuard update(list);
    size_t next = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const bool isBright = next < bright.size() && bright[next].index == i;
        if (isBright) {
            ++next;
            list.SetChecked(i, false);
        }
        list.SetSelected(i, isBright);
    }
    return bright;
}

}  // namespace nocturo
