#include "core/excluded_areas.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace nocturo {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool WholeNumber(std::string_view text, long long& value) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 12) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

size_t PixelBytes(const RgbImage& picture) {
    return static_cast<size_t>(3 * (picture.Depth() >> 3));
}

}  // namespace

std::string FormatExcludedAreas(const ExcludedAreas& areas) {
    std::string out;
    for (const ExcludedArea& a : areas) {
        if (!out.empty()) {
            out += ';';
        }
        out += std::to_string(a.x) + ',' + std::to_string(a.y) + ',' + std::to_string(a.w) + ',' +
               std::to_string(a.h);
    }
    return out;
}

bool ParseExcludedArea(std::string_view text, ExcludedArea& area) {
    long long v[4] = {};
    for (int k = 0; k < 4; ++k) {
        const size_t comma = k < 3 ? text.find(',') : std::string_view::npos;
        if (k < 3 && comma == std::string_view::npos) {
            return false;
        }
        if (!WholeNumber(text.substr(0, comma), v[k])) {
            return false;
        }
        text = k < 3 ? text.substr(comma + 1) : std::string_view();
    }
    const long long limit = INT32_MAX;
    if (v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1 || v[0] + v[2] > limit ||
        v[1] + v[3] > limit) {
        return false;
    }
    area = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
            static_cast<int>(v[3])};
    return true;
}

bool ParseExcludedAreas(std::string_view text, ExcludedAreas& areas) {
    areas.clear();
    if (Trimmed(text).empty()) {
        return true;
    }
    while (true) {
        const size_t semicolon = text.find(';');
        ExcludedArea area;
        if (areas.size() == kMaxExcludedAreas ||
            !ParseExcludedArea(text.substr(0, semicolon), area)) {
            areas.clear();
            return false;
        }
        areas.push_back(area);
        if (semicolon == std::string_view::npos) {
            return true;
        }
        text = text.substr(semicolon + 1);
    }
}

ExcludedArea ClipArea(const ExcludedArea& area, int width, int height) {
    const long long left = std::max(0, area.x);
    const long long top = std::max(0, area.y);
    const long long right = std::min<long long>(width, static_cast<long long>(area.x) + area.w);
    const long long bottom = std::min<long long>(height, static_cast<long long>(area.y) + area.h);
    if (right <= left || bottom <= top) {
        return {};
    }
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

ExcludedArea AreaFromCorners(int x0, int y0, int x1, int y1, int grow, int width, int height) {
    const long long left = static_cast<long long>(std::min(x0, x1)) - grow;
    const long long top = static_cast<long long>(std::min(y0, y1)) - grow;
    const long long right = static_cast<long long>(std::max(x0, x1)) + grow + 1;
    const long long bottom = static_cast<long long>(std::max(y0, y1)) + grow + 1;
    const long long l = std::max(0LL, left);
    const long long t = std::max(0LL, top);
    const long long r = std::min<long long>(width, right);
    const long long b = std::min<long long>(height, bottom);
    if (r <= l || b <= t) {
        return {};
    }
    return {static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l),
            static_cast<int>(b - t)};
}

bool InExcludedArea(const ExcludedAreas& areas, int x, int y) {
    return std::any_of(areas.begin(), areas.end(), [x, y](const ExcludedArea& a) {
        return x >= a.x && y >= a.y &&
               static_cast<long long>(x) < static_cast<long long>(a.x) + a.w &&
               static_cast<long long>(y) < static_cast<long long>(a.y) + a.h;
    });
}

void BlackenAreas(RgbImage& picture, const ExcludedAreas& areas) {
    const size_t pixel = PixelBytes(picture);
    for (const ExcludedArea& area : areas) {
        const ExcludedArea a = ClipArea(area, picture.Width(), picture.Height());
        for (int y = a.y; y < a.y + a.h; ++y) {
            std::memset(picture.Row(y) + a.x * pixel, 0, a.w * pixel);
        }
    }
}

void AreaKeeper::Keep(const RgbImage& picture, const ExcludedAreas& areas) {
    areas_.clear();
    pixels_.clear();
    bytesPerPixel_ = PixelBytes(picture);
    for (const ExcludedArea& area : areas) {
        const ExcludedArea a = ClipArea(area, picture.Width(), picture.Height());
        if (a.w == 0) {
            continue;
        }
        areas_.push_back(a);
        for (int y = a.y; y < a.y + a.h; ++y) {
            const uint8_t* row = picture.Row(y) + a.x * bytesPerPixel_;
            pixels_.insert(pixels_.end(), row, row + a.w * bytesPerPixel_);
        }
    }
}

void AreaKeeper::Restore(RgbImage& picture) const {
    // Overlapping areas were kept as they were before the change: writing
    // them back in any order gives the old pixels.
    const uint8_t* from = pixels_.data();
    for (const ExcludedArea& a : areas_) {
        for (int y = a.y; y < a.y + a.h; ++y) {
            std::memcpy(picture.Row(y) + a.x * bytesPerPixel_, from, a.w * bytesPerPixel_);
            from += a.w * bytesPerPixel_;
        }
    }
}

}  // namespace nocturo
