#pragma once

#if defined(_MSC_VER) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace varnel {

// Qt's string hashing (QHash and QSet of QString, which the engine and every window use)
// leaves the upper halves of the AVX registers in use. Until a vzeroupper, every legacy SSE
// instruction after it pays for that: SQLite's loops over a million records ran twice as slow.
// Long loops call this before they start; it keeps the lower halves, all that code compiled
// without AVX uses.
inline void clearUpperVectorState() noexcept
{
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        __asm__ volatile("vzeroupper" ::: "memory");
#elif defined(_MSC_VER) && defined(_M_X64)
    static const bool avx = [] {
        int info[4];
        __cpuid(info, 1);
        const bool osSaves = (info[2] & (1 << 27)) != 0;
        return osSaves && (info[2] & (1 << 28)) != 0 && (_xgetbv(0) & 6) == 6;
    }();
    if (avx)
        _mm256_zeroupper();
#endif
}

} // namespace varnel
