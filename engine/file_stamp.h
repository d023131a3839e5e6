#pragma once
// What a file looked like when something was made from it: a frame decoded
// ahead, a point read ahead, a measured luminosity or a decoded reference
// is used again only while its file still looks the same.

#include <cstdint>
#include <string>

namespace nocturo {

/// The file's identity (device and inode), size, and the times of its last
/// modification and of its last change of state (a rename or a replacement
/// over it counts): any of them differing means another file or new
/// content.
struct FileStamp {
    bool exists = false;
    bool regular = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

/// The stamp of the file as it is now; a name that cannot be stat'ed gives
/// the stamp of no file (exists false).
FileStamp StampOf(const std::string& fileName);

}  // namespace nocturo
