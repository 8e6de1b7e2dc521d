#include "core/LogLineParser.h"

#include "text/NumberText.h"
#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace qk {
namespace {

constexpr const auto& kExtensions = kDocumentExtensions;
// The four units of each extension as one 64-bit value, as they lie in memory.
constexpr std::uint64_t PackUnits(std::u16string_view units) {
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int shift = std::endian::native == std::endian::little ? 16 * static_cast<int>(i)
                                                                     : 16 * static_cast<int>(3 - i);
        packed |= static_cast<std::uint64_t>(units[i]) << shift;
    }
    return packed;
}
constexpr std::array<std::uint64_t, 4> kExtensionUnits = {
    PackUnits(kExtensions[0]), PackUnits(kExtensions[1]), PackUnits(kExtensions[2]),
    PackUnits(kExtensions[3])};
// The extension and the one character after it.
constexpr std::size_t kExtensionAndFollower = 5;
constexpr std::int64_t kKilobyte = 1024;
constexpr std::int64_t kMegabyte = 1024 * 1024;
// Integers up to this magnitude convert to a double exactly.
constexpr std::int64_t kExactDoubleLimit = std::int64_t{1} << 53;

// Position of the first `unit` at or after `from`, or npos.
std::size_t FindFrom(std::u16string_view text, std::size_t from, char16_t unit) {
    return FindUnit(text, from, unit);
}
std::size_t FindFrom(std::string_view text, std::size_t from, char byte) {
    if (from >= text.size()) return std::string_view::npos;
    const void* at = std::memchr(text.data() + from, byte, text.size() - from);
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data())
              : std::string_view::npos;
}

// Position of the last "\\" or "/" before `end`, or npos.
std::size_t FindLastSeparator(std::u16string_view text, std::size_t end) {
    return FindLastOfTwo(text, end, u'\\', u'/');
}

// What one pass over the whole line finds: where its directory part ends and
// where the deciding extension stands.
struct LineScan {
    std::size_t directoryEnd = 0; // one past the last separator before the first "|"
    std::size_t extension = std::u16string_view::npos;
};

LineScan ScanLine(std::u16string_view line) {
    LineScan scan;
    // The directory part ends after the last separator before the first "|".
    const std::size_t bar = std::min(FindUnit(line, 0, u'|'), line.size());
    if (const std::size_t last = FindLastSeparator(line, bar); last != std::u16string_view::npos)
        scan.directoryEnd = last + 1;
    // The extension that comes last in the list among those in the line
    // decides, at its first occurrence.
    std::array<std::size_t, kExtensions.size()> first;
    first.fill(std::u16string_view::npos);
    std::size_t found = 0;
    for (std::size_t dot = FindUnit(line, 0, u'.');
         dot != std::u16string_view::npos && dot + 4 <= line.size() && found < first.size();
         dot = FindUnit(line, dot + 1, u'.')) {
        std::uint64_t candidate;
        std::memcpy(&candidate, line.data() + dot, sizeof candidate);
        for (std::size_t e = 0; e < kExtensions.size(); ++e) {
            if (first[e] == std::u16string_view::npos && candidate == kExtensionUnits[e]) {
                first[e] = dot;
                ++found;
            }
        }
        if (first.back() != std::u16string_view::npos) break; // the last in the list decides
    }
    for (const std::size_t at : first) {
        if (at != std::u16string_view::npos) scan.extension = at;
    }
    return scan;
}

// The directory part: up to the scan's end, without a leading double quote.
std::u16string_view DirectoryOf(std::u16string_view line, std::size_t end) {
    const std::size_t start = !line.empty() && line[0] == u'"' ? 1 : 0;
    return end > start ? line.substr(start, end - start) : std::u16string_view();
}

// What follows the last separator of `prefix`, up to a double quote.
std::u16string_view FileNameOf(std::u16string_view prefix) {
    std::size_t start = !prefix.empty() && prefix[0] == u'"' ? 1 : 0;
    if (const std::size_t last = FindLastSeparator(prefix, prefix.size());
        last != std::u16string_view::npos)
        start = last + 1;
    if (start >= prefix.size()) return {};
    const std::size_t quote = FindUnit(prefix, start, u'"');
    const std::size_t end = quote == std::u16string_view::npos ? prefix.size() : quote;
    return prefix.substr(start, end - start);
}

// The first `count` blank-separated tokens of `rest`; missing ones are empty.
template <std::size_t count, typename Unit>
std::array<std::basic_string_view<Unit>, count> Tokens(std::basic_string_view<Unit> rest) {
    std::array<std::basic_string_view<Unit>, count> tokens{};
    std::size_t found = 0;
    std::size_t i = 0;
    while (found < count) {
        while (i < rest.size() && rest[i] == Unit(' '))
            ++i;
        if (i == rest.size()) break;
        const std::size_t start = i;
        i = std::min(FindFrom(rest, i, Unit(' ')), rest.size());
        tokens[found++] = rest.substr(start, i - start);
    }
    return tokens;
}

// The size token read as a byte count: "." thousands separators dropped, ","
// read as the decimal point, the number before it scaled by a "KB" or "MB"
// anywhere in the token. The scaling is done in 64 bits, so large KB and MB
// values keep their true size.
std::int64_t ByteCount(std::u16string_view token) {
    // Size tokens are short; a longer one gets room of its own.
    constexpr std::size_t kShortToken = 64;
    char16_t buffer[kShortToken];
    std::u16string longToken;
    char16_t* out = buffer;
    if (token.size() > kShortToken) {
        longToken.resize(token.size());
        out = longToken.data();
    }
    std::size_t length = 0;
    for (const char16_t unit : token) {
        if (unit == u'.') continue;
        out[length++] = unit == u',' ? u'.' : unit;
    }
    const std::u16string_view number(out, length);
    const auto scaled = [&](std::int64_t factor) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(ParseInteger(number)) *
                                         static_cast<std::uint64_t>(factor));
    };
    // Looks for a unit: "B" preceded by "K" or "M".
    bool kilo = false, mega = false;
    for (std::size_t b = FindUnit(number, 1, u'B'); b != std::u16string_view::npos;
         b = FindUnit(number, b + 1, u'B')) {
        kilo = kilo || number[b - 1] == u'K';
        mega = mega || number[b - 1] == u'M';
    }
    if (kilo) return scaled(kKilobyte);
    if (mega) return scaled(kMegabyte);
    return ParseInteger(number);
}

// The piece of `text` before the first "." after `skip` earlier dots.
template <typename Unit>
std::basic_string_view<Unit> DatePiece(std::basic_string_view<Unit> text, int skip) {
    std::size_t start = 0;
    for (int i = 0; i < skip; ++i) {
        const std::size_t dot = FindFrom(text, start, Unit('.'));
        if (dot == text.npos) return {};
        start = dot + 1;
    }
    const std::size_t dot = FindFrom(text, start, Unit('.'));
    return text.substr(start, dot == text.npos ? text.npos : dot - start);
}

// The four bytes of each extension as one 32-bit value, as they lie in memory.
constexpr std::uint32_t PackBytes(std::u16string_view units) {
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int shift = std::endian::native == std::endian::little ? 8 * static_cast<int>(i)
                                                                     : 8 * static_cast<int>(3 - i);
        packed |= static_cast<std::uint32_t>(units[i]) << shift;
    }
    return packed;
}
constexpr std::array<std::uint32_t, 4> kExtensionBytes = {
    PackBytes(kExtensions[0]), PackBytes(kExtensions[1]), PackBytes(kExtensions[2]),
    PackBytes(kExtensions[3])};

void MaskLine(std::string_view line, LineMasks& masks) {
    const std::size_t words = (line.size() + 63) / 64;
#if QK_SCAN_SSE2
    // Whole words are read in place, the last partial one from a copy.
    alignas(16) unsigned char padded[64] = {};
    const std::size_t whole = line.size() / 64;
    std::memcpy(padded, line.data() + whole * 64, line.size() - whole * 64);
    const __m128i back = _mm_set1_epi8('\\'), slash = _mm_set1_epi8('/'), dot = _mm_set1_epi8('.'),
                  bar = _mm_set1_epi8('|'), blank = _mm_set1_epi8(' ');
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t sep = 0, dots = 0, bars = 0, blanks = 0;
        for (int c = 0; c < 4; ++c) {
            const unsigned char* from =
                w < whole ? reinterpret_cast<const unsigned char*>(line.data()) + w * 64 : padded;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + c * 16));
            const auto bits = [&](__m128i eq) {
                return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(eq)))
                       << (16 * c);
            };
            sep |= bits(_mm_or_si128(_mm_cmpeq_epi8(v, back), _mm_cmpeq_epi8(v, slash)));
            dots |= bits(_mm_cmpeq_epi8(v, dot));
            bars |= bits(_mm_cmpeq_epi8(v, bar));
            blanks |= bits(_mm_cmpeq_epi8(v, blank));
        }
        masks.separators[w] = sep;
        masks.dots[w] = dots;
        masks.bars[w] = bars;
        masks.blanks[w] = blanks;
    }
#else
    for (std::size_t w = 0; w < words; ++w)
        masks.separators[w] = masks.dots[w] = masks.bars[w] = masks.blanks[w] = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        const char byte = line[i];
        if (byte == '\\' || byte == '/') masks.separators[i / 64] |= bit;
        if (byte == '.') masks.dots[i / 64] |= bit;
        if (byte == '|') masks.bars[i / 64] |= bit;
        if (byte == ' ') masks.blanks[i / 64] |= bit;
    }
#endif
}

// The first position at or after `from` whose bit is set (`set`) or clear,
// or `end` when none is before it.
std::size_t NextBit(const std::uint64_t* mask, std::size_t from, std::size_t end, bool set) {
    while (from < end) {
        std::uint64_t word = mask[from / 64];
        if (!set) word = ~word;
        word &= ~std::uint64_t{0} << (from % 64);
        if (word != 0) return std::min(from / 64 * 64 + std::countr_zero(word), end);
        from = from / 64 * 64 + 64;
    }
    return end;
}

// The last position before `end` whose bit is set, or npos.
std::size_t LastBit(const std::uint64_t* mask, std::size_t end) {
    while (end > 0) {
        const std::size_t w = (end - 1) / 64;
        std::uint64_t word = mask[w];
        const std::size_t used = end - w * 64; // 1 to 64 bits of the word
        if (used < 64) word &= (std::uint64_t{1} << used) - 1;
        if (word != 0) return w * 64 + 63 - static_cast<std::size_t>(std::countl_zero(word));
        end = w * 64;
    }
    return std::string_view::npos;
}

// The byte count of a size token made of digits with "." groups, a ","
// decimal part and a "KB" or "MB" at the end, the common form; false for
// any other, which ByteCount reads.
bool PlainByteCount(std::string_view token, std::int64_t& count) {
    std::size_t end = token.size();
    std::uint64_t factor = 1;
    if (end >= 2 && token[end - 1] == 'B' && (token[end - 2] == 'K' || token[end - 2] == 'M')) {
        factor = token[end - 2] == 'K' ? kKilobyte : kMegabyte;
        end -= 2;
    }
    if (end == 0 || token[0] < '0' || token[0] > '9') return false;
    std::uint64_t value = 0;
    bool whole = true; // before the ","
    for (std::size_t i = 0; i < end; ++i) {
        const char byte = token[i];
        if (byte >= '0' && byte <= '9') {
            if (whole) value = value * 10 + static_cast<unsigned>(byte - '0');
        } else if (byte == ',') {
            whole = false;
        } else if (byte != '.') {
            return false;
        }
    }
    count = static_cast<std::int64_t>(value * factor);
    return true;
}

// ScanLine on a line's bytes.
LineScan ScanLineBytes(std::string_view line, const LineMasks& masks) {
    LineScan scan;
    const std::size_t bar = NextBit(masks.bars, 0, line.size(), true);
    if (const std::size_t last = LastBit(masks.separators, bar); last != std::string_view::npos)
        scan.directoryEnd = last + 1;
    std::array<std::size_t, kExtensions.size()> first;
    first.fill(std::string_view::npos);
    std::size_t found = 0;
    for (std::size_t dot = NextBit(masks.dots, 0, line.size(), true);
         dot + 4 <= line.size() && found < first.size();
         dot = NextBit(masks.dots, dot + 1, line.size(), true)) {
        const char second = line[dot + 1]; // "p", "d" or "a" in every extension
        if (second != 'p' && second != 'd' && second != 'a') continue;
        std::uint32_t candidate;
        std::memcpy(&candidate, line.data() + dot, sizeof candidate);
        for (std::size_t e = 0; e < kExtensions.size(); ++e) {
            if (first[e] == std::string_view::npos && candidate == kExtensionBytes[e]) {
                first[e] = dot;
                ++found;
            }
        }
        if (first.back() != std::string_view::npos) break;
    }
    for (const std::size_t at : first) {
        if (at != std::string_view::npos) scan.extension = at;
    }
    return scan;
}

// FileNameOf on the first `end` bytes of the line.
std::string_view FileNameOfBytes(std::string_view line, std::size_t end, const LineMasks& masks) {
    std::size_t start = line[0] == '"' ? 1 : 0;
    if (const std::size_t last = LastBit(masks.separators, end); last != std::string_view::npos)
        start = last + 1;
    if (start >= end) return {};
    const std::string_view prefix = line.substr(0, end);
    const std::size_t quote = std::min(FindFrom(prefix, start, '"'), end);
    return prefix.substr(start, quote - start);
}

// The first four blank-separated tokens from `from` on; missing ones empty.
std::array<std::string_view, 4> TokensFrom(std::string_view line, std::size_t from,
                                           const LineMasks& masks) {
    std::array<std::string_view, 4> tokens{};
    for (std::string_view& token : tokens) {
        const std::size_t start = NextBit(masks.blanks, from, line.size(), false);
        if (start == line.size()) break;
        from = NextBit(masks.blanks, start, line.size(), true);
        token = line.substr(start, from - start);
    }
    return tokens;
}

// DatePiece 0, 1 and 2 of the date token, a piece of `line`, by its dots.
void DatePieces(std::string_view line, std::string_view date, const LineMasks& masks,
                LogLineBytes& parts) {
    parts.day = parts.month = parts.year = {};
    if (date.empty()) return;
    const auto start = static_cast<std::size_t>(date.data() - line.data());
    const std::size_t end = start + date.size();
    const std::size_t first = NextBit(masks.dots, start, end, true);
    parts.day = line.substr(start, first - start);
    if (first == end) return;
    const std::size_t second = NextBit(masks.dots, first + 1, end, true);
    parts.month = line.substr(first + 1, second - first - 1);
    if (second == end) return;
    const std::size_t third = NextBit(masks.dots, second + 1, end, true);
    parts.year = line.substr(second + 1, third - second - 1);
}

// The size token widened to units when it is plain ASCII and short.
bool WidenSizeToken(std::string_view token, char16_t (&units)[64], std::u16string_view& out) {
    if (token.size() > std::size(units)) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const auto byte = static_cast<unsigned char>(token[i]);
        if (byte >= 0x80) return false;
        units[i] = byte;
    }
    out = std::u16string_view(units, token.size());
    return true;
}

Text MakeText(std::u16string_view units) {
    return Text(units);
}

} // namespace

// Formats `count` grouped by "." in threes into `size`, right-aligned to the
// size width when shorter; a longer text is kept whole.
void FormatSize(std::int64_t count, char16_t (&size)[LogLineParts::kSizeCapacity],
                std::size_t& sizeLength) {
    char16_t formatted[LogLineParts::kSizeCapacity];
    std::size_t length = 0;
    if (count > -kExactDoubleLimit && count < kExactDoubleLimit) {
        // The value converts to a double exactly: group its digits here,
        // from the right.
        std::uint64_t magnitude = count < 0 ? static_cast<std::uint64_t>(-count) : count;
        std::size_t at = LogLineParts::kSizeCapacity;
        for (; magnitude >= 1000; magnitude /= 1000) { // a whole group of three
            const auto group = static_cast<unsigned>(magnitude % 1000);
            formatted[--at] = static_cast<char16_t>(u'0' + group % 10);
            formatted[--at] = static_cast<char16_t>(u'0' + group / 10 % 10);
            formatted[--at] = static_cast<char16_t>(u'0' + group / 100);
            formatted[--at] = u'.';
        }
        do { // the leading group, without leading zeros
            formatted[--at] = static_cast<char16_t>(u'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (count < 0) formatted[--at] = u'-';
        length = LogLineParts::kSizeCapacity - at;
        if (length >= kSizeWidth) {
            std::copy_n(formatted + at, length, size);
            sizeLength = length;
            return;
        }
        std::fill_n(size, kSizeWidth - length, u' ');
        std::copy_n(formatted + at, length, size + kSizeWidth - length);
        sizeLength = kSizeWidth;
        return;
    } else {
        const Text text = FormatDecimal(static_cast<double>(count), 0, u",", u".");
        length = std::min(text.size(), LogLineParts::kSizeCapacity);
        std::copy_n(text.data(), length, formatted);
    }
    const std::size_t padding = length < kSizeWidth ? kSizeWidth - length : 0;
    std::fill_n(size, padding, u' ');
    std::copy_n(formatted, length, size + padding);
    sizeLength = padding + length;
}

bool SplitLogLine(std::u16string_view line, LogLineParts& parts) {
    const LineScan scan = ScanLine(line);
    parts.path = DirectoryOf(line, scan.directoryEnd);
    const std::size_t extension = scan.extension;
    if (extension == std::u16string_view::npos || parts.path.empty()) return false;

    const std::size_t nameEnd = std::min(line.size(), extension + kExtensionAndFollower);
    parts.name = FileNameOf(line.substr(0, nameEnd));

    const auto [size, date, time, user] = Tokens<4>(line.substr(nameEnd));
    parts.dateToken = date;
    parts.sizeCount = ByteCount(size);
    FormatSize(parts.sizeCount, parts.size, parts.sizeLength);
    parts.day = DatePiece(date, 0);
    parts.month = DatePiece(date, 1);
    parts.year = DatePiece(date, 2);
    parts.time = time;
    parts.user = user;
    return true;
}

ByteSplit SplitLogLineBytes(std::string_view line, LogLineBytes& parts) {
    if (line.size() > kMaskedBytes) return ByteSplit::NeedsUnits;
    LineMasks masks;
    MaskLine(line, masks);
    return SplitMaskedLine(line, masks, parts);
}

ByteSplit SplitMaskedLine(std::string_view line, const LineMasks& masks, LogLineBytes& parts) {
    const LineScan scan = ScanLineBytes(line, masks);
    const std::size_t start = !line.empty() && line[0] == '"' ? 1 : 0;
    const std::size_t extension = scan.extension;
    if (extension == std::string_view::npos || scan.directoryEnd <= start)
        return ByteSplit::NoRecord;
    parts.path = line.substr(start, scan.directoryEnd - start);

    // The name keeps one unit after the extension: one byte when it is ASCII.
    std::size_t nameEnd = line.size();
    if (extension + 4 < line.size()) {
        if (static_cast<unsigned char>(line[extension + 4]) >= 0x80) return ByteSplit::NeedsUnits;
        nameEnd = extension + kExtensionAndFollower;
    }
    parts.name = FileNameOfBytes(line, nameEnd, masks);

    const auto [size, date, time, user] = TokensFrom(line, nameEnd, masks);
    std::int64_t count = 0;
    if (!PlainByteCount(size, count)) {
        char16_t sizeUnits[64];
        std::u16string_view sizeToken;
        if (!WidenSizeToken(size, sizeUnits, sizeToken)) return ByteSplit::NeedsUnits;
        count = ByteCount(sizeToken);
    }
    parts.sizeCount = count;
    parts.dateToken = date;
    DatePieces(line, date, masks, parts);
    parts.time = time;
    parts.user = user;
    return ByteSplit::Record;
}

bool IsLogRecordLine(std::string_view line) {
    // A "\\" or "/" before the first "|" makes the directory part.
    const std::string_view head = line.substr(0, line.find('|'));
    if (head.find('\\') == head.npos && head.find('/') == head.npos) return false;
    for (std::size_t dot = line.find('.'); dot != line.npos && dot + 4 <= line.size();
         dot = line.find('.', dot + 1)) {
        for (const std::u16string_view extension : kExtensions) {
            if (std::equal(extension.begin(), extension.end(), line.begin() + dot,
                           [](char16_t unit, char byte) { return unit == char16_t(byte); }))
                return true;
        }
    }
    return false;
}

void AppendDate(std::u16string& out, const LogLineParts& parts) {
    out.reserve(out.size() + parts.year.size() + parts.month.size() + parts.day.size() + 2);
    out.append(parts.year).append(1, u'.').append(parts.month).append(1, u'.').append(parts.day);
}

Text MakeDateText(const LogLineParts& parts) {
    std::u16string date;
    AppendDate(date, parts);
    return Text(date);
}

std::optional<DuplicateRecord> ParseLogLine(std::u16string_view line) {
    LogLineParts parts;
    if (!SplitLogLine(line, parts)) return std::nullopt;
    return DuplicateRecord{MakeText(parts.path), MakeText(parts.name), MakeText(parts.SizeView()),
                           MakeDateText(parts),  MakeText(parts.time), MakeText(parts.user),
                           ShownText()};
}

} // namespace qk
