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
template <std::size_t count>
std::array<std::u16string_view, count> Tokens(std::u16string_view rest) {
    std::array<std::u16string_view, count> tokens{};
    std::size_t found = 0;
    std::size_t i = 0;
    while (found < count) {
        while (i < rest.size() && rest[i] == u' ')
            ++i;
        if (i == rest.size()) break;
        const std::size_t start = i;
        i = std::min(FindUnit(rest, i, u' '), rest.size());
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

// Formats `count` grouped by "." in threes into `parts.size`, right-aligned
// to the size width when shorter; a longer text is kept whole.
void FormatSize(std::int64_t count, LogLineParts& parts) {
    char16_t formatted[LogLineParts::kSizeCapacity];
    std::size_t length = 0;
    if (count > -kExactDoubleLimit && count < kExactDoubleLimit) {
        // The value converts to a double exactly: group its digits here.
        std::uint64_t magnitude = count < 0 ? static_cast<std::uint64_t>(-count) : count;
        char16_t reversed[LogLineParts::kSizeCapacity];
        std::size_t digits = 0;
        do {
            if (digits > 0 && digits % 3 == 0) reversed[length++] = u'.';
            reversed[length++] = static_cast<char16_t>(u'0' + magnitude % 10);
            magnitude /= 10;
            ++digits;
        } while (magnitude != 0);
        if (count < 0) reversed[length++] = u'-';
        for (std::size_t i = 0; i < length; ++i)
            formatted[i] = reversed[length - 1 - i];
    } else {
        const Text text = FormatDecimal(static_cast<double>(count), 0, u",", u".");
        length = std::min(text.size(), LogLineParts::kSizeCapacity);
        std::copy_n(text.data(), length, formatted);
    }
    const std::size_t padding = length < kSizeWidth ? kSizeWidth - length : 0;
    std::fill_n(parts.size, padding, u' ');
    std::copy_n(formatted, length, parts.size + padding);
    parts.sizeLength = padding + length;
}

// The piece of `text` before the first "." after `skip` earlier dots.
std::u16string_view DatePiece(std::u16string_view text, int skip) {
    std::size_t start = 0;
    for (int i = 0; i < skip; ++i) {
        const std::size_t dot = FindUnit(text, start, u'.');
        if (dot == std::u16string_view::npos) return {};
        start = dot + 1;
    }
    const std::size_t dot = FindUnit(text, start, u'.');
    return text.substr(start, dot == std::u16string_view::npos ? text.npos : dot - start);
}

Text MakeText(std::u16string_view units) {
    return Text(units);
}

} // namespace

bool SplitLogLine(std::u16string_view line, LogLineParts& parts) {
    const LineScan scan = ScanLine(line);
    parts.path = DirectoryOf(line, scan.directoryEnd);
    const std::size_t extension = scan.extension;
    if (extension == std::u16string_view::npos || parts.path.empty()) return false;

    const std::size_t nameEnd = std::min(line.size(), extension + kExtensionAndFollower);
    parts.name = FileNameOf(line.substr(0, nameEnd));

    const auto [size, date, time, user] = Tokens<4>(line.substr(nameEnd));
    parts.dateToken = date;
    FormatSize(ByteCount(size), parts);
    parts.day = DatePiece(date, 0);
    parts.month = DatePiece(date, 1);
    parts.year = DatePiece(date, 2);
    parts.time = time;
    parts.user = user;
    return true;
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
