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
#include <cstdint>
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
    std::int64_t sizeCount; // the byte count `size` is formatted from

    std::u16string_view SizeView() const { return {size, sizeLength}; }
};

// The extensions of the document files a log names.
constexpr std::array<std::u16string_view, 4> kDocumentExtensions = {u".par", u".psm", u".dft",
                                                                    u".asm"};

// The width to which sizes are right-aligned.
constexpr std::size_t kSizeWidth = 13;

// Formats `count` grouped by "." in threes into `size`, right-aligned to the
// size width when shorter; a longer text is kept whole. Counts beyond 2^53
// are formatted from their nearest double.
void FormatSize(std::int64_t count, char16_t (&size)[LogLineParts::kSizeCapacity],
                std::size_t& sizeLength);

// Takes one line apart. Returns false, leaving `parts` unspecified, when the
// line is not a log record (no extension, or no "\" or "/" before the first
// "|"). Linear in the length of the line.
bool SplitLogLine(std::u16string_view line, LogLineParts& parts);

// The pieces of a line taken apart on its UTF-8 bytes: views into the bytes,
// each of which decodes to the very piece SplitLogLine finds in the decoded
// line (every piece is cut at ASCII bytes or the line's ends); the size's
// byte count as there.
struct LogLineBytes {
    std::string_view path;
    std::string_view name;
    std::string_view year, month, day;
    std::string_view dateToken;
    std::string_view time;
    std::string_view user;
    std::int64_t sizeCount; // the byte count, which FormatSize makes the size of
};

enum class ByteSplit { Record, NoRecord, NeedsUnits };

// Where the bytes that decide the split stand in a line of at most
// kMaskedBytes bytes: one bit per byte, bit i of word i / 64 for byte i,
// no bit set past the line's end.
constexpr std::size_t kMaskedBytes = 256;
constexpr std::size_t kMaskWords = kMaskedBytes / 64;
struct LineMasks {
    std::uint64_t separators[kMaskWords]; // "\\" or "/"
    std::uint64_t dots[kMaskWords];
    std::uint64_t bars[kMaskWords];
    std::uint64_t blanks[kMaskWords];
};

// SplitLogLineBytes for a line of at most kMaskedBytes bytes whose masks
// were found beforehand.
ByteSplit SplitMaskedLine(std::string_view line, const LineMasks& masks, LogLineBytes& parts);

// Takes one line apart on its UTF-8 bytes as SplitLogLine does on its
// units: Record or NoRecord as SplitLogLine decides, or NeedsUnits when the
// bytes cannot tell where a piece ends (a character that is not ASCII right
// after the extension, where the name keeps one unit of it, or in the size
// token): the line must then be decoded and split by SplitLogLine.
ByteSplit SplitLogLineBytes(std::string_view line, LogLineBytes& parts);

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
