// The loaded records laid out for the walks over them.
//
// Records live in storage order (the order in which they were loaded) in
// segments of one loaded block each: the names of a segment stand back to
// back in one run of stored bytes (UTF-8, core/StoredText.h), the sizes as
// the byte counts their texts are formatted from, and each record holds the
// ids of its path, date, time and user, whose texts every record shares and
// which are stored once each in an arena. Ids and counts take 16 or 32 bits
// where they fit. The list order is an array of storage indices (what a
// sort produces and a walk reads), and whether a record is listed is one
// byte per record. So a find streams through the names once, a sort
// reorders 32-bit indices by ranks, and a fill writes one index per listed
// record. Texts as the fields show them are made on demand.
#pragma once

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "text/Text.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qk {

// The columns whose texts records share, in the order of their ids.
enum class SharedColumn : int { Path = 0, Date, Time, User };
constexpr int kSharedColumnCount = 4;

inline bool IsSharedField(RecordField field) {
    return field != RecordField::Name && field != RecordField::Size;
}
// The shared column of a shared field.
inline std::size_t SharedIndexOf(RecordField field) {
    switch (field) {
    case RecordField::Path:
        return static_cast<std::size_t>(SharedColumn::Path);
    case RecordField::Date:
        return static_cast<std::size_t>(SharedColumn::Date);
    case RecordField::Time:
        return static_cast<std::size_t>(SharedColumn::Time);
    default:
        return static_cast<std::size_t>(SharedColumn::User);
    }
}

// One column of numbers, held at 16 (or 32) bits each while every number
// fits, else at the full width.
template <typename Narrow, typename Wide> class PackedColumn {
  public:
    Wide operator[](std::uint32_t k) const { return wide_.empty() ? Wide(narrow_[k]) : wide_[k]; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(narrow_.size() + wide_.size()); }
    bool IsNarrow() const { return wide_.empty(); }
    void reserve(std::size_t n) { (wide_.empty() ? narrow_.reserve(n) : wide_.reserve(n)); }
    void push_back(Wide value) {
        if (wide_.empty() && Fits(value)) return narrow_.push_back(static_cast<Narrow>(value));
        if (wide_.empty()) {
            wide_.reserve(narrow_.size() + 1);
            wide_.assign(narrow_.begin(), narrow_.end());
            narrow_ = {};
        }
        wide_.push_back(value);
    }
    // Takes `values` at their exact size, narrow when they all fit.
    void Assign(const std::vector<Wide>& values) {
        narrow_ = {};
        wide_ = {};
        bool fit = true;
        for (const Wide value : values)
            fit = fit && Fits(value);
        if (fit)
            narrow_.assign(values.begin(), values.end());
        else
            wide_.assign(values.begin(), values.end());
    }

  private:
    static bool Fits(Wide value) {
        return value >= 0 && static_cast<std::uint64_t>(value) <=
                                 static_cast<std::uint64_t>(static_cast<Narrow>(-1));
    }
    std::vector<Narrow> narrow_;
    std::vector<Wide> wide_;
};

using IdColumn = PackedColumn<std::uint16_t, std::uint32_t>;
using SizeColumn = PackedColumn<std::uint32_t, std::int64_t>;

// Room for a size's text as it is shown.
using SizeRoom = char16_t[LogLineParts::kSizeCapacity];

// The records of one loaded block, in file order.
struct RecordSegment {
    std::uint32_t first = 0; // storage index of the first record
    // The names back to back in their stored bytes (core/StoredText.h):
    // record k's name spans [nameEnds[k-1], nameEnds[k]) (from 0 for k = 0).
    std::vector<char> names;
    std::vector<std::uint32_t> nameEnds;
    // The byte counts the sizes are formatted from (FormatSize).
    SizeColumn sizes;
    // The few sizes that are no count's formatted text (a record added with
    // a size of its own), by ascending record.
    std::vector<std::uint32_t> oddSizeAt;
    std::vector<std::u16string> oddSizes;
    // Ids into the table's shared texts, one column per SharedColumn.
    std::array<IdColumn, kSharedColumnCount> ids;

    std::uint32_t Count() const { return static_cast<std::uint32_t>(nameEnds.size()); }
    // Record k's name in its stored bytes.
    std::string_view Name(std::uint32_t k) const {
        const std::uint32_t from = k ? nameEnds[k - 1] : 0;
        return {names.data() + from, nameEnds[k] - from};
    }
    // Record k's size as shown, made in `room` (or held by the segment).
    std::u16string_view Size(std::uint32_t k, SizeRoom& room) const;
    // Whether record k's size is a count's formatted text.
    bool SizeIsCount(std::uint32_t k) const;
    void Append(std::u16string_view name, std::u16string_view size);
};

// The hash of `size` bytes at `data`, by which texts are looked up.
inline std::uint64_t HashBytes(const void* data, std::size_t size) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::uint64_t hash = size * kMultiplier;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, bytes + i, sizeof chunk);
        hash = (hash ^ chunk) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (i < size) {
        // The last bytes: the final eight (overlapping those already taken)
        // when there are that many, else two overlapping four-byte halves.
        std::uint64_t chunk = 0;
        if (size >= 8) {
            std::memcpy(&chunk, bytes + size - 8, sizeof chunk);
        } else if (size >= 4) {
            std::uint32_t low, high;
            std::memcpy(&low, bytes, sizeof low);
            std::memcpy(&high, bytes + size - 4, sizeof high);
            chunk = (std::uint64_t{high} << 32) | low;
        } else {
            for (std::size_t k = 0; k < size; ++k)
                chunk |= std::uint64_t{bytes[k]} << (8 * k);
        }
        hash = (hash ^ chunk) * kMultiplier;
        hash ^= hash >> 29;
    }
    // Every byte reaches the low bits, by which the tables look texts up.
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDULL;
    return hash ^ (hash >> 33);
}

// Whether `a` and `b` hold the same bytes. Compared here, eight bytes at a
// time, rather than by a library call: the texts looked up are mostly short
// and mostly equal to the one found.
inline bool SameBytes(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const auto word = [](const char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (n >= 8) {
        std::uint64_t differ = word(a.data() + n - 8) ^ word(b.data() + n - 8);
        for (std::size_t i = 0; i + 8 < n; i += 8)
            differ |= word(a.data() + i) ^ word(b.data() + i);
        return differ == 0;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The distinct texts of one shared column, each stored once, by id: their
// stored bytes in an arena of large chunks, each behind its length, found by
// a 32-bit offset; looked up through an open-addressing index of ids.
class SharedTexts {
  public:
    // The id of the text with stored bytes `stored`, made the first time it
    // comes. Throws std::bad_alloc when no memory can be had.
    std::uint32_t Intern(std::string_view stored) {
        return Intern(stored, HashBytes(stored.data(), stored.size()));
    }
    // The same, with the text's hash (HashBytes) taken beforehand.
    std::uint32_t Intern(std::string_view stored, std::uint64_t hash);
    // The stored bytes of text `id`.
    std::string_view operator[](std::uint32_t id) const { return At(offsets_[id]); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(offsets_.size()); }
    // Lets the index go once no more texts are expected (after a load); a
    // later Intern makes it again.
    void DropIndex();
    void Clear();
    void Swap(SharedTexts& other) noexcept;

  private:
    static constexpr unsigned kChunkBits = 20;
    std::string_view At(std::uint32_t offset) const;
    std::uint32_t Store(std::string_view stored);
    void Rehash(std::size_t slotCount);
    std::uint32_t TagOf(std::uint64_t hash) const;
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::uint32_t used_ = 0; // bytes used of the last chunk
    std::vector<std::uint32_t> offsets_;
    // id + 1 in the bits of idMask_, the bits of the text's hash above
    // them; 0 when free.
    std::vector<std::uint32_t> slots_;
    std::uint32_t idMask_ = 0;
};

// Whether the rank work has a column (names or sizes) to do, is doing it,
// has done it, or has left it to a sort that asked for it first.
enum RankWorkState : int { RanksToDo = 0, RanksInWork, RanksDone, RanksTakenBySort };

struct RecordTable {
    std::vector<RecordSegment> segments;
    // Each segment's `first`, side by side: finding a record's segment reads
    // this small array rather than the segments themselves.
    std::vector<std::uint32_t> segmentFirsts;
    std::array<SharedTexts, kSharedColumnCount> shared;
    std::vector<std::uint8_t> shown;  // by storage index: 1 listed, 0 hidden
    std::vector<std::uint32_t> order; // the list order, as storage indices
    bool orderIsStorage = true;       // `order` is 0, 1, 2, ... (no sort since the load)
    std::int64_t cursor = -1;         // position in `order` of the current record
    std::int64_t shownCount = 0;
    // The listed records in list order as the last sort left them, while
    // neither the order nor the marks changed since.
    std::vector<std::uint32_t> listedAfterSort;
    bool listedAfterSortHolds = false;
    // The last find text, while the marks are still exactly its result.
    std::u16string lastFind;
    bool lastFindHolds = false;
    // The ranks of names and sizes (by RecordField), by storage index;
    // empty until needed.
    std::array<std::vector<std::uint32_t>, kVisibleFieldCount> ranks;
    // The ranks of a shared column's texts, by id: a sort by the column
    // gives each record its text's rank only while it sorts.
    std::array<std::vector<std::uint32_t>, kSharedColumnCount> textRanks;
    // Storage indices in the order of their names, once names are ranked.
    std::vector<std::uint32_t> byName;
    std::thread rankWork; // computes the ranks of names, then of sizes, after a load
    // Who ranks the names (0) and the sizes (1): RankWorkState.
    std::array<std::atomic<int>, 2> rankWorkState{};
    std::atomic<bool> rankWorkCalledOff{false};

    RecordTable() = default;
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;
    ~RecordTable();
};

// Every accepted line of the log, in file order until the first sort.
extern RecordTable AllRecords;

std::uint32_t TableCount(const RecordTable& table);
// Empties the table (any rank work is called off).
void ClearTable(RecordTable& table);
// Exchanges the records of two tables, a log loaded beside the one on
// screen with it. Neither may have rank work running.
void SwapTables(RecordTable& a, RecordTable& b) noexcept;
// The segment that holds storage index `index`.
const RecordSegment& SegmentOf(const RecordTable& table, std::uint32_t index);
// The field's text as shown (FieldInto into a new string).
std::u16string FieldString(const RecordTable& table, std::uint32_t index, RecordField field);
// The field as a text: shared texts are shared, names and sizes copied.
Text FieldText(const RecordTable& table, std::uint32_t index, RecordField field);
// The record at storage index `index` with texts of its own (shown "1"/"0").
DuplicateRecord RecordAt(const RecordTable& table, std::uint32_t index);

// Adds a record after the current one and makes it current, listed. False
// when no memory can be had.
bool AppendAfterCursor(RecordTable& table, const DuplicateRecord& record);
// Takes the records of `segment` as the next ones in storage order; its ids
// must already be the table's. They join the list when ListAllRecords is
// called after the last segment. False when no memory can be had.
bool AppendSegment(RecordTable& table, RecordSegment&& segment);
// Lists every record of the segments, in storage order (as after a load).
bool ListAllRecords(RecordTable& table);

// Marks every record listed when one of its six fields contains `findText`
// (an empty find text lists every record). With `narrow`, a find text that
// contains the last one visits only the records the last one listed.
// Returns the number listed.
std::int64_t MarkByFindText(RecordTable& table, std::u16string_view findText, bool narrow = true);

// Called every few hundredths of a second, and once at the start, while a
// sort waits for ranks: the window answers meanwhile.
using WhileWaiting = std::function<void()>;

// Orders the list stably by the field: by ranks, computed once per column.
// Waits for the rank work only for a column that work ranks. With
// `whileWaiting`, ranks the sort needs are computed on a helper thread while
// it is called; without, on the calling thread.
void SortTableByField(RecordTable& table, RecordField field, const WhileWaiting& whileWaiting = {});
// What readers beyond the list (the overview, the lister) ask of the table,
// whatever its layout: the texts as the fields show them, the shared texts
// by id, and the numbers behind them.
//
// The field's text as shown, into `out` (replacing what it held).
void FieldInto(const RecordTable& table, std::uint32_t index, RecordField field,
               std::u16string& out);
// The id of the record's text in a shared column, below SharedTextCount.
std::uint32_t SharedIdAt(const RecordTable& table, std::uint32_t index, SharedColumn column);
std::uint32_t SharedTextCount(const RecordTable& table, SharedColumn column);
void SharedTextInto(const RecordTable& table, SharedColumn column, std::uint32_t id,
                    std::u16string& out);
// Below, at or above 0 as text `a` of the column orders before, equal to or
// after text `b`, by UTF-16 code units.
int CompareSharedTexts(const RecordTable& table, SharedColumn column, std::uint32_t a,
                       std::uint32_t b);
// The byte count the record's size field shows: the integer the spreadsheet
// CSV writes for it (the largest int64 for the one text beyond it).
std::int64_t SizeBytesAt(const RecordTable& table, std::uint32_t index);
// The ranks of the names by storage index (equal names share a rank, ranks
// follow the UTF-16 order of the names), worked out as a sort by name does:
// waiting for the rank work, with `whileWaiting` called meanwhile. Empty
// when no memory can be had. They stay until the table changes.
const std::vector<std::uint32_t>& NameRanks(RecordTable& table,
                                            const WhileWaiting& whileWaiting = {});

// The ranks of names and sizes are worked out on other threads from now on.
void StartRankWork(RecordTable& table);
// Waits for that work.
void FinishRankWork(RecordTable& table);
// Drops every rank (the records or their order by storage changed).
void DropRanks(RecordTable& table);
// True when that work has nothing left to do, or none was started.
bool RankWorkFinished(const RecordTable& table);
// Stops that work soon and drops what it did (the table is about to change).
void CallOffRankWork(RecordTable& table);

// The storage indices of the listed records, in list order (taken from the
// last sort when it left them; read from the marks alone while the list is
// in storage order).
void ListedRecords(RecordTable& table, std::vector<std::uint32_t>& rows);
// The storage indices of the records whose name is exactly `name`, in list
// order, listed or not. Looked up among the names in order once the rank
// work has ordered them, otherwise found by a scan over all names.
void RecordsNamed(RecordTable& table, std::u16string_view name,
                  std::vector<std::uint32_t>& matches);

} // namespace qk
