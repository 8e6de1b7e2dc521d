// The one switch for the vectorised scans and the one read-ahead hint. The
// SSE2 paths are compiled where the processor has SSE2 unless the build asks
// for the scalar paths alone (QK_NO_SIMD, -DQK_SIMD=OFF), so that the scalar
// paths are built and tested too.
#pragma once

#if defined(__SSE2__) && !defined(QK_NO_SIMD)
#define QK_SCAN_SSE2 1
#include <emmintrin.h>
#else
#define QK_SCAN_SSE2 0
#endif

namespace qk {

// Asks for the memory at `p` ahead of its use.
inline void Prefetch(const void* p) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

} // namespace qk
