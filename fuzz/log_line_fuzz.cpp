// The log line parser on any line: the input's bytes are taken as UTF-16
// code units (native byte order), so every unit value, unpaired surrogates
// included, reaches the parser.
//
// Checks every accepted line: a non-empty path ending in "\" or "/", a size of
// at least 13 units, shown "1", ParseLogLine agreeing with SplitLogLine, and
// (for lines short enough) both agreeing with the format's steps written out
// one by one with the text primitives.
#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/StepByStepParse.h"
#include "text/NumberText.h"
#include "text/Text.h"
#include "text/TextPrimitives.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace qk {
namespace {

// The steps take apart fields one by one, each a scan of the whole line;
// longer lines are left to the fast parser's own checks.
constexpr std::size_t kLongestStepByStepLine = 600;

std::string Describe(std::u16string_view line, std::u16string_view got, std::u16string_view want) {
    return "line: \"" + fuzz::Escaped(line) + "\"\ngot:  \"" + fuzz::Escaped(got) + "\"\nwant: \"" +
           fuzz::Escaped(want) + "\"";
}

void CheckLine(std::u16string_view line) {
    LogLineParts parts;
    const bool split = SplitLogLine(line, parts);
    const std::optional<DuplicateRecord> record = ParseLogLine(line);
    QK_REQUIRE(split == record.has_value(), Describe(line, u"", u""));

    if (record) {
        const std::u16string_view path = record->path;
        QK_REQUIRE(!path.empty() && (path.back() == u'\\' || path.back() == u'/'),
                   Describe(line, path, u"a path ending in a separator"));
        QK_REQUIRE(record->size.size() >= kSizeWidth,
                   Describe(line, record->size, u"at least 13 units"));
        QK_REQUIRE(record->shown == u"1", Describe(line, record->shown, u"1"));

        QK_REQUIRE(record->path == parts.path, Describe(line, record->path, parts.path));
        QK_REQUIRE(record->name == parts.name, Describe(line, record->name, parts.name));
        QK_REQUIRE(record->size == parts.SizeView(),
                   Describe(line, record->size, parts.SizeView()));
        const Text date = MakeDateText(parts);
        QK_REQUIRE(record->date == date, Describe(line, record->date, date));
        QK_REQUIRE(record->time == parts.time, Describe(line, record->time, parts.time));
        QK_REQUIRE(record->user == parts.user, Describe(line, record->user, parts.user));
    }

    if (line.size() > kLongestStepByStepLine) return;
    const std::optional<DuplicateRecord> expected = StepByStepParse(Text(line));
    QK_REQUIRE(
        record.has_value() == expected.has_value(),
        Describe(line, record ? u"accepted" : u"rejected", expected ? u"accepted" : u"rejected"));
    if (!record) return;
    QK_REQUIRE(record->path == expected->path, Describe(line, record->path, expected->path));
    QK_REQUIRE(record->name == expected->name, Describe(line, record->name, expected->name));
    QK_REQUIRE(record->size == expected->size, Describe(line, record->size, expected->size));
    QK_REQUIRE(record->date == expected->date, Describe(line, record->date, expected->date));
    QK_REQUIRE(record->time == expected->time, Describe(line, record->time, expected->time));
    QK_REQUIRE(record->user == expected->user, Describe(line, record->user, expected->user));
}

} // namespace
} // namespace qk

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line(size / sizeof(char16_t), u'\0');
    std::memcpy(line.data(), data, line.size() * sizeof(char16_t));
    qk::CheckLine(line);
    return 0;
}
