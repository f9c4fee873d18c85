#include "base/largepages.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif
#ifdef _WIN32
#include <malloc.h>
#endif

namespace varnel {

namespace {

// Enough for the snapshot of ten million log records and the lists beside it.
constexpr size_t kKeptLimit = size_t(3) << 30;

struct Kept {
    std::mutex lock;
    std::map<size_t, std::vector<void*>> bySize;
    size_t bytes = 0;
};

Kept& kept()
{
    static Kept instance; // never destroyed before the snapshots that use it
    return instance;
}

thread_local int t_keeping = 0;

size_t rounded(size_t bytes)
{
    return (bytes + kLargeBlock - 1) / kLargeBlock * kLargeBlock;
}

// MSVC's C library has no aligned_alloc: its aligned blocks come from _aligned_malloc and must go
// back through _aligned_free, never free().
void* alignedBlock(size_t size)
{
#ifdef _WIN32
    return _aligned_malloc(size, kLargeBlock);
#else
    return std::aligned_alloc(kLargeBlock, size);
#endif
}

void freeAlignedBlock(void* memory)
{
#ifdef _WIN32
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

} // namespace

void* allocateLarge(size_t bytes)
{
    if (bytes < kLargeBlock) {
        if (void* memory = std::malloc(bytes == 0 ? 1 : bytes))
            return memory;
        throw std::bad_alloc();
    }
    const size_t size = rounded(bytes);
    {
        Kept& k = kept();
        const std::lock_guard guard(k.lock);
        const auto found = k.bySize.find(size);
        if (found != k.bySize.end() && !found->second.empty()) {
            void* memory = found->second.back();
            found->second.pop_back();
            k.bytes -= size;
            return memory;
        }
    }
    void* memory = alignedBlock(size);
    if (memory == nullptr)
        throw std::bad_alloc();
#ifdef __linux__
    // Huge pages where the kernel has them at hand: one fault per 2 MiB.
    madvise(memory, size, MADV_HUGEPAGE);
#endif
    return memory;
}

void releaseLarge(void* memory, size_t bytes) noexcept
{
    if (memory == nullptr)
        return;
    if (bytes >= kLargeBlock && t_keeping > 0) {
        const size_t size = rounded(bytes);
        Kept& k = kept();
        const std::lock_guard guard(k.lock);
        if (k.bytes + size <= kKeptLimit) {
            try {
                k.bySize[size].push_back(memory);
                k.bytes += size;
                return;
            } catch (...) {
                // No room to keep it: it goes back to the system below.
            }
        }
    }
    if (bytes >= kLargeBlock)
        freeAlignedBlock(memory);
    else
        std::free(memory);
}

KeepingReleasedBlocks::KeepingReleasedBlocks()
{
    ++t_keeping;
}

KeepingReleasedBlocks::~KeepingReleasedBlocks()
{
    --t_keeping;
}

void releaseKeptBlocks() noexcept
{
    Kept& k = kept();
    const std::lock_guard guard(k.lock);
    for (auto& [size, blocks] : k.bySize)
        for (void* memory : blocks)
            freeAlignedBlock(memory);
    k.bySize.clear();
    k.bytes = 0;
}

size_t keptBytes() noexcept
{
    Kept& k = kept();
    const std::lock_guard guard(k.lock);
    return k.bytes;
}

} // namespace varnel
