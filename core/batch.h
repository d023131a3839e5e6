#pragma once
// Batch arithmetic: each picture against one fixed reference image (dark
// subtraction, flat division, ...). Unlike the combine operations these
// overwrite the result buffer; its old pixels are never read.

#include <cstdint>

#include "core/combine.h"
#include "core/rgb_image.h"

namespace nocturo {

/// Parameter record of one batch command. The command owns it and the
/// reference in it; a 1 x 1 reference becomes a black image of the pictures'
/// size and depth on first use and stays so for the rest of the command.
/// factor and offset are in units of the pictures' depth: full strength is
/// 255 at 8 bits and 65535 at 16, the offset runs over -255..255 or
/// -65535..65535. 64 bits hold the cube's 16-bit default, 65535 * 65535.
struct BatchParams : OperationRecord {
    RgbImage reference;
    int64_t factor = 255;
    int32_t offset = 0;
};

/// 0 for v <= 0, 255 for v >= 255, v otherwise.
inline constexpr uint8_t ClampByte(int64_t v) {
    return v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v));
}

/// Factor a batch function starts with at 8 bits: 65025 for the cube (index
/// 5), 255 for every other index.
int32_t DefaultFactor(int functionIndex);
/// Factor a batch function starts with at a depth: as above at 8 bits; at 16
/// bits 65535 * 65535 for the cube and 65535 for every other index.
int64_t DefaultFactor(int functionIndex, int depth);

/// Number of batch functions, in the order of the window's function list.
inline constexpr int kBatchFunctionCount = 6;

/// True when a batch function can run: the buffer at the processing format
/// of its depth, the source of the buffer's non-zero size and depth, and
/// the reference of that size and depth or 1 x 1 (then it is turned into a
/// black image of that size and depth first). False changes nothing.
bool PrepareBatch(RgbImage& source, RgbImage& buffer, RgbImage& reference);

/// Writes f(source sample, reference sample) into every channel of buffer,
/// where f maps two samples of type T (uint8_t or uint16_t, the pictures'
/// depth) to a result sample, passed as a function object so the loop
/// inlines it. Call after PrepareBatch succeeded.
template <typename T, typename F>
void ApplyWithReference(RgbImage& source, RgbImage& buffer, RgbImage& reference, F f) {
    const int rowSamples = buffer.Width() * 3;
    for (int y = 0; y < buffer.Height(); ++y) {
        T* __restrict out = detail::Samples<T>(buffer, y);
        const T* __restrict a = detail::Samples<T>(source, y);
        const T* __restrict b = detail::Samples<T>(reference, y);
        for (int x = 0; x < rowSamples; ++x) {
            out[x] = f(a[x], b[x]);
        }
    }
}

// The six batch functions, in list order, for c = factor, d = offset and W
// = white (255 at 8 bits, 65535 at 16); every division drops its remainder
// and the result is clamped to 0..W:
//   Subtract a + d - (b * c) / W          Add      a + (b * c) / W + d
//   Divide   (a * c) / (W * b) + d, or W + d where b is 0
//   Multiply (a * b * c) / W + d          Square   (a * a) / c + d
//   Cube     (a * a * a) / c + d          (c = 0 divides by 1)
// Each needs a BatchParams record; without one (or with a record of another
// kind) it returns false. The pictures' depth is looked at once per call.
bool BatchSubtract(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchAdd(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchDivide(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchMultiply(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchSquare(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchCube(RgbImage& source, RgbImage& buffer, OperationRecord* record);

/// The batch function at a list index (0..5), or null outside that range.
ImageOperation BatchFunction(int functionIndex);

/// True for the batch functions: they write every pixel of their buffer
/// and never read its old pixels, so a run may hand them any buffer of the
/// result's size, depth and format instead of the result itself.
bool OverwritesBuffer(ImageOperation operation);

}  // namespace nocturo
