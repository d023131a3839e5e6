#include "engine/block_frame.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace nocturo {

namespace {

// Blocks come in slabs of three 2 MiB pages, 512 blocks each.
constexpr size_t kSlabBlocks = 512;
constexpr size_t kSlabAlignment = size_t{2} << 20;

}  // namespace

size_t BlockPictureBytes(int width, int height, int column, int row) {
    const size_t rows = static_cast<size_t>(std::min(kMaxTile, height - row * kMaxTile));
    const size_t bytes = static_cast<size_t>(std::min(kMaxTile, width - column * kMaxTile)) * 3;
    return rows * bytes;
}

size_t BlockFrame::BytesKept() const {
    size_t bytes = 0;
    for (int r = 0; r < maxima.rows; ++r) {
        for (int c = 0; c < maxima.columns; ++c) {
            if (Block(c, r) != nullptr) {
                bytes += BlockPictureBytes(width, height, c, r);
            }
        }
    }
    return bytes;
}

BlockPool::~BlockPool() {
    for (void* slab : slabs_) {
        std::free(slab);
    }
}

bool BlockPool::TakeLocked(size_t count, std::vector<uint8_t*>& out) {
    while (free_.size() < count) {
        const size_t bytes = kSlabBlocks * kBlockBytes;
        void* slab = std::aligned_alloc(kSlabAlignment, bytes);
        if (slab == nullptr) {
            return false;
        }
        ::madvise(slab, bytes, MADV_HUGEPAGE);  // a hint; refusal is harmless
        try {
            slabs_.push_back(slab);
        } catch (const std::bad_alloc&) {
            std::free(slab);
            return false;
        }
        auto* base = static_cast<uint8_t*>(slab);
        for (size_t k = kSlabBlocks; k-- > 0;) {
            free_.push_back(base + k * kBlockBytes);
        }
    }
    out.insert(out.end(), free_.end() - static_cast<std::ptrdiff_t>(count), free_.end());
    free_.resize(free_.size() - count);
    return true;
}

bool BlockPool::Fill(BlockFrame& frame, const RgbImage& image, int floor) {
    Clear(frame);
    const int width = image.Width();
    const int height = image.Height();
    if (width <= 0 || height <= 0) {
        return false;
    }
    const int columns = (width + kMaxTile - 1) / kMaxTile;
    const int rows = (height + kMaxTile - 1) / kMaxTile;
    const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    std::vector<uint8_t*> taken;
    try {
        frame.maxima.values.assign(count, 0);
        frame.blocks.assign(count, nullptr);
        taken.reserve(static_cast<size_t>(columns));
    } catch (const std::bad_alloc&) {
        Clear(frame);
        return false;
    }
    frame.maxima.columns = columns;
    frame.maxima.rows = rows;
    frame.width = width;
    frame.height = height;
    frame.floor = floor;
    // Row of blocks after row of blocks: the rows just measured are copied
    // while they are still in the cache.
    for (int r = 0; r < rows; ++r) {
        uint8_t* best =
            frame.maxima.values.data() + static_cast<size_t>(r) * static_cast<size_t>(columns);
        uint8_t** blocks =
            frame.blocks.data() + static_cast<size_t>(r) * static_cast<size_t>(columns);
        TileRowMaxima(image, r, best);
        size_t needed = 0;
        for (int c = 0; c < columns; ++c) {
            needed += best[c] > floor ? 1 : 0;
        }
        taken.clear();
        bool ok = false;
        try {
            std::lock_guard lock(mutex_);
            ok = TakeLocked(needed, taken);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        if (!ok) {
            Clear(frame);
            return false;
        }
        size_t next = 0;
        for (int c = 0; c < columns; ++c) {
            if (best[c] > floor) {
                blocks[c] = taken[next++];
            }
        }
        const int y0 = r * kMaxTile;
        const int y1 = std::min(height, y0 + kMaxTile);
        for (int y = y0; y < y1; ++y) {
            const size_t inBlock = static_cast<size_t>(y - y0) * kMaxTile * 3;
            const uint8_t* row = image.Row(y);
            for (int c = 0; c < columns; ++c) {
                if (blocks[c] != nullptr) {
                    const size_t offset = static_cast<size_t>(c) * kMaxTile * 3;
                    const size_t bytes = std::min<size_t>(kMaxTile * 3, image.Stride() - offset);
                    std::memcpy(blocks[c] + inBlock, row + offset, bytes);
                }
            }
        }
    }
    return true;
}

size_t BlockPool::Thin(BlockFrame& frame, int floor) {
    if (floor <= frame.floor || frame.blocks.empty()) {
        return 0;
    }
    size_t given = 0;
    std::lock_guard lock(mutex_);
    for (int r = 0; r < frame.maxima.rows; ++r) {
        for (int c = 0; c < frame.maxima.columns; ++c) {
            const size_t k = static_cast<size_t>(r) * static_cast<size_t>(frame.maxima.columns) +
                             static_cast<size_t>(c);
            if (frame.blocks[k] != nullptr && frame.maxima.values[k] <= floor) {
                // Never fails: free_ had room for every block once.
                free_.push_back(frame.blocks[k]);
                frame.blocks[k] = nullptr;
                given += BlockPictureBytes(frame.width, frame.height, c, r);
            }
        }
    }
    frame.floor = floor;
    return given;
}

void BlockPool::Clear(BlockFrame& frame) {
    {
        std::lock_guard lock(mutex_);
        for (uint8_t* block : frame.blocks) {
            if (block != nullptr) {
                free_.push_back(block);
            }
        }
    }
    frame.blocks.clear();
    frame.maxima = TileMaxima();
    frame.width = 0;
    frame.height = 0;
    frame.floor = -1;
}

}  // namespace nocturo
