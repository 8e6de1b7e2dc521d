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

// The one case fold of every comparison that ignores letter case (finding
// and sorting): simple one-unit lower-casing of ASCII, Latin-1, Latin
// Extended-A (U+0130 folds to "i"), basic Greek and basic Cyrillic. Every
// other unit stays as it is.
constexpr char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 32);
    if (c < 0x100) return c;
    if (c < 0x180) {
        if (c == 0x130) return u'i';
        if (c == 0x178) return 0xFF;
        const bool evenUpper = (c < 0x138) || (c >= 0x14A && c < 0x178);
        const bool oddUpper = (c >= 0x139 && c < 0x149) || (c >= 0x179 && c < 0x17F);
        if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
            return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    return c;
}

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
