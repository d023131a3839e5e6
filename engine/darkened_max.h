#pragma once
// The darkened maximum: the merge of the moving maximum. Each frame of the
// time window is darkened by an amount that grows with its age, then merged
// channel by channel with the AddMax rule, so that trails fade out behind the
// moving stars.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/rgb_image.h"

namespace nocturo {

struct BlockFrame;

/// The darkening of the entry at window position a (0 = oldest) of a window
/// of n entries: round((n - a) * 255 / n - 1) + 1, in floating point with
/// halves rounded to the even neighbour, clamped to 0..255. The oldest entry
/// of a full window gets 255 (it adds nothing), the newest about 255 / n.
/// n below 1 gives 0. At 16 bits per channel white is 65535 instead of
/// 255: round((n - a) * 65535 / n - 1) + 1, clamped to 0..65535.
int DarkeningValue(int n, int a, int depth = 8);

/// One row run of the merge: destination[k] := max(destination[k],
/// source[k] - d), the difference raised to 0. Vectorised.
void DarkenedMaxBytes(const uint8_t* source, uint8_t* destination, size_t count, uint8_t d);

/// Side of the square blocks of pixels whose brightest sample a frame
/// records when it is decoded.
inline constexpr int kMaxTile = 64;

/// The brightest sample (of any channel) of every kMaxTile x kMaxTile block
/// of a picture, row of blocks after row of blocks; the blocks of the last
/// column and row hold what is left of the picture. A frame darkened by at
/// least a block's value adds nothing there, so merges skip that block of
/// it: on a night frame most blocks are dark sky, and old frames drop out of
/// most of the picture.
struct TileMaxima {
    int columns = 0;
    int rows = 0;
    std::vector<uint8_t> values;
    uint8_t At(int column, int row) const {
        return values[static_cast<size_t>(row) * static_cast<size_t>(columns) +
                      static_cast<size_t>(column)];
    }
};

/// The block maxima of a picture; empty for an empty picture.
TileMaxima ComputeTileMaxima(const RgbImage& image);
/// The maxima of row `tileRow` of blocks, into out[0] to out[columns - 1].
void TileRowMaxima(const RgbImage& image, int tileRow, uint8_t* out);

/// A frame of the window and its darkening.
struct DarkenedSource {
    const RgbImage* image = nullptr;
    uint8_t darkening = 0;
    /// The frame's block maxima (ComputeTileMaxima of it), or null: then
    /// every block is merged.
    const TileMaxima* maxima = nullptr;
    /// The frame kept as blocks instead of `image` (which is then not read);
    /// its own maxima are used.
    const BlockFrame* blocks = nullptr;
};

/// Merges every source (all of the buffer's size; the caller checked) into
/// the buffer in one pass over memory: the buffer is cut into pieces of
/// whole blocks small enough to stay in the processor's cache, and each
/// piece takes all sources before the next piece is touched; a source's
/// blocks that its darkening wipes out are not read at all. Bands are spread over `threads`
/// threads (1 or less: the calling thread only). The result is that of
/// merging the sources one after the other, in any order.
void MergeDarkened(RgbImage& buffer, std::span<const DarkenedSource> sources, int threads);

/// The merge at 16 bits per channel: every sample of the buffer becomes
/// max(buffer, source - d), the difference raised to 0. Both pictures are
/// 16-bit and of one size (the caller checked). Bands of rows are spread
/// over `threads` threads (1 or less: the calling thread only).
void MergeDarkened16(RgbImage& buffer, const RgbImage& source, int d, int threads);

/// A frame that several outputs take, each with its own darkening.
struct SharedSource {
    const RgbImage* image = nullptr;
    /// (index into the outputs, darkening)
    std::vector<std::pair<int, uint8_t>> targets;
    /// As DarkenedSource::maxima and DarkenedSource::blocks.
    const TileMaxima* maxima = nullptr;
    const BlockFrame* blocks = nullptr;
};

/// Several consecutive windows at once: every output (all of one size with
/// the sources) becomes black and receives its sources. A block of a source
/// is read from memory once for all the outputs that take it, so k windows
/// that share most of their frames cost little more memory traffic than one.
void MergeDarkenedShared(std::span<RgbImage* const> outputs, std::span<const SharedSource> sources,
                         int threads);

}  // namespace nocturo
