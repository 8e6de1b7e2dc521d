// The log line format's steps written out one by one with the text
// primitives, slow and literal, for the tests and the fuzzer to hold the fast
// parser against.
#pragma once

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "text/NumberText.h"
#include "text/Text.h"
#include "text/TextPrimitives.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qk {

// The format's steps with the text primitives; sizes scaled in 64 bits and
// kept whole when longer than the width, as the loader keeps them.
inline std::optional<DuplicateRecord> StepByStepParse(const Text& line) {
    const Text path = DirectoryPart(line);
    std::int64_t pos = 0;
    for (const char16_t* extension : {u".par", u".psm", u".dft", u".asm"}) {
        const std::int64_t p = FindText(line, extension);
        if (p > 0) pos = p;
    }
    if (pos <= 0 || TextLength(path) == 0) return std::nullopt;
    const Text name = FileNamePart(LeftPart(line, static_cast<std::int32_t>(pos + 4)));
    std::u16string rest(
        TrimLeading(RightPart(line, static_cast<std::int32_t>(TextLength(line) - pos - 4))).view());
    rest += u' ';
    std::u16string tokens;
    const std::int64_t count = CountText(rest, u" ");
    for (std::int64_t i = 1; i <= count; ++i) {
        const Text field = FieldAt(rest, static_cast<std::int32_t>(i), u" ");
        if (TextLength(field) > 0) tokens += std::u16string(field.view()) + u' ';
    }
    Text s = FieldAt(tokens, 1, u" ");
    s = RemoveText(s, u".");
    s = ReplaceText(s, u",", u".");
    if (FindText(s, u"KB") != 0)
        s = IntegerToText(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(ParseInteger(s)) * 1024u));
    if (FindText(s, u"MB") != 0)
        s = IntegerToText(
            static_cast<std::int64_t>(static_cast<std::uint64_t>(ParseInteger(s)) * 1048576u));
    s = FormatDecimal(static_cast<double>(ParseInteger(s)), 0, u",", u".");
    if (TextLength(s) < static_cast<std::int64_t>(kSizeWidth))
        s = PadLeft(s, static_cast<std::int32_t>(kSizeWidth));
    std::u16string d(FieldAt(tokens, 2, u" ").view());
    d += u'.';
    std::u16string date(FieldAt(d, 3, u".").view());
    date += u'.';
    date += FieldAt(d, 2, u".").view();
    date += u'.';
    date += FieldAt(d, 1, u".").view();
    return DuplicateRecord{
        path, name, s, Text(date), FieldAt(tokens, 3, u" "), FieldAt(tokens, 4, u" "), Text(u"1")};
}

} // namespace qk
