// The loaded records laid out for the walks over them.
//
// Records live in storage order (the order in which they were loaded) in
// segments of one loaded block each: the names and the sizes of a segment
// stand back to back in one run of text each, and each record holds the ids
// of its path, date, time and user, whose texts every record shares. The
// list order is an array of storage indices (what a sort produces and a
// walk reads), and whether a record is listed is one byte per record. So a
// find streams through the texts once, a sort reorders 32-bit indices by
// 32-bit ranks, and a fill writes one index per listed record.
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
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qk {

// The columns whose texts records share, in the order of their ids.
enum class SharedColumn : int { Path = 0, Date, Time, User };
constexpr int kSharedColumnCount = 4;

// The records of one loaded block, in file order.
struct RecordSegment {
    std::uint32_t first = 0; // storage index of the first record
    std::vector<char16_t> names, sizes;
    // Record k's name spans [nameEnds[k-1], nameEnds[k]) of `names` (from 0
    // for k = 0); the same for sizes. When every size of the segment is
    // kSizeWidth units long, as nearly always, `sizeEnds` is left empty and
    // size k spans [k * kSizeWidth, (k + 1) * kSizeWidth).
    std::vector<std::uint32_t> nameEnds, sizeEnds;
    // Ids into the table's shared texts, one column per SharedColumn.
    std::array<std::vector<std::uint32_t>, kSharedColumnCount> ids;
    // Bit u % 64 is set when some size holds unit u: a find text with a unit
    // whose bit is clear is in no size of the segment.
    std::uint64_t sizeUnits = 0;

    std::uint32_t Count() const { return static_cast<std::uint32_t>(nameEnds.size()); }
    std::u16string_view Name(std::uint32_t k) const { return Span(names, nameEnds, k); }
    std::u16string_view Size(std::uint32_t k) const {
        if (sizeEnds.empty()) return {sizes.data() + std::size_t{k} * kSizeWidth, kSizeWidth};
        return Span(sizes, sizeEnds, k);
    }
    void Append(std::u16string_view name, std::u16string_view size);
    void AppendSize(std::u16string_view size);
    // Whether every size is kSizeWidth units long, so `sizeEnds` can go.
    bool SizesAtWidth() const;

  private:
    static std::u16string_view Span(const std::vector<char16_t>& units,
                                    const std::vector<std::uint32_t>& ends, std::uint32_t k) {
        const std::uint32_t from = k ? ends[k - 1] : 0;
        return {units.data() + from, ends[k] - from};
    }
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

// The distinct texts of one shared column, each made once, by id.
class SharedTexts {
  public:
    // The id of `value`, made the first time it comes.
    std::uint32_t Intern(std::u16string_view value);
    const Text& operator[](std::uint32_t id) const { return texts_[id]; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(texts_.size()); }
    void Clear();
    void Swap(SharedTexts& other) noexcept;

  private:
    void Grow();
    std::vector<Text> texts_;
    std::vector<std::uint32_t> slots_; // id + 1, 0 when free
    TextArena arena_;
};

// Whether the rank work has a column (names or sizes) to do, is doing it,
// has done it, or has left it to a sort that asked for it first.
enum RankWorkState : int { RanksToDo = 0, RanksInWork, RanksDone, RanksTakenBySort };

struct RecordTable {
    std::vector<RecordSegment> segments;
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
    // Ranks by column (RecordField), by storage index; empty until needed.
    std::array<std::vector<std::uint32_t>, kVisibleFieldCount> ranks;
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
std::u16string_view FieldView(const RecordTable& table, std::uint32_t index, RecordField field);
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
