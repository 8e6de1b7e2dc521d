// The text operations with which log lines are taken apart and records are
// searched. Every operation takes texts by view (an absent text is the empty
// view), never changes its arguments and keeps no state. Positions are 1-based
// and count UTF-16 code units; integer arguments are 32-bit, so a wider value
// is reduced to its low 32 bits; results are 64-bit.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <string_view>

namespace qk {

// Bit 0 of a mode argument: compare ignoring letter case.
constexpr std::int32_t kIgnoreCase = 1;

// 1-based position of the first occurrence of `sought` at or after `start`,
// counted from the beginning of `text`; 0 when absent or when either is empty.
std::int64_t FindText(std::u16string_view text, std::u16string_view sought, std::int32_t start = 1,
                      std::int32_t mode = 0);
// The first / last `count` units, with count clamped to 0..length.
Text LeftPart(std::u16string_view text, std::int32_t count);
Text RightPart(std::u16string_view text, std::int32_t count);
std::int64_t TextLength(std::u16string_view text);
// Drops the leading run of one character: a blank, or the first unit of
// `trim`; an empty `trim` removes nothing.
Text TrimLeading(std::u16string_view text);
Text TrimLeading(std::u16string_view text, std::u16string_view trim);
// Non-overlapping occurrences, scanning from the left.
std::int64_t CountText(std::u16string_view text, std::u16string_view sought);
// Field `number` (from 1) of `text` split at `separator`.
Text FieldAt(std::u16string_view text, std::int32_t number, std::u16string_view separator);
Text RemoveText(std::u16string_view text, std::u16string_view sought, std::int32_t mode = 0,
                std::int32_t start = 1);
Text ReplaceText(std::u16string_view text, std::u16string_view sought,
                 std::u16string_view replacement, std::int32_t mode = 0, std::int32_t start = 1);
// Right-aligns in exactly `width` units, cutting a longer text at the right.
// The pad character is a blank, or the first unit of `pad`; an empty `pad`
// supplies the unit 0, which ends the text wherever padding is needed.
Text PadLeft(std::u16string_view text, std::int32_t width);
Text PadLeft(std::u16string_view text, std::int32_t width, std::u16string_view pad);
// Everything up to and including the last "\" or "/" before the first "|";
// a leading double quote is skipped.
Text DirectoryPart(std::u16string_view path);
// What follows the last "\" or "/", up to a double quote. Flags bit 0 cuts
// the extension.
constexpr std::int32_t kWithoutExtension = 1;
Text FileNamePart(std::u16string_view path, std::int32_t flags = 0);

} // namespace qk
