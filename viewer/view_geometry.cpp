#include "viewer/view_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace nocturo {

namespace {

int ClampToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

// Sizes are never negative, whatever a degenerate zoom would make of them.
int RoundedExtent(int pictureExtent, double zoom) {
    const int extent = RoundHalfEven(static_cast<double>(pictureExtent) * zoom);
    return extent < 0 ? 0 : extent;
}

}  // namespace

int RoundHalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    // Worked out by hand rather than with nearbyint, so that a rounding mode
    // changed elsewhere in the process cannot move the picture.
    const double below = std::floor(value);
    const double fraction = value - below;  // exact within the int range
    double result = below;
    if (fraction > 0.5) {
        result = below + 1.0;
    } else if (fraction == 0.5 && std::fmod(below, 2.0) != 0.0) {
        result = below + 1.0;
    }
    return ClampToInt(result);
}

ViewGeometry ZoomGeometry(int pictureWidth, int pictureHeight, int position) {
    ViewGeometry g;
    g.zoom = static_cast<double>(position) / 100.0;
    if (g.zoom <= 0.0) {
        g.zoom = 1.0;
    }
    g.left = 0;
    g.top = 0;
    g.width = RoundedExtent(pictureWidth, g.zoom);
    g.height = RoundedExtent(pictureHeight, g.zoom);
    return g;
}

ViewGeometry StretchGeometry(int pictureWidth, int pictureHeight, int outerWidth, int outerHeight) {
    const double roomX = static_cast<double>(outerWidth) - kStretchMargin;
    const double roomY = static_cast<double>(outerHeight) - kStretchMargin;
    const double a = pictureWidth == 0 ? 1.0 : roomX / pictureWidth;
    const double b = pictureHeight == 0 ? 1.0 : roomY / pictureHeight;
    ViewGeometry g;
    g.zoom = a <= b ? a : b;
    if (g.zoom <= 0.0) {
        g.zoom = 1.0;
    }
    g.width = RoundedExtent(pictureWidth, g.zoom);
    g.height = RoundedExtent(pictureHeight, g.zoom);
    g.left =
        ClampToInt(static_cast<double>(RoundHalfEven((roomX - g.width) / 2.0)) + kStretchOrigin);
    g.top =
        ClampToInt(static_cast<double>(RoundHalfEven((roomY - g.height) / 2.0)) + kStretchOrigin);
    return g;
}

ViewGeometry ComputeViewGeometry(bool stretch, int pictureWidth, int pictureHeight, int outerWidth,
                                 int outerHeight, int position) {
    if (stretch) {
        return StretchGeometry(pictureWidth, pictureHeight, outerWidth, outerHeight);
    }
    return ZoomGeometry(pictureWidth, pictureHeight, position);
}

PicturePoint PointerToPicture(double x, double y, double zoom) {
    if (!(zoom > 0.0)) {
        zoom = 1.0;
    }
    return PicturePoint{RoundHalfEven(x / zoom), RoundHalfEven(y / zoom)};
}

PixelColour ReadViewPixel(const RgbImage& picture, int x, int y) {
    PixelColour c;
    const bool wide = picture.Depth() == 16;
    if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) {
        if (wide) {
            c.red = c.green = c.blue = kWhite16;
        }
        return c;  // white
    }
    if (wide) {
        const uint16_t* p = picture.Row16(y) + static_cast<size_t>(x) * 3;
        c.blue = p[0];
        c.green = p[1];
        c.red = p[2];
        return c;
    }
    const uint8_t* p = picture.Row(y) + static_cast<size_t>(x) * 3;
    c.blue = p[0];
    c.green = p[1];
    c.red = p[2];
    return c;
}

std::string PixelReadoutText(int x, int y, int red, int green, int blue, int depth) {
    // Luminosity's (r + g + b) div 3, widened so that no argument can overflow.
    const long long lum = (static_cast<long long>(red) + green + blue) / 3;
    char text[160];
    if (depth == 16) {
        std::snprintf(text, sizeof text, "X%4.4d/Y%4.4d - r%5.5d/g%5.5d/b%5.5d//lum%5.5lld", x, y,
                      red, green, blue, lum);
    } else {
        std::snprintf(text, sizeof text, "X%4.4d/Y%4.4d - r%3.3d/g%3.3d/b%3.3d//lum%3.3lld", x, y,
                      red, green, blue, lum);
    }
    return text;
}

std::string PointerReadoutText(const RgbImage& picture, double x, double y, double zoom) {
    const PicturePoint p = PointerToPicture(x, y, zoom);
    const PixelColour c = ReadViewPixel(picture, p.x, p.y);
    return PixelReadoutText(p.x, p.y, c.red, c.green, c.blue, picture.Depth());
}

int WheelZoomPosition(int position, int angleDelta) {
    position = std::clamp(position, kMinZoomPosition, kMaxZoomPosition);
    constexpr double kNotch = 120.0;
    constexpr double kFactorPerNotch = 1.25;
    int next = RoundHalfEven(position * std::pow(kFactorPerNotch, angleDelta / kNotch));
    // Small positions would round back to themselves: a turn always moves.
    if (angleDelta > 0 && next <= position) {
        next = position + 1;
    } else if (angleDelta < 0 && next >= position) {
        next = position - 1;
    } else if (angleDelta == 0) {
        next = position;
    }
    return std::clamp(next, kMinZoomPosition, kMaxZoomPosition);
}

ScrollPoint ScrollForZoomAbout(int pointerX, int pointerY, ScrollPoint scroll,
                               const ViewGeometry& before, const ViewGeometry& after) {
    const double from = before.zoom > 0.0 ? before.zoom : 1.0;
    const double to = after.zoom > 0.0 ? after.zoom : 1.0;
    auto axis = [&](int pointer, int scrolled, int oldStart, int newStart) {
        const double picture = (static_cast<double>(scrolled) + pointer - oldStart) / from;
        const int target = RoundHalfEven(newStart + picture * to - pointer);
        return std::max(0, target);
    };
    return ScrollPoint{axis(pointerX, scroll.x, before.left, after.left),
                       axis(pointerY, scroll.y, before.top, after.top)};
}

std::string ZoomLabelText(int position) {
    char text[32];
    std::snprintf(text, sizeof text, " Z = %d%s ", position, "%");
    return text;
}

}  // namespace nocturo
