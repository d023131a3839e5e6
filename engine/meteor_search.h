#pragma once
// The meteor search: after an AddMax shows a bright streak, it finds the
// frame in which one point of it was brightest. It reads that point in every
// checked frame of the left list and leaves checked only the chain of frames
// that raised the maximum; the last of them ends in the result buffer.

#include <string>
#include <vector>

#include "core/rgb_image.h"
#include "engine/stacking_run.h"

namespace nocturo {

/// R + G + B of the pixel at (x, y), 0 to 765 (0 to 196605 in a 16-bit
/// picture); a point outside the picture reads the top of that range.
int PointBrightness(const RgbImage& picture, int x, int y);

/// What a search did, for the command-line tool and the tests.
struct MeteorOutcome {
    /// Frames that could not be loaded or whose size differs from the first
    /// loaded frame's: disabled and skipped.
    int errors = 0;
    /// The frames that set a maximum, in list order; the last one holds it.
    std::vector<std::string> chain;
    /// The brightness at the point in that frame (or below 0 when no frame
    /// loaded).
    int maximum = -2147483647;
};

/// The search for the point (x, y): every checked and enabled entry is read
/// in list order; a frame brighter at the point than every frame before it
/// stays checked and becomes the result (ties keep the earlier frame); the
/// others are unchecked. Frames that fail to load, and frames of another
/// size than the first loaded one, are disabled and skipped and never win;
/// the result keeps the last maximum. A frame whose excluded areas hold the
/// point is not read and is unchecked. Only the point of each frame is
/// decoded, and a frame wholly only when it raises the maximum. Points and
/// frames are read at state.Depth: at 16 bits two frames that tie at 8 may
/// not. Between
/// frames the abort button brings the pause question. At the end status
/// panel 2 and the message "Image with Maximum" name the frame.
MeteorOutcome MaximumSearch(RunContext& context, int x, int y);

}  // namespace nocturo
