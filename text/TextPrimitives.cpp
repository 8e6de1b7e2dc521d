#include "text/TextPrimitives.h"

#include "text/Scan.h"

#include <algorithm>
#include <cstring>

namespace qk {

namespace {

constexpr std::size_t kNotFound = std::u16string_view::npos;
constexpr char16_t kBlank = u' ';
constexpr char16_t kQuote = u'"';
constexpr char16_t kPipe = u'|';
constexpr char16_t kDot = u'.';

bool IsPathSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

bool MatchesIgnoringCase(const char16_t* at, std::u16string_view sought) {
    for (std::size_t i = 0; i < sought.size(); ++i)
        if (FoldCase(at[i]) != FoldCase(sought[i])) return false;
    return true;
}

// Index of the first exact occurrence of a non-empty `sought` at or after
// index `from`, or kNotFound. Looks at eight places at a time for the first
// and the last unit of `sought` together before comparing the rest.
std::size_t FindExact(std::u16string_view text, std::u16string_view sought, std::size_t from) {
    const std::size_t n = sought.size();
    if (n > text.size() || from > text.size() - n) return kNotFound;
    const std::size_t lastStart = text.size() - n;
    const char16_t* units = text.data();
    const char16_t first = sought[0];
    const char16_t final = sought[n - 1];
    const auto restMatches = [&](std::size_t at) {
        return n <= 2 ||
               std::memcmp(units + at + 1, sought.data() + 1, (n - 2) * sizeof(char16_t)) == 0;
    };
    return FindUnitPair(text.data(), from, lastStart, n - 1, first, final, restMatches);
}

// Index of the first occurrence of a non-empty `sought` at or after index
// `from`, or kNotFound.
std::size_t NextOccurrence(std::u16string_view text, std::u16string_view sought, std::size_t from,
                           bool ignoreCase) {
    if (!ignoreCase) return FindExact(text, sought, from);
    if (sought.size() > text.size()) return kNotFound;
    const std::size_t last = text.size() - sought.size();
    const char16_t first = FoldCase(sought[0]);
    for (std::size_t i = from; i <= last; ++i)
        if (FoldCase(text[i]) == first && MatchesIgnoringCase(text.data() + i, sought)) return i;
    return kNotFound;
}

// 0-based index at which a 1-based start position begins the scan: below 1
// counts as 1, beyond the end as length + 1.
std::size_t StartIndex(std::u16string_view text, std::int32_t start) {
    if (start < 1) return 0;
    return std::min(static_cast<std::size_t>(start) - 1, text.size());
}

std::size_t ClampCount(std::u16string_view text, std::int32_t count) {
    if (count < 0) return 0;
    return std::min(static_cast<std::size_t>(count), text.size());
}

char16_t* CopyUnits(char16_t* out, std::u16string_view units) {
    if (!units.empty()) std::memcpy(out, units.data(), units.size() * sizeof(char16_t));
    return out + units.size();
}

// Every occurrence of `sought` from index `from` on, found without overlap,
// exchanged for `replacement`. Counts first so that the result is made in one
// allocation of its final size.
Text ExchangeOccurrences(std::u16string_view text, std::u16string_view sought,
                         std::u16string_view replacement, std::size_t from, bool ignoreCase) {
    std::size_t count = 0;
    for (std::size_t at = NextOccurrence(text, sought, from, ignoreCase); at != kNotFound;
         at = NextOccurrence(text, sought, at + sought.size(), ignoreCase))
        ++count;
    if (count == 0) return Text(text);

    const std::size_t length = text.size() - count * sought.size() + count * replacement.size();
    char16_t* out = nullptr;
    Text result = Text::Allocate(length, out);
    if (!out) return result;
    std::size_t copied = 0;
    for (std::size_t at = NextOccurrence(text, sought, from, ignoreCase); at != kNotFound;
         at = NextOccurrence(text, sought, at + sought.size(), ignoreCase)) {
        out = CopyUnits(out, text.substr(copied, at - copied));
        out = CopyUnits(out, replacement);
        copied = at + sought.size();
    }
    CopyUnits(out, text.substr(copied));
    return result;
}

} // namespace

std::int64_t FindText(std::u16string_view text, std::u16string_view sought, std::int32_t start,
                      std::int32_t mode) {
    if (text.empty() || sought.empty()) return 0;
    const std::size_t at =
        NextOccurrence(text, sought, StartIndex(text, start), (mode & kIgnoreCase) != 0);
    return at == kNotFound ? 0 : static_cast<std::int64_t>(at) + 1;
}

Text LeftPart(std::u16string_view text, std::int32_t count) {
    return Text(text.substr(0, ClampCount(text, count)));
}

Text RightPart(std::u16string_view text, std::int32_t count) {
    return Text(text.substr(text.size() - ClampCount(text, count)));
}

std::int64_t TextLength(std::u16string_view text) {
    return static_cast<std::int64_t>(text.size());
}

Text TrimLeading(std::u16string_view text) {
    return TrimLeading(text, u" ");
}

Text TrimLeading(std::u16string_view text, std::u16string_view trim) {
    if (trim.empty()) return Text(text);
    const std::size_t first = text.find_first_not_of(trim[0]);
    if (first == kNotFound) return Text();
    return Text(text.substr(first));
}

std::int64_t CountText(std::u16string_view text, std::u16string_view sought) {
    if (text.empty() || sought.empty()) return 0;
    std::int64_t count = 0;
    for (std::size_t at = text.find(sought); at != kNotFound;
         at = text.find(sought, at + sought.size()))
        ++count;
    return count;
}

Text FieldAt(std::u16string_view text, std::int32_t number, std::u16string_view separator) {
    if (number < 1) return Text();
    if (separator.empty()) return number == 1 ? Text(text) : Text();
    // One pass from the left: skip number - 1 separators, then take the
    // units up to the next one.
    std::size_t begin = 0;
    for (std::int32_t field = 1; field < number; ++field) {
        const std::size_t at = text.find(separator, begin);
        if (at == kNotFound) return Text();
        begin = at + separator.size();
    }
    const std::size_t end = text.find(separator, begin);
    return Text(text.substr(begin, end == kNotFound ? kNotFound : end - begin));
}

Text RemoveText(std::u16string_view text, std::u16string_view sought, std::int32_t mode,
                std::int32_t start) {
    if (text.empty()) return Text();
    if (sought.empty()) return Text(text);
    return ExchangeOccurrences(text, sought, {}, StartIndex(text, start),
                               (mode & kIgnoreCase) != 0);
}

Text ReplaceText(std::u16string_view text, std::u16string_view sought,
                 std::u16string_view replacement, std::int32_t mode, std::int32_t start) {
    // Texts are immutable, so mode bit 1 (write into the given text) always
    // yields a new text with the same contents.
    if (text.empty()) return Text();
    if (sought.empty()) return Text(text);
    return ExchangeOccurrences(text, sought, replacement, StartIndex(text, start),
                               (mode & kIgnoreCase) != 0);
}

Text PadLeft(std::u16string_view text, std::int32_t width) {
    return PadLeft(text, width, u" ");
}

Text PadLeft(std::u16string_view text, std::int32_t width, std::u16string_view pad) {
    if (width <= 0) return Text();
    const std::size_t total = static_cast<std::size_t>(width);
    const std::size_t kept = std::min(text.size(), total);
    const std::size_t padding = total - kept;
    // An empty pad text supplies the unit 0, which ends the text at once.
    if (padding > 0 && pad.empty()) return Text();
    char16_t* out = nullptr;
    Text result = Text::Allocate(total, out);
    if (!out) return result;
    std::fill_n(out, padding, padding > 0 ? pad[0] : kBlank);
    CopyUnits(out + padding, text.substr(0, kept));
    return result;
}

Text DirectoryPart(std::u16string_view path) {
    if (path.empty()) return Text();
    const std::size_t begin = path[0] == kQuote ? 1 : 0;
    const std::size_t stop = std::min(path.find(kPipe), path.size());
    std::size_t end = 0; // one past the last separator met; 0 for none
    for (std::size_t i = 0; i < stop; ++i)
        if (IsPathSeparator(path[i])) end = i + 1;
    if (end <= begin) return Text();
    return Text(path.substr(begin, end - begin));
}

Text FileNamePart(std::u16string_view path, std::int32_t flags) {
    if (path.empty()) return Text();
    const std::size_t lastSeparator = path.find_last_of(u"/\\");
    std::size_t begin;
    if (lastSeparator != kNotFound)
        begin = lastSeparator + 1;
    else
        begin = path[0] == kQuote ? 1 : 0;
    std::u16string_view name = path.substr(begin);
    name = name.substr(0, name.find(kQuote));

    if ((flags & kWithoutExtension) != 0) {
        // From the last unit back to the second: a blank means there is no
        // extension; the last dot starts it, unless it ends the name.
        for (std::size_t i = name.size(); i-- > 1;) {
            if (name[i] == kBlank) break;
            if (name[i] == kDot) {
                if (i + 1 < name.size()) name = name.substr(0, i);
                break;
            }
        }
    }
    return Text(name);
}

} // namespace qk
