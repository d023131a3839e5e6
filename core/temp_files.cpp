#include "core/temp_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace nocturo {

namespace {

// A slot holds one name. Filling: the name is being copied in, no file
// exists yet. Held: the file may exist under the name. Closed: the program
// is ending; the slot takes no more names.
enum SlotState : int { kFree, kFilling, kHeld, kClosed };

struct Slot {
    std::atomic<int> state{kFree};
    char name[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free slots");

// More than the saves that ever run at once (writers behind a run, a
// moving maximum's outputs); beyond them a file is made unregistered.
constexpr int kSlots = 512;
Slot slots[kSlots];

// Set, before the slots are closed, once the program has started to end.
std::atomic<bool> ending{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

}  // namespace

TemporaryFile::TemporaryFile(std::string& name) {
    if (name.size() < PATH_MAX) {
        for (int k = 0; k < kSlots && slot_ < 0; ++k) {
            int expected = kFree;
            if (slots[k].state.compare_exchange_strong(expected, kFilling)) {
                slot_ = k;
            }
        }
    }
    if (slot_ < 0) {
        // Every slot busy, or closed: only in the first case may a file be
        // made that nothing would remove.
        if (ending.load()) {
            errno = EINTR;
            return;
        }
        fd_ = ::mkstemp(name.data());
        return;
    }
    Slot& slot = slots[slot_];
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    int expected = kFilling;
    if (!slot.state.compare_exchange_strong(expected, kHeld)) {
        slot_ = -1;  // closed meanwhile: the program is ending
        errno = EINTR;
        return;
    }
    // Made under the registered name itself, so that a handler running at
    // any moment from here on finds the file's final name.
    fd_ = ::mkstemp(slot.name);
    const int error = errno;
    std::memcpy(name.data(), slot.name, name.size());
    if (fd_ < 0) {
        Release();
        errno = error;
    }
}

void TemporaryFile::Release() {
    if (slot_ >= 0) {
        int expected = kHeld;
        // Fails only once a handler took the slot: it stays closed.
        slots[slot_].state.compare_exchange_strong(expected, kFree);
        slot_ = -1;
    }
}

void RemoveTemporaryFilesNow() noexcept {
    ending.store(true);
    for (Slot& slot : slots) {
        int state = slot.state.load();
        while (state != kClosed && !slot.state.compare_exchange_weak(state, kClosed)) {
        }
        if (state == kHeld) {
            ::unlink(slot.name);
        }
    }
}

}  // namespace nocturo
