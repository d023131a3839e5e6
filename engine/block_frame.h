#pragma once
// BlockFrame: a decoded frame of the moving maximum kept as separate blocks
// of kMaxTile x kMaxTile pixels. A frame darkens more with every step it
// ages, and a block whose brightest sample is at most the darkening it will
// still get can never show again: its memory goes back to the pool while
// the frame's other blocks stay. On a night most blocks are dark sky, so a
// window of fifty frames holds little more than the newest few whole.
//
// BlockPool hands out the blocks. Memory given back is reused for the next
// frames instead of being returned to the system: fresh pages cost the
// kernel a clearing each.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/rgb_image.h"
#include "engine/darkened_max.h"

namespace nocturo {

struct BlockFrame {
    int width = 0;
    int height = 0;
    /// The brightest sample of each block (as ComputeTileMaxima).
    TileMaxima maxima;
    /// Each block's kMaxTile rows of kMaxTile pixels, row after row (the
    /// blocks of the last column and row keep only the picture's part);
    /// null where the block was given back.
    std::vector<uint8_t*> blocks;
    /// Blocks whose maximum is at most this were given back: the frame
    /// merged with a smaller darkening would miss them.
    int floor = -1;

    const uint8_t* Block(int column, int row) const {
        return blocks[static_cast<size_t>(row) * static_cast<size_t>(maxima.columns) +
                      static_cast<size_t>(column)];
    }
    /// Bytes of picture the kept blocks hold.
    size_t BytesKept() const;
};

/// Bytes of one block: kMaxTile rows of kMaxTile pixels.
inline constexpr size_t kBlockBytes = size_t{kMaxTile} * kMaxTile * 3;

/// Bytes of picture in block (column, row) of a width x height picture.
size_t BlockPictureBytes(int width, int height, int column, int row);

/// Thread-safe; blocks live as long as the pool.
class BlockPool {
  public:
    BlockPool() = default;
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    /// Makes frame the blocks of image whose maximum is above floor, and
    /// records every block's maximum; the frame's old blocks are given back
    /// first. False, the frame left empty, for an empty image or when
    /// memory runs out.
    bool Fill(BlockFrame& frame, const RgbImage& image, int floor);

    /// Gives back the blocks whose maximum is at most floor (nothing when
    /// floor is not above the frame's). Returns the picture bytes given back.
    size_t Thin(BlockFrame& frame, int floor);

    /// Gives back every block; the frame becomes empty.
    void Clear(BlockFrame& frame);

  private:
    /// Appends count blocks to out; false when memory runs out.
    bool TakeLocked(size_t count, std::vector<uint8_t*>& out);

    std::mutex mutex_;
    std::vector<uint8_t*> free_;
    std::vector<void*> slabs_;
};

}  // namespace nocturo
