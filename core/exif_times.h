#pragma once
// When a frame was taken and how long the shutter was open, from the EXIF
// data of the file, and from those of a night the share of each interval
// between frames that the shutter was closed.

#include <optional>
#include <string>
#include <vector>

namespace nocturo {

struct ShotTime {
    /// Seconds since an arbitrary origin: DateTimeOriginal with
    /// SubSecTimeOriginal when the file has it.
    double taken = 0;
    /// Exposure time in seconds.
    double exposure = 0;
};

/// The shot time of a picture file; nullopt when the file has no EXIF
/// data, or lacks the time taken or the exposure time.
std::optional<ShotTime> ReadShotTime(const std::string& fileName);

/// 1 - exposure / interval, with the median exposure and the median
/// interval between consecutive shots (those taken later than the one
/// before), within 0..0.9; nullopt with fewer than two shots or no
/// interval.
std::optional<double> GapFraction(const std::vector<ShotTime>& shots);

/// The largest gap fraction a night may have: beyond it the frames would
/// be more gap than trail.
inline constexpr double kMaxGapFraction = 0.9;

}  // namespace nocturo
