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
/// into buffer, true when the picture was merged. The source may be brought
/// to 24 bits in place.
using ImageOperation = bool (*)(RgbImage& source, RgbImage& buffer, OperationRecord* record);

/// Threshold of AddMaxThreshold, program-wide, 0 at start. Compared as a
/// signed integer: negative makes AddMaxThreshold act as AddMax, 255 or more
/// makes every channel take the source's value.
extern int32_t MaxThreshold;

/// True when source can be merged into buffer: buffer at 24 bits, same size,
/// neither dimension zero.
inline bool CanCombine(const RgbImage& source, const RgbImage& buffer) {
    return buffer.Format() == kPixelFormat24 && source.SameSize(buffer) && source.Width() != 0 &&
           source.Height() != 0;
}

/// Merges source into buffer channel by channel: buffer := rule(buffer, source)
/// for every byte. The rule is inlined so the loop vectorises. Returns false,
/// changing nothing, when CanCombine fails.
template <typename Rule>
bool CombineChannels(RgbImage& source, RgbImage& buffer, Rule rule) {
    if (!CanCombine(source, buffer)) {
        return false;
    }
    ConvertTo24Bit(source);
    const int rowBytes = buffer.Width() * 3;
    for (int y = 0; y < buffer.Height(); ++y) {
        uint8_t* __restrict b = buffer.Row(y);
        const uint8_t* __restrict s = source.Row(y);
        for (int x = 0; x < rowBytes; ++x) {
            b[x] = rule(b[x], s[x]);
        }
    }
    return true;
}

/// Replaces whole buffer pixels by source pixels where test(buffer luminosity,
/// source luminosity) holds. Returns false, changing nothing, when CanCombine
/// fails.
template <typename Test>
bool SelectByLuminosity(RgbImage& source, RgbImage& buffer, Test test) {
    if (!CanCombine(source, buffer)) {
        return false;
    }
    ConvertTo24Bit(source);
    const int width = buffer.Width();
    for (int y = 0; y < buffer.Height(); ++y) {
        uint8_t* __restrict b = buffer.Row(y);
        const uint8_t* __restrict s = source.Row(y);
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
    return true;
}

// The seven combine operations. Each ignores its record.

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
/// buffer + source, saturating at 255.
bool Add(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);
/// buffer - source, floored at 0.
bool Sub(RgbImage& source, RgbImage& buffer, OperationRecord* record = nullptr);

/// True for the operations that give the same pixels with source and buffer
/// exchanged (AddMax, AddMin, Add): a run may then merge the result into the
/// frame instead, keeping the result's buffer as it was.
bool Commutes(ImageOperation operation);

}  // namespace nocturo
