#include "core/combine.h"

namespace nocturo {

int32_t MaxThreshold = 0;

bool AddMax(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](auto b, auto s) { return s > b ? s : b; });
}

bool AddMin(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](auto b, auto s) { return s < b ? s : b; });
}

bool Add(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    // Each depth in the form GCC vectorises best: bytes in 16-bit lanes, 16-bit
    // samples as a saturating add (the sum wraps exactly when it passes
    // white). A white spelt through a constant of the lambda's type sends
    // GCC 12 to 32-bit lanes, at half the speed.
    return CombineChannels(source, buffer, [](auto b, auto s) {
        if constexpr (sizeof(b) == 1) {
            const int sum = b + s;
            return static_cast<uint8_t>(sum >= 255 ? 255 : sum);
        } else {
            const auto sum = static_cast<uint16_t>(b + s);
            return sum < b ? uint16_t{kWhite16} : sum;
        }
    });
}

bool Sub(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(
        source, buffer, [](auto b, auto s) { return static_cast<decltype(b)>(b > s ? b - s : 0); });
}

bool AddMaxThreshold(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    // Comparing a channel with the signed threshold: below 0 every value is
    // above it, at white or more none is. Folding it into -1..white keeps
    // the comparison in the next wider type (16 bits for bytes, 32 for
    // 16-bit samples), which the vectoriser handles well.
    const int16_t t8 = MaxThreshold < 0     ? int16_t{-1}
                       : MaxThreshold > 255 ? int16_t{255}
                                            : static_cast<int16_t>(MaxThreshold);
    const int32_t t16 = MaxThreshold < 0 ? -1 : (MaxThreshold > kWhite16 ? kWhite16 : MaxThreshold);
    return CombineChannels(source, buffer, [t8, t16](auto b, auto s) {
        if constexpr (sizeof(b) == 1) {
            return (static_cast<int16_t>(b) > t8 && b >= s) ? b : s;
        } else {
            return (static_cast<int32_t>(b) > t16 && b >= s) ? b : s;
        }
    });
}

bool AddMaxLum(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return SelectByLuminosity(source, buffer, [](int lb, int ls) { return ls > lb; });
}

bool SubMinLum(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return SelectByLuminosity(source, buffer, [](int lb, int ls) { return ls < lb; });
}

bool Commutes(ImageOperation operation) {
    return operation == &AddMax || operation == &AddMin || operation == &Add;
}

}  // namespace nocturo
