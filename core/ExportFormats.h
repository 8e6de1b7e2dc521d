// The formats a record list is written in, by quellkamp-list and by the
// viewer's export: JSON Lines (one object per record, keys path, name, size,
// date, time, user), CSV of the stored texts (a heading line, then one line
// per record, CR LF line ends, fields quoted only when they hold a comma, a
// quotation mark or a line end), and the spreadsheet CSV the viewer exports
// (the same layout after a byte-order mark, with the size as a plain
// integer, the date as year-month-day, the file's own name, and every cell a
// spreadsheet would take for a formula made plain text).
#pragma once

#include "core/DuplicateRecord.h"
#include "text/FileLayer.h"
#include "text/Text.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qk {

struct RecordTable;

enum class ExportFormat { JsonLines, Csv, SpreadsheetCsv };

// The UTF-8 byte-order mark before the spreadsheet CSV, so that spreadsheet
// programs read the umlauts right.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The file's own name: the logged name without the one character that
// followed its document extension (a blank, as a rule).
std::u16string_view FileNameOf(std::u16string_view name);
// The size without its blanks and "." groups: 1263616 for "    1.263.616".
std::u16string SizeAsInteger(std::u16string_view size);
// A date year.month.day of a four-digit year, a month and a day in range as
// year-month-day (2018-09-16); any other date as it stands.
std::u16string DateAsIso(std::u16string_view date);

// Whether a spreadsheet would compute a cell, or strip what starts it: its
// first character after any leading blanks is one of = + - @, a tab or a
// carriage return; a plain negative integer ("-12", " -12") is a number.
bool SpreadsheetReadsAsFormula(std::u16string_view cell);
// Appends `cell` as a field of the spreadsheet CSV: a cell a spreadsheet
// would compute gets a single quote in front and quotation marks around it,
// so that it stays text; a field with a comma, a quotation mark or a line
// end is quoted, its quotation marks doubled.
void AppendSpreadsheetCell(std::string& out, std::u16string_view cell);

// Appends the heading line of the format (nothing for JSON Lines; the
// byte-order mark first for the spreadsheet CSV).
void AppendHeadingLine(std::string& out, ExportFormat format);
// The six visible fields of a record, by RecordField.
using RecordFieldViews = std::array<std::u16string_view, kVisibleFieldCount>;

// Appends the line of one record.
void AppendRecordLine(std::string& out, const DuplicateRecord& record, ExportFormat format);
void AppendRecordLine(std::string& out, const RecordFieldViews& fields, ExportFormat format);
// Appends the value of one field as the line of `format` writes it: a JSON
// string, a CSV cell, or the spreadsheet's form of the field.
void AppendFieldValue(std::string& out, RecordField field, std::u16string_view value,
                      ExportFormat format);

// One cell of a CSV line of `format` (Csv or SpreadsheetCsv): quoted when it
// needs to be, and in the spreadsheet CSV made plain text where a
// spreadsheet would compute it, as every cell of the record export is.
void AppendCsvCell(std::string& out, std::u16string_view cell, ExportFormat format);
// `text` as a JSON string, as the record lines write their fields.
void AppendJsonText(std::string& out, std::u16string_view text);

// `utf8` made safe to show on a terminal, so that no text from a log can
// drive it: every control character but tab, line feed and the CR of a CR LF
// becomes a visible stand-in (U+2400 and on for C0, U+2421 for DEL, U+FFFD
// for the C1 controls U+0080 to U+009F); all else stays as it is.
std::string ForTerminal(std::string_view utf8);

// Writes the heading line and the line of every record that `each` hands
// to its callback (each(print) calls print(record) in order) through
// `write(std::string_view)` in chunks of some 64 KiB, each ending with a
// whole line. Returns false as soon as `write` does.
template <typename Each, typename Write>
bool WriteRecords(ExportFormat format, Each each, Write write) {
    constexpr std::size_t kChunk = 1 << 16;
    std::string out;
    out.reserve(kChunk + 1024);
    AppendHeadingLine(out, format);
    bool written = true;
    each([&](const DuplicateRecord& record) {
        if (!written) return;
        AppendRecordLine(out, record, format);
        if (out.size() >= kChunk) {
            written = write(std::string_view(out));
            out.clear();
        }
    });
    return written && (out.empty() || write(std::string_view(out)));
}

// Asked now and then while an export writes, with the records written and
// the records to write; false stops the export.
using ExportProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Writes the heading line and the lines of the records of `table` at the
// storage indices `rows`, in that order: the same bytes as AppendRecordLine
// of RecordAt for each, but written straight from the table's stored texts
// and byte counts. The bytes go through `write`, always on the calling
// thread and in order, in chunks of at most about 1 MiB, each ending with a
// whole line. With `progress`, that is asked before every 2048th record;
// without, a second thread may format lines meanwhile. Returns false as soon
// as `write` or `progress` does.
bool WriteTableRecords(const RecordTable& table, const std::vector<std::uint32_t>& rows,
                       ExportFormat format, const std::function<bool(std::string_view)>& write,
                       const ExportProgress& progress = nullptr);

// What an export came to: `failed` with the reason the file layer gave
// (LastFileError and FileErrorNumber of the call that failed); `cancelled`
// when the progress said stop (nothing is reported then).
struct ExportOutcome {
    bool failed = false;
    FileError error = FileError::Other;
    long errorNumber = 0;
    bool cancelled = false;
};

// Where bytes of an export go: false once they could not be written.
using ByteWriter = std::function<bool(std::string_view)>;

// Writes what `produce` hands to its writer to `path`, under a temporary
// name in the same folder that is renamed to `path` only when complete: a
// failure or a cancel removes the temporary file and leaves an earlier file
// under `path` as it was. `produce` returns false to stop, setting its
// `cancelled` when the user asked for that. The problem is one line that
// says what went wrong.
ExportOutcome ExportThroughTemporary(
    const Text& path, const std::function<bool(const ByteWriter& write, bool& cancelled)>& produce);

// The viewer's export: writes the records the upper list shows (those of
// AllRecords that the find lets through, in the list's order) to `path`.
// The file is written under a temporary name in the same folder and renamed
// to `path` only when complete, so a failure or a cancel removes the
// temporary file and leaves an earlier file under `path` as it was.
ExportOutcome ExportShownRecords(const Text& path, ExportFormat format,
                                 const ExportProgress& progress = nullptr);

} // namespace qk
