#pragma once
// The combine operations that merge a picture (the source) into the result
// buffer, pixel by pixel and in place, with integer arithmetic only.

#include <cstdint>

#include "core/rgb_image.h"

namespace nocturo {

/// Base of the parameter records that a per-image operation receives. The
/// seven combine operations ignore it; batch arithmetic and the moving
/// maximum pass records of their own.
struct OperationRecord {
    virtual ~OperationRecord() = default;
};

/// The one shape of every per-image operation a run can apply: merge source
/// into buffer, true when the picture was merged. The source may be retagged
/// in place with the processing format code of its depth.
using ImageOperation = bool (*)(RgbImage& source, RgbImage& buffer, OperationRecord* record);

/// Threshold of AddMaxThreshold, program-wide, 0 at start. Compared as a
/// signed integer: negative makes AddMaxThreshold act as AddMax, white (255
/// at 8 bits, 65535 at 16) or more makes every channel take the source's
/// value.
extern int32_t MaxThreshold;

/// True when source can be merged into buffer: buffer at the processing
/// format of its depth (code 6 at 8 bits, 9 at 16), source of the same
/// depth and size, neither dimension zero.
inline bool CanCombine(const RgbImage& source, const RgbImage& buffer) {
    return buffer.Format() == ProcessingFormat(buffer.Depth()) &&
           source.Depth() == buffer.Depth() && source.SameSize(buffer) && source.Width() != 0 &&
           source.Height() != 0;
}

namespace detail {

/// The samples of row y: bytes at 8 bits, uint16_t at 16.
template <typename T>
T* Samples(RgbImage& image, int y) {
    if constexpr (sizeof(T) == 1) {
        return image.Row(y);
    } else {
        return image.Row16(y);
    }
}

// Out of line, so that each depth's loop is compiled (and vectorised) on its
// own, as if it were the only one.
template <typename T, typename Rule>
[[gnu::noinline]] void CombineRows(RgbImage& source, RgbImage& buffer, Rule& rule) {
    const int rowSamples = buffer.Width() * 3;
    for (int y = 0; y < buffer.Height(); ++y) {
        T* __restrict b = Samples<T>(buffer, y);
        const T* __restrict s = Samples<T>(source, y);
        for (int x = 0; x < rowSamples; ++x) {
            b[x] = rule(b[x], s[x]);
        }
    }
}

template <typename T, typename Test>
[[gnu::noinline]] void SelectRows(RgbImage& source, RgbImage& buffer, Test& test) {
    const int width = buffer.Width();
    for (int y = 0; y < buffer.Height(); ++y) {
        T* __restrict b = Samples<T>(buffer, y);
        const T* __restrict s = Samples<T>(source, y);
        for (int x = 0; x < width; ++x, b += 3, s += 3) {
            const int lb = Luminosity(b[0], b[1], b[2]);
            const int ls = Luminosity(s[0], s[1], s[2]);
            if (test(lb, ls)) {
                b[0] = s[0];
                b[1] = s[1];
                b[2] = s[2];
            }
        }
    }
}

}  // namespace detail

/// Merges source into buffer channel by channel: buffer := rule(buffer, source)
/// for every sample. The rule is called with two uint8_t at 8 bits and two
/// uint16_t at 16 (a generic lambda serves both) and returns the same type;
/// it is inlined so the loop vectorises. The depth is looked at once per
/// call. Returns false, changing nothing, when CanCombine fails.
template <typename Rule>
bool CombineChannels(RgbImage& source, RgbImage& buffer, Rule rule) {
    if (!CanCombine(source, buffer)) {
        return false;
    }
    ConvertTo24Bit(source);
    if (buffer.Depth() == 16) {
        detail::CombineRows<uint16_t>(source, buffer, rule);
    } else {
        detail::CombineRows<uint8_t>(source, buffer, rule);
    }
    return true;
}

/// Replaces whole buffer pixels by source pixels where test(buffer luminosity,
/// source luminosity) holds, the luminosities taken on the pictures' own
/// depth. Returns false, changing nothing, when CanCombine fails.
template <typename Test>
bool SelectByLuminosity(RgbImage& source, RgbImage& buffer, Test test) {
    if (!CanCombine(source, buffer)) {
        return false;
    }
    ConvertTo24Bit(source);
    if (buffer.Depth() == 16) {
        detail::SelectRows<uint16_t>(source, buffer, test);
    } else {
        detail::SelectRows<uint8_t>(source, buffer, test);
    }
    return true;
}

// The seven combine operations. Each ignores its record and works at the
// pictures' depth; at 16 bits 65535 stands where 255 does at 8.

/// Each channel keeps the larger value; on a tie the buffer's.
bool AddMax(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// Each channel keeps the smaller value.
bool AddMin(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// Whole pixel taken from the source when it is strictly brighter.
bool AddMaxLum(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// Whole pixel taken from the source when it is strictly darker.
bool SubMinLum(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// Channels above MaxThreshold keep the maximum; the others follow the source.
bool AddMaxThreshold(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// buffer + source, saturating at white (255, or 65535 at 16 bits).
bool Add(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// buffer - source, floored at 0.
bool Sub(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);

/// True for the operations that give the same pixels with source and buffer
/// exchanged (AddMax, AddMin, Add): a run may then merge the result into the
/// frame instead, keeping the result's buffer as it was.
bool Commutes(ImageOperation operation);

}  // namespace nocturo
