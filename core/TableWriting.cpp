// The lines of a record table's rows, written straight from what the table
// holds: a name from its stored bytes, a size from its byte count, and each
// shared text put in its format once and copied from then on. Every line is
// byte for byte the one AppendRecordLine writes for the record.
#include "core/ExportFormats.h"

#include "core/LogLineParser.h"
#include "core/RecordTable.h"
#include "core/StoredText.h"
#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qk {
namespace {

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

// Writes the lines of a table's records. Rows in sorted order jump about in
// memory, so a line's texts are asked for in stages, a batch of rows at a
// time: where its numbers stand, then its name's bytes and its shared
// texts' places, then those texts in their format, then the line.
class TableLineWriter {
  public:
    TableLineWriter(const RecordTable& table, ExportFormat format, std::size_t block)
        : table_(table), format_(format), ids_(block) {
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

    // Where a shared text stands in its format in the cache.
    struct Formatted {
        std::size_t offset;
        std::size_t length;
    };
    // What the line of one record reads from the table.
    struct RowTexts {
        const RecordSegment* segment;
        std::uint32_t k;
        bool sizeIsCount;
        std::int64_t size;
        std::string_view name; // stored bytes
        std::array<Formatted, kSharedColumnCount> shared;
    };

    // Reads what the lines of `count` rows need, one column of the table
    // at a time: rows in sorted order jump about in memory, and a pass over
    // one column keeps few pages and cache lines in use, where a line's
    // texts would each be far from the last.
    void Gather(const std::uint32_t* rows, std::size_t count, RowTexts* texts) {
        for (std::size_t j = 0; j < count; ++j) {
            const RecordSegment& segment = SegmentAt(rows[j]);
            texts[j].segment = &segment;
            texts[j].k = rows[j] - segment.first;
        }
        for (std::size_t j = 0; j < count; ++j)
            texts[j].name = texts[j].segment->Name(texts[j].k);
        for (std::size_t j = 0; j < count; ++j) {
            RowTexts& row = texts[j];
            row.size = row.segment->sizes[row.k];
            row.sizeIsCount = row.segment->oddSizeAt.empty() || row.segment->SizeIsCount(row.k);
        }
        for (std::size_t c = 0; c < kSharedColumnCount; ++c) {
            for (std::size_t j = 0; j < count; ++j)
                ids_[j] = texts[j].segment->ids[c][texts[j].k];
            const RecordField field = SharedFieldOf(c);
            for (std::size_t j = 0; j < count; ++j) {
                const Cached& cached = Made(field, c, ids_[j]);
                texts[j].shared[c] = {cached.offset, cached.length};
            }
        }
    }

    // Writes the line of texts[j], asking for the texts of a line ahead.
    void AppendLine(OutputBuffer& out, const RowTexts* texts, std::size_t j, std::size_t count) {
        constexpr std::size_t kAhead = 8;
        if (j + kAhead < count) {
            const RowTexts& ahead = texts[j + kAhead];
            Prefetch(ahead.name.data());
            Prefetch(ahead.name.data() + ahead.name.size());
            for (const Formatted& text : ahead.shared)
                Prefetch(cache_.data() + text.offset);
        }
        const RowTexts& row = texts[j];
        for (const RecordFieldSpec& column : kRecordFields) {
            switch (column.field) {
            case RecordField::Name:
                AppendName(out, row.name);
                break;
            case RecordField::Size:
                AppendSize(out, row);
                break;
            default: {
                const Formatted& text = row.shared[SharedIndexOf(column.field)];
                out.Append(std::string_view(cache_).substr(text.offset, text.length));
                break;
            }
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
    const std::string& LeadOf(RecordField field) const {
        return leads_[static_cast<std::size_t>(field)];
    }

    static RecordField SharedFieldOf(std::size_t c) {
        constexpr RecordField kFields[kSharedColumnCount] = {RecordField::Path, RecordField::Date,
                                                             RecordField::Time, RecordField::User};
        return kFields[c];
    }

    // Shared text `id` of column c in its format, with its lead: made the
    // first time it is asked for.
    const Cached& Made(RecordField field, std::size_t c, std::uint32_t id) {
        Cached& cached = cached_[c][id];
        if (!cached.made) {
            cached.offset = cache_.size();
            cache_ += LeadOf(field);
            StoredInto(table_.shared[c][id], units_);
            AppendFieldValue(cache_, field, units_, format_);
            cached.length = static_cast<std::uint32_t>(cache_.size() - cached.offset);
            cached.made = true;
        }
        return cached;
    }

    // A field's lead and value on the general path, from its units.
    void AppendGeneral(OutputBuffer& out, RecordField field, std::u16string_view value) {
        scratch_ = LeadOf(field);
        AppendFieldValue(scratch_, field, value, format_);
        out.Append(scratch_);
    }

    void AppendName(OutputBuffer& out, std::string_view stored) {
        const std::string& lead = LeadOf(RecordField::Name);
        // Room for the lead, the bytes and the quotes.
        char* put = out.Room(lead.size() + stored.size() + 2);
        std::memcpy(put, lead.data(), lead.size());
        put += lead.size();
        if (format_ == ExportFormat::JsonLines) {
            *put++ = '"';
            put = PutStoredPlain<true>(put, stored);
            if (put) *put++ = '"';
        } else if (format_ == ExportFormat::Csv) {
            put = PutStoredPlain<false>(put, stored);
        } else {
            const std::string_view cell = FileNameBytes(stored);
            put = NoFormulaStart(cell) ? PutStoredPlain<false>(put, cell) : nullptr;
        }
        if (put) return out.MoveEndTo(put);
        StoredInto(stored, units_);
        AppendGeneral(out, RecordField::Name, units_);
    }

    void AppendSize(OutputBuffer& out, const RowTexts& texts) {
        const std::int64_t count = texts.size;
        // A negative count is left to the spreadsheet's rule of formulas.
        if (texts.sizeIsCount && count > -kExactCount && count < kExactCount &&
            (format_ != ExportFormat::SpreadsheetCsv || count >= 0)) {
            const std::string& lead = LeadOf(RecordField::Size);
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
        AppendGeneral(out, RecordField::Size, texts.segment->Size(texts.k, room));
    }

    const RecordTable& table_;
    ExportFormat format_;
    std::vector<std::uint32_t> pageSegment_;
    std::array<std::string, kVisibleFieldCount> leads_;
    std::array<std::vector<Cached>, kSharedColumnCount> cached_;
    std::string cache_;              // the shared texts in their format, one after another
    std::u16string units_;           // the units of a text on the general path
    std::vector<std::uint32_t> ids_; // the ids of a column's texts of the rows gathered
    std::string scratch_;            // a field on the general path
};

} // namespace

bool WriteTableRecords(const RecordTable& table, const std::vector<std::uint32_t>& rows,
                       ExportFormat format, const std::function<bool(std::string_view)>& write,
                       const ExportProgress& progress) {
    constexpr std::size_t kChunk = 1 << 20;
    constexpr std::size_t kAskEvery = 2048; // records between two questions
    constexpr std::size_t kBlock = 2048;    // rows gathered in one go
    OutputBuffer out(kChunk + (1 << 12));
    {
        std::string heading;
        AppendHeadingLine(heading, format);
        out.Append(heading);
    }
    TableLineWriter writer(table, format, kBlock);
    std::vector<TableLineWriter::RowTexts> texts(std::min(kBlock, rows.size()));
    for (std::size_t first = 0; first < rows.size(); first += kBlock) {
        const std::size_t count = std::min(kBlock, rows.size() - first);
        writer.Gather(rows.data() + first, count, texts.data());
        for (std::size_t j = 0; j < count; ++j) {
            if (progress && (first + j) % kAskEvery == 0 && !progress(first + j, rows.size()))
                return false;
            writer.AppendLine(out, texts.data(), j, count);
            if (out.size() >= kChunk) {
                if (!write(out.View())) return false;
                out.Clear();
            }
        }
    }
    return out.size() == 0 || write(out.View());
}

} // namespace qk
