#include "core/gap_fill.h"

#include <algorithm>
#include <cmath>

namespace nocturo {

namespace {

// A turn of a gap needs no more copies than this, however far the pole:
// beyond it the rotation measured cannot be the sky's.
constexpr int kMaxSubSteps = 4096;

template <typename T, bool kMasked>
void Extract(const RgbImage& frame, const Background& background, const SkyMask* mask,
             std::vector<StarPixel>& pixels) {
    const int width = frame.Width();
    const int cell = Background::kCell;
    for (int y = 0; y < frame.Height(); ++y) {
        const T* s;
        if constexpr (sizeof(T) == 1) {
            s = frame.Row(y);
        } else {
            s = frame.Row16(y);
        }
        const int row = y / cell;
        for (int x0 = 0; x0 < width; x0 += cell) {
            const int x1 = std::min(width, x0 + cell);
            // Star pixels are few: a cell's stretch of the row is first
            // looked over for any pixel above its threshold at all.
            const int t3 = static_cast<int>(background.Threshold3(x0 / cell, row));
            if (MostPixelSum(s, x0, x1) <= t3) {
                continue;
            }
            for (int x = x0; x < x1; ++x) {
                const int sum = int{s[3 * x]} + s[3 * x + 1] + s[3 * x + 2];
                if (sum > t3 && (!kMasked || mask->IsSky(x, y))) {
                    pixels.push_back({x, y, s[3 * x], s[3 * x + 1], s[3 * x + 2]});
                }
            }
        }
    }
}

template <typename T>
void Splat(const std::vector<StarPixel>& pixels, double cx, double cy, double angle,
           bool byLuminosity, const SkyMask* mask, RgbImage& buffer) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const int width = buffer.Width();
    const int height = buffer.Height();
    for (const StarPixel& p : pixels) {
        const double dx = p.x - cx;
        const double dy = p.y - cy;
        const long x = std::lround(cx + c * dx - s * dy);
        const long y = std::lround(cy + s * dx + c * dy);
        if (x < 0 || y < 0 || x >= width || y >= height ||
            (mask != nullptr && !mask->IsSky(static_cast<int>(x), static_cast<int>(y)))) {
            continue;
        }
        T* b;
        if constexpr (sizeof(T) == 1) {
            b = buffer.Row(static_cast<int>(y)) + 3 * x;
        } else {
            b = buffer.Row16(static_cast<int>(y)) + 3 * x;
        }
        const T blue = static_cast<T>(p.blue);
        const T green = static_cast<T>(p.green);
        const T red = static_cast<T>(p.red);
        if (byLuminosity) {
            if (Luminosity(blue, green, red) > Luminosity(b[0], b[1], b[2])) {
                b[0] = blue;
                b[1] = green;
                b[2] = red;
            }
        } else {
            b[0] = std::max(b[0], blue);
            b[1] = std::max(b[1], green);
            b[2] = std::max(b[2], red);
        }
    }
}

}  // namespace

void ExtractStarPixels(const RgbImage& frame, const Background& background, const SkyMask* mask,
                       std::vector<StarPixel>& pixels) {
    pixels.clear();
    if (frame.Width() <= 0 || frame.Height() <= 0 ||
        background.Columns() != (frame.Width() + Background::kCell - 1) / Background::kCell ||
        background.Rows() != (frame.Height() + Background::kCell - 1) / Background::kCell) {
        return;
    }
    if (mask != nullptr && (mask->width != frame.Width() || mask->height != frame.Height())) {
        mask = nullptr;
    }
    if (frame.Depth() == 16) {
        mask != nullptr ? Extract<uint16_t, true>(frame, background, mask, pixels)
                        : Extract<uint16_t, false>(frame, background, mask, pixels);
    } else {
        mask != nullptr ? Extract<uint8_t, true>(frame, background, mask, pixels)
                        : Extract<uint8_t, false>(frame, background, mask, pixels);
    }
}

int GapSubSteps(double maxRadius, double gapRadians) {
    const double travel = std::abs(maxRadius * gapRadians);
    if (!(travel > 0)) {
        return 0;
    }
    return static_cast<int>(std::min<double>(kMaxSubSteps, std::ceil(travel)));
}

int FillGap(const std::vector<StarPixel>& pixels, const SkyRotation& rotation, double gapRadians,
            bool byLuminosity, const SkyMask* mask, RgbImage& buffer) {
    if (!rotation.found || pixels.empty() || buffer.Width() <= 0 || buffer.Height() <= 0) {
        return 0;
    }
    if (mask != nullptr && (mask->width != buffer.Width() || mask->height != buffer.Height())) {
        mask = nullptr;
    }
    double maxRadius2 = 0;
    for (const StarPixel& p : pixels) {
        const double dx = p.x - rotation.centreX;
        const double dy = p.y - rotation.centreY;
        maxRadius2 = std::max(maxRadius2, dx * dx + dy * dy);
    }
    const int steps = GapSubSteps(std::sqrt(maxRadius2), gapRadians);
    for (int k = 1; k <= steps; ++k) {
        const double angle = gapRadians * k / steps;
        if (buffer.Depth() == 16) {
            Splat<uint16_t>(pixels, rotation.centreX, rotation.centreY, angle, byLuminosity, mask,
                            buffer);
        } else {
            Splat<uint8_t>(pixels, rotation.centreX, rotation.centreY, angle, byLuminosity, mask,
                           buffer);
        }
    }
    return steps;
}

}  // namespace nocturo
