// Conversions between numbers and texts. None of them fails: text without a
// number reads as 0, overflow wraps, special floating-point values have fixed
// texts.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <string_view>

namespace qk {

// Reads the number at the start of `text` after blanks and tabs: an optional
// sign, then "$" hexadecimal, "%" binary or decimal digits, wrapping modulo
// 2^64. Anything after the digits is ignored; no digit gives 0.
std::int64_t ParseInteger(std::u16string_view text);
// Plain decimal, "-" for negative values, no grouping.
Text IntegerToText(std::int64_t value);
// Fixed-point text with `decimals` (clamped to 0..512) digits after `mark`,
// the integer digits grouped in threes by `separator`. An absent mark or
// separator is passed as the empty view.
Text FormatDecimal(double value, std::int32_t decimals = 2, std::u16string_view mark = u".",
                   std::u16string_view separator = u",");

} // namespace qk
