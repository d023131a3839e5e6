#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "core/temp_files.h"

namespace nocturo {

namespace {

// The umask as the program started, for a system without /proc: read during
// start-up, before any thread of the program can create a file.
const mode_t kStartUmask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

// The process's umask as it is now, read from /proc without setting it:
// setting it, even for a moment, would change the bits of the files that
// other threads create at that moment.
mode_t CurrentUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return kStartUmask;
    }
    char text[4096];
    size_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, text + size, sizeof text - 1 - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        size += static_cast<size_t>(n);
    }
    ::close(fd);
    text[size] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (line == nullptr) {
        return kStartUmask;
    }
    mode_t mask = 0;
    int digits = 0;
    for (const char* p = line + 7; *p != '\n' && *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '7') {
            mask = static_cast<mode_t>(mask * 8 + static_cast<mode_t>(*p - '0'));
            ++digits;
        } else if (*p != ' ' && *p != '\t') {
            return kStartUmask;
        }
    }
    return digits > 0 ? (mask & 0777) : kStartUmask;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the whole blocks of data with O_DIRECT, where the file system
// allows it, and returns how many bytes went that way (0: none). The disk
// then reads them from data itself: no copy into the page cache, which for
// a run writing a large file per frame costs a good share of a processor,
// and the cache is left to the frames. Anything refused goes on as an
// ordinary write.
size_t WriteBlocksDirect(int fd, const uint8_t* data, size_t size) {
    constexpr size_t kBlock = 4096;
    if (reinterpret_cast<uintptr_t>(data) % kBlock != 0 || size < kBlock) {
        return 0;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) {
        return 0;
    }
    const size_t blocks = size / kBlock * kBlock;
    size_t done = 0;
    while (done < blocks) {
        const ssize_t n = ::write(fd, data + done, blocks - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || static_cast<size_t>(n) % kBlock != 0) {
            // Refused, or a short write that leaves the next one unaligned:
            // the rest is written the ordinary way.
            if (n > 0) {
                done += static_cast<size_t>(n);
            }
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::fcntl(fd, F_SETFL, flags);
    return done;
}

// The temporary name beside base: hidden, readable for a short name, and
// for a long one no longer than base itself, so any name the file system
// accepts can be written.
std::string TempName(const std::string& base) {
    constexpr size_t kSuffix = 7;  // ".XXXXXX"
    constexpr size_t kShort = 16;
    std::string stem = base;
    if (base.size() >= kShort) {
        stem.resize(base.size() - kSuffix - 1);  // "." + stem + suffix = base's length
    }
    return "." + stem + ".XXXXXX";
}

bool Fail(std::string* reason, const char* text) {
    if (reason != nullptr) {
        *reason = text;
    }
    return false;
}

bool FailErrno(std::string* reason, int error) {
    return Fail(reason, std::strerror(error == 0 ? EIO : error));
}

}  // namespace

std::string WrittenName(const std::string& fileName) {
    std::string name = fileName;
    // As the kernel does, give up on a loop of links after 40 steps; the
    // rename then replaces the last link, which is no worse than before.
    for (int step = 0; step < 40; ++step) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            break;
        }
        std::string target(static_cast<size_t>(PATH_MAX), '\0');
        const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) {
            break;
        }
        target.resize(static_cast<size_t>(n));
        if (target.front() != '/') {
            const size_t slash = name.rfind('/');
            if (slash != std::string::npos) {
                target = name.substr(0, slash + 1) + target;
            }
        }
        name = std::move(target);
    }
    return name;
}

unsigned NewFileMode() {
    return 0666u & ~static_cast<unsigned>(CurrentUmask());
}

bool WriteBytesAtomically(const std::string& fileName, const void* data, std::size_t size,
                          const AtomicWrite& how, std::string* reason) {
    const std::string target = WrittenName(fileName);
    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) {
        return Fail(reason, "the name has no file name");
    }
    struct stat existing {};
    const bool replaces = ::stat(target.c_str(), &existing) == 0;
    if (replaces && S_ISDIR(existing.st_mode)) {
        return FailErrno(reason, EISDIR);
    }
    if (replaces && !S_ISREG(existing.st_mode)) {
        // Renaming over a device or a pipe would replace it.
        return Fail(reason, "not a regular file");
    }
    std::string temp = folder + TempName(base);
    // Registered while it exists: a program ended by a signal removes it.
    const TemporaryFile file(temp);
    const int fd = file.Fd();
    if (fd < 0) {
        return FailErrno(reason, errno);
    }
    // mkstemp creates the file readable by its owner only: give it the bits
    // of the file it replaces, or those any new file of the user gets. A
    // file system without permission bits refuses, which is no reason to
    // fail the write.
    const mode_t mode = replaces ? (existing.st_mode & 07777) : static_cast<mode_t>(NewFileMode());
    ::fchmod(fd, mode);

    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t directly = how.pastPageCache ? WriteBlocksDirect(fd, bytes, size) : 0;
    bool ok = WriteAll(fd, bytes + directly, size - directly);
    int error = ok ? 0 : errno;
    if (ok && how.flushToDisk && ::fsync(fd) != 0) {
        ok = false;
        error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok || FailErrno(reason, error);
}

bool WriteFileAtomically(const std::string& fileName, std::string_view bytes, std::string* error) {
    std::string reason;
    if (WriteBytesAtomically(fileName, bytes.data(), bytes.size(), AtomicWrite{}, &reason)) {
        return true;
    }
    if (error != nullptr) {
        *error = "Cannot write \"" + fileName + "\": " + reason;
    }
    return false;
}

}  // namespace nocturo
