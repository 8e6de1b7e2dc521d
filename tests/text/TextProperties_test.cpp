// Every text primitive and number conversion against a slow, obvious
// reference written from the rules alone (index loops, no library searches),
// on many random inputs from a small alphabet that keeps hitting the edges:
// blanks, tabs, separators, quotes, the pipe, signs, "$" and "%", letters in
// both cases and positions and counts around and beyond the text's ends. The
// seeds are fixed, so a failure repeats.
#include "text/NumberText.h"
#include "text/TextPrimitives.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qk {
namespace {

using Units = std::u16string;
using Random = std::mt19937_64;

constexpr int kCases = 4000;
// A failing operation reports this many inputs and then stops.
constexpr int kReportedFailures = 5;
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

const std::array<std::u16string_view, 27> kAlphabet = {
    u" ", u" ", u"\t", u".", u",", u"\\", u"/", u"|", u"\"", u"KB", u"a", u"A", u"ä",  u"Ä",
    u"0", u"1", u"2",  u"5", u"9", u"$",  u"%", u"-", u"+",  u"f",  u"F", u"B", u"..",
};

// Readable failure messages: the text in UTF-8 with tabs made visible.
std::string Show(std::u16string_view units) {
    std::string out = "'";
    for (const char16_t unit : units) {
        if (unit == u'\t')
            out += "\\t";
        else if (unit == 0)
            out += "\\0";
        else
            AppendUtf8(out, std::u16string_view(&unit, 1));
    }
    return out + "'";
}

std::int64_t Below(Random& random, std::int64_t bound) {
    return static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(bound));
}

// Mostly short texts, now and then a long one.
Units RandomText(Random& random, int mostTokens = 12) {
    const std::int64_t tokens =
        Below(random, 8) == 0 ? Below(random, 60) : Below(random, mostTokens);
    Units text;
    for (std::int64_t i = 0; i < tokens; ++i)
        text += kAlphabet[static_cast<std::size_t>(Below(random, kAlphabet.size()))];
    return text;
}

// A text to look for: often a piece of `text` (so that it is found), else a
// short random one, sometimes empty.
Units RandomSought(Random& random, const Units& text) {
    if (!text.empty() && Below(random, 2) == 0) {
        const std::size_t from = static_cast<std::size_t>(Below(random, text.size()));
        const std::size_t length = static_cast<std::size_t>(1 + Below(random, 3));
        return text.substr(from, length);
    }
    return RandomText(random, 3);
}

// A count, position or width around the edges of a text of `length` units.
std::int32_t RandomInteger(Random& random, std::size_t length) {
    const auto n = static_cast<std::int32_t>(length);
    switch (Below(random, 10)) {
    case 0:
        return kMinInt;
    case 1:
        return kMaxInt;
    case 2:
        return static_cast<std::int32_t>(random());
    case 3:
        return static_cast<std::int32_t>(Below(random, 3)) - 1;
    case 4:
        return n + static_cast<std::int32_t>(Below(random, 3)) - 1;
    default:
        return static_cast<std::int32_t>(Below(random, n + 7)) - 3;
    }
}

std::int32_t RandomMode(Random& random) {
    constexpr std::array<std::int32_t, 6> kModes = {0, 1, 2, 3, -1, kMinInt};
    return Below(random, 4) == 0 ? static_cast<std::int32_t>(random())
                                 : kModes[static_cast<std::size_t>(Below(random, kModes.size()))];
}

// --- The reference: the rules, written out plainly. ---

char16_t Lower(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

// Does `sought` occur whole at 0-based index `at` of `text`?
bool OccursAt(std::u16string_view text, std::u16string_view sought, std::size_t at,
              bool ignoreCase) {
    if (at + sought.size() > text.size()) return false;
    for (std::size_t k = 0; k < sought.size(); ++k) {
        const char16_t a = text[at + k];
        const char16_t b = sought[k];
        if (ignoreCase ? Lower(a) != Lower(b) : a != b) return false;
    }
    return true;
}

Units Slice(std::u16string_view text, std::size_t from, std::size_t to) {
    Units out;
    for (std::size_t i = from; i < to && i < text.size(); ++i)
        out.push_back(text[i]);
    return out;
}

std::int64_t RefFind(std::u16string_view text, std::u16string_view sought, std::int32_t start,
                     std::int32_t mode) {
    if (text.empty() || sought.empty()) return 0;
    std::int64_t from = start;
    if (from < 1) from = 1;
    if (from > static_cast<std::int64_t>(text.size())) from = text.size() + 1;
    for (std::int64_t p = from; p <= static_cast<std::int64_t>(text.size()); ++p)
        if (OccursAt(text, sought, static_cast<std::size_t>(p - 1), (mode & 1) != 0)) return p;
    return 0;
}

std::size_t Clamp(std::int32_t count, std::size_t length) {
    if (count < 0) return 0;
    if (static_cast<std::size_t>(count) > length) return length;
    return static_cast<std::size_t>(count);
}

Units RefLeft(std::u16string_view text, std::int32_t count) {
    return Slice(text, 0, Clamp(count, text.size()));
}

Units RefRight(std::u16string_view text, std::int32_t count) {
    return Slice(text, text.size() - Clamp(count, text.size()), text.size());
}

std::int64_t RefLength(std::u16string_view text) {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        ++n;
    return n;
}

Units RefTrim(std::u16string_view text, std::u16string_view trim) {
    if (trim.empty()) return Units(text);
    std::size_t i = 0;
    while (i < text.size() && text[i] == trim[0])
        ++i;
    return Slice(text, i, text.size());
}

std::int64_t RefCount(std::u16string_view text, std::u16string_view sought) {
    if (text.empty() || sought.empty()) return 0;
    std::int64_t count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (OccursAt(text, sought, i, false)) {
            ++count;
            i += sought.size();
        } else {
            ++i;
        }
    }
    return count;
}

Units RefField(std::u16string_view text, std::int32_t number, std::u16string_view separator) {
    if (number < 1) return {};
    if (separator.empty()) return number == 1 ? Units(text) : Units();
    std::vector<Units> fields;
    std::size_t fieldStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (OccursAt(text, separator, i, false)) {
            fields.push_back(Slice(text, fieldStart, i));
            i += separator.size();
            fieldStart = i;
        } else {
            ++i;
        }
    }
    fields.push_back(Slice(text, fieldStart, text.size()));
    if (static_cast<std::size_t>(number) > fields.size()) return {};
    return fields[static_cast<std::size_t>(number) - 1];
}

// RemoveText is ReplaceText with an empty replacement; both in one pass.
Units RefReplace(std::u16string_view text, std::u16string_view sought,
                 std::u16string_view replacement, std::int32_t mode, std::int32_t start) {
    if (text.empty()) return {};
    if (sought.empty()) return Units(text);
    std::int64_t from = start < 1 ? 1 : start;
    Units out;
    std::size_t i = 0;
    while (i < text.size() && static_cast<std::int64_t>(i) < from - 1)
        out.push_back(text[i++]);
    while (i < text.size()) {
        if (OccursAt(text, sought, i, (mode & 1) != 0)) {
            out += replacement;
            i += sought.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

Units RefPad(std::u16string_view text, std::int32_t width, std::u16string_view pad) {
    const std::size_t total = width < 0 ? 0 : static_cast<std::size_t>(width);
    const char16_t padUnit = pad.empty() ? 0 : pad[0];
    const std::size_t kept = text.size() < total ? text.size() : total;
    Units out;
    for (std::size_t i = 0; i < total - kept; ++i) {
        if (padUnit == 0) return out; // a unit 0 ends the text
        out.push_back(padUnit);
    }
    for (std::size_t i = 0; i < kept; ++i)
        out.push_back(text[i]);
    return out;
}

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

Units RefDirectory(std::u16string_view path) {
    if (path.empty()) return {};
    const std::size_t begin = path[0] == u'"' ? 1 : 0;
    std::size_t end = 0;
    bool met = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == u'|') break;
        if (IsSeparator(path[i])) {
            end = i + 1;
            met = true;
        }
    }
    if (!met) return {};
    return Slice(path, begin, end);
}

Units RefFileName(std::u16string_view path, std::int32_t flags) {
    if (path.empty()) return {};
    std::size_t begin = path[0] == u'"' ? 1 : 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (IsSeparator(path[i])) begin = i + 1;
    std::size_t end = path.size();
    for (std::size_t i = begin; i < path.size(); ++i) {
        if (path[i] == u'"') {
            end = i;
            break;
        }
    }
    Units name = Slice(path, begin, end);
    if ((flags & 1) != 0) {
        for (std::size_t i = name.size(); i >= 2; --i) {
            const char16_t c = name[i - 1];
            if (c == u' ') break;
            if (c == u'.') {
                if (i < name.size()) name = Slice(name, 0, i - 1);
                break;
            }
        }
    }
    return name;
}

int DigitIn(char16_t c, int base) {
    int digit = 99;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    return digit < base ? digit : -1;
}

std::int64_t RefParse(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == u'-') {
        negative = true;
        ++i;
    } else if (i < text.size() && text[i] == u'+') {
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == u'%') {
        base = 2;
        ++i;
    }
    std::uint64_t value = 0; // wraps modulo 2^64
    while (i < text.size() && DigitIn(text[i], base) >= 0) {
        value = value * static_cast<std::uint64_t>(base) +
                static_cast<std::uint64_t>(DigitIn(text[i], base));
        ++i;
    }
    if (negative) value = ~value + 1;
    return static_cast<std::int64_t>(value);
}

Units RefIntegerText(std::int64_t value) {
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) magnitude = ~magnitude + 1;
    Units digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits.insert(digits.begin(), u'-');
    return digits;
}

Units RefFormat(double value, std::int32_t decimals, std::u16string_view mark,
                std::u16string_view separator) {
    if (std::isnan(value)) return u"NaN";
    if (std::isinf(value)) return value > 0 ? u"+Infinity" : u"-Infinity";
    int places = decimals;
    if (places < 0) places = 0;
    if (places > 512) places = 512;
    if (value == 0) value = 0.0;
    std::vector<char> buffer(2048);
    std::snprintf(buffer.data(), buffer.size(), "%.*f", places, value);
    const std::string converted = buffer.data();

    std::size_t i = 0;
    Units out;
    if (converted[i] == '-') {
        out.push_back(u'-');
        ++i;
    }
    std::string integerDigits;
    while (i < converted.size() && converted[i] != '.')
        integerDigits.push_back(converted[i++]);
    for (std::size_t k = 0; k < integerDigits.size(); ++k) {
        const std::size_t left = integerDigits.size() - k; // digits from here to the point
        if (k > 0 && left % 3 == 0) out += separator;
        out.push_back(static_cast<char16_t>(integerDigits[k]));
    }
    if (places > 0) {
        out += mark;
        for (std::size_t k = i + 1; k < converted.size(); ++k)
            out.push_back(static_cast<char16_t>(converted[k]));
    }
    return out;
}

// --- The comparisons. ---

// Counts failures of one operation and stops it after a few reports.
struct Failures {
    int count = 0;
    bool Enough() const { return count >= kReportedFailures; }
};

template <typename Actual, typename Expected>
void Compare(Failures& failures, const Actual& actual, const Expected& expected,
             const std::string& input) {
    if (actual == expected) return;
    ++failures.count;
    ADD_FAILURE() << input;
}

std::u16string_view View(const Text& text) {
    return text.view();
}

TEST(TextProperties, FindText) {
    Random random(101);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units sought = RandomSought(random, text);
        const std::int32_t start = RandomInteger(random, text.size());
        const std::int32_t mode = RandomMode(random);
        const std::int64_t expected = RefFind(text, sought, start, mode);
        Compare(failures, FindText(text, sought, start, mode), expected,
                "FindText(" + Show(text) + ", " + Show(sought) + ", " + std::to_string(start) +
                    ", " + std::to_string(mode) + ") should be " + std::to_string(expected));
        if (start == 1 && mode == 0) Compare(failures, FindText(text, sought), expected, "default");
    }
}

TEST(TextProperties, LeftRightAndLength) {
    Random random(102);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const std::int32_t count = RandomInteger(random, text.size());
        const std::string input = Show(text) + ", " + std::to_string(count);
        Compare(failures, View(LeftPart(text, count)), RefLeft(text, count), "LeftPart " + input);
        Compare(failures, View(RightPart(text, count)), RefRight(text, count),
                "RightPart " + input);
        Compare(failures, TextLength(text), RefLength(text), "TextLength " + input);
    }
}

TEST(TextProperties, TrimLeading) {
    Random random(103);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units trim = RandomText(random, 3);
        Compare(failures, View(TrimLeading(text, trim)), RefTrim(text, trim),
                "TrimLeading(" + Show(text) + ", " + Show(trim) + ")");
        Compare(failures, View(TrimLeading(text)), RefTrim(text, u" "),
                "TrimLeading(" + Show(text) + ")");
    }
}

TEST(TextProperties, CountText) {
    Random random(104);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units sought = RandomSought(random, text);
        Compare(failures, CountText(text, sought), RefCount(text, sought),
                "CountText(" + Show(text) + ", " + Show(sought) + ")");
    }
}

TEST(TextProperties, FieldAt) {
    Random random(105);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units separator = Below(random, 3) == 0 ? RandomSought(random, text)
                                                      : Units(1, u" .,\\|"[Below(random, 5)]);
        // Field numbers around the number of fields, and the extremes.
        const std::int32_t number = RandomInteger(random, RefCount(text, separator) + 1);
        Compare(failures, View(FieldAt(text, number, separator)), RefField(text, number, separator),
                "FieldAt(" + Show(text) + ", " + std::to_string(number) + ", " + Show(separator) +
                    ")");
    }
}

TEST(TextProperties, RemoveAndReplaceText) {
    Random random(106);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units sought = RandomSought(random, text);
        const Units replacement = Below(random, 4) == 0 ? sought + sought : RandomText(random, 4);
        const std::int32_t mode = RandomMode(random);
        const std::int32_t start = RandomInteger(random, text.size());
        const std::string input = Show(text) + ", " + Show(sought) + ", mode " +
                                  std::to_string(mode) + ", start " + std::to_string(start);
        Compare(failures, View(RemoveText(text, sought, mode, start)),
                RefReplace(text, sought, u"", mode, start), "RemoveText " + input);
        Compare(failures, View(ReplaceText(text, sought, replacement, mode, start)),
                RefReplace(text, sought, replacement, mode, start),
                "ReplaceText " + input + " by " + Show(replacement));
        Compare(failures, View(RemoveText(text, sought)), RefReplace(text, sought, u"", 0, 1),
                "RemoveText short " + input);
        Compare(failures, View(ReplaceText(text, sought, replacement)),
                RefReplace(text, sought, replacement, 0, 1),
                "ReplaceText short " + input + " by " + Show(replacement));
    }
}

TEST(TextProperties, PadLeft) {
    Random random(107);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = RandomText(random);
        const Units pad = Below(random, 3) == 0 ? Units() : RandomText(random, 3);
        std::int32_t width = RandomInteger(random, text.size());
        // A width of two thousand million units is a text of 4 GB: only
        // where nothing needs padding or the pad is empty.
        if (width > 100000 && !pad.empty()) width = static_cast<std::int32_t>(Below(random, 20));
        const std::string input = Show(text) + ", " + std::to_string(width);
        Compare(failures, View(PadLeft(text, width, pad)), RefPad(text, width, pad),
                "PadLeft " + input + ", " + Show(pad));
        if (width <= 100000)
            Compare(failures, View(PadLeft(text, width)), RefPad(text, width, u" "),
                    "PadLeft " + input);
    }
}

TEST(TextProperties, DirectoryAndFileNamePart) {
    Random random(108);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        Units path = RandomText(random, 16);
        if (Below(random, 4) == 0) path = u"\"" + path; // quoted paths
        const std::int32_t flags = RandomMode(random);
        Compare(failures, View(DirectoryPart(path)), RefDirectory(path),
                "DirectoryPart(" + Show(path) + ")");
        Compare(failures, View(FileNamePart(path, flags)), RefFileName(path, flags),
                "FileNamePart(" + Show(path) + ", " + std::to_string(flags) + ")");
        Compare(failures, View(FileNamePart(path)), RefFileName(path, 0),
                "FileNamePart(" + Show(path) + ")");
    }
}

// Digits are more likely than elsewhere, and long runs overflow.
Units RandomNumberText(Random& random) {
    static constexpr std::array<std::u16string_view, 16> kHeads = {
        u"",   u" ",  u"\t", u" \t ", u"-",  u"+",  u"$",   u"%",
        u"-$", u"+%", u"--", u"+-",   u"- ", u"$-", u" -%", u"KB"};
    Units text(kHeads[static_cast<std::size_t>(Below(random, kHeads.size()))]);
    const std::int64_t digits = Below(random, 4) == 0 ? Below(random, 70) : Below(random, 22);
    static constexpr std::u16string_view kDigits = u"0123456789abcdefABCDEF01";
    for (std::int64_t i = 0; i < digits; ++i)
        text.push_back(kDigits[static_cast<std::size_t>(Below(random, kDigits.size()))]);
    return text + RandomText(random, 4);
}

TEST(NumberProperties, ParseInteger) {
    Random random(201);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const Units text = Below(random, 3) == 0 ? RandomText(random) : RandomNumberText(random);
        Compare(failures, ParseInteger(text), RefParse(text), "ParseInteger(" + Show(text) + ")");
    }
}

std::int64_t RandomInt64(Random& random) {
    constexpr std::array<std::int64_t, 6> kEdges = {0,
                                                    1,
                                                    -1,
                                                    std::numeric_limits<std::int64_t>::min(),
                                                    std::numeric_limits<std::int64_t>::max(),
                                                    999};
    switch (Below(random, 4)) {
    case 0:
        return kEdges[static_cast<std::size_t>(Below(random, kEdges.size()))];
    case 1: // any number of digits
        return static_cast<std::int64_t>(random() >> Below(random, 64));
    case 2:
        return -static_cast<std::int64_t>(random() >> (1 + Below(random, 63)));
    default:
        return static_cast<std::int64_t>(random());
    }
}

TEST(NumberProperties, IntegerToTextAndBack) {
    Random random(202);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const std::int64_t value = RandomInt64(random);
        const Text text = IntegerToText(value);
        Compare(failures, text.view(), RefIntegerText(value),
                "IntegerToText(" + std::to_string(value) + ")");
        Compare(failures, ParseInteger(text), value, "ParseInteger of " + Show(text));
    }
}

double RandomDouble(Random& random) {
    switch (Below(random, 8)) {
    case 0: // any bit pattern: NaNs, infinities, subnormals, huge values
        return std::bit_cast<double>(random());
    case 1:
        return static_cast<double>(RandomInt64(random));
    case 2: // whole numbers as the loader passes them
        return static_cast<double>(static_cast<std::int64_t>(random() >> Below(random, 64)));
    case 3: // halves and quarters, where rounding decides
        return static_cast<double>(static_cast<std::int64_t>(Below(random, 2000000)) - 1000000) /
               4.0;
    case 4:
        return (static_cast<double>(random() >> 11) / 9007199254740992.0 - 0.5) *
               std::pow(10.0, static_cast<double>(Below(random, 40) - 20));
    case 5: {
        constexpr std::array<double, 8> kSpecial = {0.0,
                                                    -0.0,
                                                    std::numeric_limits<double>::infinity(),
                                                    -std::numeric_limits<double>::infinity(),
                                                    std::numeric_limits<double>::quiet_NaN(),
                                                    std::numeric_limits<double>::max(),
                                                    -std::numeric_limits<double>::denorm_min(),
                                                    999.995};
        return kSpecial[static_cast<std::size_t>(Below(random, kSpecial.size()))];
    }
    default:
        return static_cast<double>(static_cast<std::int64_t>(Below(random, 20000000)) - 10000000) /
               1000.0;
    }
}

std::int32_t RandomDecimals(Random& random) {
    constexpr std::array<std::int32_t, 8> kEdges = {kMinInt, kMaxInt, -3, -1, 511, 512, 513, 600};
    if (Below(random, 4) == 0)
        return kEdges[static_cast<std::size_t>(Below(random, kEdges.size()))];
    return static_cast<std::int32_t>(Below(random, 21));
}

TEST(NumberProperties, FormatDecimal) {
    // The reference converts with printf, whose decimal point follows the
    // locale: make sure it is the C locale's.
    std::setlocale(LC_NUMERIC, "C");
    Random random(203);
    Failures failures;
    for (int i = 0; i < kCases && !failures.Enough(); ++i) {
        const double value = RandomDouble(random);
        const std::int32_t decimals = RandomDecimals(random);
        const Units mark = Below(random, 4) == 0 ? RandomText(random, 3) : Units(u",");
        const Units separator = Below(random, 4) == 0 ? RandomText(random, 3) : Units(u".");
        char shown[64];
        std::snprintf(shown, sizeof shown, "%.17g", value);
        const std::string input = std::string(shown) + ", " + std::to_string(decimals) + ", " +
                                  Show(mark) + ", " + Show(separator);
        Compare(failures, View(FormatDecimal(value, decimals, mark, separator)),
                RefFormat(value, decimals, mark, separator), "FormatDecimal " + input);
        Compare(failures, View(FormatDecimal(value)), RefFormat(value, 2, u".", u","),
                "FormatDecimal default " + input);
    }
}

} // namespace
} // namespace qk
