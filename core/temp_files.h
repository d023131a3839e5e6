#pragma once
// The hidden temporary files that saves write before renaming them into
// place. A program ended by a signal while saves run on several threads
// must not leave them behind: each is registered while it exists, and a
// signal handler can remove them all.

#include <string>

namespace nocturo {

/// A temporary file made from a mkstemp template ("...XXXXXX"), registered
/// for RemoveTemporaryFilesNow from just before it is created until Release.
class TemporaryFile {
  public:
    /// Creates the file; name receives its name. Fd() is below 0 when it
    /// could not be created (errno says why), also once the program has
    /// started to end on a signal.
    explicit TemporaryFile(std::string& name);
    /// Releases the registration (the file itself is the owner's business).
    ~TemporaryFile() { Release(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Fd() const { return fd_; }
    /// The file was renamed into place or removed: no longer registered.
    void Release();

  private:
    int slot_ = -1;
    int fd_ = -1;
};

/// Removes every registered temporary file and lets no new one be created:
/// for a signal handler of a program about to end (async-signal-safe; it
/// only uses atomics and unlink). A save whose file it removed fails.
void RemoveTemporaryFilesNow() noexcept;

}  // namespace nocturo
