#pragma once
// The one way the program writes a file: the bytes go to a temporary file
// beside the target, which is renamed over it, so that the file holds
// either its old content or the whole new one, never a part. Pictures,
// step files, frame maps, tables, list files and language files all come
// through here.
//
// - A symbolic link is written through: the file it points to is replaced
//   (made, when the link dangles) and the link stays.
// - A replaced file keeps its permission bits; a new one gets those the
//   user's umask allows (0666 less the umask). The process's umask is read
//   without being changed, so files other threads create meanwhile get
//   their usual bits.
// - A target that exists and is no regular file (a folder, a device, a
//   pipe) is refused, never replaced.
// - The temporary file is registered with temp_files.h while it exists, so
//   a program ended by a signal leaves none behind.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nocturo {

/// How a file is written.
struct AtomicWrite {
    /// The bytes reach the disk before the rename (fsync), so a power cut
    /// leaves the old file or the new one. Only files written one per frame
    /// (step files, moving-maximum outputs) go without, for speed: a power
    /// cut may cost the last of them, never a result.
    bool flushToDisk = true;
    /// Whole blocks are written past the page cache (O_DIRECT) where the
    /// file system allows it, straight from `data`, which must then be
    /// aligned to 4096 bytes to profit; for writers that run behind the
    /// work and leave the cache to the frames.
    bool pastPageCache = false;
};

/// Writes `size` bytes to `fileName` as described above. False when it
/// cannot, the target untouched and no temporary file left; `reason` then
/// receives why in a few words ("No space left on device", "Is a
/// directory", "not a regular file", ...).
bool WriteBytesAtomically(const std::string& fileName, const void* data, std::size_t size,
                          const AtomicWrite& how = {}, std::string* reason = nullptr);

/// WriteBytesAtomically flushed to disk, for texts: on failure `error`
/// receives a message naming the file and the cause:
/// Cannot write "NAME": REASON.
bool WriteFileAtomically(const std::string& fileName, std::string_view bytes,
                         std::string* error = nullptr);

/// The file a write to `fileName` replaces: a symbolic link is followed to
/// the name it points to, also when that does not exist yet.
std::string WrittenName(const std::string& fileName);

/// The permission bits a new file gets: 0666 less the process's umask,
/// read without changing it.
unsigned NewFileMode();

}  // namespace nocturo
