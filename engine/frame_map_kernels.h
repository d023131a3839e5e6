#pragma once
// The frame map's pixel loops (an inside of frame_map.cpp and the run's
// recorder): merges that mark the pixels they changed, and the fold of
// those marks into the map's cells, each in a scalar, an SSSE3 and an AVX2
// form chosen as the processor allows (see LimitFrameMapKernels).
//
// A merge marks the pixels it changed in a plane of bits: bit p % 16 of
// word p / 16 for pixel p, counting pixels row after row over the whole
// picture (rows follow each other without a gap in pictures and maps).

#include <cstddef>
#include <cstdint>

#include "engine/frame_map.h"

namespace nocturo {

/// 16-bit words of a plane of marks for `pixels` pixels.
size_t PlaneWords(size_t pixels);

/// Merges source into buffer with AddMax (addMax) or AddMaxLum, marking in
/// `marks` (PlaneWords of the picture's pixels) the pixels it changed. The
/// caller has checked the sizes.
void MergeMarking(bool addMax, RgbImage& source, RgbImage& buffer, uint16_t* marks);

/// Folds `count` planes (at most 15), plane k made by the frame whose cell
/// value is values[k], into the map's cells: each cell takes the value of
/// the last plane whose bit is set for it, and keeps its own when none is
/// (`fresh`: the cells are not written yet, and take `fill` then). The
/// cells are widened first when a value needs it. False when memory for
/// that runs out.
bool FoldInto(FrameMap& map, const uint16_t* const* planes, int count, const uint32_t* values,
              bool fresh, uint32_t fill);

}  // namespace nocturo
