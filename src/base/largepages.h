#pragma once

#include <cstddef>
#include <new>

namespace varnel {

// Memory of a snapshot comes by the hundred megabytes (one and a half gigabytes for ten
// million log records). Fresh memory costs a page fault and the kernel's clearing of every
// page, a tenth of the time of opening a large log. Large blocks (2 MiB and more) are
// therefore kept when a snapshot closes and handed to the next of their size: «Отобрать»
// closes the last rows just before it opens the next, which then reuse their memory. The
// blocks kept are capped; smaller ones are the C library's.
constexpr size_t kLargeBlock = size_t(2) << 20;

// Never null: raises std::bad_alloc.
void* allocateLarge(size_t bytes);

// Large blocks released on this thread while one of these lives are kept: those of a snapshot
// that closes. Any other large block goes back to the system at once: the blocks that a
// growing array leaves behind would otherwise stay beside the snapshot they were outgrown by.
class KeepingReleasedBlocks {
public:
    KeepingReleasedBlocks();
    ~KeepingReleasedBlocks();
    KeepingReleasedBlocks(const KeepingReleasedBlocks&) = delete;
    KeepingReleasedBlocks& operator=(const KeepingReleasedBlocks&) = delete;
};

// `bytes` as it was allocated.
void releaseLarge(void* memory, size_t bytes) noexcept;
// Gives the kept blocks back to the system (when the connection closes).
void releaseKeptBlocks() noexcept;
// The bytes kept now.
size_t keptBytes() noexcept;

// An allocator for the large arrays of a snapshot (see allocateLarge).
template <class T> struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U> LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return static_cast<T*>(allocateLarge(count * sizeof(T))); }
    void deallocate(T* memory, size_t count) noexcept { releaseLarge(memory, count * sizeof(T)); }

    template <class U> bool operator==(const LargePageAllocator<U>&) const noexcept { return true; }
};

} // namespace varnel
