// The decode-ahead workers on their own: what they hand out, what they
// refuse, how much they hold, and that they stop.

#include "engine/frame_prefetcher.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/image_file.h"
#include "tests/engine/scripted_host.h"
#include "tests/support/test_support.h"

namespace nocturo::test {
namespace {

std::string WriteFrame(const TempDir& dir, const std::string& name, const RgbImage& image) {
    std::string fileName = dir.File(name);
    EXPECT_TRUE(SaveImageFile(image, fileName));
    return fileName;
}

TEST(FramePrefetcher, InactiveWithoutThreadsOrRoom) {
    FramePrefetcher none(0, 2);
    EXPECT_FALSE(none.Active());
    FramePrefetcher noRoom(2, 0);
    EXPECT_FALSE(noRoom.Active());
    TempDir dir;
    const std::string a = WriteFrame(dir, "a.bmp", RandomImage(4, 3, 1));
    none.Want({a});
    RgbImage destination = RandomImage(2, 2, 9);
    EXPECT_FALSE(none.Take(a, destination).has_value());
    EXPECT_EQ(none.BuffersHeld(), 0);
}

TEST(FramePrefetcher, HandsOutWhatLoadImageFileGives) {
    TempDir dir;
    const RgbImage a = RandomImage(9, 7, 1);
    const RgbImage b = RandomImage(9, 7, 2);
    const std::string na = WriteFrame(dir, "a.png", a);
    const std::string nb = WriteFrame(dir, "b.bmp", b);
    const std::string missing = dir.File("missing.jpg");
    const std::string corrupt = dir.File("corrupt.jpg");
    WriteBytes(corrupt, {0xFF, 0xD8, 0xFF, 0x00, 0x01});

    FramePrefetcher prefetcher(2, 4);
    ASSERT_TRUE(prefetcher.Active());
    prefetcher.Want({na, nb, missing, corrupt});
    prefetcher.WaitForPending();
    EXPECT_LE(prefetcher.BuffersHeld(), 4);

    RgbImage destination;
    ASSERT_EQ(prefetcher.Take(nb, destination), std::optional<bool>(true));
    EXPECT_TRUE(SamePixels(destination, b));
    ASSERT_EQ(prefetcher.Take(na, destination), std::optional<bool>(true));
    EXPECT_TRUE(SamePixels(destination, a));
    // A missing file with a loadable extension fails as the empty image.
    ASSERT_EQ(prefetcher.Take(missing, destination), std::optional<bool>(false));
    EXPECT_TRUE(destination.IsEmptyImage());
    // A failed decode leaves the destination as it was.
    RgbImage kept = RandomImage(3, 3, 5);
    const RgbImage before = kept;
    ASSERT_EQ(prefetcher.Take(corrupt, kept), std::optional<bool>(false));
    EXPECT_TRUE(SamePixels(kept, before));
    // Each frame is handed out once.
    EXPECT_FALSE(prefetcher.Take(na, destination).has_value());
    EXPECT_LE(prefetcher.BuffersHeld(), 4);
}

TEST(FramePrefetcher, RefusesNamesItWasNotAskedForOrThatChanged) {
    TempDir dir;
    const std::string a = WriteFrame(dir, "a.bmp", RandomImage(5, 4, 1));
    const std::string b = WriteFrame(dir, "b.bmp", RandomImage(5, 4, 2));
    const std::string c = WriteFrame(dir, "c.bmp", RandomImage(5, 4, 3));
    const std::string text = dir.File("t.txt");
    WriteBytes(text, {'x'});

    FramePrefetcher prefetcher(1, 2);
    RgbImage destination = RandomImage(2, 2, 7);
    const RgbImage before = destination;

    // Names that cannot be loaded are left to the caller, whose own load
    // clears its destination.
    prefetcher.Want({text});
    prefetcher.WaitForPending();
    EXPECT_FALSE(prefetcher.Take(text, destination).has_value());
    EXPECT_EQ(prefetcher.BuffersHeld(), 0);

    // A name dropped from the wanted ones is not handed out.
    prefetcher.Want({a, b});
    prefetcher.Want({c});
    prefetcher.WaitForPending();
    EXPECT_FALSE(prefetcher.Take(a, destination).has_value());
    EXPECT_FALSE(prefetcher.Take(b, destination).has_value());

    // A file replaced after it was decoded is loaded by the caller.
    const RgbImage fresh = RandomImage(5, 4, 33);
    WriteFrame(dir, "c.bmp", fresh);
    EXPECT_FALSE(prefetcher.Take(c, destination).has_value());
    EXPECT_TRUE(SamePixels(destination, before));

    prefetcher.Want({c});
    prefetcher.WaitForPending();
    ASSERT_EQ(prefetcher.Take(c, destination), std::optional<bool>(true));
    EXPECT_TRUE(SamePixels(destination, fresh));
}

TEST(FramePrefetcher, SteadyRunRecyclesItsBuffers) {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    for (int k = 0; k < 24; ++k) {
        frames.push_back(RandomImage(16, 12, 200 + k));
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), frames.back()));
    }
    const int ahead = 2;
    const int threads = 2;
    FramePrefetcher prefetcher(threads, ahead);
    RgbImage working;
    std::set<const uint8_t*> seen;
    int prefetched = 0;
    for (size_t k = 0; k < names.size(); ++k) {
        std::optional<bool> taken = prefetcher.Take(names[k], working);
        std::vector<std::string> next;
        for (size_t j = k + 1; j < names.size() && next.size() < ahead; ++j) {
            next.push_back(names[j]);
        }
        prefetcher.Want(next);
        if (taken) {
            ++prefetched;
            ASSERT_TRUE(*taken);
        } else {
            ASSERT_TRUE(LoadImageFile(working, names[k]));
        }
        ASSERT_TRUE(SamePixels(working, frames[k])) << k;
        ASSERT_LE(prefetcher.BuffersHeld(), ahead);
        if (k >= 4) {
            seen.insert(working.Row(0));
        }
    }
    EXPECT_GT(prefetched, 0);
    // The working image, the queued frames and each worker's scratch: no
    // new buffer per frame.
    EXPECT_LE(static_cast<int>(seen.size()), 1 + ahead + threads);
}

TEST(FramePrefetcher, StopDropsTheQueueAndJoinsTheWorkers) {
    TempDir dir;
    std::vector<std::string> names;
    for (int k = 0; k < 6; ++k) {
        names.push_back(WriteFrame(dir, Numbered("f", k, ".png"), RandomImage(64, 48, 300 + k)));
    }
    FramePrefetcher prefetcher(2, 6);
    prefetcher.Want(names);
    prefetcher.Stop();
    EXPECT_FALSE(prefetcher.Active());
    EXPECT_EQ(prefetcher.BuffersHeld(), 0);
    RgbImage destination;
    EXPECT_FALSE(prefetcher.Take(names[0], destination).has_value());
    prefetcher.Want(names);
    EXPECT_EQ(prefetcher.BuffersHeld(), 0);
    prefetcher.Stop();  // twice is harmless

    // The destructor stops a prefetcher that is busy.
    auto busy = std::make_unique<FramePrefetcher>(2, 6);
    busy->Want(names);
    busy.reset();
}

TEST(FramePrefetcher, ChangingWishesUnderWayStayConsistent) {
    // Many quick changes of the wanted frames while workers decode: meant
    // for the thread sanitizer as much as for the checks.
    TempDir dir;
    std::vector<std::string> names;
    std::vector<RgbImage> frames;
    for (int k = 0; k < 8; ++k) {
        frames.push_back(RandomImage(12, 9, 400 + k));
        names.push_back(WriteFrame(dir, Numbered("f", k, ".bmp"), frames.back()));
    }
    FramePrefetcher prefetcher(2, 3);
    RgbImage destination;
    for (int round = 0; round < 60; ++round) {
        const size_t first = static_cast<size_t>(round * 5) % names.size();
        std::vector<std::string> wanted;
        for (size_t j = 0; j < 3; ++j) {
            wanted.push_back(names[(first + j * 3) % names.size()]);
        }
        prefetcher.Want(wanted);
        ASSERT_LE(prefetcher.BuffersHeld(), 3);
        const size_t pick = (first + 3) % names.size();
        if (std::optional<bool> taken = prefetcher.Take(names[pick], destination)) {
            ASSERT_TRUE(*taken);
            ASSERT_TRUE(SamePixels(destination, frames[pick])) << round;
        }
    }
    prefetcher.WaitForPending();
    EXPECT_LE(prefetcher.BuffersHeld(), 3);
}

}  // namespace
}  // namespace nocturo::test
