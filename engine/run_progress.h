#pragma once
// How far a run has come: frames done of the frames to do, a smoothed rate
// and the time left. Fed with the run's counter and a clock reading, so that
// it can be driven by a fake clock; no Qt.

#include <string>

namespace nocturo {

class RunProgress {
  public:
    /// A run starts at `now` (seconds on any steady clock).
    void Start(double now);
    /// The run has done `done` of `total` frames at `now`. A counter that
    /// goes back (a run's second pass) starts the rate afresh.
    void Report(int done, int total, double now);
    /// The run has ended: nothing is shown any more.
    void Stop();

    bool Running() const { return running_; }
    int Done() const { return done_; }
    int Total() const { return total_; }
    /// The rate and the time left are known once a second of counting is
    /// behind the run.
    bool RateKnown() const { return rateKnown_; }
    /// Frames per second, smoothed.
    double Rate() const { return rate_; }
    /// Seconds left at the smoothed rate; 0 before the rate is known.
    double SecondsLeft() const;
    /// "412 / 1800  23.4 fps  0:59 left", or only the counter before the
    /// rate is known; empty when no run is going.
    std::string Text() const;

  private:
    static constexpr double kMinSpan = 1.0;  // seconds of counting before a rate is told
    static constexpr double kWeight = 0.3;   // share of a new measurement in the rate

    bool running_ = false;
    int done_ = 0;
    int total_ = 0;
    // The counter and clock of the last rate measurement.
    int markDone_ = 0;
    double markTime_ = 0.0;
    bool rateKnown_ = false;
    double rate_ = 0.0;
};

/// Seconds as "0:59", "12:04" or "1:02:03".
std::string ClockText(double seconds);

}  // namespace nocturo
