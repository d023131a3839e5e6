#pragma once
// Drawing a picture stretched to any size, one rectangle of the result at a
// time, straight from the picture's rows. The picture control paints with it;
// it has no Qt in it so that tests and benchmarks can drive it directly.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

/// The pixel written for a colour: 0xffRRGGBB, the layout of a 32-bit RGB
/// QImage, so the painter takes the result without converting it.
inline constexpr uint32_t PackScreenPixel(uint8_t red, uint8_t green, uint8_t blue) {
    return 0xff000000u | (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
           blue;
}

/// Scales a picture to a target size, rendering only a chosen part of the
/// scaled result. Each axis is handled on its own:
/// - target pixel d covers the source pixels [d*S/D, (d+1)*S/D) (integer
///   division), so when an axis is reduced every source pixel lands in exactly
///   one target pixel and the target pixel is the rounded average of them:
///   a one-pixel line stays visible, dimmed, instead of vanishing;
/// - when an axis is enlarged or kept, target pixel d shows source pixel
///   d*S/D (nearest neighbour), so zoomed pixels show as sharp squares.
/// A 16-bit picture is drawn as those rules give it at 16 bits, each channel
/// then narrowed to the nearest 8-bit value for the screen.
/// The renderer keeps its work buffers between calls; after the first call at
/// a given size it does not allocate. Not thread-safe: one per painter.
class ScaledRenderer {
  public:
    /// Renders the target pixels [areaX, areaX + areaWidth) x
    /// [areaY, areaY + areaHeight) of the picture stretched to targetWidth x
    /// targetHeight. out receives the pixel of (areaX, areaY); outStride is the
    /// distance between output rows in pixels. Parts of the area outside the
    /// target are left untouched; a picture without pixels renders black.
    void Render(const RgbImage& picture, int targetWidth, int targetHeight, int areaX, int areaY,
                int areaWidth, int areaHeight, uint32_t* out, ptrdiff_t outStride);

  private:
    // T: the picture's samples, uint8_t or uint16_t.
    template <typename T, typename RowSum, typename Sum>
    void RenderAveraged(const RgbImage& picture, int targetHeight, int areaY, int areaHeight,
                        uint32_t* out, ptrdiff_t outStride, std::vector<RowSum>& rowSums);
    template <typename T>
    void RenderNearest(const RgbImage& picture, int targetHeight, int areaY, int areaHeight,
                       uint32_t* out, ptrdiff_t outStride);

    // Per target column of the area: first source column and how many source
    // columns it covers.
    std::vector<int> columnStart_;
    std::vector<int> columnLength_;
    // Column sums of the source rows that fall into one target row, three per
    // source pixel; the narrowest type that cannot overflow is used.
    std::vector<uint16_t> rowSums16_;
    std::vector<uint32_t> rowSums32_;
    std::vector<uint64_t> rowSums64_;
};

}  // namespace nocturo
