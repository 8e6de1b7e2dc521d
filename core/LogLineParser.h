// The duplicate log line format: one line names a document file by its path
// and is followed by the size, date, time and user tokens, separated by
// blanks.
//
//   D:\Daten\Bauteile\halter.par   1.234,5KB  16.09.2018 07:36 cad01
//
// The extension (".par", ".psm", ".dft" or ".asm") ends the file name, which
// keeps the one character after it. The size becomes a byte count grouped by
// "." and right-aligned to 13 characters, the date year.month.day, so both
// sort as text.
#pragma once

#include "core/DuplicateRecord.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qk {

// The pieces of an accepted line before they become texts. The views point
// into the line; the size is formatted into `size`.
struct LogLineParts {
    std::u16string_view path;
    std::u16string_view name;
    std::u16string_view year, month, day;
    std::u16string_view dateToken; // the date as logged: day.month.year
    std::u16string_view time;
    std::u16string_view user;
    // The formatted size, right-aligned to 13 characters when shorter. A
    // 64-bit count grouped by "." needs at most 26 units.
    static constexpr std::size_t kSizeCapacity = 32;
    char16_t size[kSizeCapacity];
    std::size_t sizeLength;

    std::u16string_view SizeView() const { return {size, sizeLength}; }
};

// The extensions of the document files a log names.
constexpr std::array<std::u16string_view, 4> kDocumentExtensions = {u".par", u".psm", u".dft",
                                                                    u".asm"};

// The width to which sizes are right-aligned.
constexpr std::size_t kSizeWidth = 13;

// Takes one line apart. Returns false, leaving `parts` unspecified, when the
// line is not a log record (no extension, or no "\" or "/" before the first
// "|"). Linear in the length of the line.
bool SplitLogLine(std::u16string_view line, LogLineParts& parts);

// Whether a line is a log record, decided on its UTF-8 bytes as
// SplitLogLine decides on its units: every unit that decides is ASCII,
// which decoding leaves as it is.
bool IsLogRecordLine(std::string_view line);

// The record of one log line, or nothing when the line is not a log record.
std::optional<DuplicateRecord> ParseLogLine(std::u16string_view line);

// The one date format of a record: year "." month "." day, appended to
// `out`; MakeDateText makes a text of it.
void AppendDate(std::u16string& out, const LogLineParts& parts);
Text MakeDateText(const LogLineParts& parts);

} // namespace qk
