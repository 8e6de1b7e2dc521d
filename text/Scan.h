// The vectorised scans over UTF-16 units and log bytes, each with its scalar path, and the
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
#include <cstring>
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

// Whether two texts hold the same units; compares them as bytes.
inline bool SameUnits(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

// Calls `found(position)` for the occurrences of `sought` in `units` from
// the left; `found` returns where to go on looking (past the position, at
// least). Looks at eight places at a time for the first unit.
template <typename Found>
void FindEachOccurrence(std::u16string_view units, std::u16string_view sought, Found found) {
    const std::size_t n = units.size();
    const std::size_t m = sought.size();
    if (m == 0 || m > n) return;
    const char16_t first = sought[0];
    const char16_t* p = units.data();
    const std::size_t last = n - m; // the last position an occurrence can start at
    std::size_t i = 0;
    while (i <= last) {
#if QK_SCAN_SSE2
        const __m128i wanted = _mm_set1_epi16(static_cast<short>(first));
        while (i + 8 <= last + 1) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
            if (mask != 0) {
                i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
                break;
            }
            i += 8;
        }
#endif
        while (i <= last && p[i] != first)
            ++i;
        if (i > last) return;
        if (std::memcmp(p + i + 1, sought.data() + 1, (m - 1) * sizeof(char16_t)) == 0)
            i = found(i);
        else
            ++i;
    }
}

// Position of the first line end (LF, CR or NUL) in bytes [from, n) of `p`,
// or n. Looks at sixteen bytes at a time.
inline std::size_t FindLineEnd(const unsigned char* p, std::size_t from, std::size_t n) {
    std::size_t i = from;
#if QK_SCAN_SSE2
    const __m128i feed = _mm_set1_epi8(0x0A);
    const __m128i carriage = _mm_set1_epi8(0x0D);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i ends =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, feed), _mm_cmpeq_epi8(v, carriage)),
                         _mm_cmpeq_epi8(v, zero));
        if (const int mask = _mm_movemask_epi8(ends))
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < n && p[i] != 0x0A && p[i] != 0x0D && p[i] != 0x00)
        ++i;
    return i;
}

// Widens the plain ASCII bytes at the start of [p, p + n) into `out` and
// returns how many there were. Looks at sixteen bytes at a time.
inline std::size_t WidenAscii(const unsigned char* p, std::size_t n, char16_t* out) {
    std::size_t i = 0;
#if QK_SCAN_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(v) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n && p[i] < 0x80; ++i)
        out[i] = p[i];
    return i;
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
