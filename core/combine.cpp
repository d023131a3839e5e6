#include "core/combine.h"

namespace nocturo {

int32_t MaxThreshold = 0;

bool AddMax(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](uint8_t b, uint8_t s) { return s > b ? s : b; });
}

bool AddMin(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](uint8_t b, uint8_t s) { return s < b ? s : b; });
}

bool Add(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](uint8_t b, uint8_t s) {
        const int sum = b + s;
        return static_cast<uint8_t>(sum >= 255 ? 255 : sum);
    });
}

bool Sub(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    return CombineChannels(source, buffer, [](uint8_t b, uint8_t s) {
        return static_cast<uint8_t>(b > s ? b - s : 0);
    });
}

bool AddMaxThreshold(RgbImage& source, RgbImage& buffer, OperationRecord*) {
    // Comparing a byte with the signed threshold: below 0 every byte is above
    // it, at 255 or more none is. Folding it into -1..255 keeps the comparison
    // in 16 bits, which the vectoriser handles well.
    const int16_t t = MaxThreshold < 0     ? int16_t{-1}
                      : MaxThreshold > 255 ? int16_t{255}
                                           : static_cast<int16_t>(MaxThreshold);
    return CombineChannels(source, buffer, [t](uint8_t b, uint8_t s) {
        return (static_cast<int16_t>(b) > t && b >= s) ? b : s;
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
