// The ranks the sorts of the record table need, worked out after a load on
// another thread (names and sizes) or when a sort first asks for them.
#include "core/RecordTable.h"

#include "core/WaitCalling.h"
#include "records/RankSort.h"
#include "records/RanksInParts.h"

#include <algorithm>
#include <bit>
#include <new>
#include <system_error>
#include <type_traits>

namespace qk {
namespace {

constexpr std::size_t kNameWork = 0, kSizeWork = 1;

// Counts below this are formatted within the size width, so their texts
// order as the counts do (blanks before digits, the same dots in the same
// places).
constexpr std::int64_t kWithinWidth = 10'000'000'000;

// The rank work sorts this many elements at a time at most (about 32 bytes
// each while they are sorted), whatever the length of the log.
constexpr std::uint32_t kRankPart = std::uint32_t{1} << 21;

// The ranks of names (by their stored bytes, which order as their units
// do). `sorted` receives the storage indices in the order of the names.
std::vector<std::uint32_t> NameRanksOf(const RecordTable& table, std::uint32_t count,
                                       std::vector<std::uint32_t>* sorted,
                                       const std::atomic<bool>* calledOff) {
    const auto forEachName = [&table](const auto& visit) {
        for (const RecordSegment& segment : table.segments)
            for (std::uint32_t k = 0; k < segment.Count(); ++k)
                visit(segment.first + k, [&segment, k] { return segment.Name(k); });
    };
    return ByteTextRanksInParts(count, forEachName, kRankPart, calledOff, true, sorted);
}

// The ranks of sizes by their texts, made for the purpose: for sizes that
// are not all counts within the size width.
std::vector<std::uint32_t> SizeTextRanks(const RecordTable& table, std::uint32_t count,
                                         const std::atomic<bool>* calledOff) {
    std::vector<char16_t> units;
    std::vector<std::uint32_t> ends;
    ends.reserve(count);
    units.reserve(std::size_t{count} * kSizeWidth);
    for (const RecordSegment& segment : table.segments) {
        for (std::uint32_t k = 0; k < segment.Count(); ++k) {
            SizeRoom room;
            const std::u16string_view size = segment.Size(k, room);
            units.insert(units.end(), size.begin(), size.end());
            ends.push_back(static_cast<std::uint32_t>(units.size()));
        }
    }
    TextRanks texts(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t from = i ? ends[i - 1] : 0;
        texts.Set(i, std::u16string_view(units.data() + from, ends[i] - from));
    }
    return texts.Ranks(calledOff, true);
}

// Dense ranks of the counts by storage index, for counts within the size
// width.
std::vector<std::uint32_t> CountRanks(const RecordTable& table, std::uint32_t count,
                                      const std::atomic<bool>* calledOff) {
    const auto forEachCount = [&table](const auto& visit) {
        for (const RecordSegment& segment : table.segments)
            for (std::uint32_t k = 0; k < segment.Count(); ++k)
                visit(segment.first + k, static_cast<std::uint64_t>(segment.sizes[k]));
    };
    return CountRanksInParts(count, forEachCount, kRankPart, calledOff);
}

// Sorts the list by `ranks`, collecting the listed records in their new
// order on the way, unless every record is listed: then the order is the
// list, and no second copy of it is made.
template <typename Rank> bool SortWithListed(RecordTable& table, const std::vector<Rank>& ranks) {
    const bool some = table.shownCount < static_cast<std::int64_t>(table.order.size());
    if (!some) table.listedAfterSort = {};
    return SortByRanks(table.order, ranks, some ? table.shown.data() : nullptr,
                       some ? &table.listedAfterSort : nullptr);
}

// Whether every size is a count of at most 32 bits: those order as their
// texts do, so a sort by size sorts by the counts themselves, with no ranks.
bool SizesAreNarrowCounts(const RecordTable& table) {
    for (const RecordSegment& segment : table.segments)
        if (!segment.oddSizeAt.empty() || !segment.sizes.IsNarrow()) return false;
    return true;
}

// Sorts the list by the counts of the sizes (SizesAreNarrowCounts), taken
// for the time of the sort. False when no memory can be had.
bool SortBySizeCounts(RecordTable& table) {
    std::vector<std::uint32_t> counts;
    try {
        counts.resize(TableCount(table));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const RecordSegment& segment : table.segments)
        for (std::uint32_t k = 0; k < segment.Count(); ++k)
            counts[segment.first + k] = static_cast<std::uint32_t>(segment.sizes[k]);
    return SortWithListed(table, counts);
}

std::vector<std::uint32_t> SizeRanksOf(const RecordTable& table, std::uint32_t count,
                                       const std::atomic<bool>* calledOff) {
    // The counts must leave room for the indices beside them.
    const auto indexBits = static_cast<unsigned>(std::bit_width(count));
    const std::int64_t limit = indexBits > 30 ? std::int64_t{1} << (63 - indexBits) : kWithinWidth;
    for (const RecordSegment& segment : table.segments) {
        if (!segment.oddSizeAt.empty()) return SizeTextRanks(table, count, calledOff);
        for (std::uint32_t k = 0; k < segment.Count(); ++k) {
            const std::int64_t size = segment.sizes[k];
            if (size < 0 || size >= limit) return SizeTextRanks(table, count, calledOff);
        }
    }
    return CountRanks(table, count, calledOff);
}

// The ranks of one column, by storage index (empty when no memory can be had
// or the work is called off). For names, `sorted` receives the storage
// indices in the order of the names.
std::vector<std::uint32_t> ComputeRanks(const RecordTable& table, RecordField field,
                                        std::uint32_t count,
                                        std::vector<std::uint32_t>* sorted = nullptr,
                                        const std::atomic<bool>* calledOff = nullptr) {
    std::vector<std::uint32_t> ranks;
    try {
        if (field == RecordField::Name) {
            ranks = NameRanksOf(table, count, sorted, calledOff);
            if (ranks.empty() && sorted) sorted->clear();
            return ranks;
        }
        if (field == RecordField::Size) return SizeRanksOf(table, count, calledOff);
    } catch (const std::bad_alloc&) {
        ranks.clear();
        if (sorted) sorted->clear();
    }
    return ranks;
}

// Ranks the texts of a shared column (left empty when no memory can be had).
void RankSharedColumn(RecordTable& table, RecordField field) {
    const SharedTexts& texts = table.shared[SharedIndexOf(field)];
    table.textRanks[SharedIndexOf(field)] =
        DenseRanks(texts.size(), [&](std::uint32_t a, std::uint32_t b) {
            return texts[a] < texts[b]; // stored bytes order as the units do
        });
}

// Sorts the list by a shared column: each record given its text's rank, at
// 16 bits when the texts are few, for the time of the sort. False when no
// memory can be had.
template <typename Rank> bool SortByTextRanks(RecordTable& table, std::size_t column) {
    std::vector<Rank> ranks;
    try {
        ranks.resize(TableCount(table));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::vector<std::uint32_t>& textRanks = table.textRanks[column];
    for (const RecordSegment& segment : table.segments) {
        const IdColumn& ids = segment.ids[column];
        Rank* out = ranks.data() + segment.first;
        for (std::uint32_t k = 0; k < segment.Count(); ++k)
            out[k] = static_cast<Rank>(textRanks[ids[k]]);
    }
    return SortWithListed(table, ranks);
}

bool SortBySharedColumn(RecordTable& table, RecordField field) {
    const std::size_t c = SharedIndexOf(field);
    if (table.textRanks[c].empty() || table.textRanks[c].size() != table.shared[c].size())
        return false;
    return table.textRanks[c].size() <= 0x10000 ? SortByTextRanks<std::uint16_t>(table, c)
                                                : SortByTextRanks<std::uint32_t>(table, c);
}

// Waits until the rank work has ranked the column (names or sizes), unless
// that work has not come to it yet: then the sort takes the column over.
void AwaitRanks(RecordTable& table, RecordField field, const WhileWaiting& whileWaiting) {
    if (!table.rankWork.joinable()) return;
    std::atomic<int>& state =
        table.rankWorkState[field == RecordField::Name ? kNameWork : kSizeWork];
    int toDo = RanksToDo;
    if (state.compare_exchange_strong(toDo, RanksTakenBySort)) return;
    if (state.load(std::memory_order_acquire) != RanksInWork) return;
    WaitCalling(whileWaiting, [&] { return state.load(std::memory_order_acquire) != RanksInWork; });
}

// Ranks a column for a sort: on a helper thread while `whileWaiting` is
// called, or on this thread without it or when no thread can be had.
void RankForSort(RecordTable& table, RecordField field, const WhileWaiting& whileWaiting) {
    const auto rank = [&table, field] {
        if (IsSharedField(field)) return RankSharedColumn(table, field);
        table.ranks[static_cast<std::size_t>(field)] = ComputeRanks(
            table, field, TableCount(table), field == RecordField::Name ? &table.byName : nullptr);
    };
    if (!whileWaiting || !RunAside(rank, whileWaiting)) rank();
}

// Whether record `a`'s field orders before record `b`'s, by their texts.
bool FieldBefore(const RecordTable& table, RecordField field, std::uint32_t a, std::uint32_t b,
                 std::u16string& one, std::u16string& other) {
    FieldInto(table, a, field, one);
    FieldInto(table, b, field, other);
    return one < other;
}

} // namespace

const std::vector<std::uint32_t>& NameRanks(RecordTable& table, const WhileWaiting& whileWaiting) {
    constexpr auto name = static_cast<std::size_t>(RecordField::Name);
    AwaitRanks(table, RecordField::Name, whileWaiting);
    if (table.ranks[name].empty() && TableCount(table) > 0)
        RankForSort(table, RecordField::Name, whileWaiting);
    return table.ranks[name];
}

void SortTableByField(RecordTable& table, RecordField field, const WhileWaiting& whileWaiting) {
    if (table.order.size() < 2) return;
    const auto f = static_cast<std::size_t>(field);
    const bool shared = IsSharedField(field);
    const bool counts = field == RecordField::Size && SizesAreNarrowCounts(table);
    if (!counts && !shared) AwaitRanks(table, field, whileWaiting);
    if (!counts &&
        (shared ? table.textRanks[SharedIndexOf(field)].empty() : table.ranks[f].empty()))
        RankForSort(table, field, whileWaiting);
    const std::uint32_t current = table.cursor >= 0 ? table.order[table.cursor] : 0;
    table.listedAfterSortHolds = false;
    table.orderIsStorage = false;
    const bool sorted = counts   ? SortBySizeCounts(table)
                        : shared ? SortBySharedColumn(table, field)
                                 : !table.ranks[f].empty() && SortWithListed(table, table.ranks[f]);
    if (sorted) {
        // The refill that follows a sort gets its rows from the sort's last pass.
        table.listedAfterSortHolds =
            static_cast<std::int64_t>(table.listedAfterSort.size()) == table.shownCount;
    } else {
        // No memory for ranks: the order is sorted by comparing the texts.
        std::u16string one, other;
        std::stable_sort(table.order.begin(), table.order.end(),
                         [&](std::uint32_t a, std::uint32_t b) {
                             return FieldBefore(table, field, a, b, one, other);
                         });
    }
    if (table.cursor >= 0)
        table.cursor =
            std::find(table.order.begin(), table.order.end(), current) - table.order.begin();
}

void StartRankWork(RecordTable& table) {
    CallOffRankWork(table);
    const std::uint32_t count = TableCount(table);
    if (count < 2) return;
    table.rankWorkCalledOff.store(false);
    for (auto& state : table.rankWorkState)
        state.store(RanksToDo);
    try {
        table.rankWork = std::thread([&table, count] {
            for (const RecordField field : {RecordField::Name, RecordField::Size}) {
                const bool names = field == RecordField::Name;
                std::atomic<int>& state = table.rankWorkState[names ? kNameWork : kSizeWork];
                int toDo = RanksToDo;
                if (!state.compare_exchange_strong(toDo, RanksInWork)) continue;
                if (!names && SizesAreNarrowCounts(table)) {
                    state.store(RanksDone, std::memory_order_release); // sorts need none
                    continue;
                }
                table.ranks[static_cast<std::size_t>(field)] = ComputeRanks(
                    table, field, count, names ? &table.byName : nullptr, &table.rankWorkCalledOff);
                state.store(RanksDone, std::memory_order_release);
            }
        });
    } catch (const std::system_error&) {
        // no thread: the ranks are computed on first use
    }
}

void FinishRankWork(RecordTable& table) {
    if (table.rankWork.joinable()) table.rankWork.join();
}

bool RankWorkFinished(const RecordTable& table) {
    if (!table.rankWork.joinable()) return true;
    for (const auto& state : table.rankWorkState) {
        const int now = state.load(std::memory_order_acquire);
        if (now == RanksToDo || now == RanksInWork) return false;
    }
    return true;
}

void CallOffRankWork(RecordTable& table) {
    if (!table.rankWork.joinable()) return;
    table.rankWorkCalledOff.store(true, std::memory_order_relaxed);
    table.rankWork.join();
    DropRanks(table);
}

void DropRanks(RecordTable& table) {
    for (auto& ranks : table.ranks)
        ranks = {};
    for (auto& ranks : table.textRanks)
        ranks = {};
    table.byName = {};
}

} // namespace qk
