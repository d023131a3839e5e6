#include "core/temp_files.h"

#include <stdlib.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace nocturo {

namespace {

// A slot holds one name.
// - Filling: the name is being copied in; no file exists yet.
// - Creating: mkstemp is making the file; its name is not final yet.
// - Held: the file may exist under the name.
// - Closed: the program is ending; the slot takes no more names.
enum SlotState : int { kFree, kFilling, kCreating, kHeld, kClosed };

struct Slot {
    std::atomic<int> state{kFree};
    // The thread making the file while Creating.
    std::atomic<long> thread{0};
    char name[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free slots");
static_assert(std::atomic<long>::is_always_lock_free, "the signal handler needs lock-free slots");

// More than the saves that ever run at once (writers behind a run, a
// moving maximum's outputs); beyond them a file is made unregistered.
constexpr int kSlots = 512;
Slot slots[kSlots];

// Set, before the slots are closed, once the program has started to end.
std::atomic<bool> ending{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

long ThisThread() {
    return ::syscall(SYS_gettid);
}

// A file being made on another thread is waited for (a second at most),
// so that its final name is known before the program ends.
void WaitWhileCreating(const Slot& slot) {
    const timespec pause{0, 1'000'000};
    for (int k = 0; k < 1000 && slot.state.load() == kCreating; ++k) {
        ::nanosleep(&pause, nullptr);
    }
}

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
    slot.thread.store(ThisThread());
    int expected = kFilling;
    if (!slot.state.compare_exchange_strong(expected, kCreating)) {
        slot_ = -1;  // closed meanwhile: the program is ending
        errno = EINTR;
        return;
    }
    // Made under the registered name itself: from here on a handler finds
    // the file's final name, once mkstemp is done with it.
    fd_ = ::mkstemp(slot.name);
    const int error = errno;
    std::memcpy(name.data(), slot.name, name.size());
    expected = kCreating;
    // Fails only when a handler on this very thread closed the slot; the
    // program ends as that handler returns.
    slot.state.compare_exchange_strong(expected, fd_ >= 0 ? kHeld : kFree);
    if (fd_ < 0) {
        slot_ = -1;
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
    const long self = ThisThread();
    for (Slot& slot : slots) {
        int state = slot.state.load();
        for (;;) {
            if (state == kCreating && slot.thread.load() != self) {
                WaitWhileCreating(slot);
                state = slot.state.load();
                if (state == kCreating) {
                    // Stuck for a second: remove what the name says now.
                    ::unlink(slot.name);
                    break;
                }
                continue;
            }
            if (state == kClosed || slot.state.compare_exchange_weak(state, kClosed)) {
                break;
            }
        }
        // Held, or being made by the thread this handler interrupted (the
        // program ends before that thread goes on).
        if (state == kHeld || state == kCreating) {
            ::unlink(slot.name);
        }
    }
}

}  // namespace nocturo
