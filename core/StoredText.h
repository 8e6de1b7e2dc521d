// Texts as the record table stores them: each UTF-16 unit as the one to
// three bytes that UTF-8 gives a character below U+10000, and each unit of a
// surrogate pair (or a lone surrogate) as three bytes of its own. A text
// within the Basic Multilingual Plane is plain UTF-8, every unit comes back
// exactly, and the bytes of two texts order as their UTF-16 units do (UTF-8
// proper would put U+E000-U+FFFF after the characters beyond U+FFFF). A text
// is contained in another exactly when its bytes are: no unit's bytes start
// inside another's.
#pragma once

#include "text/LineSplitting.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace qk {

// The stored bytes of one unit at `put`; returns where they end.
inline char* PutStoredUnit(char16_t unit, char* put) {
    if (unit < 0x80) {
        *put++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
        *put++ = static_cast<char>(0xC0 | (unit >> 6));
        *put++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        *put++ = static_cast<char>(0xE0 | (unit >> 12));
        *put++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        *put++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
    return put;
}

// Appends the stored bytes of `units` to `out` (std::string or
// std::vector<char>).
template <typename Bytes> void AppendStored(std::u16string_view units, Bytes& out) {
    const std::size_t base = out.size();
    out.resize(base + 3 * units.size());
    char* const start = out.data();
    char* put = start + base;
    for (const char16_t unit : units)
        put = PutStoredUnit(unit, put);
    out.resize(static_cast<std::size_t>(put - start));
}

inline std::string StoredOf(std::u16string_view units) {
    std::string out;
    AppendStored(units, out);
    return out;
}

// Appends the units of stored bytes to `out` (std::u16string or a vector).
template <typename Units> void AppendStoredUnits(std::string_view stored, Units& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(stored.data());
    const std::size_t n = stored.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
        } else if (lead < 0xE0) {
            out.push_back(static_cast<char16_t>((lead & 0x1F) << 6 | (p[i + 1] & 0x3F)));
            i += 2;
        } else {
            out.push_back(static_cast<char16_t>((lead & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 |
                                                (p[i + 2] & 0x3F)));
            i += 3;
        }
    }
}

inline void StoredInto(std::string_view stored, std::u16string& out) {
    out.clear();
    AppendStoredUnits(stored, out);
}

// Whether UTF-8 bytes are their own stored form: well formed, and every
// character below U+10000 (no surrogate, no sequence of four bytes).
inline bool StoredAsLogged(std::string_view logged) {
    const auto* p = reinterpret_cast<const unsigned char*>(logged.data());
    const std::size_t n = logged.size();
    const auto follows = [&](std::size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
    for (std::size_t i = 0; i < n;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            ++i;
        } else if (lead >= 0xC2 && lead <= 0xDF && follows(i + 1)) {
            i += 2;
        } else if (lead >= 0xE0 && lead <= 0xEF && follows(i + 1) && follows(i + 2) &&
                   (lead != 0xE0 || p[i + 1] >= 0xA0) && // not overlong
                   (lead != 0xED || p[i + 1] < 0xA0)) {  // not a surrogate
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// Appends the stored bytes of the text that the UTF-8 bytes of a log decode
// to (as the line reader decodes them).
template <typename Bytes>
void AppendStoredOfLogged(std::string_view logged, Bytes& out, std::u16string& scratch) {
    if (StoredAsLogged(logged)) {
        out.insert(out.end(), logged.begin(), logged.end());
        return;
    }
    scratch.clear();
    AppendDecoded(logged, scratch);
    AppendStored(scratch, out);
}

// Calls `found(position)` for the occurrences of `sought` in `bytes` from
// the left; `found` returns where to go on looking (past the position).
template <typename Found>
void FindEachStoredOccurrence(std::string_view bytes, std::string_view sought, Found found) {
    const std::size_t n = bytes.size(), m = sought.size();
    if (m == 0 || m > n) return;
    const char* p = bytes.data();
    const std::size_t last = n - m;
    for (std::size_t i = 0; i <= last;) {
        const void* at = std::memchr(p + i, sought[0], last + 1 - i);
        if (!at) return;
        i = static_cast<std::size_t>(static_cast<const char*>(at) - p);
        if (std::memcmp(p + i + 1, sought.data() + 1, m - 1) == 0)
            i = found(i);
        else
            ++i;
    }
}

} // namespace qk
