#include "core/large_array.h"

#include <sys/mman.h>

#include <mutex>

namespace nocturo {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

struct Spare {
    void* memory = nullptr;
    size_t bytes = 0;
};

std::mutex spareMutex;
Spare spares[2];  // the most recently released first

}  // namespace

void* AllocateLarge(size_t& bytes) {
    if (bytes < kHugePage) {
        return std::malloc(bytes);
    }
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    if (rounded < bytes) {
        return nullptr;  // the count wrapped
    }
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory == nullptr) {
        return nullptr;
    }
    ::madvise(memory, rounded, MADV_HUGEPAGE);  // a hint; refusal is harmless
    bytes = rounded;
    return memory;
}

void* AllocateLargeReusing(size_t& bytes) {
    if (bytes >= kHugePage) {
        std::lock_guard<std::mutex> lock(spareMutex);
        // The smallest kept block that fits without wasting half of itself.
        Spare* best = nullptr;
        for (Spare& spare : spares) {
            if (spare.memory != nullptr && spare.bytes >= bytes && spare.bytes / 2 <= bytes &&
                (best == nullptr || spare.bytes < best->bytes)) {
                best = &spare;
            }
        }
        if (best != nullptr) {
            void* memory = best->memory;
            bytes = best->bytes;
            *best = Spare();
            return memory;
        }
    }
    // In 4 KiB pages: records are made once a run, not over and over like
    // frames, and fresh 2 MiB pages made the first run with them slower
    // and less steady where measured; later runs take kept blocks anyway.
    return std::malloc(bytes);
}

void ReleaseLarge(void* memory, size_t bytes) {
    if (memory == nullptr) {
        return;
    }
    if (bytes < kHugePage) {
        std::free(memory);
        return;
    }
    void* evicted = nullptr;
    {
        std::lock_guard<std::mutex> lock(spareMutex);
        if (spares[0].memory != nullptr) {
            evicted = spares[1].memory;  // the older of two kept blocks goes
            spares[1] = spares[0];
        }
        spares[0] = Spare{memory, bytes};
    }
    std::free(evicted);
}

void DropSpareLargeBlocks() {
    Spare dropped[2];
    {
        std::lock_guard<std::mutex> lock(spareMutex);
        std::swap(dropped, spares);
    }
    for (Spare& spare : dropped) {
        std::free(spare.memory);
    }
}

}  // namespace nocturo
