#pragma once
// Stars of a night frame: the sky's local background on a coarse grid of
// cells, the pixels well above it, and the stars as the bright blobs they
// form, each reduced to its centroid. Used to measure how the sky turns and
// to tell which pixels turn with it.

#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

/// A picture telling sky from ground, one byte a pixel: nonzero is sky.
struct SkyMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> sky;

    bool Empty() const { return sky.empty(); }
    bool IsSky(int x, int y) const {
        return sky[static_cast<size_t>(y) * static_cast<size_t>(width) + x] != 0;
    }
};

/// The mask of a picture: white (luminosity of at least half the white of
/// its depth) is sky, the rest ground; scaled to width x height by taking
/// the nearest pixel when the sizes differ. An empty picture gives an empty
/// mask.
SkyMask MakeSkyMask(const RgbImage& picture, int width, int height);

/// The local background of a frame's luminosity, (R + G + B) div 3 at the
/// frame's depth: for each cell of kCell x kCell pixels the median of a
/// sample of its pixels and the threshold above which a pixel is a star
/// pixel there.
class Background {
  public:
    static constexpr int kCell = 64;

    /// `sigmas`: how many times the cell's noise (from the median absolute
    /// deviation) a star pixel stands above the median; the threshold also
    /// stands at least `minimumRise` levels of an 8-bit picture above it
    /// (257 times as many at 16 bits).
    void Measure(const RgbImage& frame, double sigmas = 5.0, int minimumRise = 12);

    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    /// The cell's median luminosity.
    int Median(int column, int row) const { return median_[Index(column, row)]; }
    /// The luminosity a star pixel of the cell exceeds, times three: it is
    /// compared with R + G + B, which saves a division per pixel.
    int64_t Threshold3(int column, int row) const { return threshold3_[Index(column, row)]; }

  private:
    size_t Index(int column, int row) const {
        return static_cast<size_t>(row) * static_cast<size_t>(columns_) + column;
    }
    int columns_ = 0;
    int rows_ = 0;
    std::vector<int> median_;
    std::vector<int64_t> threshold3_;
};

/// At least the largest R + G + B of the pixels x0..x1-1 of a row of samples
/// (bytes or 16-bit samples): the largest sum of three neighbouring samples,
/// a bound that a vector loop finds quickly. Star pixels are few; a stretch
/// whose bound stays under a threshold holds none.
template <typename T>
int MostPixelSum(const T* samples, int x0, int x1) {
    using Sum = std::conditional_t<sizeof(T) == 1, int16_t, int32_t>;
    Sum most = 0;
    const T* s = samples + 3 * x0;
    const int n = 3 * (x1 - x0) - 2;
    for (int i = 0; i < n; ++i) {
        const Sum sum = static_cast<Sum>(Sum{s[i]} + Sum{s[i + 1]} + Sum{s[i + 2]});
        most = sum > most ? sum : most;
    }
    return most;
}

/// One star: its centroid (pixel centres at whole numbers), its light above
/// the background and its size in pixels.
struct Star {
    double x = 0;
    double y = 0;
    double flux = 0;
    int pixels = 0;
};

/// The stars of a frame: blobs of 8-connected star pixels (see Background)
/// of `minPixels` to `maxPixels` pixels, brightest first, at most `limit`.
/// Larger blobs (a plane's streak, a lit window) and single hot pixels are
/// left out. With a mask, only sky pixels count.
std::vector<Star> FindStars(const RgbImage& frame, const Background& background,
                            const SkyMask* mask = nullptr, int limit = 3000, int minPixels = 2,
                            int maxPixels = 600);

}  // namespace nocturo
