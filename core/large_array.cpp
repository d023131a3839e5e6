#include "core/large_array.h"

#include <sys/mman.h>

namespace nocturo {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

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

}  // namespace nocturo
