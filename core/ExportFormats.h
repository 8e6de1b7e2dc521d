// The two formats a record list is written in, by quellkamp-list and by the
// viewer's export: JSON Lines (one object per record, keys path, name, size,
// date, time, user) and CSV (a heading line, then one line per record, CR LF
// line ends, fields quoted only when they hold a comma, a quotation mark or a
// line end).
#pragma once

#include "core/DuplicateRecord.h"
#include "core/RecordWalk.h"
#include "text/Text.h"

#include <string>
#include <string_view>

namespace qk {

enum class ExportFormat { JsonLines, Csv };

// The UTF-8 byte-order mark the viewer puts before its CSV files, so that
// spreadsheet programs read the umlauts right.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Appends the heading line of the format (nothing for JSON Lines).
void AppendHeadingLine(std::string& out, ExportFormat format);
// Appends the line of one record.
void AppendRecordLine(std::string& out, const DuplicateRecord& record, ExportFormat format);

// Writes the heading line and the line of every record of `list` that passes
// `include`, in list order, through `write(std::string_view)` in chunks of
// some 64 KiB. Returns false as soon as `write` does.
template <typename Include, typename Write>
bool WriteRecords(ListVariable& list, ExportFormat format, Include include, Write write) {
    constexpr std::size_t kChunk = 1 << 16;
    std::string out;
    out.reserve(kChunk + 1024);
    AppendHeadingLine(out, format);
    bool written = true;
    WalkRecords<ReadAhead::RecordsNamesAndSizes>(list, [&](const DuplicateRecord& record) {
        if (!written || !include(record)) return;
        AppendRecordLine(out, record, format);
        if (out.size() >= kChunk) {
            written = write(std::string_view(out));
            out.clear();
        }
    });
    return written && (out.empty() || write(std::string_view(out)));
}

// The viewer's export: writes the records the upper list shows (those of
// AllRecords that the find lets through, in the list's order) to `path`,
// CSV with a byte-order mark. The file is written under a temporary name in
// the same folder and renamed to `path` only when complete, so a failure
// leaves an earlier file under `path` as it was. Returns the empty text on
// success, otherwise one line that says what went wrong.
Text ExportShownRecords(const Text& path, ExportFormat format);

} // namespace qk
