#pragma once
// The 16-bit rules written plainly, one sample or one pixel at a time, for
// the whole-run tests to fold a night with: the seven combine operations
// and the six batch functions, the 8-bit rules with 65535 for white.

#include <cstdint>
#include <vector>

#include "core/batch.h"
#include "core/combine.h"
#include "core/rgb_image.h"

namespace nocturo::test {

/// Merges pixel s into pixel b (B, G, R samples) as operation op does at 16
/// bits, with `threshold` as AddMaxThreshold's.
inline void CombinePixel16(ImageOperation op, const uint16_t* s, uint16_t* b, int64_t threshold) {
    const int64_t ls = (s[0] + s[1] + s[2]) / 3;
    const int64_t lb = (b[0] + b[1] + b[2]) / 3;
    if (op == AddMaxLum || op == SubMinLum) {
        if (op == AddMaxLum ? ls > lb : ls < lb) {
            b[0] = s[0], b[1] = s[1], b[2] = s[2];
        }
        return;
    }
    for (int c = 0; c < 3; ++c) {
        const int64_t x = b[c];
        const int64_t y = s[c];
        int64_t v = x;
        if (op == AddMax) {
            v = y > x ? y : x;
        } else if (op == AddMin) {
            v = y < x ? y : x;
        } else if (op == Add) {
            v = x + y >= 65535 ? 65535 : x + y;
        } else if (op == Sub) {
            v = x > y ? x - y : 0;
        } else if (op == AddMaxThreshold) {
            v = (x > threshold && x >= y) ? x : y;
        }
        b[c] = static_cast<uint16_t>(v);
    }
}

/// The result of merging frames, in order, into the first at 16 bits.
inline RgbImage Fold16(ImageOperation op, const std::vector<RgbImage>& frames, int64_t threshold) {
    RgbImage out = frames.front();
    for (size_t k = 1; k < frames.size(); ++k) {
        for (int y = 0; y < out.Height(); ++y) {
            for (int x = 0; x < out.Width(); ++x) {
                CombinePixel16(op, frames[k].Row16(y) + x * 3, out.Row16(y) + x * 3, threshold);
            }
        }
    }
    return out;
}

/// Batch function fn (list index) at 16 bits on samples a (picture) and b
/// (reference), factor c, offset d, in 128 bits.
inline uint16_t BatchSample16(int fn, __int128 a, __int128 b, __int128 c, __int128 d) {
    const __int128 w = 65535;
    const __int128 divisor = c == 0 ? 1 : c;
    const __int128 v = fn == 0   ? a + d - (b * c) / w
                       : fn == 1 ? a + (b * c) / w + d
                       : fn == 2 ? (b == 0 ? w + d : (a * c) / (w * b) + d)
                       : fn == 3 ? (a * b * c) / w + d
                       : fn == 4 ? (a * a) / divisor + d
                                 : (a * a * a) / divisor + d;
    return static_cast<uint16_t>(v < 0 ? 0 : (v > w ? w : v));
}

/// Batch function fn applied to a whole 16-bit picture against reference.
inline RgbImage Batch16(int fn, const RgbImage& picture, const RgbImage& reference, int64_t c,
                        int32_t d) {
    RgbImage out = picture;
    for (int y = 0; y < out.Height(); ++y) {
        for (int x = 0; x < out.Width() * 3; ++x) {
            out.Row16(y)[x] = BatchSample16(fn, picture.Row16(y)[x], reference.Row16(y)[x], c, d);
        }
    }
    return out;
}

}  // namespace nocturo::test
