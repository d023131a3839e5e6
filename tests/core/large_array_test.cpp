// Large arrays: their memory, and the blocks kept for the next arrays.

#include "core/large_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace nocturo::test {
namespace {

constexpr size_t kMiB = size_t{1} << 20;

TEST(LargeArray, HoldsItsValuesAndMoves) {
    DropSpareLargeBlocks();
    for (size_t count : {size_t{0}, size_t{1}, size_t{1000}, 3 * kMiB}) {
        SCOPED_TRACE(count);
        LargeArray<uint32_t> array;
        ASSERT_TRUE(array.Allocate(count));
        EXPECT_EQ(array.size(), count);
        EXPECT_EQ(array.empty(), count == 0);
        for (size_t k = 0; k < count; k += 997) {
            array.data()[k] = static_cast<uint32_t>(k);
        }
        LargeArray<uint32_t> moved(std::move(array));
        EXPECT_TRUE(array.empty());
        EXPECT_EQ(moved.size(), count);
        for (size_t k = 0; k < count; k += 997) {
            ASSERT_EQ(moved.data()[k], k);
        }
        LargeArray<uint32_t> assigned;
        ASSERT_TRUE(assigned.Allocate(5));
        assigned = std::move(moved);
        EXPECT_EQ(assigned.size(), count);
        EXPECT_TRUE(moved.empty());
    }
    LargeArray<uint64_t> absurd;
    EXPECT_FALSE(absurd.Allocate(SIZE_MAX / 4));
    EXPECT_TRUE(absurd.empty());
    DropSpareLargeBlocks();
}

TEST(LargeArray, ReusesTheTwoBlocksReleasedLastWhenTheyFit) {
    // Each case releases arrays of the given sizes (MiB) in order, then asks
    // for one: taken from the released block at `reused`, or fresh (-1).
    struct Case {
        const char* name;
        std::vector<size_t> released;
        size_t wanted;
        int reused;
    };
    const Case cases[] = {
        {"same size", {8}, 8, 0},
        {"smaller, within half", {8}, 5, 0},
        {"less than half of the block", {8}, 3, -1},
        {"larger than any", {8, 4}, 9, -1},
        {"the smallest that fits", {16, 9}, 8, 1},
        {"the smallest that fits, released first", {9, 16}, 8, 0},
        {"the two latest are kept", {8, 16, 32}, 16, 1},
        {"none of the two latest fits", {8, 16, 32}, 7, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DropSpareLargeBlocks();
        std::vector<const void*> blocks;
        {
            std::vector<LargeArray<uint8_t>> arrays(c.released.size());
            for (size_t k = 0; k < arrays.size(); ++k) {
                ASSERT_TRUE(arrays[k].Allocate(c.released[k] * kMiB));
                blocks.push_back(arrays[k].data());
            }
            for (LargeArray<uint8_t>& array : arrays) {
                array.Release();
            }
        }
        LargeArray<uint8_t> wanted;
        ASSERT_TRUE(wanted.Allocate(c.wanted * kMiB));
        wanted.data()[c.wanted * kMiB - 1] = 1;  // the whole size is usable
        if (c.reused >= 0) {
            EXPECT_EQ(wanted.data(), blocks[static_cast<size_t>(c.reused)]);
        } else {
            // The kept blocks are still held: a fresh one cannot be either.
            for (size_t k = blocks.size() - std::min<size_t>(2, blocks.size()); k < blocks.size();
                 ++k) {
                EXPECT_NE(wanted.data(), blocks[k]) << k;
            }
        }
    }
    DropSpareLargeBlocks();
}

}  // namespace
}  // namespace nocturo::test
