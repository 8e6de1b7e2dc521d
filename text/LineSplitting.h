// The reader's line rules over bytes already in memory, for loading a file in
// large blocks: where lines end, where a block may be cut, and the decoding of
// one line's bytes. Every line comes out exactly as ReadTextLine gives it.
#pragma once

#include "text/Scan.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qk {

// Whether `byte` ends a line (LF, CR or NUL).
constexpr bool EndsLine(unsigned char byte) {
    return byte == 0x0A || byte == 0x0D || byte == 0x00;
}

// The length of the longest head of `bytes` that holds only whole lines: up
// to and including the last line end that is surely complete. A CR as the
// very last byte is not, since a LF may follow it in the next block. 0 when
// no line ends in `bytes`.
std::size_t WholeLinesLength(std::string_view bytes);

// Calls `line(bytes)` for every line of `bytes` (terminators excluded), in
// order. `bytes` holds whole lines, except that the last one may lack its
// end (as at the end of a file). An empty `bytes` holds no line.
template <typename Line> void ForEachLine(std::string_view bytes, Line line) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n) {
        i = FindLineEnd(p, i, n);
        if (i == n) break;
        const unsigned char b = p[i];
        line(bytes.substr(start, i - start));
        i += (b == 0x0D && i + 1 < n && p[i + 1] == 0x0A) ? 2 : 1;
        start = i;
    }
    if (start < n) line(bytes.substr(start));
}

// Decodes one line's UTF-8 bytes (no line end among them) into `out`,
// replacing its content: a line of plain ASCII is widened unit by unit; a
// malformed sequence becomes U+FFFD, a stray continuation byte or an invalid
// lead byte "?".
void DecodeLineInto(std::string_view bytes, std::u16string& out);

// Decodes bytes [from, n) of `p`, the first of them not ASCII, to `to` +
// `from`; returns the units written to `to` in all.
std::size_t DecodeRest(const unsigned char* p, std::size_t n, std::size_t from, char16_t* to);

// Decodes `bytes` as DecodeLineInto does and appends the units to `out` (a
// std::u16string or std::vector<char16_t>). Since every ASCII byte decodes
// to itself and ends any sequence before it, the pieces of a line cut at
// ASCII bytes decode to the pieces of the decoded line.
template <typename Units> void AppendDecoded(std::string_view bytes, Units& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    constexpr std::size_t kShort = 128;
    if (n <= kShort) { // decoded here first: the growth of `out` fills no units twice
        char16_t units[kShort];
        std::size_t length = WidenAscii(p, n, units);
        if (length < n) length = DecodeRest(p, n, length, units);
        out.insert(out.end(), units, units + length);
        return;
    }
    const std::size_t base = out.size();
    out.resize(base + n); // a byte gives at most one unit
    char16_t* to = out.data() + base;
    std::size_t length = WidenAscii(p, n, to);
    if (length < n) length = DecodeRest(p, n, length, to);
    out.resize(base + length);
}

} // namespace qk
