// The vectorised scans over UTF-16 units, each with its scalar path, and the
// one read-ahead hint. The SSE2 paths are compiled where the processor has
// SSE2 unless the build asks for the scalar paths alone (QK_NO_SIMD,
// -DQK_SIMD=OFF), so that the scalar paths are built and tested too.
#pragma once

#if defined(__SSE2__) && !defined(QK_NO_SIMD)
#define QK_SCAN_SSE2 1
#include <emmintrin.h>
#else
#define QK_SCAN_SSE2 0
#endif

#include <cstddef>
#include <string_view>

namespace qk {

inline constexpr std::size_t kNoPosition = std::u16string_view::npos;

// Position of the first `unit` at or after `from`, or kNoPosition. Looks at
// eight units at a time.
inline std::size_t FindUnit(std::u16string_view text, std::size_t from, char16_t unit) {
    std::size_t i = from;
#if QK_SCAN_SSE2
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(chunk, wanted));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
    }
#endif
    for (; i < text.size(); ++i)
        if (text[i] == unit) return i;
    return kNoPosition;
}

// Position of the last unit before `end` that is `one` or `other`, or
// kNoPosition. Looks at eight units at a time.
inline std::size_t FindLastOfTwo(std::u16string_view text, std::size_t end, char16_t one,
                                 char16_t other) {
    std::size_t i = end;
#if QK_SCAN_SSE2
    const __m128i ones = _mm_set1_epi16(static_cast<short>(one));
    const __m128i others = _mm_set1_epi16(static_cast<short>(other));
    for (; i >= 8; i -= 8) {
        const __m128i chunk =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i - 8));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, ones), _mm_cmpeq_epi16(chunk, others)));
        if (mask != 0) return i - 8 + static_cast<std::size_t>(31 - __builtin_clz(mask)) / 2;
    }
#endif
    while (i-- > 0)
        if (text[i] == one || text[i] == other) return i;
    return kNoPosition;
}

// The first position i from `from` to `last` at which units[i] is `first`,
// units[i + distance] is `final` and `check(i)` holds, or kNoPosition.
// Looks at eight places at a time for the two units.
template <typename Check>
std::size_t FindUnitPair(const char16_t* units, std::size_t from, std::size_t last,
                         std::size_t distance, char16_t first, char16_t final, Check check) {
    std::size_t i = from;
#if QK_SCAN_SSE2
    const __m128i firsts = _mm_set1_epi16(static_cast<short>(first));
    const __m128i finals = _mm_set1_epi16(static_cast<short>(final));
    for (; i + 8 <= last + 1; i += 8) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i tails =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + distance));
        int mask = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi16(heads, firsts), _mm_cmpeq_epi16(tails, finals)));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            if (check(i + static_cast<std::size_t>(bit) / 2))
                return i + static_cast<std::size_t>(bit) / 2;
            mask &= ~(3 << bit);
        }
    }
#endif
    for (; i <= last; ++i)
        if (units[i] == first && units[i + distance] == final && check(i)) return i;
    return kNoPosition;
}

// Asks for the memory at `p` ahead of its use.
inline void Prefetch(const void* p) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

} // namespace qk
