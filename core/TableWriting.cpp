// The lines of a record table's rows, written straight from what the table
// holds: a name from its stored bytes, a size from its byte count, and the
// shared texts of a column with few of them put in their format once and
// copied from then on. Every line is byte for byte the one AppendRecordLine
// writes for the record.
#include "core/ExportFormats.h"

#include "core/LogLineParser.h"
#include "core/RecordTable.h"
#include "core/StoredText.h"
#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace qk {
namespace {

// A run of output bytes written through a pointer: room is made first, the
// bytes put, then the end moved past them.
class OutputBuffer {
  public:
    explicit OutputBuffer(std::size_t capacity = (std::size_t{1} << 20) + (1 << 12))
        : data_(new char[capacity]), capacity_(capacity) {}
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

// The stored bytes a value takes over as they are: all but the ASCII
// characters that JSON escapes (or that make a CSV field quoted), and 0xED,
// which leads the stored form of a surrogate (and of U+D000 to U+D7FF): a
// surrogate's UTF-8 is not its stored form, so the general path takes it.
struct PlainBytes {
    std::array<bool, 256> json{}, csv{};
    constexpr PlainBytes() {
        for (std::size_t b = 0; b < 256; ++b) {
            json[b] = b >= 0x20 && b != '"' && b != '\\' && b != 0x7F && b != 0xED;
            csv[b] = b != ',' && b != '"' && b != '\r' && b != '\n' && b != 0xED;
        }
    }
};
constexpr PlainBytes kPlainBytes;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Not 0 exactly when one of the eight bytes of `v` is 0 (below `limit`,
// equal to `c`): no borrow runs between the bytes unless one is.
constexpr std::uint64_t ZeroBytes(std::uint64_t v) {
    return (v - kOnes) & ~v & kHighBits;
}
constexpr std::uint64_t BytesBelow(std::uint64_t v, unsigned char limit) {
    return (v - kOnes * limit) & ~v & kHighBits;
}
constexpr std::uint64_t BytesEqual(std::uint64_t v, unsigned char c) {
    return ZeroBytes(v ^ (kOnes * c));
}

// Whether one of eight stored bytes is not plain for the format (the
// spreadsheet CSV's as the CSV's).
template <bool Json> bool StopsPlain(std::uint64_t v) {
    if constexpr (Json)
        return (BytesBelow(v, 0x20) | BytesEqual(v, '"') | BytesEqual(v, '\\') |
                BytesEqual(v, 0x7F) | BytesEqual(v, 0xED)) != 0;
    else
        return (BytesEqual(v, ',') | BytesEqual(v, '"') | BytesEqual(v, '\r') |
                BytesEqual(v, '\n') | BytesEqual(v, 0xED)) != 0;
}

// Puts `stored` at `put` as it is and returns the end, when every byte is
// plain; nullptr otherwise, for the general path to take the whole value.
template <bool Json> char* PutStoredPlain(char* put, std::string_view stored) {
    const std::array<bool, 256>& plain = Json ? kPlainBytes.json : kPlainBytes.csv;
    const char* const p = stored.data();
    const std::size_t n = stored.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, p + i, sizeof eight);
        if (StopsPlain<Json>(eight)) return nullptr;
        std::memcpy(put + i, &eight, sizeof eight);
    }
    for (; i < n; ++i) {
        if (!plain[static_cast<unsigned char>(p[i])]) return nullptr;
        put[i] = p[i];
    }
    return put + n;
}

// Puts the JSON escape of an ASCII byte that is not plain (a quotation
// mark, a backslash, a control character) at `put`; returns the end.
char* PutJsonEscape(char* put, unsigned char byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    *put++ = '\\';
    switch (byte) {
    case '"':
    case '\\':
        *put++ = static_cast<char>(byte);
        return put;
    case '\b':
        *put++ = 'b';
        return put;
    case '\f':
        *put++ = 'f';
        return put;
    case '\n':
        *put++ = 'n';
        return put;
    case '\r':
        *put++ = 'r';
        return put;
    case '\t':
        *put++ = 't';
        return put;
    default:
        std::memcpy(put, "u00", 3);
        put[3] = kHex[byte >> 4];
        put[4] = kHex[byte & 0xF];
        return put + 5;
    }
}

// Puts `stored` at `put` as the inside of a JSON string (room for six
// bytes a byte) and returns the end: escaped as AppendJsonText escapes the
// text's UTF-8, which the stored bytes are but for surrogates; nullptr at a
// surrogate's bytes (0xED 0xA0 to 0xBF), for the general path.
char* PutJsonStored(char* put, std::string_view stored) {
    const char* const p = stored.data();
    const std::size_t n = stored.size();
    for (std::size_t i = 0; i < n;) {
        if (i + 8 <= n) {
            std::uint64_t eight;
            std::memcpy(&eight, p + i, sizeof eight);
            if (!StopsPlain<true>(eight)) {
                std::memcpy(put, &eight, sizeof eight);
                put += 8;
                i += 8;
                continue;
            }
        }
        // Byte by byte to the end of these eight.
        for (const std::size_t end = std::min(n, i + 8); i < end; ++i) {
            const auto byte = static_cast<unsigned char>(p[i]);
            if (byte == 0xED && i + 1 < n && static_cast<unsigned char>(p[i + 1]) >= 0xA0)
                return nullptr;
            if (byte >= 0x80 || kPlainBytes.json[byte])
                *put++ = static_cast<char>(byte);
            else
                put = PutJsonEscape(put, byte);
        }
    }
    return put;
}

// The stored bytes of FileNameOf(name): without the last unit when the four
// before it are a document extension (those are ASCII, four bytes).
std::string_view FileNameBytes(std::string_view stored) {
    std::size_t last = stored.size();
    if (last == 0) return stored;
    do {
        --last;
    } while (last > 0 && (static_cast<unsigned char>(stored[last]) & 0xC0) == 0x80);
    if (last < 4) return stored;
    char tail[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = stored[last - 4 + i];
        tail[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const std::string_view extension : {".par", ".psm", ".dft", ".asm"})
        if (std::string_view(tail, 4) == extension) return stored.substr(0, last);
    return stored;
}

// Whether a spreadsheet cell surely reads as no formula: its first byte
// after leading blanks opens none ("-" is left to the whole rule).
bool NoFormulaStart(std::string_view cell) {
    const std::size_t first = cell.find_first_not_of(' ');
    return first == std::string_view::npos ||
           std::string_view("=+-@\t\r").find(cell[first]) == std::string_view::npos;
}

// Counts whose size text is made from the count itself (FormatSize); the
// others go by their nearest double.
constexpr std::int64_t kExactCount = std::int64_t{1} << 53;

// The digits of 0 to 999, three each.
struct DigitTriples {
    char digits[3000]{};
    constexpr DigitTriples() {
        for (int v = 0; v < 1000; ++v) {
            digits[3 * v] = static_cast<char>('0' + v / 100);
            digits[3 * v + 1] = static_cast<char>('0' + v / 10 % 10);
            digits[3 * v + 2] = static_cast<char>('0' + v % 10);
        }
    }
};
constexpr DigitTriples kTriples;

// Puts the size text of `count` (within kExactCount) at `put` as FormatSize
// makes it: grouped by "." in threes, right-aligned to the size width when
// shorter. Returns the end.
char* PutCountText(char* put, std::int64_t count) {
    char text[32];
    std::size_t at = sizeof text;
    std::uint64_t magnitude =
        count < 0 ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
    for (; magnitude >= 1000; magnitude /= 1000) {
        at -= 4;
        text[at] = '.';
        std::memcpy(text + at + 1, kTriples.digits + 3 * (magnitude % 1000), 3);
    }
    do {
        text[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (count < 0) text[--at] = '-';
    const std::size_t length = sizeof text - at;
    if (length < kSizeWidth) {
        std::memset(put, ' ', kSizeWidth - length);
        put += kSizeWidth - length;
    }
    std::memcpy(put, text + at, length);
    return put + length;
}

// Puts `value` in plain decimal digits, as the spreadsheet's size cell.
char* PutDigits(char* put, std::uint64_t value) {
    char text[24];
    std::size_t at = sizeof text;
    do {
        text[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::memcpy(put, text + at, sizeof text - at);
    return put + (sizeof text - at);
}

// What every line reads alike: where a storage index's segment is, the
// leads of the fields, and the texts of the shared columns with few texts
// in their format, lead included, made once up front. A column with many
// texts (a folder per record or so) is written from its stored bytes
// instead, so that no copy of its texts is kept. Read only once made, so
// that lines can be written on two threads.
class TableTexts {
  public:
    TableTexts(const RecordTable& table, ExportFormat format, std::size_t rows)
        : table_(table), format_(format) {
        for (const RecordFieldSpec& column : kRecordFields)
            leads_[static_cast<std::size_t>(column.field)] = Lead(column.field);
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
        for (std::size_t c = 0; c < kSharedColumnCount; ++c) {
            const std::uint32_t texts = table.shared[c].size();
            formatted_[c] = texts <= kFewTexts || texts <= rows / kUsesPerText;
            if (formatted_[c]) MakeFormatted(c);
        }
    }

    ExportFormat Format() const { return format_; }
    const RecordSegment& SegmentAt(std::uint32_t index) const {
        std::size_t s = pageSegment_[index >> kPageShift];
        while (s + 1 < table_.segments.size() && table_.segments[s + 1].first <= index)
            ++s;
        return table_.segments[s];
    }
    const std::string& LeadOf(RecordField field) const {
        return leads_[static_cast<std::size_t>(field)];
    }
    // Whether column c's texts are kept in their format.
    bool IsFormatted(std::size_t c) const { return formatted_[c]; }
    // Text `id` of column c in its format, lead included, when it is kept so;
    // else its stored bytes.
    std::string_view Shared(std::size_t c, std::uint32_t id) const {
        if (!formatted_[c]) return table_.shared[c][id];
        const std::size_t from = id ? ends_[c][id - 1] : 0;
        return std::string_view(made_[c]).substr(from, ends_[c][id] - from);
    }

  private:
    static constexpr unsigned kPageShift = 8;
    // A column's texts are kept in their format when they are this few, or
    // when the rows use each this often on average.
    static constexpr std::uint32_t kFewTexts = 4096;
    static constexpr std::size_t kUsesPerText = 8;

    // What stands before a field's value: the key in JSON, a comma in CSV.
    std::string Lead(RecordField field) const {
        const bool first = field == kRecordFields[0].field;
        if (format_ != ExportFormat::JsonLines) return first ? "" : ",";
        return (first ? "{\"" : ",\"") + std::string(FieldSpec(field).key) + "\":";
    }

    void MakeFormatted(std::size_t c) {
        constexpr RecordField kFields[kSharedColumnCount] = {RecordField::Path, RecordField::Date,
                                                             RecordField::Time, RecordField::User};
        const RecordField field = kFields[c];
        const SharedTexts& texts = table_.shared[c];
        std::u16string units;
        ends_[c].resize(texts.size());
        for (std::uint32_t id = 0; id < texts.size(); ++id) {
            made_[c] += LeadOf(field);
            StoredInto(texts[id], units);
            AppendFieldValue(made_[c], field, units, format_);
            ends_[c][id] = made_[c].size();
        }
    }

    const RecordTable& table_;
    ExportFormat format_;
    std::vector<std::uint32_t> pageSegment_;
    std::array<std::string, kVisibleFieldCount> leads_;
    std::array<bool, kSharedColumnCount> formatted_{};
    // The texts in their format back to back, and where each ends.
    std::array<std::string, kSharedColumnCount> made_;
    std::array<std::vector<std::size_t>, kSharedColumnCount> ends_;
};

// Writes the lines of rows, a block of them at a time: what the lines of a
// block read from the table is gathered first, one column at a time. Rows
// in sorted order jump about in memory, and a pass over one column keeps
// few pages and cache lines in use, where a line's texts would each be far
// from the last.
class LineWriter {
  public:
    static constexpr std::size_t kBlock = 2048;

    explicit LineWriter(const TableTexts& texts)
        : texts_(texts), format_(texts.Format()), rows_(kBlock), ids_(kBlock) {}

    // Gathers rows [0, count) of `rows` (count at most kBlock).
    void Gather(const std::uint32_t* rows, std::size_t count) {
        for (std::size_t j = 0; j < count; ++j) {
            const RecordSegment& segment = texts_.SegmentAt(rows[j]);
            rows_[j].segment = &segment;
            rows_[j].k = rows[j] - segment.first;
        }
        for (std::size_t j = 0; j < count; ++j)
            rows_[j].name = rows_[j].segment->Name(rows_[j].k);
        for (std::size_t j = 0; j < count; ++j) {
            Row& row = rows_[j];
            row.size = row.segment->sizes[row.k];
            row.sizeIsCount = row.segment->oddSizeAt.empty() || row.segment->SizeIsCount(row.k);
        }
        for (std::size_t c = 0; c < kSharedColumnCount; ++c) {
            for (std::size_t j = 0; j < count; ++j)
                ids_[j] = rows_[j].segment->ids[c][rows_[j].k];
            for (std::size_t j = 0; j < count; ++j)
                rows_[j].shared[c] = texts_.Shared(c, ids_[j]);
        }
        count_ = count;
    }

    // Appends the line of gathered row j, asking for the texts of a line
    // ahead.
    void AppendLine(OutputBuffer& out, std::size_t j) {
        constexpr std::size_t kAhead = 8;
        if (j + kAhead < count_) {
            const Row& ahead = rows_[j + kAhead];
            Prefetch(ahead.name.data());
            Prefetch(ahead.name.data() + ahead.name.size());
            for (const std::string_view text : ahead.shared)
                Prefetch(text.data());
        }
        const Row& row = rows_[j];
        for (const RecordFieldSpec& column : kRecordFields) {
            switch (column.field) {
            case RecordField::Name:
                AppendOwnText(out, RecordField::Name, row.name);
                break;
            case RecordField::Size:
                AppendSize(out, row);
                break;
            default: {
                const std::size_t c = SharedIndexOf(column.field);
                if (texts_.IsFormatted(c))
                    out.Append(row.shared[c]);
                else
                    AppendOwnText(out, column.field, row.shared[c]);
            }
            }
        }
        out.Append(format_ == ExportFormat::JsonLines ? std::string_view("}\n") : "\r\n");
    }

  private:
    // What the line of one row reads from the table.
    struct Row {
        const RecordSegment* segment;
        std::uint32_t k;
        bool sizeIsCount;
        std::int64_t size;
        std::string_view name; // stored bytes
        // By shared column: the text in its format, or its stored bytes.
        std::array<std::string_view, kSharedColumnCount> shared;
    };

    // A field's lead and value on the general path, from its units.
    void AppendGeneral(OutputBuffer& out, RecordField field, std::u16string_view value) {
        scratch_ = texts_.LeadOf(field);
        AppendFieldValue(scratch_, field, value, format_);
        out.Append(scratch_);
    }

    // A field's lead and value from the value's stored bytes.
    void AppendOwnText(OutputBuffer& out, RecordField field, std::string_view stored) {
        const std::string& lead = texts_.LeadOf(field);
        // Room for the lead, each byte escaped, and the quotes.
        char* put = out.Room(lead.size() + 6 * stored.size() + 2);
        std::memcpy(put, lead.data(), lead.size());
        put += lead.size();
        if (format_ == ExportFormat::JsonLines) {
            *put++ = '"';
            put = PutJsonStored(put, stored);
            if (put) *put++ = '"';
        } else if (format_ == ExportFormat::Csv) {
            put = PutStoredPlain<false>(put, stored);
        } else if (field == RecordField::Date) {
            put = nullptr; // made year-month-day on the general path
        } else {
            const std::string_view cell =
                field == RecordField::Name ? FileNameBytes(stored) : stored;
            put = NoFormulaStart(cell) ? PutStoredPlain<false>(put, cell) : nullptr;
        }
        if (put) return out.MoveEndTo(put);
        StoredInto(stored, units_);
        AppendGeneral(out, field, units_);
    }

    void AppendSize(OutputBuffer& out, const Row& row) {
        const std::int64_t count = row.size;
        // A negative count is left to the spreadsheet's rule of formulas.
        if (row.sizeIsCount && count > -kExactCount && count < kExactCount &&
            (format_ != ExportFormat::SpreadsheetCsv || count >= 0)) {
            const std::string& lead = texts_.LeadOf(RecordField::Size);
            char* put = out.Room(lead.size() + 32);
            std::memcpy(put, lead.data(), lead.size());
            put += lead.size();
            if (format_ == ExportFormat::JsonLines) {
                *put++ = '"';
                put = PutCountText(put, count);
                *put++ = '"';
            } else if (format_ == ExportFormat::Csv) {
                put = PutCountText(put, count);
            } else {
                put = PutDigits(put, static_cast<std::uint64_t>(count));
            }
            return out.MoveEndTo(put);
        }
        SizeRoom room;
        AppendGeneral(out, RecordField::Size, row.segment->Size(row.k, room));
    }

    const TableTexts& texts_;
    ExportFormat format_;
    std::vector<Row> rows_;
    std::size_t count_ = 0;
    std::vector<std::uint32_t> ids_; // the ids of a column's texts of the rows gathered
    std::u16string units_;           // the units of a text on the general path
    std::string scratch_;            // a field on the general path
};

// Lines are handed to `write` in parts of about this size, each ending with
// a whole line.
constexpr std::size_t kPartBytes = std::size_t{1} << 20;

// Writes the lines of `rows` one block at a time, asking `progress` (when
// given) before every 2048th.
bool WriteInTurn(const TableTexts& texts, const std::vector<std::uint32_t>& rows,
                 const std::function<bool(std::string_view)>& write,
                 const ExportProgress& progress) {
    constexpr std::size_t kAskEvery = 2048; // records between two questions
    OutputBuffer out(kPartBytes + (1 << 12));
    {
        std::string heading;
        AppendHeadingLine(heading, texts.Format());
        out.Append(heading);
    }
    LineWriter writer(texts);
    for (std::size_t first = 0; first < rows.size(); first += LineWriter::kBlock) {
        const std::size_t count = std::min(LineWriter::kBlock, rows.size() - first);
        writer.Gather(rows.data() + first, count);
        for (std::size_t j = 0; j < count; ++j) {
            if (progress && (first + j) % kAskEvery == 0 && !progress(first + j, rows.size()))
                return false;
            writer.AppendLine(out, j);
            if (out.size() >= kPartBytes) {
                if (!write(out.View())) return false;
                out.Clear();
            }
        }
    }
    return out.size() == 0 || write(out.View());
}

// The rows of one run: formatted by either of two threads, written by the
// calling one.
constexpr std::size_t kRunRows = 2 * LineWriter::kBlock;

struct Run {
    enum State { Free, Taken, Ready, Failed };
    State state = Free;
    OutputBuffer out;
    std::vector<std::size_t> cuts; // where the parts handed to `write` end
};

// Formats the lines of run `run` of `rows` into `into` (the heading first
// for run 0), cut into parts.
void FormatRun(LineWriter& writer, const std::vector<std::uint32_t>& rows, std::size_t run,
               Run& into, ExportFormat format) {
    into.out.Clear();
    into.cuts.clear();
    if (run == 0) {
        std::string heading;
        AppendHeadingLine(heading, format);
        into.out.Append(heading);
    }
    const std::size_t end = std::min(rows.size(), (run + 1) * kRunRows);
    std::size_t cut = 0;
    for (std::size_t first = run * kRunRows; first < end; first += LineWriter::kBlock) {
        const std::size_t count = std::min(LineWriter::kBlock, end - first);
        writer.Gather(rows.data() + first, count);
        for (std::size_t j = 0; j < count; ++j) {
            writer.AppendLine(into.out, j);
            if (into.out.size() - cut >= kPartBytes) into.cuts.push_back(cut = into.out.size());
        }
    }
    if (into.out.size() > cut) into.cuts.push_back(into.out.size());
}

bool WriteParts(const Run& run, const std::function<bool(std::string_view)>& write) {
    std::size_t from = 0;
    for (const std::size_t cut : run.cuts) {
        if (!write(run.out.View().substr(from, cut - from))) return false;
        from = cut;
    }
    return true;
}

// Writes the lines of `rows` in runs that the calling thread and a helper
// format as they come, a few runs ahead of the one written (through
// `write`, on the calling thread, in order). A run the helper could not
// format (for want of memory) is formatted by the calling thread. Nothing
// when no helper could be started, and nothing is written then.
std::optional<bool> WriteOnTwoThreads(const TableTexts& texts,
                                      const std::vector<std::uint32_t>& rows,
                                      const std::function<bool(std::string_view)>& write) {
    constexpr std::size_t kRuns = 4; // formatted or being written at once
    const std::size_t runs = (rows.size() + kRunRows - 1) / kRunRows;
    std::array<Run, kRuns> slots;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t taken = 0, written = 0;
    bool stop = false;
    // The next run to format, when its slot is free (under the lock).
    const auto take = [&](std::size_t& run) -> Run* {
        if (stop || taken >= runs || slots[taken % kRuns].state != Run::Free) return nullptr;
        run = taken++;
        slots[run % kRuns].state = Run::Taken;
        return &slots[run % kRuns];
    };
    const auto help = [&] {
        std::optional<LineWriter> writer;
        try {
            writer.emplace(texts);
        } catch (...) {
            return; // the calling thread formats every run
        }
        std::unique_lock<std::mutex> lock(mutex);
        for (std::size_t run = 0;;) {
            changed.wait(lock, [&] {
                return stop || taken >= runs || slots[taken % kRuns].state == Run::Free;
            });
            Run* const slot = take(run);
            if (!slot) return;
            lock.unlock();
            bool formatted = true;
            try {
                FormatRun(*writer, rows, run, *slot, texts.Format());
            } catch (...) {
                formatted = false; // for the calling thread to try
            }
            lock.lock();
            slot->state = formatted ? Run::Ready : Run::Failed;
            changed.notify_all();
            if (!formatted) return;
        }
    };
    std::thread helper;
    try {
        helper = std::thread(help);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    // However this returns, the helper is stopped and waited for first.
    struct Stopping {
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        std::thread& helper;
        ~Stopping() {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            changed.notify_all();
            helper.join();
        }
    } stopping{mutex, changed, stop, helper};

    LineWriter writer(texts);
    std::unique_lock<std::mutex> lock(mutex);
    while (written < runs) {
        Run& next = slots[written % kRuns];
        std::size_t run = 0;
        if (next.state == Run::Ready || next.state == Run::Failed) {
            const bool redo = next.state == Run::Failed;
            lock.unlock();
            if (redo) FormatRun(writer, rows, written, next, texts.Format());
            const bool parts = WriteParts(next, write);
            lock.lock();
            next.state = Run::Free;
            ++written;
            changed.notify_all();
            if (!parts) return false;
        } else if (Run* const slot = take(run)) {
            lock.unlock();
            FormatRun(writer, rows, run, *slot, texts.Format());
            lock.lock();
            slot->state = Run::Ready;
        } else {
            changed.wait(lock);
        }
    }
    return true;
}

} // namespace

bool WriteTableRecords(const RecordTable& table, const std::vector<std::uint32_t>& rows,
                       ExportFormat format, const std::function<bool(std::string_view)>& write,
                       const ExportProgress& progress) {
    const TableTexts texts(table, format, rows.size());
    // Without progress to ask, a second thread formats too.
    if (!progress && rows.size() >= 2 * kRunRows && std::thread::hardware_concurrency() > 1)
        if (const std::optional<bool> written = WriteOnTwoThreads(texts, rows, write))
            return *written;
    return WriteInTurn(texts, rows, write, progress);
}

} // namespace qk
