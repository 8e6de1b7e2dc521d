// The overview's lists as JSON Lines and CSV, as quellkamp-list prints them
// and the overview window exports them.
#include "core/Overview.h"
#include "core/OverviewDetail.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace qk {
namespace {

constexpr std::array<std::u16string_view, kGroupColumnCount> kGroupHeadings = {
    u"Name", u"Kopien", u"Größen", u"Byte", u"Freigebbar", u"Neueste"};
constexpr std::array<std::u16string_view, kPairColumnCount> kPairHeadings = {
    u"Ordner A", u"Ordner B", u"Gemeinsam", u"Gleich groß", u"Namen A", u"Namen B", u"Freigebbar"};
constexpr std::array<const char*, kGroupColumnCount> kGroupKeys = {
    "name", "copies", "sizes", "bytes", "reclaimable", "newest"};
constexpr std::array<const char*, kPairColumnCount> kPairKeys = {
    "a", "b", "shared", "same_size", "names_a", "names_b", "reclaimable"};

// A line's cells, each a text or a number, written in the format.
class LineWriter {
  public:
    LineWriter(std::string& out, ExportFormat format, const char* const* keys)
        : out_(out), format_(format), keys_(keys) {}
    void Text(std::u16string_view text) {
        Lead();
        if (format_ == ExportFormat::JsonLines)
            AppendJsonText(out_, text);
        else
            AppendCsvCell(out_, text, format_);
    }
    void Number(std::int64_t number) {
        Lead();
        char digits[24];
        char* const end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        if (format_ == ExportFormat::JsonLines) {
            out_.append(digits, static_cast<std::size_t>(end - digits));
            return;
        }
        char16_t units[24];
        std::copy(digits, end, units);
        AppendCsvCell(out_, std::u16string_view(units, static_cast<std::size_t>(end - digits)),
                      format_);
    }
    void End() { out_ += format_ == ExportFormat::JsonLines ? "}\n" : "\r\n"; }

  private:
    void Lead() {
        const bool first = cell_++ == 0;
        if (format_ != ExportFormat::JsonLines) {
            if (!first) out_.push_back(',');
            return;
        }
        out_ += first ? "{\"" : ",\"";
        out_ += keys_[cell_ - 1];
        out_ += "\":";
    }
    std::string& out_;
    ExportFormat format_;
    const char* const* keys_;
    int cell_ = 0;
};

template <std::size_t N>
void AppendHeading(std::string& out, ExportFormat format,
                   const std::array<std::u16string_view, N>& headings) {
    if (format == ExportFormat::JsonLines) return;
    if (format == ExportFormat::SpreadsheetCsv) out += kUtf8ByteOrderMark;
    for (std::size_t k = 0; k < N; ++k) {
        if (k > 0) out.push_back(',');
        AppendUtf8(out, headings[k]);
    }
    out += "\r\n";
}

} // namespace

std::u16string_view GroupColumnHeading(GroupColumn column) {
    return kGroupHeadings[static_cast<std::size_t>(column)];
}

std::u16string_view PairColumnHeading(PairColumn column) {
    return kPairHeadings[static_cast<std::size_t>(column)];
}

void AppendGroupHeading(std::string& out, ExportFormat format) {
    AppendHeading(out, format, kGroupHeadings);
}

void AppendPairHeading(std::string& out, ExportFormat format) {
    AppendHeading(out, format, kPairHeadings);
}

void AppendGroupLine(std::string& out, const RecordTable& table, const NameGroup& group,
                     ExportFormat format) {
    LineWriter line(out, format, kGroupKeys.data());
    thread_local std::u16string text;
    FieldInto(table, group.record, RecordField::Name, text);
    // The spreadsheet gets the file's own name and a date it reads as one.
    line.Text(format == ExportFormat::SpreadsheetCsv ? FileNameOf(text) : text);
    line.Number(group.copies);
    line.Number(group.sizes);
    line.Number(group.bytes);
    line.Number(group.reclaimable);
    if (format == ExportFormat::SpreadsheetCsv) {
        std::u16string time;
        FieldInto(table, group.newest, RecordField::Date, text);
        FieldInto(table, group.newest, RecordField::Time, time);
        text = DateAsIso(text) + u' ' + time;
    } else {
        WhenInto(table, group.newest, text);
    }
    line.Text(text);
    line.End();
}

void AppendPairLine(std::string& out, const RecordTable& table, const FolderPair& pair,
                    ExportFormat format) {
    LineWriter line(out, format, kPairKeys.data());
    thread_local std::u16string text;
    SharedTextInto(table, SharedColumn::Path, pair.a, text);
    line.Text(text);
    SharedTextInto(table, SharedColumn::Path, pair.b, text);
    line.Text(text);
    line.Number(pair.shared);
    line.Number(pair.sameSize);
    line.Number(pair.namesA);
    line.Number(pair.namesB);
    line.Number(pair.reclaimable);
    line.End();
}

} // namespace qk
