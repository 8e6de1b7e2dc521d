#include "core/ExportFormats.h"

#include "core/RecordTable.h"
#include "text/FileLayer.h"

#include <string>

namespace qk {
namespace {

// The UTF-8 form of `text`, escaped for a JSON string, in quotation marks.
void AppendJsonString(std::string& out, const Text& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    const std::size_t start = out.size();
    AppendUtf8(out, text.view());
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

// The UTF-8 form of `text` as a CSV field: quoted, with doubled quotation
// marks, only when it holds a comma, a quotation mark or a line end.
void AppendCsvField(std::string& out, const Text& text) {
    const std::size_t start = out.size();
    AppendUtf8(out, text.view());
    if (out.find_first_of(",\"\r\n", start) == std::string::npos) return;
    const std::string field = out.substr(start);
    out.resize(start);
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

Text Problem(const Text& path, const Text& reason) {
    std::u16string line = u"Konnte Datei nicht schreiben: ";
    line += path.view();
    line += u" (";
    line += reason.view();
    line += u")";
    return Text(line);
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

void AppendHeadingLine(std::string& out, ExportFormat format) {
    if (format != ExportFormat::Csv) return;
    for (const RecordFieldSpec& column : kRecordFields) {
        if (column.field != RecordField::Path) out.push_back(',');
        AppendUtf8(out, column.heading);
    }
    out += "\r\n";
}

void AppendRecordLine(std::string& out, const DuplicateRecord& record, ExportFormat format) {
    if (format == ExportFormat::Csv) {
        for (const RecordFieldSpec& column : kRecordFields) {
            if (column.field != RecordField::Path) out.push_back(',');
            AppendCsvField(out, record.*column.member);
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
        AppendJsonString(out, record.*column.member);
    }
    out += "}\n";
}

Text ExportShownRecords(const Text& path, ExportFormat format) {
    // A link stays a link: the file it points at is replaced.
    const Text target = FileBehindLinks(path);
    Text temporary;
    const FileHandle file = CreateTemporaryNextTo(target, temporary);
    if (file == kNoFileHandle) return Problem(path, FileErrorText());

    const auto write = [file](std::string_view bytes) {
        return WriteToFile(file, bytes.data(), bytes.size());
    };
    bool done = format != ExportFormat::Csv || write(kUtf8ByteOrderMark);
    done = done && WriteRecords(
                       format,
                       [](auto print) {
                           for (const std::uint32_t index : AllRecords.order)
                               if (AllRecords.shown[index]) print(RecordAt(AllRecords, index));
                       },
                       write);
    done = FinishWriting(file) && done;
    done = done && ReplaceFile(temporary, target);
    if (done) return Text();
    const Text reason = FileErrorText();
    RemoveFile(temporary);
    return Problem(path, reason);
}

} // namespace qk
