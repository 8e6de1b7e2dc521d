#include "core/RecordTable.h"

#include "core/RecordCommands.h"
#include "core/WaitCalling.h"
#include "records/RankSort.h"
#include "text/Scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <system_error>
#include <utility>

namespace qk {
namespace {

constexpr std::size_t kFirstSlots = 1 << 10;

bool IsShared(RecordField field) {
    return field != RecordField::Name && field != RecordField::Size;
}

SharedColumn SharedOf(RecordField field) {
    switch (field) {
    case RecordField::Path:
        return SharedColumn::Path;
    case RecordField::Date:
        return SharedColumn::Date;
    case RecordField::Time:
        return SharedColumn::Time;
    default:
        return SharedColumn::User;
    }
}

std::size_t ColumnIndex(SharedColumn column) {
    return static_cast<std::size_t>(column);
}

// Marks the records of a segment whose name (or size) contains `sought`,
// scanning the segment's run of names (or sizes) as one text; `endOf(k)` is
// where record k's text ends in the run.
template <typename EndOf>
void MarkContaining(const std::vector<char16_t>& units, EndOf endOf, std::u16string_view sought,
                    std::uint8_t* hit) {
    std::uint32_t record = 0;
    FindEachOccurrence(std::u16string_view(units.data(), units.size()), sought,
                       [&](std::size_t at) {
                           while (endOf(record) <= at)
                               ++record;
                           if (at + sought.size() <= endOf(record)) {
                               hit[record] = 1;
                               return endOf(record); // on to the next record
                           }
                           return at + 1;
                       });
}

void MarkNamesContaining(const RecordSegment& segment, std::u16string_view sought,
                         std::uint8_t* hit) {
    MarkContaining(
        segment.names, [&](std::uint32_t k) { return std::size_t{segment.nameEnds[k]}; }, sought,
        hit);
}

void MarkSizesContaining(const RecordSegment& segment, std::u16string_view sought,
                         std::uint8_t* hit) {
    if (segment.sizeEnds.empty())
        return MarkContaining(
            segment.sizes, [](std::uint32_t k) { return (std::size_t{k} + 1) * kSizeWidth; },
            sought, hit);
    MarkContaining(
        segment.sizes, [&](std::uint32_t k) { return std::size_t{segment.sizeEnds[k]}; }, sought,
        hit);
}

// Whether the units of `findText` may all stand in the segment's sizes.
bool MayBeInSizes(const RecordSegment& segment, std::u16string_view findText) {
    for (const char16_t unit : findText)
        if (!(segment.sizeUnits >> (unit % 64) & 1)) return false;
    return true;
}

// Whether the shared texts contain the find text, asked once per text.
struct SharedAnswers {
    std::array<std::vector<std::uint8_t>, kSharedColumnCount> known; // 0 not asked, 1 no, 2 yes

    bool Reset(const RecordTable& table) {
        try {
            for (int c = 0; c < kSharedColumnCount; ++c)
                known[c].assign(table.shared[c].size(), 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool Contains(const RecordTable& table, int column, std::uint32_t id,
                  std::u16string_view sought) {
        std::uint8_t& answer = known[column][id];
        if (answer == 0) answer = FieldContains(table.shared[column][id].view(), sought) ? 2 : 1;
        return answer == 2;
    }
    bool AnyContains(const RecordTable& table, const RecordSegment& segment, std::uint32_t k,
                     std::u16string_view sought) {
        for (int c = 0; c < kSharedColumnCount; ++c)
            if (Contains(table, c, segment.ids[c][k], sought)) return true;
        return false;
    }
    // Asks every text of the columns that have few of them, so that a column
    // none of whose texts contains `sought` need not be read record by
    // record. Returns the columns that may contain it.
    std::array<bool, kSharedColumnCount> AskFewTexts(const RecordTable& table,
                                                     std::u16string_view sought) {
        std::array<bool, kSharedColumnCount> may;
        for (int c = 0; c < kSharedColumnCount; ++c) {
            const std::uint32_t texts = table.shared[c].size();
            may[c] = true;
            if (texts > TableCount(table) / 16) continue; // asked record by record
            bool any = false;
            for (std::uint32_t id = 0; id < texts; ++id)
                any = Contains(table, c, id, sought) || any;
            may[c] = any;
        }
        return may;
    }
};

// The ranks of names or sizes, by storage index. For names, `sorted`
// receives the storage indices in the order of the names. Throws
// std::bad_alloc when no memory can be had.
std::vector<std::uint32_t> OwnTextRanks(const RecordTable& table, RecordField field,
                                        std::uint32_t count, std::vector<std::uint32_t>* sorted,
                                        const std::atomic<bool>* calledOff) {
    TextRanks texts(count);
    for (const RecordSegment& segment : table.segments) {
        const std::uint32_t n = segment.Count();
        if (field == RecordField::Name)
            for (std::uint32_t k = 0; k < n; ++k)
                texts.Set(segment.first + k, segment.Name(k));
        else
            for (std::uint32_t k = 0; k < n; ++k)
                texts.Set(segment.first + k, segment.Size(k));
    }
    std::vector<std::uint32_t> ranks = texts.Ranks(calledOff, true);
    if (ranks.size() != count) return {};
    if (sorted) {
        const std::uint32_t rankCount = *std::max_element(ranks.begin(), ranks.end()) + 1;
        IndicesByRank(ranks, rankCount, *sorted);
    }
    return ranks;
}

// The find rule for record k of `segment`: one of its six fields contains
// `sought`. The shared texts are asked through `answers` when there is one.
bool RecordContains(const RecordTable& table, const RecordSegment& segment, std::uint32_t k,
                    std::u16string_view sought, SharedAnswers* answers) {
    return AnyVisibleFieldContains([&](RecordField field) {
        if (field == RecordField::Name) return FieldContains(segment.Name(k), sought);
        if (field == RecordField::Size) return FieldContains(segment.Size(k), sought);
        const auto c = static_cast<int>(SharedOf(field));
        const std::uint32_t id = segment.ids[c][k];
        return answers ? answers->Contains(table, c, id, sought)
                       : FieldContains(table.shared[c][id].view(), sought);
    });
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
        if (!IsShared(field)) {
            ranks = OwnTextRanks(table, field, count, sorted, calledOff);
            if (ranks.empty() && sorted) sorted->clear();
            return ranks;
        }
        const std::size_t c = ColumnIndex(SharedOf(field));
        const SharedTexts& texts = table.shared[c];
        const std::vector<std::uint32_t> idRanks =
            DenseRanks(texts.size(), [&](std::uint32_t a, std::uint32_t b) {
                return texts[a].view() < texts[b].view();
            });
        if (idRanks.size() != texts.size()) return {};
        ranks.resize(count);
        for (const RecordSegment& segment : table.segments)
            for (std::uint32_t k = 0; k < segment.Count(); ++k)
                ranks[segment.first + k] = idRanks[segment.ids[c][k]];
    } catch (const std::bad_alloc&) {
        ranks.clear();
        if (sorted) sorted->clear();
    }
    return ranks;
}

constexpr std::size_t kNameWork = 0, kSizeWork = 1;

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
        table.ranks[static_cast<std::size_t>(field)] = ComputeRanks(
            table, field, TableCount(table), field == RecordField::Name ? &table.byName : nullptr);
    };
    if (!whileWaiting || !RunAside(rank, whileWaiting)) rank();
}

} // namespace

namespace {
std::uint64_t HashUnits(std::u16string_view units) {
    return HashBytes(units.data(), units.size() * sizeof(char16_t));
}
} // namespace

void RecordSegment::Append(std::u16string_view name, std::u16string_view size) {
    names.insert(names.end(), name.begin(), name.end());
    nameEnds.push_back(static_cast<std::uint32_t>(names.size()));
    AppendSize(size);
}

void RecordSegment::AppendSize(std::u16string_view size) {
    if (sizeEnds.empty() && !sizes.empty()) { // the ends were left out: spell them out again
        sizeEnds.reserve(sizes.size() / kSizeWidth + 1);
        for (std::size_t end = kSizeWidth; end <= sizes.size(); end += kSizeWidth)
            sizeEnds.push_back(static_cast<std::uint32_t>(end));
    }
    sizes.insert(sizes.end(), size.begin(), size.end());
    for (const char16_t unit : size)
        sizeUnits |= std::uint64_t{1} << (unit % 64);
    sizeEnds.push_back(static_cast<std::uint32_t>(sizes.size()));
}

bool RecordSegment::SizesAtWidth() const {
    if (sizeEnds.size() != nameEnds.size()) return sizeEnds.empty() && sizes.empty();
    for (std::size_t k = 0; k < sizeEnds.size(); ++k)
        if (sizeEnds[k] != (k + 1) * kSizeWidth) return false;
    return true;
}

std::uint32_t SharedTexts::Intern(std::u16string_view value) {
    if (slots_.empty()) slots_.assign(kFirstSlots, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = HashUnits(value) & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = slots_[i];
        if (slot == 0) {
            const auto id = static_cast<std::uint32_t>(texts_.size());
            texts_.push_back(arena_.Make(value));
            slots_[i] = id + 1;
            if (texts_.size() * 2 > slots_.size()) Grow();
            return id;
        }
        if (SameUnits(texts_[slot - 1].view(), value)) return slot - 1;
    }
}

void SharedTexts::Grow() {
    std::vector<std::uint32_t> grown(slots_.size() * 2, 0);
    const std::size_t mask = grown.size() - 1;
    for (std::uint32_t id = 0; id < texts_.size(); ++id) {
        std::size_t i = HashUnits(texts_[id].view()) & mask;
        while (grown[i] != 0)
            i = (i + 1) & mask;
        grown[i] = id + 1;
    }
    slots_.swap(grown);
}

void SharedTexts::Clear() {
    texts_ = {};
    slots_ = {};
}

void SharedTexts::Swap(SharedTexts& other) noexcept {
    texts_.swap(other.texts_);
    slots_.swap(other.slots_);
    arena_.Swap(other.arena_);
}

RecordTable AllRecords;

RecordTable::~RecordTable() {
    CallOffRankWork(*this);
}

std::uint32_t TableCount(const RecordTable& table) {
    return static_cast<std::uint32_t>(table.order.size());
}

void ClearTable(RecordTable& table) {
    CallOffRankWork(table);
    table.segments = {};
    for (SharedTexts& texts : table.shared)
        texts.Clear();
    table.shown = {};
    table.order = {};
    table.orderIsStorage = true;
    table.cursor = -1;
    table.shownCount = 0;
    table.lastFind.clear();
    table.lastFindHolds = false;
    table.listedAfterSort = {};
    table.listedAfterSortHolds = false;
    for (auto& ranks : table.ranks)
        ranks = {};
    table.byName = {};
}

void SwapTables(RecordTable& a, RecordTable& b) noexcept {
    // Every member but the rank work, which must not be running.
    a.segments.swap(b.segments);
    for (std::size_t i = 0; i < a.shared.size(); ++i)
        a.shared[i].Swap(b.shared[i]);
    a.shown.swap(b.shown);
    a.order.swap(b.order);
    std::swap(a.orderIsStorage, b.orderIsStorage);
    std::swap(a.cursor, b.cursor);
    std::swap(a.shownCount, b.shownCount);
    a.listedAfterSort.swap(b.listedAfterSort);
    std::swap(a.listedAfterSortHolds, b.listedAfterSortHolds);
    a.lastFind.swap(b.lastFind);
    std::swap(a.lastFindHolds, b.lastFindHolds);
    a.ranks.swap(b.ranks);
    a.byName.swap(b.byName);
}

const RecordSegment& SegmentOf(const RecordTable& table, std::uint32_t index) {
    const auto after = std::upper_bound(
        table.segments.begin(), table.segments.end(), index,
        [](std::uint32_t i, const RecordSegment& segment) { return i < segment.first; });
    return *(after - 1);
}

std::u16string_view FieldView(const RecordTable& table, std::uint32_t index, RecordField field) {
    const RecordSegment& segment = SegmentOf(table, index);
    const std::uint32_t k = index - segment.first;
    switch (field) {
    case RecordField::Name:
        return segment.Name(k);
    case RecordField::Size:
        return segment.Size(k);
    default: {
        const std::size_t c = ColumnIndex(SharedOf(field));
        return table.shared[c][segment.ids[c][k]].view();
    }
    }
}

Text FieldText(const RecordTable& table, std::uint32_t index, RecordField field) {
    if (!IsShared(field)) return Text(FieldView(table, index, field));
    const RecordSegment& segment = SegmentOf(table, index);
    const std::size_t c = ColumnIndex(SharedOf(field));
    return table.shared[c][segment.ids[c][index - segment.first]];
}

void FieldInto(const RecordTable& table, std::uint32_t index, RecordField field,
               std::u16string& out) {
    out.assign(FieldView(table, index, field));
}

std::uint32_t SharedIdAt(const RecordTable& table, std::uint32_t index, SharedColumn column) {
    const RecordSegment& segment = SegmentOf(table, index);
    return segment.ids[ColumnIndex(column)][index - segment.first];
}

std::uint32_t SharedTextCount(const RecordTable& table, SharedColumn column) {
    return table.shared[ColumnIndex(column)].size();
}

void SharedTextInto(const RecordTable& table, SharedColumn column, std::uint32_t id,
                    std::u16string& out) {
    out.assign(table.shared[ColumnIndex(column)][id].view());
}

int CompareSharedTexts(const RecordTable& table, SharedColumn column, std::uint32_t a,
                       std::uint32_t b) {
    const SharedTexts& texts = table.shared[ColumnIndex(column)];
    return texts[a].view().compare(texts[b].view());
}

std::int64_t SizeBytesAt(const RecordTable& table, std::uint32_t index) {
    // The digits the size shows, its blanks and "." groups left out.
    const std::u16string_view size = FieldView(table, index, RecordField::Size);
    bool negative = false;
    std::uint64_t value = 0;
    for (const char16_t unit : size) {
        if (unit == u'-') negative = true;
        if (unit < u'0' || unit > u'9') continue;
        const std::uint64_t digit = unit - u'0';
        value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
    }
    if (negative)
        return value > std::uint64_t{INT64_MAX} ? INT64_MIN : -static_cast<std::int64_t>(value);
    return value > std::uint64_t{INT64_MAX} ? INT64_MAX : static_cast<std::int64_t>(value);
}

const std::vector<std::uint32_t>& NameRanks(RecordTable& table, const WhileWaiting& whileWaiting) {
    constexpr auto name = static_cast<std::size_t>(RecordField::Name);
    AwaitRanks(table, RecordField::Name, whileWaiting);
    if (table.ranks[name].empty() && TableCount(table) > 0)
        RankForSort(table, RecordField::Name, whileWaiting);
    return table.ranks[name];
}

DuplicateRecord RecordAt(const RecordTable& table, std::uint32_t index) {
    return DuplicateRecord{
        FieldText(table, index, RecordField::Path),     FieldText(table, index, RecordField::Name),
        FieldText(table, index, RecordField::Size),     FieldText(table, index, RecordField::Date),
        FieldText(table, index, RecordField::Time),     FieldText(table, index, RecordField::User),
        table.shown[index] ? ShownText() : HiddenText()};
}

bool AppendAfterCursor(RecordTable& table, const DuplicateRecord& record) {
    CallOffRankWork(table);
    try {
        if (table.segments.empty()) {
            table.segments.emplace_back();
            table.segments.back().first = 0;
        }
        RecordSegment& segment = table.segments.back();
        const std::uint32_t index = TableCount(table);
        table.shown.reserve(index + 1);
        table.order.reserve(index + 1);
        for (auto& ids : segment.ids)
            ids.reserve(segment.Count() + 1);
        segment.Append(record.name, record.size);
        segment.ids[0].push_back(table.shared[0].Intern(record.path));
        segment.ids[1].push_back(table.shared[1].Intern(record.date));
        segment.ids[2].push_back(table.shared[2].Intern(record.time));
        segment.ids[3].push_back(table.shared[3].Intern(record.user));
        table.shown.push_back(1);
        ++table.shownCount;
        // Still in storage order only when it comes last.
        table.orderIsStorage =
            table.orderIsStorage && table.cursor + 1 == static_cast<std::int64_t>(index);
        table.order.insert(table.order.begin() + (table.cursor + 1), index);
        ++table.cursor;
    } catch (const std::bad_alloc&) {
        return false; // a partly added record is not reachable through the order
    }
    table.lastFindHolds = false;
    table.listedAfterSortHolds = false;
    for (auto& ranks : table.ranks)
        ranks = {};
    table.byName = {};
    return true;
}

bool AppendSegment(RecordTable& table, RecordSegment&& segment) {
    CallOffRankWork(table);
    const RecordSegment* last = table.segments.empty() ? nullptr : &table.segments.back();
    segment.first = last ? last->first + last->Count() : 0;
    try {
        table.segments.push_back(std::move(segment));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ListAllRecords(RecordTable& table) {
    CallOffRankWork(table);
    const RecordSegment* last = table.segments.empty() ? nullptr : &table.segments.back();
    const std::uint32_t count = last ? last->first + last->Count() : 0;
    try {
        // Each made once at its size: no growing copy is ever held twice.
        std::vector<std::uint8_t>(count, 1).swap(table.shown);
        std::vector<std::uint32_t> order(count);
        std::iota(order.begin(), order.end(), 0u);
        table.order.swap(order);
        table.orderIsStorage = true;
    } catch (const std::bad_alloc&) {
        table.shown = {};
        return false;
    }
    table.shownCount = count;
    table.cursor = static_cast<std::int64_t>(count) - 1;
    table.lastFindHolds = false;
    table.listedAfterSortHolds = false;
    for (auto& ranks : table.ranks)
        ranks = {};
    table.byName = {};
    return true;
}

std::int64_t MarkByFindText(RecordTable& table, std::u16string_view findText, bool narrow) {
    const std::uint32_t count = TableCount(table);
    table.listedAfterSortHolds = false;
    if (findText.empty()) {
        std::fill(table.shown.begin(), table.shown.end(), 1);
        table.shownCount = count;
        table.lastFindHolds = false;
        return count;
    }
    const bool narrowing =
        narrow && table.lastFindHolds && findText.find(table.lastFind) != std::u16string_view::npos;
    // Without memory for remembering answers, every record is asked in full.
    SharedAnswers answers;
    SharedAnswers* const remembered = answers.Reset(table) ? &answers : nullptr;
    std::vector<std::uint8_t> hit;
    std::int64_t listed = 0;
    // Few records listed: ask only those, one by one. Otherwise scan all
    // names and sizes of a segment as one text each.
    const bool oneByOne = !remembered || (narrowing && table.shownCount * 8 < count);
    std::array<bool, kSharedColumnCount> mayHold;
    mayHold.fill(true);
    if (!oneByOne) mayHold = answers.AskFewTexts(table, findText);
    for (const RecordSegment& segment : table.segments) {
        std::uint8_t* shown = table.shown.data() + segment.first;
        const std::uint32_t n = segment.Count();
        if (oneByOne) {
            for (std::uint32_t k = 0; k < n; ++k) {
                if (narrowing && !shown[k]) continue;
                shown[k] = RecordContains(table, segment, k, findText, remembered);
                listed += shown[k];
            }
            continue;
        }
        // The shared texts first: their answers are known after a few
        // records. Only names and sizes of records they leave unlisted need
        // reading: one by one when these are few, else in one scan each.
        hit.assign(n, 0);
        std::uint32_t open = 0;
        for (std::uint32_t k = 0; k < n; ++k) {
            if (narrowing && !shown[k]) continue;
            for (int c = 0; c < kSharedColumnCount && hit[k] == 0; ++c)
                if (mayHold[c] && answers.Contains(table, c, segment.ids[c][k], findText))
                    hit[k] = 2;
            open += hit[k] == 0;
        }
        const bool inSizes = MayBeInSizes(segment, findText);
        if (open * 4 < n) {
            for (std::uint32_t k = 0; k < n; ++k)
                if (hit[k] == 0 && (!narrowing || shown[k]))
                    hit[k] = RecordContains(table, segment, k, findText, remembered);
        } else if (open > 0) {
            MarkNamesContaining(segment, findText, hit.data());
            if (inSizes) MarkSizesContaining(segment, findText, hit.data());
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            if (narrowing && !shown[k]) continue;
            shown[k] = hit[k] != 0;
            listed += shown[k];
        }
    }
    table.shownCount = listed;
    table.lastFind.assign(findText);
    table.lastFindHolds = true;
    return listed;
}

void SortTableByField(RecordTable& table, RecordField field, const WhileWaiting& whileWaiting) {
    if (table.order.size() < 2) return;
    if (!IsShared(field)) AwaitRanks(table, field, whileWaiting);
    const auto f = static_cast<std::size_t>(field);
    if (table.ranks[f].empty()) RankForSort(table, field, whileWaiting);
    const std::uint32_t current = table.cursor >= 0 ? table.order[table.cursor] : 0;
    table.listedAfterSortHolds = false;
    table.orderIsStorage = false;
    if (!table.ranks[f].empty() &&
        SortByRanks(table.order, table.ranks[f], table.shown.data(), &table.listedAfterSort)) {
        // The refill that follows a sort gets its rows from the sort's last pass.
        table.listedAfterSortHolds =
            static_cast<std::int64_t>(table.listedAfterSort.size()) == table.shownCount;
    } else {
        // No memory for ranks: the order is sorted by comparing the texts.
        std::stable_sort(table.order.begin(), table.order.end(),
                         [&](std::uint32_t a, std::uint32_t b) {
                             return FieldView(table, a, field) < FieldView(table, b, field);
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
    for (auto& ranks : table.ranks)
        ranks = {};
    table.byName = {};
}

} // namespace qk
