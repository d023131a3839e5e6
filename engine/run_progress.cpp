#include "engine/run_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lang/language_strings.h"

namespace nocturo {

void RunProgress::Start(double now) {
    *this = RunProgress();
    running_ = true;
    markTime_ = now;
}

void RunProgress::Report(int done, int total, double now) {
    if (!running_) {
        Start(now);
    }
    total_ = std::max(0, total);
    done = std::clamp(done, 0, std::max(total_, done));
    if (done < markDone_) {
        // Counting again from the start: the old marks say nothing.
        markDone_ = done;
        markTime_ = now;
        rateKnown_ = false;
    }
    done_ = done;
    const double span = now - markTime_;
    if (span >= kMinSpan) {
        const double measured = (done_ - markDone_) / span;
        rate_ = rateKnown_ ? rate_ + kWeight * (measured - rate_) : measured;
        rateKnown_ = true;
        markDone_ = done_;
        markTime_ = now;
    }
}

void RunProgress::Stop() {
    running_ = false;
}

double RunProgress::SecondsLeft() const {
    if (!rateKnown_ || rate_ <= 0.0) {
        return 0.0;
    }
    return std::max(0, total_ - done_) / rate_;
}

std::string ClockText(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    }
    return text;
}

std::string RunProgress::Text() const {
    if (!running_) {
        return {};
    }
    std::string text = std::to_string(done_) + " / " + std::to_string(total_);
    if (rateKnown_) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f", rate_);
        text += "  " + FormatText(Lng().txtProgressRate, std::string(rate));
        if (rate_ > 0.0) {
            text += "  " + FormatText(Lng().txtProgressLeft, ClockText(SecondsLeft()));
        }
    }
    return text;
}

}  // namespace nocturo
