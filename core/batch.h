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
/// size on first use and stays so for the rest of the command.
struct BatchParams : OperationRecord {
    RgbImage reference;
    int32_t factor = 255;
    int32_t offset = 0;
};

/// 0 for v <= 0, 255 for v >= 255, v otherwise.
inline constexpr uint8_t ClampByte(int64_t v) {
    return v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v));
}

/// Factor a batch function starts with: 65025 for the cube (index 5), 255
/// for every other index.
int32_t DefaultFactor(int functionIndex);

/// Number of batch functions, in the order of the window's function list.
inline constexpr int kBatchFunctionCount = 6;

/// Writes f(source, reference, factor, offset) into every channel of buffer,
/// where f is a batch channel function: (source byte, reference byte, factor,
/// offset) -> result byte, passed as a function object so the loop inlines it.
/// Returns false, changing nothing, unless the buffer is 24-bit, the source
/// has the buffer's non-zero size, and the reference has that size or is
/// 1 x 1 (then it is turned into a black image of that size first).
template <typename F>
bool ApplyWithReference(RgbImage& source, RgbImage& buffer, RgbImage& reference, int32_t factor,
                        int32_t offset, F f) {
    const int w = buffer.Width();
    const int h = buffer.Height();
    if (buffer.Format() != kPixelFormat24 || source.Width() != w || source.Height() != h ||
        w == 0 || h == 0 || reference.Width() == 0 || reference.Height() == 0) {
        return false;
    }
    if (reference.Width() != w || reference.Height() != h) {
        if (reference.Width() != 1 || reference.Height() != 1) {
            return false;
        }
        if (!reference.Resize(w, h)) {
            return false;
        }
        FillImage(reference, 0, 0, 0);
    }
    ConvertTo24Bit(source);
    ConvertTo24Bit(reference);
    const int rowBytes = w * 3;
    for (int y = 0; y < h; ++y) {
        uint8_t* __restrict out = buffer.Row(y);
        const uint8_t* __restrict a = source.Row(y);
        const uint8_t* __restrict b = reference.Row(y);
        for (int x = 0; x < rowBytes; ++x) {
            out[x] = f(a[x], b[x], factor, offset);
        }
    }
    return true;
}

// The six batch functions, in list order. Each needs a BatchParams record;
// without one (or with a record of another kind) it returns false.
bool BatchSubtract(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchAdd(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchDivide(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchMultiply(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchSquare(RgbImage& source, RgbImage& buffer, OperationRecord* record);
bool BatchCube(RgbImage& source, RgbImage& buffer, OperationRecord* record);

/// The batch function at a list index (0..5), or null outside that range.
ImageOperation BatchFunction(int functionIndex);

}  // namespace nocturo
