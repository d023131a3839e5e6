#include "core/batch.h"

#include <limits>
#include <vector>

namespace nocturo {

namespace {

enum class Fn { kSubtract, kAdd, kDivide, kMultiply, kSquare, kCube };

// One batch formula at white W in the integer type Int, before the clamp:
// products, then the division, then the additions. For a factor within 32
// bits every intermediate fits 64 bits at both depths (at most 65535^2 *
// 2^31 < 2^63); wider factors take 128 bits, so any factor stays defined.
template <Fn kFn, int64_t W, typename Int>
Int Formula(Int a, Int b, Int c, Int d) {
    if constexpr (kFn == Fn::kSubtract) {
        return a + d - (b * c) / W;
    } else if constexpr (kFn == Fn::kAdd) {
        return a + (b * c) / W + d;
    } else if constexpr (kFn == Fn::kDivide) {
        // A black flat pixel gives white (less a negative offset), never a
        // division by zero.
        return b == 0 ? Int{W} + d : (a * c) / (Int{W} * b) + d;
    } else if constexpr (kFn == Fn::kMultiply) {
        return (a * b * c) / W + d;
    } else if constexpr (kFn == Fn::kSquare) {
        return (a * a) / (c == 0 ? Int{1} : c) + d;
    } else {
        return (a * a * a) / (c == 0 ? Int{1} : c) + d;
    }
}

template <int64_t W, typename Int>
Int Clamp(Int v) {
    return v <= 0 ? Int{0} : (v >= W ? Int{W} : v);
}

bool FitsInt32(int64_t c) {
    return c >= std::numeric_limits<int32_t>::min() && c <= std::numeric_limits<int32_t>::max();
}

// The formula at W, clamped, in 64 bits where that is exact and in 128
// otherwise.
template <Fn kFn, int64_t W>
int64_t Evaluate(int64_t a, int64_t b, int64_t c, int64_t d) {
    if (FitsInt32(c)) {
        return Clamp<W>(Formula<kFn, W, int64_t>(a, b, c, d));
    }
    using Wide = __int128;
    return static_cast<int64_t>(Clamp<W>(Formula<kFn, W, Wide>(a, b, c, d)));
}

BatchParams* ParamsOf(OperationRecord* record) {
    return dynamic_cast<BatchParams*>(record);
}

// ---- 8 bits ----------------------------------------------------------------

template <Fn kFn>
bool RunBatch8(RgbImage& source, RgbImage& buffer, BatchParams& params) {
    // For one factor and offset each function maps (source byte, reference
    // byte) to a byte: evaluated once into a table, the formula's 64-bit
    // divisions cost 65,536 evaluations instead of three per pixel, and the
    // pixel loop is one lookup per byte.
    const int64_t c = params.factor;
    const int32_t d = params.offset;
    std::vector<uint8_t> table(256 * 256);
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            table[static_cast<size_t>(a) << 8 | static_cast<size_t>(b)] =
                static_cast<uint8_t>(Evaluate<kFn, 255>(a, b, c, d));
        }
    }
    const uint8_t* lookup = table.data();
    ApplyWithReference<uint8_t>(source, buffer, params.reference, [lookup](uint8_t a, uint8_t b) {
        return lookup[static_cast<size_t>(a) << 8 | b];
    });
    return true;
}

// Dark subtraction and its sibling add to each source byte a term of the
// reference byte alone, (b * c) / 255, and the offset. For the factors and
// offsets the window offers (0..255, -255..255) every intermediate fits 16
// bits, and the loop becomes a few vector instructions per 16 bytes instead
// of a table lookup per byte; other values take the table.
template <bool kSubtract>
bool RunShift8(RgbImage& source, RgbImage& buffer, BatchParams& params) {
    const int64_t c = params.factor;
    const int32_t d = params.offset;
    if (c < 0 || c > 255 || d < -255 || d > 255) {
        return kSubtract ? RunBatch8<Fn::kSubtract>(source, buffer, params)
                         : RunBatch8<Fn::kAdd>(source, buffer, params);
    }
    const auto factor = static_cast<uint16_t>(c);
    const auto offset = static_cast<int16_t>(d);
    ApplyWithReference<uint8_t>(
        source, buffer, params.reference, [factor, offset](uint8_t a, uint8_t b) {
            const auto x = static_cast<uint16_t>(b * factor);  // at most 65,025
            // x / 255, exact for every x below 65,535.
            const auto q = static_cast<int16_t>((x + 1 + (x >> 8)) >> 8);
            const auto v = static_cast<int16_t>(kSubtract ? a + offset - q : a + q + offset);
            return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        });
    return true;
}

// ---- 16 bits ---------------------------------------------------------------

// Subtract and Add at 16 bits: the reference's term (b * c) / 65535 depends
// on b alone, so it is evaluated once per value into a table. Terms beyond
// 2^20 saturate whatever the source and offset (a + d lies in -65535..131070),
// so the table holds them clamped to that and the pixel loop works in 32
// bits.
template <bool kSubtract>
bool RunShift16(RgbImage& source, RgbImage& buffer, BatchParams& params) {
    constexpr int64_t kBound = int64_t{1} << 20;
    const int64_t c = params.factor;
    const int32_t d = params.offset;
    std::vector<int32_t> term(65536);
    for (int64_t b = 0; b < 65536; ++b) {
        // The Add formula with a = d = 0 is the bare term, in 128 bits where
        // the factor needs it.
        const int64_t t =
            FitsInt32(c) ? (b * c) / kWhite16 : static_cast<int64_t>((__int128{b} * c) / kWhite16);
        term[static_cast<size_t>(b)] =
            static_cast<int32_t>(t < -kBound ? -kBound : (t > kBound ? kBound : t));
    }
    const int32_t* lookup = term.data();
    ApplyWithReference<uint16_t>(
        source, buffer, params.reference, [lookup, d](uint16_t a, uint16_t b) {
            const int32_t v = kSubtract ? a + d - lookup[b] : a + lookup[b] + d;
            return static_cast<uint16_t>(Clamp<kWhite16>(v));
        });
    return true;
}

// Square and Cube depend on the source value alone: one table of results.
template <Fn kFn>
bool RunPower16(RgbImage& source, RgbImage& buffer, BatchParams& params) {
    const int64_t c = params.factor;
    const int32_t d = params.offset;
    std::vector<uint16_t> result(65536);
    for (int64_t a = 0; a < 65536; ++a) {
        result[static_cast<size_t>(a)] = static_cast<uint16_t>(Evaluate<kFn, kWhite16>(a, 0, c, d));
    }
    const uint16_t* lookup = result.data();
    ApplyWithReference<uint16_t>(source, buffer, params.reference,
                                 [lookup](uint16_t a, uint16_t) { return lookup[a]; });
    return true;
}

// Divide and Multiply depend on both values: the formula runs per sample,
// in 64 bits for every factor within 32 bits.
template <Fn kFn>
bool RunPair16(RgbImage& source, RgbImage& buffer, BatchParams& params) {
    const int64_t c = params.factor;
    const int64_t d = params.offset;
    if (!FitsInt32(c)) {
        ApplyWithReference<uint16_t>(
            source, buffer, params.reference, [c, d](uint16_t a, uint16_t b) {
                return static_cast<uint16_t>(Evaluate<kFn, kWhite16>(a, b, c, d));
            });
        return true;
    }
    ApplyWithReference<uint16_t>(source, buffer, params.reference, [c, d](uint16_t a, uint16_t b) {
        return static_cast<uint16_t>(Clamp<kWhite16>(Formula<kFn, kWhite16, int64_t>(a, b, c, d)));
    });
    return true;
}

// Checks the record and the pictures, then runs the 8-bit or the 16-bit
// form.
template <typename Run8, typename Run16>
bool Dispatch(RgbImage& source, RgbImage& buffer, OperationRecord* record, Run8 run8, Run16 run16) {
    BatchParams* params = ParamsOf(record);
    if (params == nullptr || !PrepareBatch(source, buffer, params->reference)) {
        return false;
    }
    return buffer.Depth() == 16 ? run16(source, buffer, *params) : run8(source, buffer, *params);
}

}  // namespace

bool PrepareBatch(RgbImage& source, RgbImage& buffer, RgbImage& reference) {
    const int w = buffer.Width();
    const int h = buffer.Height();
    const int depth = buffer.Depth();
    if (buffer.Format() != ProcessingFormat(depth) || source.Width() != w || source.Height() != h ||
        source.Depth() != depth || w == 0 || h == 0 || reference.Width() == 0 ||
        reference.Height() == 0) {
        return false;
    }
    if (reference.Width() != w || reference.Height() != h) {
        if (reference.Width() != 1 || reference.Height() != 1) {
            return false;
        }
        if (!reference.Resize(w, h, depth)) {
            return false;
        }
        FillImage(reference, 0, 0, 0);
    } else if (reference.Depth() != depth) {
        return false;
    }
    ConvertTo24Bit(source);
    ConvertTo24Bit(reference);
    return true;
}

int32_t DefaultFactor(int functionIndex) {
    return functionIndex == 5 ? 65025 : 255;
}

int64_t DefaultFactor(int functionIndex, int depth) {
    if (depth != 16) {
        return DefaultFactor(functionIndex);
    }
    return functionIndex == 5 ? int64_t{kWhite16} * kWhite16 : kWhite16;
}

bool BatchSubtract(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunShift8<true>, RunShift16<true>);
}
bool BatchAdd(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunShift8<false>, RunShift16<false>);
}
bool BatchDivide(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunBatch8<Fn::kDivide>, RunPair16<Fn::kDivide>);
}
bool BatchMultiply(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunBatch8<Fn::kMultiply>, RunPair16<Fn::kMultiply>);
}
bool BatchSquare(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunBatch8<Fn::kSquare>, RunPower16<Fn::kSquare>);
}
bool BatchCube(RgbImage& s, RgbImage& b, OperationRecord* r) {
    return Dispatch(s, b, r, RunBatch8<Fn::kCube>, RunPower16<Fn::kCube>);
}

ImageOperation BatchFunction(int functionIndex) {
    static constexpr ImageOperation kFunctions[kBatchFunctionCount] = {
        BatchSubtract, BatchAdd, BatchDivide, BatchMultiply, BatchSquare, BatchCube};
    if (functionIndex < 0 || functionIndex >= kBatchFunctionCount) {
        return nullptr;
    }
    return kFunctions[functionIndex];
}

bool OverwritesBuffer(ImageOperation operation) {
    if (operation == nullptr) {
        return false;
    }
    for (int k = 0; k < kBatchFunctionCount; ++k) {
        if (operation == BatchFunction(k)) {
            return true;
        }
    }
    return false;
}

}  // namespace nocturo
