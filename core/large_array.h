#pragma once
// Memory for large per-pixel arrays: pictures and the records kept beside
// them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace nocturo {

/// At least `bytes` bytes, uninitialised (`bytes` becomes the count
/// allocated); free them with std::free. Null when memory runs out. Blocks
/// of 2 MiB and more are aligned to and backed by 2 MiB pages where the
/// system allows: fresh 4 KiB pages, touched one by one as a decoder or a
/// run fills them, cost more than a tenth of a run's time on a
/// 24-megapixel night.
void* AllocateLarge(size_t& bytes);

/// A fixed number of trivially copyable values in such memory, undefined
/// until written.
template <typename T>
class LargeArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
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
        void* memory = AllocateLarge(bytes);
        if (memory == nullptr) {
            return false;
        }
        data_.reset(static_cast<T*>(memory));
        size_ = count;
        return true;
    }
    void Release() {
        data_.reset();
        size_ = 0;
    }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    struct Free {
        void operator()(T* values) const { std::free(values); }
    };
    std::unique_ptr<T[], Free> data_;
    size_t size_ = 0;
};

}  // namespace nocturo
