#include "core/ExportFormats.h"

#include "core/RecordTable.h"
#include "core/StoredText.h"
#include "text/FileLayer.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
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

// A run of output bytes written through a pointer: room is made first, the
// bytes put, then the end moved past them.
class OutputBuffer {
  public:
    explicit OutputBuffer(std::size_t capacity) : data_(new char[capacity]), capacity_(capacity) {}
    char* Room(std::size_t more) {
        if (capacity_ - size_ < more) Grow(size_ + more);
        return data_.get() + size_;
    }
    void MoveEndTo(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
    void Append(std::string_view bytes) {
        std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    std::string_view View() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    void Clear() { size_ = 0; }

  private:
    void Grow(std::size_t least) {
        const std::size_t capacity = std::max(least, 2 * capacity_);
        std::unique_ptr<char[]> grown(new char[capacity]);
        std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0, size_ = 0;
};

// The ASCII characters that take a field off the plain path: escaped in
// JSON, or making a CSV field quoted.
struct PlainAscii {
    std::array<bool, 128> json{}, csv{};
    constexpr PlainAscii() {
        for (std::size_t c = 0; c < 128; ++c) {
            json[c] = c >= 0x20 && c != '"' && c != '\\' && c != 0x7F;
            csv[c] = c != ',' && c != '"' && c != '\r' && c != '\n';
        }
    }
};
constexpr PlainAscii kPlainAscii;

// Puts the UTF-8 form of `units` at `put` (room for three bytes a unit) as
// AppendUtf8 does, and returns the end; nullptr when an ASCII character is
// not in `plain`, for the general path to take the whole field.
char* PutPlain(char* put, std::u16string_view units, const std::array<bool, 128>& plain) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        // Four plain ASCII units at a time, as most names and sizes are.
        if constexpr (std::endian::native == std::endian::little) {
            while (i + 4 <= units.size()) {
                std::uint64_t four;
                std::memcpy(&four, units.data() + i, sizeof four);
                if ((four & 0xFF80FF80FF80FF80ULL) != 0 || !plain[four & 0x7F] ||
                    !plain[(four >> 16) & 0x7F] || !plain[(four >> 32) & 0x7F] ||
                    !plain[four >> 48])
                    break;
                const auto bytes = static_cast<std::uint32_t>(
                    (four & 0x7F) | ((four >> 8) & 0x7F00) | ((four >> 16) & 0x7F0000) |
                    ((four >> 24) & 0x7F000000));
                std::memcpy(put, &bytes, sizeof bytes);
                put += 4;
                i += 4;
            }
            if (i == units.size()) break;
        }
        char32_t cp = units[i];
        if (cp < 0x80) {
            if (!plain[cp]) return nullptr;
            *put++ = static_cast<char>(cp);
            continue;
        }
        put = PutUtf8(units, i, put);
    }
    return put;
}

// The spreadsheet's size (its digits without blanks and "." groups) at
// `put`, when it is plain ASCII that needs no quoting; nullptr otherwise.
char* PutSpreadsheetSize(char* put, std::u16string_view size) {
    const char* const start = put;
    for (const char16_t unit : size) {
        if (unit == u' ' || unit == u'.') continue;
        if (unit >= 0x80 || !kPlainAscii.csv[unit]) return nullptr;
        if (put == start &&
            std::u16string_view(u"=+-@\t\r").find(unit) != std::u16string_view::npos)
            return nullptr; // a formula, or a negative number: the general path decides
        *put++ = static_cast<char>(unit);
    }
    return put;
}

// Writes the lines of a table's records: names and sizes put straight from
// their segments, the shared texts (with the key or comma before them) put
// in the format once per text and copied from then on.
class TableLineWriter {
  public:
    TableLineWriter(const RecordTable& table, ExportFormat format)
        : table_(table), format_(format) {
        for (const RecordFieldSpec& column : kRecordFields)
            leads_[static_cast<std::size_t>(column.field)] = Lead(column.field);
        for (std::size_t c = 0; c < cached_.size(); ++c)
            cached_[c].assign(table.shared[c].size(), Cached{});
        // The first segment of every page of storage indices: a lookup is
        // a short walk from there.
        const std::uint32_t count = TableCount(table);
        pageSegment_.resize((std::size_t{count} >> kPageShift) + 1);
        std::size_t s = 0;
        for (std::size_t page = 0; page < pageSegment_.size(); ++page) {
            const std::uint64_t first = std::uint64_t{page} << kPageShift;
            while (s + 1 < table.segments.size() && table.segments[s + 1].first <= first)
                ++s;
            pageSegment_[page] = static_cast<std::uint32_t>(s);
        }
    }

    // What the line of one record reads from the table.
    struct RowTexts {
        std::string_view name; // stored bytes
        const RecordSegment* segment;
        std::uint32_t k;
        std::array<std::uint32_t, kSharedColumnCount> ids;
    };

    // Rows in sorted order jump about in memory, so the texts of a batch of
    // rows are gathered in one go, whose loads do not wait for one another,
    // and what the lines read next is asked for ahead.
    void Gather(const std::uint32_t* rows, std::size_t count, RowTexts* texts) const {
        for (std::size_t j = 0; j < count; ++j) {
            const RecordSegment& segment = SegmentAt(rows[j]);
            const std::uint32_t k = rows[j] - segment.first;
            texts[j].name = segment.Name(k);
            texts[j].segment = &segment;
            texts[j].k = k;
            for (std::size_t c = 0; c < kSharedColumnCount; ++c)
                texts[j].ids[c] = segment.ids[c][k];
        }
        for (std::size_t j = 0; j < count; ++j) {
            // A text may run over into the next cache line.
            __builtin_prefetch(texts[j].name.data());
            __builtin_prefetch(texts[j].name.data() + texts[j].name.size());
            for (std::size_t c = 0; c < kSharedColumnCount; ++c)
                __builtin_prefetch(cached_[c].data() + texts[j].ids[c]);
        }
    }
    // Asks for the shared texts in their format (their places asked for by
    // Gather a batch before).
    void PrefetchFormatted(const RowTexts* texts, std::size_t count) const {
        for (std::size_t j = 0; j < count; ++j)
            for (std::size_t c = 0; c < kSharedColumnCount; ++c)
                __builtin_prefetch(cache_.data() + cached_[c][texts[j].ids[c]].offset);
    }

    void AppendLine(OutputBuffer& out, const RowTexts& texts) {
        for (const RecordFieldSpec& column : kRecordFields) {
            switch (column.field) {
            case RecordField::Name:
                StoredInto(texts.name, name_);
                AppendOwn(out, column.field, name_);
                break;
            case RecordField::Size: {
                SizeRoom room;
                AppendOwn(out, column.field, texts.segment->Size(texts.k, room));
                break;
            }
            default:
                AppendShared(out, column.field, texts.ids[SharedIndex(column.field)]);
                break;
            }
        }
        out.Append(format_ == ExportFormat::JsonLines ? std::string_view("}\n") : "\r\n");
    }

  private:
    static constexpr unsigned kPageShift = 8;
    struct Cached {
        std::size_t offset = 0;
        std::uint32_t length = 0;
        bool made = false;
    };

    static std::size_t SharedIndex(RecordField field) {
        switch (field) {
        case RecordField::Date:
            return static_cast<std::size_t>(SharedColumn::Date);
        case RecordField::Time:
            return static_cast<std::size_t>(SharedColumn::Time);
        case RecordField::User:
            return static_cast<std::size_t>(SharedColumn::User);
        default:
            return static_cast<std::size_t>(SharedColumn::Path);
        }
    }

    const RecordSegment& SegmentAt(std::uint32_t index) const {
        std::size_t s = pageSegment_[index >> kPageShift];
        while (s + 1 < table_.segments.size() && table_.segments[s + 1].first <= index)
            ++s;
        return table_.segments[s];
    }

    // What stands before a field's value: the key in JSON, a comma in CSV.
    std::string Lead(RecordField field) const {
        const bool first = field == kRecordFields[0].field;
        if (format_ != ExportFormat::JsonLines) return first ? "" : ",";
        return (first ? "{\"" : ",\"") + std::string(FieldSpec(field).key) + "\":";
    }

    // The general form of a field's value, as AppendRecordLine writes it.
    void AppendGeneral(std::string& out, RecordField field, std::u16string_view value) const {
        if (format_ == ExportFormat::JsonLines)
            AppendJsonString(out, value);
        else if (format_ == ExportFormat::SpreadsheetCsv)
            AppendSpreadsheetField(out, value, field);
        else
            AppendCsvField(out, value, false);
    }

    void AppendShared(OutputBuffer& out, RecordField field, std::uint32_t id) {
        const std::size_t c = SharedIndex(field);
        Cached& cached = cached_[c][id];
        if (!cached.made) {
            cached.offset = cache_.size();
            cache_ += leads_[static_cast<std::size_t>(field)];
            StoredInto(table_.shared[c][id], name_);
            AppendGeneral(cache_, field, name_);
            cached.length = static_cast<std::uint32_t>(cache_.size() - cached.offset);
            cached.made = true;
        }
        out.Append(std::string_view(cache_).substr(cached.offset, cached.length));
    }

    void AppendOwn(OutputBuffer& out, RecordField field, std::u16string_view value) {
        const std::string& lead = leads_[static_cast<std::size_t>(field)];
        // Room for the lead, the value at three bytes a unit, and quotes.
        char* const start = out.Room(lead.size() + 3 * value.size() + 2);
        std::memcpy(start, lead.data(), lead.size());
        char* put = start + lead.size();
        if (format_ == ExportFormat::JsonLines) {
            *put++ = '"';
            put = PutPlain(put, value, kPlainAscii.json);
            if (put) *put++ = '"';
        } else if (format_ == ExportFormat::Csv) {
            put = PutPlain(put, value, kPlainAscii.csv);
        } else if (field == RecordField::Size) {
            put = PutSpreadsheetSize(put, value);
        } else {
            const std::u16string_view cell = FileNameOf(value);
            put = SpreadsheetReadsAsFormula(cell) ? nullptr : PutPlain(put, cell, kPlainAscii.csv);
        }
        if (put) {
            out.MoveEndTo(put);
            return;
        }
        scratch_ = lead;
        AppendGeneral(scratch_, field, value);
        out.Append(scratch_);
    }

    const RecordTable& table_;
    ExportFormat format_;
    std::vector<std::uint32_t> pageSegment_;
    std::array<std::string, kVisibleFieldCount> leads_;
    std::array<std::vector<Cached>, kSharedColumnCount> cached_;
    std::string cache_;   // the shared texts in their format, one after another
    std::u16string name_; // the units of a stored text being written
    std::string scratch_; // a field on the general path
};

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

bool WriteTableRecords(const RecordTable& table, const std::vector<std::uint32_t>& rows,
                       ExportFormat format, const std::function<bool(std::string_view)>& write,
                       const ExportProgress& progress) {
    constexpr std::size_t kChunk = 1 << 20;
    constexpr std::size_t kAskEvery = 2048; // records between two questions
    constexpr std::size_t kBatch = 16;      // rows gathered in one go
    OutputBuffer out(kChunk + (1 << 12));
    {
        std::string heading;
        AppendHeadingLine(heading, format);
        out.Append(heading);
    }
    TableLineWriter writer(table, format);
    // Batch b is gathered while b - 1 has its formatted texts asked for and
    // b - 2 is written.
    std::array<TableLineWriter::RowTexts, 3 * kBatch> ring;
    const std::size_t batches = (rows.size() + kBatch - 1) / kBatch;
    for (std::size_t b = 0; b < batches + 2; ++b) {
        if (b < batches) {
            const std::size_t first = b * kBatch;
            writer.Gather(rows.data() + first, std::min(kBatch, rows.size() - first),
                          &ring[b % 3 * kBatch]);
        }
        if (b >= 1 && b - 1 < batches) {
            const std::size_t first = (b - 1) * kBatch;
            writer.PrefetchFormatted(&ring[(b - 1) % 3 * kBatch],
                                     std::min(kBatch, rows.size() - first));
        }
        if (b < 2) continue;
        const std::size_t first = (b - 2) * kBatch;
        const std::size_t end = std::min(first + kBatch, rows.size());
        for (std::size_t i = first; i < end; ++i) {
            if (progress && i % kAskEvery == 0 && !progress(i, rows.size())) return false;
            writer.AppendLine(out, ring[(b - 2) % 3 * kBatch + (i - first)]);
            if (out.size() >= kChunk) {
                if (!write(out.View())) return false;
                out.Clear();
            }
        }
    }
    return out.size() == 0 || write(out.View());
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
