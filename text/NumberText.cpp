#include "text/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace qk {

namespace {

constexpr std::int32_t kMostDecimals = 512;
// Sign, the 309 integer digits of the largest double, the point and the
// decimals, with room to spare.
constexpr std::size_t kConversionBufferSize = 1024;
constexpr std::size_t kGroupSize = 3;

// Value of `unit` as a digit in `base`, or -1.
int DigitValue(char16_t unit, unsigned base) {
    int digit = -1;
    if (unit >= u'0' && unit <= u'9')
        digit = unit - u'0';
    else if (unit >= u'a' && unit <= u'f')
        digit = unit - u'a' + 10;
    else if (unit >= u'A' && unit <= u'F')
        digit = unit - u'A' + 10;
    return digit >= 0 && static_cast<unsigned>(digit) < base ? digit : -1;
}

Text FromAscii(std::string_view ascii) {
    char16_t* out = nullptr;
    Text text = Text::Allocate(ascii.size(), out);
    if (out) std::copy(ascii.begin(), ascii.end(), out);
    return text;
}

char16_t* CopyUnits(char16_t* out, std::u16string_view units) {
    if (!units.empty()) std::memcpy(out, units.data(), units.size() * sizeof(char16_t));
    return out + units.size();
}

} // namespace

std::int64_t ParseInteger(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == u'%') {
        base = 2;
        ++i;
    }
    // Unsigned arithmetic wraps modulo 2^64, as overflow is meant to.
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) break;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (negative) value = 0 - value;
    return static_cast<std::int64_t>(value);
}

Text IntegerToText(std::int64_t value) {
    char buffer[24];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)error; // 20 characters always suffice
    return FromAscii(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

Text FormatDecimal(double value, std::int32_t decimals, std::u16string_view mark,
                   std::u16string_view separator) {
    if (std::isnan(value)) return Text(u"NaN");
    if (std::isinf(value)) return Text(value > 0 ? u"+Infinity" : u"-Infinity");
    const std::int32_t places = std::clamp(decimals, 0, kMostDecimals);
    if (value == 0) value = 0.0; // no minus sign on a negative zero

    // The fixed-point conversion of printf's "%.*f" in the C locale; unlike
    // printf it does not follow the process locale's decimal point.
    char buffer[kConversionBufferSize];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, places);
    if (error != std::errc()) return Text();
    const std::string_view converted(buffer, static_cast<std::size_t>(end - buffer));

    const bool negative = converted.front() == '-';
    const std::string_view number = converted.substr(negative ? 1 : 0);
    const std::size_t point = std::min(number.find('.'), number.size());
    const std::string_view integerDigits = number.substr(0, point);
    const std::string_view fraction = places > 0 ? number.substr(point + 1) : std::string_view();

    const std::size_t separators = (integerDigits.size() - 1) / kGroupSize;
    std::size_t length = (negative ? 1 : 0) + integerDigits.size() + separators * separator.size();
    if (places > 0) length += mark.size() + fraction.size();

    char16_t* out = nullptr;
    Text result = Text::Allocate(length, out);
    if (!out) return result;
    if (negative) *out++ = u'-';
    // The first group holds 1 to 3 digits, every further group 3.
    std::size_t groupLeft = (integerDigits.size() - 1) % kGroupSize + 1;
    for (std::size_t i = 0; i < integerDigits.size(); ++i) {
        if (groupLeft == 0) {
            out = CopyUnits(out, separator);
            groupLeft = kGroupSize;
        }
        *out++ = static_cast<char16_t>(integerDigits[i]);
        --groupLeft;
    }
    if (places > 0) {
        out = CopyUnits(out, mark);
        for (const char digit : fraction)
            *out++ = static_cast<char16_t>(digit);
    }
    return result;
}

} // namespace qk
