// The one set of rules by which this program decodes UTF-8, used by the text
// file reader and by Text::FromUtf8 alike, so that bytes given on a command
// line decode to the same units as the same bytes in a log:
//   - a byte below 0x80 is its own unit;
//   - a lead byte 0xC0 to 0xF7 opens a sequence of one to three continuation
//     bytes (10xxxxxx); a sequence cut short by another byte or by the end is
//     one U+FFFD, and the byte that cut it is decoded afresh;
//   - a complete sequence that is overlong, encodes a surrogate or lies
//     beyond U+10FFFF is one U+FFFD;
//   - any other byte (a stray continuation byte, 0xF8 to 0xFF) is "?".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qk {

inline constexpr char16_t kReplacementCharacter = 0xFFFD;
inline constexpr char16_t kInvalidUtf8Byte = u'?';

constexpr bool IsUtf8Continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The number of continuation bytes `lead` announces; -1 when it leads none.
constexpr int Utf8Continuations(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead < 0xC0 || lead >= 0xF8) return -1;
    return lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
}

// The bits of the code point that `lead` carries.
constexpr char32_t Utf8LeadBits(unsigned char lead, int continuations) {
    constexpr unsigned char kMasks[4] = {0x7F, 0x1F, 0x0F, 0x07};
    return lead & kMasks[continuations];
}

// Adds a continuation byte's bits to `codePoint`.
constexpr char32_t Utf8Continue(char32_t codePoint, unsigned char byte) {
    return (codePoint << 6) | (byte & 0x3F);
}

// The code point of a complete sequence of 1 + `continuations` bytes, or
// U+FFFD when it is overlong, a surrogate or beyond U+10FFFF.
constexpr char32_t Utf8Checked(char32_t codePoint, int continuations) {
    constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[continuations] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        codePoint > 0x10FFFF)
        return kReplacementCharacter;
    return codePoint;
}

struct Utf8Decoded {
    std::size_t length; // bytes taken
    char32_t codePoint; // or kReplacementCharacter, or kInvalidUtf8Byte
};

// Decodes the sequence at the start of `bytes` (`available` >= 1 of them).
constexpr Utf8Decoded DecodeUtf8(const unsigned char* bytes, std::size_t available) {
    const unsigned char lead = bytes[0];
    const int continuations = Utf8Continuations(lead);
    if (continuations < 0) return {1, kInvalidUtf8Byte};
    char32_t codePoint = Utf8LeadBits(lead, continuations);
    for (std::size_t i = 1; i <= static_cast<std::size_t>(continuations); ++i) {
        if (i >= available || !IsUtf8Continuation(bytes[i])) return {i, kReplacementCharacter};
        codePoint = Utf8Continue(codePoint, bytes[i]);
    }
    return {static_cast<std::size_t>(continuations) + 1, Utf8Checked(codePoint, continuations)};
}

// Writes `codePoint` as one or two UTF-16 units through `append`.
template <typename Append> void AppendUtf16(char32_t codePoint, Append append) {
    if (codePoint >= 0x10000) {
        const char32_t v = codePoint - 0x10000;
        append(static_cast<char16_t>(0xD800 + (v >> 10)));
        append(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
        append(static_cast<char16_t>(codePoint));
    }
}

// Appends `cp` to `bytes` as UTF-8 (one to four bytes).
inline void AppendUtf8(std::string& bytes, char32_t cp) {
    if (cp < 0x80) {
        bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Writes the UTF-8 form of units[i], a unit that is not ASCII, at `put` and
// returns where it ends. A surrogate pair is taken whole (`i` moves to its
// second unit); an unpaired surrogate becomes U+FFFD.
inline char* PutUtf8(std::u16string_view units, std::size_t& i, char* put) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = kReplacementCharacter;
    }
    if (cp < 0x800) {
        *put++ = static_cast<char>(0xC0 | (cp >> 6));
        *put++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *put++ = static_cast<char>(0xE0 | (cp >> 12));
        *put++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *put++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *put++ = static_cast<char>(0xF0 | (cp >> 18));
        *put++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *put++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *put++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return put;
}

} // namespace qk
