#include "core/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Every umask call of this program is counted: the writer must make none.
std::atomic<int> umaskCalls{0};

extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace nocturo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string ReadText(const std::string& name) {
    const std::vector<uint8_t> bytes = test::ReadBytes(name);
    return std::string(bytes.begin(), bytes.end());
}

mode_t ModeOf(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::stat(name.c_str(), &st), 0) << name;
    return st.st_mode & 07777;
}

// Both ways into the one writer: texts (list and language files) and bytes
// (pictures, with or without the flush of a step file).
bool Write(int way, const std::string& name, const std::string& text) {
    switch (way) {
        case 0:
            return WriteFileAtomically(name, text);
        case 1:
            return WriteBytesAtomically(name, text.data(), text.size());
        default:
            return WriteBytesAtomically(name, text.data(), text.size(),
                                        AtomicWrite{.flushToDisk = false});
    }
}

TEST(AtomicFile, WritesThroughLinksAndKeepsOrGivesPermissions) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        TempDir dir;
        {
            SCOPED_TRACE("a link to an existing file");
            const std::string real = dir.File("real.txt");
            ASSERT_TRUE(Write(way, real, "old"));
            fs::create_directory(dir.File("links"));
            fs::create_symlink("../real.txt", dir.File("links/link.txt"));
            ASSERT_TRUE(Write(way, dir.File("links/link.txt"), "new"));
            EXPECT_TRUE(fs::is_symlink(dir.File("links/link.txt")));
            EXPECT_EQ(ReadText(real), "new");
        }
        {
            SCOPED_TRACE("a dangling link: its target is made");
            fs::create_symlink("later.txt", dir.File("dangling.txt"));
            ASSERT_TRUE(Write(way, dir.File("dangling.txt"), "made"));
            EXPECT_TRUE(fs::is_symlink(dir.File("dangling.txt")));
            EXPECT_EQ(ReadText(dir.File("later.txt")), "made");
        }
        for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0604}}) {
            SCOPED_TRACE("a replaced file keeps its bits");
            const std::string name = dir.File("kept.txt");
            ASSERT_TRUE(Write(way, name, "old"));
            ASSERT_EQ(::chmod(name.c_str(), mode), 0);
            ASSERT_TRUE(Write(way, name, "new"));
            EXPECT_EQ(ModeOf(name), mode);
        }
        for (const mode_t mask : {mode_t{027}, mode_t{002}, mode_t{077}}) {
            SCOPED_TRACE("a new file follows the umask");
            const mode_t before = ::umask(mask);
            const std::string name = dir.File("new" + std::to_string(mask) + ".txt");
            const bool written = Write(way, name, "x");
            ::umask(before);
            ASSERT_TRUE(written);
            EXPECT_EQ(ModeOf(name), 0666 & ~mask);
        }
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << "a temporary file is left";
        }
    }
}

// Files that other threads create while the program writes must get the
// user's bits: the writer never sets the umask, not even for a moment.
TEST(AtomicFile, NeverChangesTheProcessUmask) {
    TempDir dir;
    const mode_t before = ::umask(022);
    const int callsBefore = umaskCalls.load();
    for (int way = 0; way < 3; ++way) {
        ASSERT_TRUE(Write(way, dir.File("new" + std::to_string(way)), "x"));
        ASSERT_TRUE(Write(way, dir.File("new" + std::to_string(way)), "y"));
        EXPECT_EQ(ModeOf(dir.File("new" + std::to_string(way))), 0644);
    }
    EXPECT_EQ(umaskCalls.load(), callsBefore);
    EXPECT_EQ(::umask(before), 022);
}

TEST(AtomicFile, RefusesWhatIsNoRegularFileAndLeavesNothingBehind) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
    fs::create_directory(dir.File("folder"));
    std::string reason;
    EXPECT_FALSE(WriteBytesAtomically(dir.File("pipe"), "x", 1, {}, &reason));
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_TRUE(fs::is_fifo(dir.File("pipe")));
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.File("folder"), "x", &error));
    EXPECT_NE(error.find("Cannot write \"" + dir.File("folder") + "\": "), std::string::npos)
        << error;
    EXPECT_FALSE(WriteFileAtomically(dir.File("missing/x.txt"), "x", &error));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // the pipe and the folder, no temporary file
}

}  // namespace
}  // namespace nocturo
