#include "viewer/picture_render.h"

#include <algorithm>
#include <cstring>

namespace nocturo {

namespace {

// First source pixel of target pixel d when S source pixels are spread over D
// target pixels. 64-bit: d * S overflows int for large zooms of large pictures.
inline int SpanStart(int64_t d, int64_t source, int64_t target) {
    return static_cast<int>(d * source / target);
}

// [start, end) of target pixel d; never empty, so an enlarged axis repeats the
// nearest source pixel.
inline void Span(int64_t d, int64_t source, int64_t target, int* start, int* end) {
    *start = SpanStart(d, source, target);
    const int next = SpanStart(d + 1, source, target);
    *end = next > *start ? next : *start + 1;
}

// The samples of row y: bytes at 8 bits, uint16_t at 16.
template <typename T>
const T* SampleRow(const RgbImage& picture, int y) {
    if constexpr (sizeof(T) == 1) {
        return picture.Row(y);
    } else {
        return picture.Row16(y);
    }
}

// A channel value as the screen shows it: 16-bit values narrowed to the
// nearest 8-bit one.
template <typename T, typename V>
inline uint8_t ScreenChannel(V value) {
    if constexpr (sizeof(T) == 1) {
        return static_cast<uint8_t>(value);
    } else {
        return Narrow16(static_cast<uint16_t>(value));
    }
}

void FillRows(uint32_t* out, ptrdiff_t outStride, int width, int height, uint32_t value) {
    for (int y = 0; y < height; ++y) {
        std::fill_n(out + y * outStride, width, value);
    }
}

}  // namespace

void ScaledRenderer::Render(const RgbImage& picture, int targetWidth, int targetHeight, int areaX,
                            int areaY, int areaWidth, int areaHeight, uint32_t* out,
                            ptrdiff_t outStride) {
    if (out == nullptr || targetWidth <= 0 || targetHeight <= 0 || areaWidth <= 0 ||
        areaHeight <= 0) {
        return;
    }
    // Clip the area to the target; the output pointer follows the clipped
    // corner.
    int x0 = std::max(areaX, 0);
    int y0 = std::max(areaY, 0);
    const int x1 =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(areaX) + areaWidth, targetWidth));
    const int y1 =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(areaY) + areaHeight, targetHeight));
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    out += static_cast<ptrdiff_t>(y0 - areaY) * outStride + (x0 - areaX);
    const int width = x1 - x0;
    const int height = y1 - y0;

    const int sourceWidth = picture.Width();
    const int sourceHeight = picture.Height();
    if (sourceWidth <= 0 || sourceHeight <= 0) {
        FillRows(out, outStride, width, height, PackScreenPixel(0, 0, 0));
        return;
    }

    columnStart_.resize(static_cast<size_t>(width));
    columnLength_.resize(static_cast<size_t>(width));
    int widest = 1;
    for (int i = 0; i < width; ++i) {
        int start = 0;
        int end = 0;
        Span(x0 + i, sourceWidth, targetWidth, &start, &end);
        columnStart_[static_cast<size_t>(i)] = start;
        columnLength_[static_cast<size_t>(i)] = end - start;
        widest = std::max(widest, end - start);
    }

    const bool wide = picture.Depth() == 16;
    if (sourceWidth <= targetWidth && sourceHeight <= targetHeight) {
        if (wide) {
            RenderNearest<uint16_t>(picture, targetHeight, y0, height, out, outStride);
        } else {
            RenderNearest<uint8_t>(picture, targetHeight, y0, height, out, outStride);
        }
        return;
    }

    // The tallest row span is ceil(sourceHeight / targetHeight); pick sums
    // that hold 255 (65535) times the pixels of the largest block without
    // overflow.
    const uint64_t tallest =
        sourceHeight <= targetHeight
            ? 1
            : (static_cast<uint64_t>(sourceHeight) + targetHeight - 1) / targetHeight;
    const uint64_t largestBlock = tallest * static_cast<uint64_t>(widest);
    if (wide) {
        if (65535 * tallest <= UINT32_MAX) {
            RenderAveraged<uint16_t, uint32_t, uint64_t>(picture, targetHeight, y0, height, out,
                                                         outStride, rowSums32_);
        } else {
            RenderAveraged<uint16_t, uint64_t, uint64_t>(picture, targetHeight, y0, height, out,
                                                         outStride, rowSums64_);
        }
    } else if (256 * largestBlock <= UINT32_MAX) {
        if (255 * tallest <= UINT16_MAX) {
            RenderAveraged<uint8_t, uint16_t, uint32_t>(picture, targetHeight, y0, height, out,
                                                        outStride, rowSums16_);
        } else {
            RenderAveraged<uint8_t, uint32_t, uint32_t>(picture, targetHeight, y0, height, out,
                                                        outStride, rowSums32_);
        }
    } else {
        RenderAveraged<uint8_t, uint64_t, uint64_t>(picture, targetHeight, y0, height, out,
                                                    outStride, rowSums64_);
    }
}

template <typename T>
void ScaledRenderer::RenderNearest(const RgbImage& picture, int targetHeight, int areaY,
                                   int areaHeight, uint32_t* out, ptrdiff_t outStride) {
    const int width = static_cast<int>(columnStart_.size());
    const int* columns = columnStart_.data();
    int previousSourceY = -1;
    const uint32_t* previous = nullptr;
    for (int j = 0; j < areaHeight; ++j) {
        uint32_t* target = out + j * outStride;
        const int sourceY = SpanStart(areaY + j, picture.Height(), targetHeight);
        if (sourceY == previousSourceY) {
            // Enlarged rows repeat: copy the row rendered just before.
            std::memcpy(target, previous, static_cast<size_t>(width) * sizeof(uint32_t));
            continue;
        }
        const T* row = SampleRow<T>(picture, sourceY);
        for (int i = 0; i < width; ++i) {
            const T* p = row + static_cast<size_t>(columns[i]) * 3;
            target[i] = PackScreenPixel(ScreenChannel<T>(p[2]), ScreenChannel<T>(p[1]),
                                        ScreenChannel<T>(p[0]));
        }
        previousSourceY = sourceY;
        previous = target;
    }
}

template <typename T, typename RowSum, typename Sum>
void ScaledRenderer::RenderAveraged(const RgbImage& picture, int targetHeight, int areaY,
                                    int areaHeight, uint32_t* out, ptrdiff_t outStride,
                                    std::vector<RowSum>& rowSums) {
    const int width = static_cast<int>(columnStart_.size());
    const int* columnStart = columnStart_.data();
    const int* columnLength = columnLength_.data();
    // Only the source columns under the area are summed.
    const int firstColumn = columnStart[0];
    const int endColumn = columnStart[width - 1] + columnLength[width - 1];
    const size_t bytes = static_cast<size_t>(endColumn - firstColumn) * 3;
    rowSums.resize(bytes);
    RowSum* __restrict sums = rowSums.data();

    int previousStart = -1;
    int previousEnd = -1;
    const uint32_t* previous = nullptr;
    for (int j = 0; j < areaHeight; ++j) {
        uint32_t* target = out + j * outStride;
        int rowStart = 0;
        int rowEnd = 0;
        Span(areaY + j, picture.Height(), targetHeight, &rowStart, &rowEnd);
        if (rowStart == previousStart && rowEnd == previousEnd) {
            std::memcpy(target, previous, static_cast<size_t>(width) * sizeof(uint32_t));
            continue;
        }

        // Add up the source rows of this target row, column by column: a plain
        // element-wise loop that the compiler vectorises.
        {
            const T* __restrict src =
                SampleRow<T>(picture, rowStart) + static_cast<size_t>(firstColumn) * 3;
            for (size_t k = 0; k < bytes; ++k) {
                sums[k] = src[k];
            }
        }
        for (int y = rowStart + 1; y < rowEnd; ++y) {
            const T* __restrict src =
                SampleRow<T>(picture, y) + static_cast<size_t>(firstColumn) * 3;
            for (size_t k = 0; k < bytes; ++k) {
                sums[k] = static_cast<RowSum>(sums[k] + src[k]);
            }
        }

        // Then each target pixel adds its few columns and takes the rounded
        // average.
        const Sum rows = static_cast<Sum>(rowEnd - rowStart);
        for (int i = 0; i < width; ++i) {
            const RowSum* p = sums + static_cast<size_t>(columnStart[i] - firstColumn) * 3;
            Sum blue = 0;
            Sum green = 0;
            Sum red = 0;
            const int length = columnLength[i];
            for (int t = 0; t < length; ++t, p += 3) {
                blue += p[0];
                green += p[1];
                red += p[2];
            }
            const Sum count = rows * static_cast<Sum>(length);
            const Sum half = count / 2;
            target[i] = PackScreenPixel(ScreenChannel<T>((red + half) / count),
                                        ScreenChannel<T>((green + half) / count),
                                        ScreenChannel<T>((blue + half) / count));
        }
        previousStart = rowStart;
        previousEnd = rowEnd;
        previous = target;
    }
}

}  // namespace nocturo
