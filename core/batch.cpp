#include "core/batch.h"

#include <vector>

namespace nocturo {

namespace {

// Each formula runs in the order products, division, additions, then the
// clamp. 64-bit intermediates give the same results as 32-bit ones for every
// factor the window offers, and stay defined for any other factor.

struct SubtractFn {
    uint8_t operator()(int a, int b, int32_t c, int32_t d) const {
        return ClampByte(int64_t{a} + d - (int64_t{b} * c) / 255);
    }
};
struct AddFn {
    uint8_t operator()(int a, int b, int32_t c, int32_t d) const {
        return ClampByte(int64_t{a} + (int64_t{b} * c) / 255 + d);
    }
};
struct DivideFn {
    uint8_t operator()(int a, int b, int32_t c, int32_t d) const {
        // A black flat pixel gives white (less a negative offset), never a
        // division by zero.
        if (b == 0) {
            return ClampByte(int64_t{255} + d);
        }
        return ClampByte((int64_t{a} * c) / (int64_t{255} * b) + d);
    }
};
struct MultiplyFn {
    uint8_t operator()(int a, int b, int32_t c, int32_t d) const {
        return ClampByte((int64_t{a} * b * c) / 255 + d);
    }
};
struct SquareFn {
    uint8_t operator()(int a, int, int32_t c, int32_t d) const {
        const int64_t divisor = c == 0 ? 1 : c;
        return ClampByte((int64_t{a} * a) / divisor + d);
    }
};
struct CubeFn {
    uint8_t operator()(int a, int, int32_t c, int32_t d) const {
        const int64_t divisor = c == 0 ? 1 : c;
        return ClampByte((int64_t{a} * a * a) / divisor + d);
    }
};

template <typename F>
bool RunBatch(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    auto* params = dynamic_cast<BatchParams*>(record);
    if (params == nullptr) {
        return false;
    }
    // For one factor and offset each function maps (source byte, reference
    // byte) to a byte: evaluated once into a table, the formula's 64-bit
    // divisions cost 65,536 evaluations instead of three per pixel, and the
    // pixel loop is one lookup per byte.
    const int32_t c = params->factor;
    const int32_t d = params->offset;
    std::vector<uint8_t> table(256 * 256);
    const F f{};
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            table[static_cast<size_t>(a) << 8 | static_cast<size_t>(b)] = f(a, b, c, d);
        }
    }
    const uint8_t* lookup = table.data();
    return ApplyWithReference(source, buffer, params->reference, c, d,
                              [lookup](uint8_t a, uint8_t b, int32_t, int32_t) {
                                  return lookup[static_cast<size_t>(a) << 8 | b];
                              });
}

// Dark subtraction and its sibling add to each source byte a term of the
// reference byte alone, (b * c) / 255, and the offset. For the factors and
// offsets the window offers (0..255, -255..255) every intermediate fits 16
// bits, and the loop becomes a few vector instructions per 16 bytes instead
// of a table lookup per byte; other values take the table.
template <bool kSubtract>
bool RunShift(RgbImage& source, RgbImage& buffer, OperationRecord* record) {
    auto* params = dynamic_cast<BatchParams*>(record);
    if (params == nullptr) {
        return false;
    }
    const int32_t c = params->factor;
    const int32_t d = params->offset;
    if (c < 0 || c > 255 || d < -255 || d > 255) {
        return kSubtract ? RunBatch<SubtractFn>(source, buffer, record)
                         : RunBatch<AddFn>(source, buffer, record);
    }
    const auto factor = static_cast<uint16_t>(c);
    const auto offset = static_cast<int16_t>(d);
    return ApplyWithReference(
        source, buffer, params->reference, c, d,
        [factor, offset](uint8_t a, uint8_t b, int32_t, int32_t) {
            const auto x = static_cast<uint16_t>(b * factor);  // at most 65,025
            // x / 255, exact for every x below 65,535.
            const auto q = static_cast<int16_t>((x + 1 + (x >> 8)) >> 8);
            const auto v = static_cast<int16_t>(kSubtract ? a + offset - q : a + q + offset);
            return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        });
}

}  // namespace

int32_t DefaultFactor(int functionIndex) {
    return functionIndex == 5 ? 65025 : 255;
}

bool BatchSubtract(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunShift<true>(s, b, r);
}
bool BatchAdd(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunShift<false>(s, b, r);
}
bool BatchDivide(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunBatch<DivideFn>(s, b, r);
}
bool BatchMultiply(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunBatch<MultiplyFn>(s, b, r);
}
bool BatchSquare(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunBatch<SquareFn>(s, b, r);
}
bool BatchCube(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return RunBatch<CubeFn>(s, b, r);
}

ImageOperation BatchFunction(int functionIndex) {
    static constexpr ImageOperation kFunctions[kBatchFunctionCount] = {
        BatchSubtract, BatchAdd, BatchDivide, BatchMultiply, BatchSquare, BatchCube};
    if (functionIndex < 0 || functionIndex >= kBatchFunctionCount) {
        return nullptr;
    }
    return kFunctions[functionIndex];
}

}  // namespace nocturo
