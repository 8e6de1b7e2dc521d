#include "text/LineSplitting.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qk {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Returns the new length.
std::size_t AppendCodePoint(char16_t* to, std::size_t length, char32_t codePoint,
                            int continuations) {
    static constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[continuations] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        codePoint > 0x10FFFF) {
        to[length++] = kReplacementCharacter;
    } else if (codePoint >= 0x10000) {
        const char32_t v = codePoint - 0x10000;
        to[length++] = static_cast<char16_t>(0xD800 + (v >> 10));
        to[length++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
        to[length++] = static_cast<char16_t>(codePoint);
    }
    return length;
}

} // namespace

std::size_t FindLineEnd(const unsigned char* p, std::size_t from, std::size_t n) {
    std::size_t i = from;
#if defined(__SSE2__)
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
    while (i < n && !EndsLine(p[i]))
        ++i;
    return i;
}

std::size_t WholeLinesLength(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = bytes.size(); i > 0; --i) {
        if (!EndsLine(p[i - 1])) continue;
        if (p[i - 1] == 0x0D && i == bytes.size()) continue; // a LF may follow
        return i;
    }
    return 0;
}

void DecodeLineInto(std::string_view bytes, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    out.resize(n); // a byte gives at most one unit
    char16_t* to = out.data();
    std::size_t length = 0;
    std::size_t i = 0;
    while (i < n) {
        // Plain ASCII, sixteen (then eight) bytes at a time while it lasts.
#if defined(__SSE2__)
        while (i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(v) != 0) break;
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + length), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + length + 8),
                             _mm_unpackhi_epi8(v, zero));
            length += 16;
            i += 16;
        }
#endif
        while (i + 8 <= n) {
            std::uint64_t v;
            std::memcpy(&v, p + i, sizeof v);
            if (v & kHighBits) break;
            for (int b = 0; b < 8; ++b)
                to[length + b] = p[i + b];
            length += 8;
            i += 8;
        }
        if (i == n) break;
        const unsigned char lead = p[i++];
        if (lead < 0x80) {
            to[length++] = lead;
            continue;
        }
        int continuations;
        char32_t codePoint;
        if (lead < 0xC0 || lead >= 0xF8) {
            to[length++] = u'?'; // a stray continuation byte or an invalid lead
            continue;
        } else if (lead < 0xE0) {
            continuations = 1;
            codePoint = lead & 0x1F;
        } else if (lead < 0xF0) {
            continuations = 2;
            codePoint = lead & 0x0F;
        } else {
            continuations = 3;
            codePoint = lead & 0x07;
        }
        bool complete = true;
        for (int c = 0; c < continuations; ++c) {
            // The line's end, like any byte that is no continuation, cuts the
            // sequence short; that byte is then taken afresh.
            if (i == n || (p[i] & 0xC0) != 0x80) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (p[i++] & 0x3F);
        }
        if (complete)
            length = AppendCodePoint(to, length, codePoint, continuations);
        else
            to[length++] = kReplacementCharacter;
    }
    out.resize(length);
}

} // namespace qk
