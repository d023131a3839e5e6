#include "engine/file_stamp.h"

#include <sys/stat.h>

namespace nocturo {

FileStamp StampOf(const std::string& fileName) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<int64_t>(st.st_size);
    stamp.modifiedNs = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.changedNs = int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace nocturo
