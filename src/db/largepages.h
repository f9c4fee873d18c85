#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace varnel {

// Memory of a snapshot comes by the hundred megabytes (a billion bytes for ten million log
// records). In pages of 4 KiB the kernel faults each one in as it is first written and unmaps
// each one when it is freed, which costs a tenth of the time of opening a large log, and makes
// a cancelled open wait for its half-made snapshot to go. Large blocks are therefore aligned to
// 2 MiB and offered to the kernel for huge pages (transparent huge pages, "madvise" mode).
constexpr size_t kLargePage = size_t(2) << 20;

inline void* allocateLarge(size_t bytes)
{
    if (bytes < kLargePage)
        return std::malloc(bytes);
    const size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* memory = std::aligned_alloc(kLargePage, rounded);
#ifdef __linux__
    if (memory)
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return memory;
}

// An allocator for the large arrays of a snapshot (see allocateLarge).
template <class T> struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U> LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(size_t count)
    {
        if (void* memory = allocateLarge(count * sizeof(T)))
            return static_cast<T*>(memory);
        throw std::bad_alloc();
    }
    void deallocate(T* memory, size_t) noexcept { std::free(memory); }

    template <class U> bool operator==(const LargePageAllocator<U>&) const noexcept { return true; }
};

} // namespace varnel
