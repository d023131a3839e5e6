#include "tests/support/dotted_night.h"

#include <algorithm>
#include <cmath>

namespace nocturo::test {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSky = 20;

uint32_t Next(uint32_t& s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

double Uniform(uint32_t& s) {
    return (Next(s) >> 8) * (1.0 / 16777216.0);
}

void Put(RgbImage& image, int x, int y, int value) {
    if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) {
        return;
    }
    value = std::clamp(value, 0, 255);
    if (image.Depth() == 16) {
        uint16_t* p = image.Row16(y) + 3 * x;
        for (int c = 0; c < 3; ++c) {
            p[c] = std::max<uint16_t>(p[c], static_cast<uint16_t>(value * 257));
        }
    } else {
        uint8_t* p = image.Row(y) + 3 * x;
        for (int c = 0; c < 3; ++c) {
            p[c] = std::max<uint8_t>(p[c], static_cast<uint8_t>(value));
        }
    }
}

}  // namespace

std::vector<DottedNight::Circle> DottedNight::Circles() const {
    std::vector<Circle> circles;
    uint32_t s = seed * 2654435761u + 1;
    const double sweep = degreesPerFrame * kPi / 180 * kFrames;
    double farthest = 0;
    for (const double x : {0, width}) {
        for (const double y : {0, height}) {
            farthest = std::max(farthest, std::hypot(x - poleX, y - poleY));
        }
    }
    while (static_cast<int>(circles.size()) < stars) {
        const Circle c{20 + Uniform(s) * farthest, Uniform(s) * 2 * kPi};
        bool inside = true;
        for (double a = std::min(0.0, sweep); a <= std::max(0.0, sweep); a += 0.5 / c.radius) {
            const double x = poleX + c.radius * std::cos(c.angle + a);
            const double y = poleY + c.radius * std::sin(c.angle + a);
            inside = inside && x >= 3 && y >= 3 && x < width - 3 && y < groundRow - 3;
        }
        if (inside) {
            circles.push_back(c);
        }
    }
    return circles;
}

RgbImage DottedNight::Frame(int k) const {
    RgbImage image;
    image.Resize(width, height, depth);
    FillImage(image, kSky, kSky, kSky);
    const double step = degreesPerFrame * kPi / 180;
    int brightness = 150;
    for (const Circle& c : Circles()) {
        brightness = brightness == 150 ? 230 : 150;
        const double from = c.angle + k * step;
        const double to = from + step * (1 - gap);
        for (double a = std::min(from, to); a <= std::max(from, to); a += 0.25 / c.radius) {
            const double x = poleX + c.radius * std::cos(a);
            const double y = poleY + c.radius * std::sin(a);
            const int ix = static_cast<int>(std::lround(x));
            const int iy = static_cast<int>(std::lround(y));
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const double d2 = (ix + dx - x) * (ix + dx - x) + (iy + dy - y) * (iy + dy - y);
                    Put(image, ix + dx, iy + dy,
                        kSky + static_cast<int>(brightness * std::exp(-d2 / 0.9)));
                }
            }
        }
    }
    // The ground: dark, with lit windows that never move.
    for (int y = groundRow; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool window =
                (x % 40) < 4 && (y - groundRow) % 20 > 8 && (y - groundRow) % 20 < 12;
            if (image.Depth() == 16) {
                uint16_t* p = image.Row16(y) + 3 * x;
                p[0] = p[1] = p[2] = static_cast<uint16_t>((window ? 240 : 6) * 257);
            } else {
                uint8_t* p = image.Row(y) + 3 * x;
                p[0] = p[1] = p[2] = window ? 240 : 6;
            }
        }
    }
    if (k == planeFrame) {
        for (int x = 0; x < width; ++x) {
            Put(image, x, 40 + x / 3, 250);
            Put(image, x, 41 + x / 3, 250);
        }
    }
    return image;
}

RgbImage DottedNight::SkyMaskPicture() const {
    RgbImage mask;
    mask.Resize(width, height, 8);
    for (int y = 0; y < height; ++y) {
        std::fill(mask.Row(y), mask.Row(y) + mask.Stride(), y < groundRow ? 255 : 0);
    }
    return mask;
}

int LongestDarkStretch(const RgbImage& image, double poleX, double poleY, double radius,
                       double from, double to, int dark) {
    int longest = 0;
    int run = 0;
    long lastX = -1, lastY = -1;
    for (double a = from; a <= to; a += 0.3 / radius) {
        const long x = std::lround(poleX + radius * std::cos(a));
        const long y = std::lround(poleY + radius * std::sin(a));
        if (x == lastX && y == lastY) {
            continue;
        }
        lastX = x;
        lastY = y;
        int lum = 0;
        if (image.Depth() == 16) {
            const uint16_t* p = image.Row16(static_cast<int>(y)) + 3 * x;
            lum = Luminosity(p[0], p[1], p[2]) / 257;
        } else {
            const uint8_t* p = image.Row(static_cast<int>(y)) + 3 * x;
            lum = Luminosity(p[0], p[1], p[2]);
        }
        run = lum <= dark ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

}  // namespace nocturo::test
