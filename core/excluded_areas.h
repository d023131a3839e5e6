#pragma once
// Excluded areas: rectangles of a frame that take no part in the runs that
// merge it (a plane's or satellite's streak left out of a night), kept per
// list entry and written in list files as "x,y,w,h;x,y,w,h".

#include <string>
#include <string_view>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

/// A rectangle of pixels: columns x .. x + w - 1, rows y .. y + h - 1.
struct ExcludedArea {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;

    friend bool operator==(const ExcludedArea&, const ExcludedArea&) = default;
};

using ExcludedAreas = std::vector<ExcludedArea>;

/// Pixels added on every side of a drawn area before it is excluded: a
/// streak's faint edge lies just outside what the eye takes for it.
inline constexpr int kExclusionGrowth = 3;

/// The most areas one frame keeps; more are refused when read.
inline constexpr std::size_t kMaxExcludedAreas = 256;

/// "x,y,w,h;x,y,w,h": the areas in order, empty for none.
std::string FormatExcludedAreas(const ExcludedAreas& areas);

/// Reads what FormatExcludedAreas writes; blanks around the numbers are
/// allowed, empty text gives no areas. False, leaving `areas` empty, when
/// the text is not that: a number missing or not whole, a negative x or y,
/// a width or height below 1, a corner beyond 2^31, more than
/// kMaxExcludedAreas areas.
bool ParseExcludedAreas(std::string_view text, ExcludedAreas& areas);

/// One area "x,y,w,h" (no ';').
bool ParseExcludedArea(std::string_view text, ExcludedArea& area);

/// The area from two corners in any order, both included, grown by `grow`
/// pixels on every side and clipped to a picture of width x height; w = 0
/// when nothing of it lies in the picture.
ExcludedArea AreaFromCorners(int x0, int y0, int x1, int y1, int grow, int width, int height);

/// The part of `area` inside a picture of width x height (w = 0 for none).
ExcludedArea ClipArea(const ExcludedArea& area, int width, int height);

/// Whether pixel (x, y) lies in one of the areas.
bool InExcludedArea(const ExcludedAreas& areas, int x, int y);

/// Paints the areas black in the picture (clipped to it), at its depth.
void BlackenAreas(RgbImage& picture, const ExcludedAreas& areas);

/// Keeps the pixels of a picture in some areas, to put them back after the
/// picture was changed: how a merge leaves an excluded area as it was.
class AreaKeeper {
  public:
    /// Copies the areas (clipped) of `picture`; forgets what it kept before.
    void Keep(const RgbImage& picture, const ExcludedAreas& areas);
    /// Writes what Keep copied back into `picture`, which must have the
    /// size and depth it had then.
    void Restore(RgbImage& picture) const;

  private:
    ExcludedAreas areas_;  // clipped
    size_t bytesPerPixel_ = 3;
    std::vector<uint8_t> pixels_;
};

}  // namespace nocturo
