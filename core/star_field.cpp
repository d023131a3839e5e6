#include "core/star_field.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace nocturo {

namespace {

template <typename T>
const T* SamplesOf(const RgbImage& image, int y) {
    if constexpr (sizeof(T) == 1) {
        return image.Row(y);
    } else {
        return image.Row16(y);
    }
}

// Every kStep-th pixel of every kStep-th row of a cell is sampled (64 of
// 4096): the median of a cell moves little with the rest, and the whole
// grid reads an eighth of the frame's rows.
constexpr int kStep = 8;

template <typename T>
void MeasureCells(const RgbImage& frame, int columns, int rows, double sigmas, int rise,
                  std::vector<int>& median, std::vector<int64_t>& threshold3) {
    const int cell = Background::kCell;
    std::vector<int> values;
    std::vector<int> deviations;
    for (int row = 0; row < rows; ++row) {
        const int y0 = row * cell;
        const int y1 = std::min(frame.Height(), y0 + cell);
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * cell;
            const int x1 = std::min(frame.Width(), x0 + cell);
            values.clear();
            for (int y = y0; y < y1; y += kStep) {
                const T* s = SamplesOf<T>(frame, y);
                for (int x = x0; x < x1; x += kStep) {
                    values.push_back(Luminosity(s[3 * x], s[3 * x + 1], s[3 * x + 2]));
                }
            }
            const size_t half = values.size() / 2;
            std::nth_element(values.begin(), values.begin() + half, values.end());
            const int m = values[half];
            deviations.clear();
            for (int v : values) {
                deviations.push_back(std::abs(v - m));
            }
            std::nth_element(deviations.begin(), deviations.begin() + half, deviations.end());
            const double sigma = 1.4826 * deviations[half];
            const int64_t threshold =
                m + std::max(static_cast<int64_t>(std::ceil(sigmas * sigma)), int64_t{rise});
            const size_t k = static_cast<size_t>(row) * columns + column;
            median[k] = m;
            threshold3[k] = 3 * threshold;
        }
    }
}

// Runs of star pixels on a row, joined into blobs across rows by a
// union-find over the runs.
struct Run {
    int row;
    int x0;
    int x1;  // inclusive
};

struct Blob {
    double weight = 0;
    double wx = 0;
    double wy = 0;
    int pixels = 0;
};

int Root(std::vector<int>& parent, int k) {
    while (parent[k] != k) {
        parent[k] = parent[parent[k]];
        k = parent[k];
    }
    return k;
}

template <typename T>
std::vector<Star> FindStarsAt(const RgbImage& frame, const Background& background,
                              const SkyMask* mask, int limit, int minPixels, int maxPixels) {
    const int width = frame.Width();
    const int cell = Background::kCell;
    std::vector<Run> runs;
    std::vector<Blob> blobs;
    std::vector<int> parent;
    size_t previousBegin = 0;
    size_t previousEnd = 0;
    for (int y = 0; y < frame.Height(); ++y) {
        const T* s = SamplesOf<T>(frame, y);
        const int row = y / cell;
        const size_t begin = runs.size();
        int x = 0;
        while (x < width) {
            const int column = x / cell;
            const int end = std::min(width, (column + 1) * cell);
            const int t3 = static_cast<int>(background.Threshold3(column, row));
            const int base3 = 3 * background.Median(column, row);
            // Star pixels are few: most stretches have none at all.
            if (MostPixelSum(s, x, end) <= t3) {
                x = end;
                continue;
            }
            for (; x < end; ++x) {
                const int sum = int{s[3 * x]} + s[3 * x + 1] + s[3 * x + 2];
                if (sum <= t3 || (mask != nullptr && !mask->IsSky(x, y))) {
                    continue;
                }
                const double w = static_cast<double>(sum - base3);
                if (runs.size() > begin && runs.back().x1 == x - 1) {
                    runs.back().x1 = x;
                } else {
                    runs.push_back({y, x, x});
                    blobs.emplace_back();
                    parent.push_back(static_cast<int>(parent.size()));
                }
                Blob& b = blobs.back();
                b.weight += w;
                b.wx += w * x;
                b.wy += w * y;
                ++b.pixels;
            }
        }
        // Join this row's runs with the touching runs of the row above.
        size_t p = previousBegin;
        for (size_t k = begin; k < runs.size(); ++k) {
            while (p < previousEnd && runs[p].x1 < runs[k].x0 - 1) {
                ++p;
            }
            for (size_t q = p; q < previousEnd && runs[q].x0 <= runs[k].x1 + 1; ++q) {
                const int a = Root(parent, static_cast<int>(k));
                const int b = Root(parent, static_cast<int>(q));
                if (a != b) {
                    parent[std::max(a, b)] = std::min(a, b);
                }
            }
        }
        previousBegin = begin;
        previousEnd = runs.size();
    }
    for (size_t k = 0; k < blobs.size(); ++k) {
        const int r = Root(parent, static_cast<int>(k));
        if (r != static_cast<int>(k)) {
            Blob& root = blobs[r];
            root.weight += blobs[k].weight;
            root.wx += blobs[k].wx;
            root.wy += blobs[k].wy;
            root.pixels += blobs[k].pixels;
        }
    }
    std::vector<Star> stars;
    for (size_t k = 0; k < blobs.size(); ++k) {
        const Blob& b = blobs[k];
        if (Root(parent, static_cast<int>(k)) != static_cast<int>(k) || b.pixels < minPixels ||
            b.pixels > maxPixels || b.weight <= 0) {
            continue;
        }
        stars.push_back({b.wx / b.weight, b.wy / b.weight, b.weight, b.pixels});
    }
    std::sort(stars.begin(), stars.end(),
              [](const Star& a, const Star& b) { return a.flux > b.flux; });
    if (static_cast<int>(stars.size()) > limit) {
        stars.resize(static_cast<size_t>(std::max(0, limit)));
    }
    return stars;
}

}  // namespace

SkyMask MakeSkyMask(const RgbImage& picture, int width, int height) {
    SkyMask mask;
    if (picture.Width() <= 0 || picture.Height() <= 0 || width <= 0 || height <= 0) {
        return mask;
    }
    mask.width = width;
    mask.height = height;
    mask.sky.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const int half = picture.Depth() == 16 ? 32768 : 128;
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(static_cast<int64_t>(y) * picture.Height() / height);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x) * picture.Width() / width);
            int lum = 0;
            if (picture.Depth() == 16) {
                const uint16_t* s = picture.Row16(sy) + 3 * sx;
                lum = Luminosity(s[0], s[1], s[2]);
            } else {
                const uint8_t* s = picture.Row(sy) + 3 * sx;
                lum = Luminosity(s[0], s[1], s[2]);
            }
            mask.sky[static_cast<size_t>(y) * width + x] = lum >= half ? 1 : 0;
        }
    }
    return mask;
}

void Background::Measure(const RgbImage& frame, double sigmas, int minimumRise) {
    columns_ = (frame.Width() + kCell - 1) / kCell;
    rows_ = (frame.Height() + kCell - 1) / kCell;
    median_.assign(static_cast<size_t>(columns_) * rows_, 0);
    threshold3_.assign(median_.size(), 0);
    if (frame.Depth() == 16) {
        MeasureCells<uint16_t>(frame, columns_, rows_, sigmas, minimumRise * 257, median_,
                               threshold3_);
    } else {
        MeasureCells<uint8_t>(frame, columns_, rows_, sigmas, minimumRise, median_, threshold3_);
    }
}

std::vector<Star> FindStars(const RgbImage& frame, const Background& background,
                            const SkyMask* mask, int limit, int minPixels, int maxPixels) {
    if (frame.Width() <= 0 || frame.Height() <= 0 ||
        background.Columns() != (frame.Width() + Background::kCell - 1) / Background::kCell ||
        background.Rows() != (frame.Height() + Background::kCell - 1) / Background::kCell) {
        return {};
    }
    if (mask != nullptr && (mask->width != frame.Width() || mask->height != frame.Height())) {
        mask = nullptr;
    }
    if (frame.Depth() == 16) {
        return FindStarsAt<uint16_t>(frame, background, mask, limit, minPixels, maxPixels);
    }
    return FindStarsAt<uint8_t>(frame, background, mask, limit, minPixels, maxPixels);
}

}  // namespace nocturo
