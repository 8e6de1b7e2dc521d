#include "text/LineSplitting.h"

#include "text/Scan.h"
#include "text/Utf8.h"

namespace qk {

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
    out.clear();
    AppendDecoded(bytes, out);
}

std::size_t DecodeRest(const unsigned char* p, std::size_t n, std::size_t from, char16_t* to) {
    std::size_t length = from;
    std::size_t i = from;
    while (i < n) {
        // The line's end cuts a sequence short as any other byte does.
        const Utf8Decoded decoded = DecodeUtf8(p + i, n - i);
        i += decoded.length;
        AppendUtf16(decoded.codePoint, [&](char16_t unit) { to[length++] = unit; });
        const std::size_t ascii = WidenAscii(p + i, n - i, to + length);
        i += ascii;
        length += ascii;
    }
    return length;
}

} // namespace qk
