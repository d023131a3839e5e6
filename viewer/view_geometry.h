#pragma once
// The arithmetic of the view: where the picture control goes and how large it
// is, how a pointer position turns into a picture pixel, and the texts the view
// writes. No Qt here, so that the tests call it without a single widget.

#include <string>

#include "core/rgb_image.h"

namespace nocturo {

/// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2), as
/// std::nearbyint in the default rounding mode. Values beyond the int range
/// saturate to INT_MIN / INT_MAX and NaN gives 0, so no input is undefined.
int RoundHalfEven(double value);

/// Place and size of the picture control inside the scroll box, in the scroll
/// box's content coordinates, and the scale from picture pixels to control
/// pixels that goes with it.
struct ViewGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    double zoom = 1.0;
};

/// The view leaves this many pixels of the scroll box's outer size unused in
/// stretch mode (its border and a small margin); the picture starts
/// kStretchOrigin pixels in.
inline constexpr int kStretchMargin = 6;
inline constexpr int kStretchOrigin = 2;

/// Zoom mode: zoom = position / 100 (1.0 for a position of 0 or below), the
/// control at the top left with the picture's size times the zoom.
ViewGeometry ZoomGeometry(int pictureWidth, int pictureHeight, int position);

/// Stretch mode: the picture fitted into outer size minus kStretchMargin,
/// keeping its ratio, centred. Small pictures are enlarged like large ones are
/// reduced. An axis on which the picture is 0 pixels long keeps a factor of 1.
/// A scroll box smaller than the margin would give a negative factor; such a
/// factor, like a zero one, becomes 1.0 so that the control never gets a
/// negative size and the pointer mapping never flips.
ViewGeometry StretchGeometry(int pictureWidth, int pictureHeight, int outerWidth, int outerHeight);

/// One of the two above, by mode.
ViewGeometry ComputeViewGeometry(bool stretch, int pictureWidth, int pictureHeight, int outerWidth,
                                 int outerHeight, int position);

/// A pixel position in the picture.
struct PicturePoint {
    int x = 0;
    int y = 0;
};

/// Pointer position in the picture control's coordinates -> picture pixel:
/// (round(x / zoom), round(y / zoom)), halves to even. A zoom of 0 or below
/// (never produced by the layout) is taken as 1.
PicturePoint PointerToPicture(double x, double y, double zoom);

/// A colour as the readout shows it.
struct PixelColour {
    int red = 255;
    int green = 255;
    int blue = 255;
};

/// The colour of pixel (x, y) of the picture, at the picture's depth (16-bit
/// values for a 16-bit picture); any position outside it (negative, or at or
/// beyond its width or height) reads as white (255, or 65535 at 16 bits).
PixelColour ReadViewPixel(const RgbImage& picture, int x, int y);

/// The status bar's pixel readout:
/// "X0012/Y0340 - r255/g128/b000//lum127". lum is Luminosity (r + g + b) div 3.
/// At depth 16 the values are 16-bit ones, written with five digits:
/// "X0012/Y0340 - r65535/g00128/b00000//lum21887".
std::string PixelReadoutText(int x, int y, int red, int green, int blue, int depth = 8);

/// The readout of the picture pixel under the pointer, pointer mapping and
/// reading together.
std::string PointerReadoutText(const RgbImage& picture, double x, double y, double zoom);

/// The zoom track's range: position 1 to 1000 is 1 % to 1000 %.
inline constexpr int kMinZoomPosition = 1;
inline constexpr int kMaxZoomPosition = 1000;

/// The zoom position a wheel turn leads to: angleDelta is in eighths of a
/// degree (120 for one notch, less from fine-grained wheels and touch pads),
/// positive away from the user, and each notch zooms by a factor of 1.25, at
/// least one position either way. Kept within the track's range, as is a
/// position given outside it.
int WheelZoomPosition(int position, int angleDelta);

/// A scroll position: how far the content is scrolled right and down.
struct ScrollPoint {
    int x = 0;
    int y = 0;
};

/// Where to scroll after the layout went from `before` to `after`, so that
/// the picture point under the pointer (in the scroll box's viewport, which
/// was scrolled by `scroll`) stays under it. Never negative; the scroll
/// bars keep it within their range.
ScrollPoint ScrollForZoomAbout(int pointerX, int pointerY, ScrollPoint scroll,
                               const ViewGeometry& before, const ViewGeometry& after);

/// The zoom label beside the track bar: " Z = 50% " for position 50.
std::string ZoomLabelText(int position);

}  // namespace nocturo
