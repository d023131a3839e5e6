#pragma once
// Memory for large per-pixel arrays: pictures and the records kept beside
// them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace nocturo {

/// At least `bytes` bytes, uninitialised (`bytes` becomes the count
/// allocated); free them with std::free. Null when memory runs out. Blocks
/// of 2 MiB and more are aligned to and backed by 2 MiB pages where the
/// system allows: fresh 4 KiB pages, touched one by one as a decoder or a
/// run fills them, cost more than a tenth of a run's time on a
/// 24-megapixel night.
void* AllocateLarge(size_t& bytes);

/// At least `bytes` bytes, uninitialised, in ordinary pages; a block that
/// ReleaseLarge kept is taken when it fits (`bytes` becomes its size).
/// Null when memory runs out. Free the memory with ReleaseLarge.
void* AllocateLargeReusing(size_t& bytes);
/// Frees a block of AllocateLargeReusing. The two most recently released
/// blocks of 2 MiB and more are kept for the next arrays instead: a run
/// rebuilds the same records each time, and pages the process has already
/// touched cost nothing, where fresh ones must be cleared by the system
/// first (a tenth of a second for a 24-megapixel night's records).
void ReleaseLarge(void* memory, size_t bytes);
/// Frees the blocks kept for reuse.
void DropSpareLargeBlocks();

/// A fixed number of trivially copyable values in memory of
/// AllocateLargeReusing, undefined until written.
template <typename T>
class LargeArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    LargeArray() = default;
    LargeArray(const LargeArray&) = delete;
    LargeArray& operator=(const LargeArray&) = delete;
    LargeArray(LargeArray&& other) noexcept { Swap(other); }
    LargeArray& operator=(LargeArray&& other) noexcept {
        if (this != &other) {
            Release();
            Swap(other);
        }
        return *this;
    }
    ~LargeArray() { Release(); }

    /// Makes the array `count` values long. False, leaving it empty, when
    /// memory runs out.
    bool Allocate(size_t count) {
        Release();
        if (count == 0) {
            return true;
        }
        if (count > SIZE_MAX / sizeof(T)) {
            return false;
        }
        size_t bytes = count * sizeof(T);
        void* memory = AllocateLargeReusing(bytes);
        if (memory == nullptr) {
            return false;
        }
        data_ = static_cast<T*>(memory);
        size_ = count;
        bytes_ = bytes;
        return true;
    }
    void Release() {
        if (data_ != nullptr) {
            ReleaseLarge(data_, bytes_);
        }
        data_ = nullptr;
        size_ = 0;
        bytes_ = 0;
    }

    T* data() { return data_; }
    const T* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    void Swap(LargeArray& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(bytes_, other.bytes_);
    }

    T* data_ = nullptr;
    size_t size_ = 0;
    size_t bytes_ = 0;  // allocated
};

}  // namespace nocturo
