#include "core/ExportFormats.h"

#include "core/RecordTable.h"
#include "text/FileLayer.h"
#include "text/Utf8.h"

#include <string>
#include <vector>

namespace qk {
namespace {

// The UTF-8 form of `text`, escaped for a JSON string, in quotation marks.
void AppendJsonString(std::string& out, std::u16string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    const std::size_t start = out.size();
    AppendUtf8(out, text);
    std::size_t i = start;
    while (i < out.size()) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\' && byte != 0x7F) {
            ++i;
            continue;
        }
        std::string escape;
        switch (byte) {
        case '"':
            escape = "\\\"";
            break;
        case '\\':
            escape = "\\\\";
            break;
        case '\b':
            escape = "\\b";
            break;
        case '\f':
            escape = "\\f";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\r':
            escape = "\\r";
            break;
        case '\t':
            escape = "\\t";
            break;
        default:
            escape = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
        }
        out.replace(i, 1, escape);
        i += escape.size();
    }
    out.push_back('"');
}

// The UTF-8 form of `cell` as a CSV field: quoted, with doubled quotation
// marks, when it holds a comma, a quotation mark or a line end. With
// `neutralise`, a cell a spreadsheet would compute gets a single quote in
// front and is quoted, so that it stays text.
void AppendCsvField(std::string& out, std::u16string_view cell, bool neutralise) {
    const bool formula = neutralise && SpreadsheetReadsAsFormula(cell);
    const std::size_t start = out.size();
    if (formula) out.push_back('\'');
    AppendUtf8(out, cell);
    if (!formula && out.find_first_of(",\"\r\n", start) == std::string::npos) return;
    const std::string field = out.substr(start);
    out.resize(start);
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

// The spreadsheet's form of one field.
void AppendSpreadsheetField(std::string& out, std::u16string_view stored, RecordField field) {
    switch (field) {
    case RecordField::Name:
        AppendCsvField(out, FileNameOf(stored), true);
        break;
    case RecordField::Size:
        AppendCsvField(out, SizeAsInteger(stored), true);
        break;
    case RecordField::Date:
        AppendCsvField(out, DateAsIso(stored), true);
        break;
    default:
        AppendCsvField(out, stored, true);
    }
}

bool IsDigits(std::u16string_view units) {
    return !units.empty() && units.find_first_not_of(u"0123456789") == std::u16string_view::npos;
}

int NumberOf(std::u16string_view digits) {
    int value = 0;
    for (const char16_t unit : digits)
        value = value * 10 + (unit - u'0');
    return value;
}

// A failed export, with the reason of the file call that failed.
ExportOutcome Failure() {
    return {true, LastFileError(), FileErrorNumber(), false};
}

// A name next to `path` that nothing has yet, created for writing.
FileHandle CreateTemporaryNextTo(const Text& path, Text& temporary) {
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::u16string name(path.view());
        name += u".part";
        if (attempt > 0) {
            for (const char c : std::to_string(attempt))
                name.push_back(static_cast<char16_t>(c));
        }
        temporary = Text(name);
        const FileHandle file = CreateFileForWriting(temporary);
        // Anything but a name in use is a failure of the folder itself.
        if (file != kNoFileHandle || !FileErrorIsNameInUse()) return file;
    }
    return kNoFileHandle;
}

} // namespace

std::u16string_view FileNameOf(std::u16string_view name) {
    constexpr std::u16string_view kExtensions[] = {u".par", u".psm", u".dft", u".asm"};
    if (name.size() < 5) return name;
    std::u16string tail(name.substr(name.size() - 5, 4));
    for (char16_t& unit : tail)
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    for (const std::u16string_view extension : kExtensions)
        if (tail == extension) return name.substr(0, name.size() - 1);
    return name;
}

std::u16string SizeAsInteger(std::u16string_view size) {
    std::u16string digits;
    for (const char16_t unit : size)
        if (unit != u' ' && unit != u'.') digits.push_back(unit);
    return digits;
}

std::u16string DateAsIso(std::u16string_view date) {
    const std::size_t first = date.find(u'.');
    const std::size_t second =
        first == std::u16string_view::npos ? first : date.find(u'.', first + 1);
    if (second == std::u16string_view::npos) return std::u16string(date);
    const std::u16string_view year = date.substr(0, first);
    const std::u16string_view month = date.substr(first + 1, second - first - 1);
    const std::u16string_view day = date.substr(second + 1);
    if (year.size() != 4 || !IsDigits(year) || !IsDigits(month) || !IsDigits(day) ||
        month.size() > 2 || day.size() > 2 || NumberOf(month) < 1 || NumberOf(month) > 12 ||
        NumberOf(day) < 1 || NumberOf(day) > 31)
        return std::u16string(date);
    std::u16string iso(year);
    iso += month.size() == 1 ? u"-0" : u"-";
    iso += month;
    iso += day.size() == 1 ? u"-0" : u"-";
    iso += day;
    return iso;
}

bool SpreadsheetReadsAsFormula(std::u16string_view cell) {
    // A spreadsheet may trim the blanks before it reads the cell.
    const std::size_t first = cell.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return false;
    const std::u16string_view rest = cell.substr(first);
    if (rest[0] == u'-' && rest.size() > 1 &&
        rest.find_first_not_of(u"0123456789", 1) == std::u16string_view::npos)
        return false;
    return std::u16string_view(u"=+-@\t\r").find(rest[0]) != std::u16string_view::npos;
}

void AppendSpreadsheetCell(std::string& out, std::u16string_view cell) {
    AppendCsvField(out, cell, true);
}

void AppendCsvCell(std::string& out, std::u16string_view cell, ExportFormat format) {
    AppendCsvField(out, cell, format == ExportFormat::SpreadsheetCsv);
}

void AppendJsonText(std::string& out, std::u16string_view text) {
    AppendJsonString(out, text);
}

std::string ForTerminal(std::string_view utf8) {
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const bool crlf = byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n';
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && !crlf) || byte == 0x7F) {
            // U+2400 + byte (U+2421 for DEL) in UTF-8.
            const unsigned picture = byte == 0x7F ? 0x21 : byte;
            shown += "\xE2";
            shown.push_back(static_cast<char>(0x90 + (picture >> 6)));
            shown.push_back(static_cast<char>(0x80 + (picture & 0x3F)));
        } else if (byte == 0xC2 && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80) {
            shown += "\xEF\xBF\xBD"; // a C1 control, U+0080 to U+009F
            ++i;
        } else {
            shown.push_back(static_cast<char>(byte));
        }
    }
    return shown;
}

void AppendHeadingLine(std::string& out, ExportFormat format) {
    if (format == ExportFormat::JsonLines) return;
    if (format == ExportFormat::SpreadsheetCsv) out += kUtf8ByteOrderMark;
    for (const RecordFieldSpec& column : kRecordFields) {
        if (column.field != RecordField::Path) out.push_back(',');
        AppendUtf8(out, column.heading);
    }
    out += "\r\n";
}

void AppendRecordLine(std::string& out, const DuplicateRecord& record, ExportFormat format) {
    RecordFieldViews fields;
    for (const RecordFieldSpec& column : kRecordFields)
        fields[static_cast<std::size_t>(column.field)] = (record.*column.member).view();
    AppendRecordLine(out, fields, format);
}

void AppendRecordLine(std::string& out, const RecordFieldViews& fields, ExportFormat format) {
    const auto field = [&](RecordField f) { return fields[static_cast<std::size_t>(f)]; };
    if (format != ExportFormat::JsonLines) {
        for (const RecordFieldSpec& column : kRecordFields) {
            if (column.field != RecordField::Path) out.push_back(',');
            if (format == ExportFormat::SpreadsheetCsv)
                AppendSpreadsheetField(out, field(column.field), column.field);
            else
                AppendCsvField(out, field(column.field), false);
        }
        out += "\r\n";
        return;
    }
    out.push_back('{');
    for (const RecordFieldSpec& column : kRecordFields) {
        if (column.field != RecordField::Path) out.push_back(',');
        out.push_back('"');
        out += column.key;
        out += "\":";
        AppendJsonString(out, field(column.field));
    }
    out += "}\n";
}

void AppendFieldValue(std::string& out, RecordField field, std::u16string_view value,
                      ExportFormat format) {
    if (format == ExportFormat::JsonLines)
        AppendJsonString(out, value);
    else if (format == ExportFormat::SpreadsheetCsv)
        AppendSpreadsheetField(out, value, field);
    else
        AppendCsvField(out, value, false);
}

ExportOutcome ExportThroughTemporary(
    const Text& path,
    const std::function<bool(const ByteWriter& write, bool& cancelled)>& produce) {
    // A link stays a link: the file it points at is replaced.
    const Text target = FileBehindLinks(path);
    Text temporary;
    const FileHandle file = CreateTemporaryNextTo(target, temporary);
    if (file == kNoFileHandle) return Failure();

    const ByteWriter write = [file](std::string_view bytes) {
        return WriteToFile(file, bytes.data(), bytes.size());
    };
    bool cancelled = false;
    bool done = produce(write, cancelled);
    done = FinishWriting(file) && done && !cancelled;
    done = done && ReplaceFile(temporary, target);
    if (done) return {};
    const ExportOutcome failure = Failure();
    RemoveFile(temporary);
    if (cancelled) return {false, FileError::Other, 0, true};
    return failure;
}

ExportOutcome ExportShownRecords(const Text& path, ExportFormat format,
                                 const ExportProgress& progress) {
    return ExportThroughTemporary(path, [&](const ByteWriter& write, bool& cancelled) {
        std::vector<std::uint32_t> rows;
        ListedRecords(AllRecords, rows);
        ExportProgress ask;
        if (progress) {
            ask = [&](std::uint64_t written, std::uint64_t total) {
                cancelled = !progress(written, total);
                return !cancelled;
            };
        }
        return WriteTableRecords(AllRecords, rows, format, write, ask);
    });
}

} // namespace qk
