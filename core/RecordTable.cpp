#include "core/RecordTable.h"

#include "core/RecordCommands.h"
#include "core/StoredText.h"
#include "text/Scan.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>

namespace qk {
namespace {

constexpr std::size_t kFirstSlots = 1 << 10;
// From this many records on, a find marks them on two threads.
constexpr std::uint32_t kTwoThreadsFrom = 1 << 19;

// Units a formatted size can hold.
bool MayStandInASize(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') ||
           std::u16string_view(u".,-+ NaInfity").find(unit) != std::u16string_view::npos;
}

// Whether `findText` may stand in a size made from a count.
bool MayBeInCountSizes(std::u16string_view findText) {
    return std::all_of(findText.begin(), findText.end(), MayStandInASize);
}

// Marks the records of a segment whose name contains `sought` (stored
// bytes), scanning the segment's names as one run of bytes.
void MarkNamesContaining(const RecordSegment& segment, std::string_view sought, std::uint8_t* hit) {
    const std::vector<std::uint32_t>& ends = segment.nameEnds;
    std::uint32_t record = 0;
    FindEachStoredOccurrence(std::string_view(segment.names.data(), segment.names.size()), sought,
                             [&](std::size_t at) {
                                 while (ends[record] <= at)
                                     ++record;
                                 if (at + sought.size() <= ends[record]) {
                                     hit[record] = 1;
                                     return std::size_t{ends[record]}; // on to the next record
                                 }
                                 return at + 1;
                             });
}

bool SizeContains(const RecordSegment& segment, std::uint32_t k, std::u16string_view sought) {
    SizeRoom room;
    return FieldContains(segment.Size(k, room), sought);
}

// Marks the records of a segment not yet hit whose size contains `sought`;
// with `only`, just those whose mark in `only` is set.
void MarkSizesContaining(const RecordSegment& segment, std::u16string_view sought, bool countSizes,
                         const std::uint8_t* only, std::uint8_t* hit) {
    if (countSizes) {
        for (std::uint32_t k = 0; k < segment.Count(); ++k)
            if (!hit[k] && (!only || only[k]) && SizeContains(segment, k, sought)) hit[k] = 1;
        return;
    }
    for (const std::uint32_t k : segment.oddSizeAt)
        if (!hit[k] && (!only || only[k]) && SizeContains(segment, k, sought)) hit[k] = 1;
}

// The find text in the forms the fields are asked with.
struct Sought {
    std::u16string_view units;
    std::string stored;
    bool inCountSizes;
};

bool StoredContains(std::string_view text, std::string_view sought) {
    return text.find(sought) != std::string_view::npos;
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
    // Two threads may ask at once: each answer is written whole, and the
    // same by either.
    bool Contains(const RecordTable& table, int column, std::uint32_t id, const Sought& sought) {
        std::atomic_ref<std::uint8_t> answer(known[column][id]);
        std::uint8_t now = answer.load(std::memory_order_relaxed);
        if (now == 0) {
            now = StoredContains(table.shared[column][id], sought.stored) ? 2 : 1;
            answer.store(now, std::memory_order_relaxed);
        }
        return now == 2;
    }
    // Asks every text of the columns that have few of them, so that a column
    // none of whose texts contains `sought` need not be read record by
    // record. Returns the columns that may contain it.
    // `every` tells whether every text of such a column contains it: then
    // every record does.
    std::array<bool, kSharedColumnCount> AskFewTexts(const RecordTable& table, const Sought& sought,
                                                     bool& every) {
        std::array<bool, kSharedColumnCount> may;
        every = false;
        for (int c = 0; c < kSharedColumnCount; ++c) {
            const std::uint32_t texts = table.shared[c].size();
            may[c] = true;
            if (texts > TableCount(table) / 16) continue; // asked record by record
            bool any = false, all = texts > 0;
            for (std::uint32_t id = 0; id < texts; ++id) {
                const bool contains = Contains(table, c, id, sought);
                any = any || contains;
                all = all && contains;
            }
            may[c] = any;
            every = every || all;
        }
        return may;
    }
};

// The find rule for record k of `segment`: one of its six fields contains
// `sought`. The shared texts are asked through `answers` when there is one.
bool RecordContains(const RecordTable& table, const RecordSegment& segment, std::uint32_t k,
                    const Sought& sought, SharedAnswers* answers) {
    return AnyVisibleFieldContains([&](RecordField field) {
        if (field == RecordField::Name) return StoredContains(segment.Name(k), sought.stored);
        if (field == RecordField::Size)
            return (sought.inCountSizes || !segment.SizeIsCount(k)) &&
                   SizeContains(segment, k, sought.units);
        const auto c = static_cast<int>(SharedIndexOf(field));
        const std::uint32_t id = segment.ids[c][k];
        return answers ? answers->Contains(table, c, id, sought)
                       : StoredContains(table.shared[c][id], sought.stored);
    });
}

// Whether a size text is exactly the formatted text of the count its
// digits give, and that count.
bool SizeOfCount(std::u16string_view size, std::int64_t& count) {
    bool negative = false;
    std::uint64_t value = 0;
    for (const char16_t unit : size) {
        if (unit == u'-') negative = true;
        if (unit < u'0' || unit > u'9') continue;
        const std::uint64_t digit = unit - u'0';
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (value > std::uint64_t{INT64_MAX}) return false;
    count = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    SizeRoom room;
    std::size_t length = 0;
    FormatSize(count, room, length);
    return std::u16string_view(room, length) == size;
}

} // namespace

std::u16string_view RecordSegment::Size(std::uint32_t k, SizeRoom& room) const {
    if (!oddSizeAt.empty()) {
        const auto at = std::lower_bound(oddSizeAt.begin(), oddSizeAt.end(), k);
        if (at != oddSizeAt.end() && *at == k) return oddSizes[at - oddSizeAt.begin()];
    }
    std::size_t length = 0;
    FormatSize(sizes[k], room, length);
    return {room, length};
}

bool RecordSegment::SizeIsCount(std::uint32_t k) const {
    return oddSizeAt.empty() || !std::binary_search(oddSizeAt.begin(), oddSizeAt.end(), k);
}

void RecordSegment::Append(std::u16string_view name, std::u16string_view size) {
    const std::uint32_t k = Count();
    AppendStored(name, names);
    std::int64_t count = 0;
    if (!SizeOfCount(size, count)) {
        oddSizeAt.push_back(k);
        oddSizes.emplace_back(size);
    }
    sizes.push_back(count);
    nameEnds.push_back(static_cast<std::uint32_t>(names.size()));
}

std::string_view SharedTexts::At(std::uint32_t offset) const {
    const char* at = chunks_[offset >> kChunkBits].get() + (offset & ((1u << kChunkBits) - 1));
    // The length first, seven bits a byte, the lowest first.
    std::size_t length = 0;
    unsigned shift = 0;
    for (;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        length |= std::size_t{byte & 0x7Fu} << shift;
        if (byte < 0x80) break;
    }
    return {at, length};
}

std::uint32_t SharedTexts::Store(std::string_view stored) {
    constexpr std::size_t kChunk = std::size_t{1} << kChunkBits;
    const std::size_t need = stored.size() + 5;
    if (chunks_.empty() || used_ + need > kChunk) {
        // A new chunk; a text longer than one takes as many chunks' room.
        const std::size_t chunks = (need + kChunk - 1) / kChunk;
        if ((chunks_.size() + chunks) << kChunkBits > UINT32_MAX) throw std::bad_alloc();
        chunks_.reserve(chunks_.size() + chunks);
        chunks_.emplace_back(new char[chunks * kChunk]);
        for (std::size_t extra = 1; extra < chunks; ++extra)
            chunks_.emplace_back();
        used_ = 0;
        if (chunks > 1) used_ = static_cast<std::uint32_t>(kChunk); // nothing more goes there
        const auto offset = static_cast<std::uint32_t>((chunks_.size() - chunks) << kChunkBits);
        char* put = chunks_[offset >> kChunkBits].get();
        for (std::size_t length = stored.size();; length >>= 7) {
            *put++ = static_cast<char>((length & 0x7F) | (length >= 0x80 ? 0x80 : 0));
            if (length < 0x80) break;
        }
        if (!stored.empty()) std::memcpy(put, stored.data(), stored.size());
        if (chunks == 1)
            used_ = static_cast<std::uint32_t>(put - chunks_.back().get()) +
                    static_cast<std::uint32_t>(stored.size());
        return offset;
    }
    const auto offset = static_cast<std::uint32_t>(((chunks_.size() - 1) << kChunkBits) + used_);
    char* const start = chunks_.back().get() + used_;
    char* put = start;
    for (std::size_t length = stored.size();; length >>= 7) {
        *put++ = static_cast<char>((length & 0x7F) | (length >= 0x80 ? 0x80 : 0));
        if (length < 0x80) break;
    }
    if (!stored.empty()) std::memcpy(put, stored.data(), stored.size());
    used_ += static_cast<std::uint32_t>(put - start + stored.size());
    return offset;
}

std::uint32_t SharedTexts::Intern(std::string_view stored, std::uint64_t hash) {
    // The index is made again after DropIndex, for a text added later.
    if (slots_.empty()) Rehash(std::max(kFirstSlots, std::bit_ceil(offsets_.size() * 4)));
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t tag = TagOf(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = slots_[i];
        if (slot == 0) {
            const auto id = static_cast<std::uint32_t>(offsets_.size());
            // Room for the offset before the text is stored, grown by
            // doubling: a log of new texts must not copy them all each time.
            if (offsets_.size() == offsets_.capacity())
                offsets_.reserve(std::max(kFirstSlots, offsets_.capacity() * 2));
            offsets_.push_back(Store(stored));
            slots_[i] = tag | (id + 1);
            if (offsets_.size() * 2 > slots_.size()) Rehash(slots_.size() * 2);
            return id;
        }
        // Only a text whose hash has the slot's tag bits is read.
        if ((slot & ~idMask_) == tag && SameBytes((*this)[(slot & idMask_) - 1], stored))
            return (slot & idMask_) - 1;
    }
}

std::uint32_t SharedTexts::TagOf(std::uint64_t hash) const {
    return static_cast<std::uint32_t>(hash >> 32) & ~idMask_;
}

void SharedTexts::Rehash(std::size_t slotCount) {
    std::vector<std::uint32_t> grown(slotCount, 0);
    // Ids stay below half the slots, so the bits above a slot number are
    // free for the hash's tag.
    const auto idBits = static_cast<unsigned>(std::bit_width(slotCount - 1));
    idMask_ = idBits >= 32 ? UINT32_MAX : (std::uint32_t{1} << idBits) - 1;
    const std::size_t mask = grown.size() - 1;
    for (std::uint32_t id = 0; id < offsets_.size(); ++id) {
        const std::string_view text = (*this)[id];
        const std::uint64_t hash = HashBytes(text.data(), text.size());
        std::size_t i = hash & mask;
        while (grown[i] != 0)
            i = (i + 1) & mask;
        grown[i] = TagOf(hash) | (id + 1);
    }
    slots_.swap(grown);
}

void SharedTexts::DropIndex() {
    slots_ = {};
    if (offsets_.capacity() - offsets_.size() > offsets_.size() / 8) offsets_.shrink_to_fit();
}

void SharedTexts::Clear() {
    std::vector<std::unique_ptr<char[]>>().swap(chunks_);
    used_ = 0;
    offsets_ = {};
    slots_ = {};
    idMask_ = 0;
}

void SharedTexts::Swap(SharedTexts& other) noexcept {
    chunks_.swap(other.chunks_);
    std::swap(used_, other.used_);
    offsets_.swap(other.offsets_);
    slots_.swap(other.slots_);
    std::swap(idMask_, other.idMask_);
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
    table.segmentFirsts = {};
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
    DropRanks(table);
}

void SwapTables(RecordTable& a, RecordTable& b) noexcept {
    // Every member but the rank work, which must not be running.
    a.segments.swap(b.segments);
    a.segmentFirsts.swap(b.segmentFirsts);
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
    a.textRanks.swap(b.textRanks);
    a.byName.swap(b.byName);
}

const RecordSegment& SegmentOf(const RecordTable& table, std::uint32_t index) {
    const std::vector<std::uint32_t>& firsts = table.segmentFirsts;
    if (firsts.size() == table.segments.size()) {
        const auto after = std::upper_bound(firsts.begin(), firsts.end(), index);
        return table.segments[static_cast<std::size_t>(after - firsts.begin()) - 1];
    }
    const auto after = std::upper_bound(
        table.segments.begin(), table.segments.end(), index,
        [](std::uint32_t i, const RecordSegment& segment) { return i < segment.first; });
    return *(after - 1);
}

void FieldInto(const RecordTable& table, std::uint32_t index, RecordField field,
               std::u16string& out) {
    const RecordSegment& segment = SegmentOf(table, index);
    const std::uint32_t k = index - segment.first;
    switch (field) {
    case RecordField::Name:
        StoredInto(segment.Name(k), out);
        return;
    case RecordField::Size: {
        SizeRoom room;
        out.assign(segment.Size(k, room));
        return;
    }
    default: {
        const std::size_t c = SharedIndexOf(field);
        StoredInto(table.shared[c][segment.ids[c][k]], out);
        return;
    }
    }
}

std::u16string FieldString(const RecordTable& table, std::uint32_t index, RecordField field) {
    std::u16string out;
    FieldInto(table, index, field, out);
    return out;
}

Text FieldText(const RecordTable& table, std::uint32_t index, RecordField field) {
    return Text(FieldString(table, index, field));
}

std::uint32_t SharedIdAt(const RecordTable& table, std::uint32_t index, SharedColumn column) {
    const RecordSegment& segment = SegmentOf(table, index);
    return segment.ids[static_cast<std::size_t>(column)][index - segment.first];
}

std::uint32_t SharedTextCount(const RecordTable& table, SharedColumn column) {
    return table.shared[static_cast<std::size_t>(column)].size();
}

void SharedTextInto(const RecordTable& table, SharedColumn column, std::uint32_t id,
                    std::u16string& out) {
    StoredInto(table.shared[static_cast<std::size_t>(column)][id], out);
}

int CompareSharedTexts(const RecordTable& table, SharedColumn column, std::uint32_t a,
                       std::uint32_t b) {
    // Stored bytes order as the units do.
    const SharedTexts& texts = table.shared[static_cast<std::size_t>(column)];
    return texts[a].compare(texts[b]);
}

std::int64_t SizeBytesAt(const RecordTable& table, std::uint32_t index) {
    constexpr std::int64_t kExact = std::int64_t{1} << 53;
    const RecordSegment& segment = SegmentOf(table, index);
    const std::uint32_t k = index - segment.first;
    if (segment.SizeIsCount(k) && segment.sizes[k] > -kExact && segment.sizes[k] < kExact)
        return segment.sizes[k];
    // The digits the size shows, its blanks and "." groups left out.
    SizeRoom room;
    const std::u16string_view size = segment.Size(k, room);
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
            table.segmentFirsts.assign(1, 0);
        }
        RecordSegment& segment = table.segments.back();
        const std::uint32_t index = TableCount(table);
        table.shown.reserve(index + 1);
        table.order.reserve(index + 1);
        for (auto& ids : segment.ids)
            ids.reserve(segment.Count() + 1);
        std::array<std::uint32_t, kSharedColumnCount> ids;
        const std::array<const Text*, kSharedColumnCount> texts = {&record.path, &record.date,
                                                                   &record.time, &record.user};
        for (int c = 0; c < kSharedColumnCount; ++c)
            ids[c] = table.shared[c].Intern(StoredOf(texts[c]->view()));
        segment.Append(record.name, record.size);
        for (int c = 0; c < kSharedColumnCount; ++c)
            segment.ids[c].push_back(ids[c]);
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
    DropRanks(table);
    return true;
}

bool AppendSegment(RecordTable& table, RecordSegment&& segment) {
    CallOffRankWork(table);
    const RecordSegment* last = table.segments.empty() ? nullptr : &table.segments.back();
    segment.first = last ? last->first + last->Count() : 0;
    try {
        table.segmentFirsts.push_back(segment.first);
        table.segments.push_back(std::move(segment));
    } catch (const std::bad_alloc&) {
        table.segmentFirsts.resize(table.segments.size());
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
        table.segments.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        table.shown = {};
        return false;
    }
    table.shownCount = count;
    table.cursor = static_cast<std::int64_t>(count) - 1;
    table.lastFindHolds = false;
    table.listedAfterSortHolds = false;
    DropRanks(table);
    return true;
}

namespace {

// Lists the records of one segment that contain `sought`: the shared texts
// first, whose answers are known after a few records; only names and sizes
// of records they leave unlisted need reading, one by one when these are
// few, else in one scan of the names. Returns the number listed.
std::int64_t MarkSegment(RecordTable& table, const RecordSegment& segment, const Sought& sought,
                         bool narrowing, const std::array<bool, kSharedColumnCount>& mayHold,
                         SharedAnswers& answers, std::vector<std::uint8_t>& hit) {
    std::uint8_t* shown = table.shown.data() + segment.first;
    const std::uint32_t n = segment.Count();
    hit.assign(n, 0);
    std::uint32_t open = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        if (narrowing && !shown[k]) continue;
        for (int c = 0; c < kSharedColumnCount && hit[k] == 0; ++c)
            if (mayHold[c] && answers.Contains(table, c, segment.ids[c][k], sought)) hit[k] = 2;
        open += hit[k] == 0;
    }
    if (open * 4 < n) {
        for (std::uint32_t k = 0; k < n; ++k)
            if (hit[k] == 0 && (!narrowing || shown[k]))
                hit[k] = RecordContains(table, segment, k, sought, &answers);
    } else if (open > 0) {
        MarkNamesContaining(segment, sought.stored, hit.data());
        MarkSizesContaining(segment, sought.units, sought.inCountSizes, narrowing ? shown : nullptr,
                            hit.data());
    }
    std::int64_t listed = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        if (narrowing && !shown[k]) continue;
        shown[k] = hit[k] != 0;
        listed += shown[k];
    }
    return listed;
}

} // namespace

// Asks each record (each one listed, when narrowing) on its own.
std::int64_t MarkOneByOne(RecordTable& table, const Sought& sought, bool narrowing,
                          SharedAnswers* remembered) {
    std::int64_t listed = 0;
    for (const RecordSegment& segment : table.segments) {
        std::uint8_t* shown = table.shown.data() + segment.first;
        for (std::uint32_t k = 0; k < segment.Count(); ++k) {
            if (narrowing && !shown[k]) continue;
            shown[k] = RecordContains(table, segment, k, sought, remembered);
            listed += shown[k];
        }
    }
    return listed;
}

// MarkSegment for every segment: the segments of the second half of the
// records on a second thread when there are many.
std::int64_t MarkSegments(RecordTable& table, const Sought& sought, bool narrowing,
                          const std::array<bool, kSharedColumnCount>& mayHold,
                          SharedAnswers& answers, std::array<std::vector<std::uint8_t>, 2>& hits) {
    const std::vector<RecordSegment>& segments = table.segments;
    const auto mark = [&](std::size_t from, std::size_t to, std::vector<std::uint8_t>& hit,
                          std::int64_t& listed) {
        listed = 0;
        for (std::size_t s = from; s < to; ++s)
            listed += MarkSegment(table, segments[s], sought, narrowing, mayHold, answers, hit);
    };
    const std::uint32_t half = TableCount(table) / 2;
    const std::size_t split =
        TableCount(table) < kTwoThreadsFrom
            ? segments.size()
            : static_cast<std::size_t>(
                  std::upper_bound(segments.begin(), segments.end(), half,
                                   [](std::uint32_t i, const RecordSegment& segment) {
                                       return i < segment.first;
                                   }) -
                  segments.begin());
    std::array<std::int64_t, 2> listed{};
    std::thread helper;
    if (split < segments.size()) {
        try {
            helper =
                std::thread(mark, split, segments.size(), std::ref(hits[1]), std::ref(listed[1]));
        } catch (const std::system_error&) {
            mark(split, segments.size(), hits[1], listed[1]); // one after the other then
        }
    }
    mark(0, split, hits[0], listed[0]);
    if (helper.joinable()) helper.join();
    return listed[0] + listed[1];
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
    Sought sought{findText, StoredOf(findText), MayBeInCountSizes(findText)};
    // Without memory for remembering answers, every record is asked in full.
    SharedAnswers answers;
    SharedAnswers* const remembered = answers.Reset(table) ? &answers : nullptr;
    std::int64_t listed = 0;
    // Room to mark the largest segment, on each of two threads.
    std::array<std::vector<std::uint8_t>, 2> hits;
    bool room = true;
    try {
        std::uint32_t largest = 0;
        for (const RecordSegment& segment : table.segments)
            largest = std::max(largest, segment.Count());
        for (auto& hit : hits)
            hit.reserve(largest);
    } catch (const std::bad_alloc&) {
        room = false;
    }
    // Few records listed: ask only those, one by one. Otherwise scan all
    // names of a segment as one run.
    const bool oneByOne = !remembered || !room || (narrowing && table.shownCount * 8 < count);
    std::array<bool, kSharedColumnCount> mayHold;
    mayHold.fill(true);
    bool every = false;
    if (!oneByOne) mayHold = answers.AskFewTexts(table, sought, every);
    if (every) {
        // Every record contains it; those hidden by the last find stay so.
        if (!narrowing) std::fill(table.shown.begin(), table.shown.end(), 1);
        listed = narrowing ? table.shownCount : count;
    } else if (!oneByOne) {
        listed = MarkSegments(table, sought, narrowing, mayHold, answers, hits);
    } else {
        listed = MarkOneByOne(table, sought, narrowing, remembered);
    }
    table.shownCount = listed;
    table.lastFind.assign(findText);
    table.lastFindHolds = true;
    return listed;
}

} // namespace qk
