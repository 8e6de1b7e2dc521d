// The listed records and the records of one name, in list order.
#include "core/RecordTable.h"

#include "core/StoredText.h"

#include "text/Scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace qk {
namespace {

constexpr std::size_t kNameWork = 0;
// The most records of one name looked for by comparing them all at once.
constexpr std::size_t kFewWanted = 8;
// From this many records on, the order is walked by two threads.
constexpr std::size_t kTwoThreadsFrom = std::size_t{1} << 19;

// A name in its stored bytes, by storage index or as sought.
std::string_view NameOf(const RecordTable& table, std::uint32_t index) {
    const RecordSegment& segment = SegmentOf(table, index);
    return segment.Name(index - segment.first);
}
std::string_view NameOf(const RecordTable&, const std::string& name) {
    return name;
}

// The values of order[from, to) that are among the very few sorted `wanted`,
// in order, appended to `kept`: four values at a time compared with each
// wanted one.
void KeepFewInRange(const std::vector<std::uint32_t>& order, std::size_t from, std::size_t to,
                    const std::vector<std::uint32_t>& wanted, std::vector<std::uint32_t>& kept) {
    const auto keep = [&](std::uint32_t index) {
        if (std::binary_search(wanted.begin(), wanted.end(), index)) kept.push_back(index);
    };
    std::size_t i = from;
#if QK_SCAN_SSE2
    __m128i each[kFewWanted];
    for (std::size_t j = 0; j < kFewWanted; ++j)
        each[j] = _mm_set1_epi32(static_cast<int>(wanted[std::min(j, wanted.size() - 1)]));
    for (; i + 4 <= to; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(order.data() + i));
        __m128i any = _mm_cmpeq_epi32(v, each[0]);
        for (std::size_t j = 1; j < kFewWanted; ++j)
            any = _mm_or_si128(any, _mm_cmpeq_epi32(v, each[j]));
        if (_mm_movemask_epi8(any) != 0)
            for (std::size_t t = 0; t < 4; ++t)
                keep(order[i + t]);
    }
#endif
    for (; i < to; ++i)
        keep(order[i]);
}

// The values of `order` that are among the very few sorted `wanted`, in
// order, into `kept`; a long order in two halves, the second on another
// thread. False (and nothing kept) when they are too many for that, or
// without SSE2.
bool KeepFewInOrder(const std::vector<std::uint32_t>& order,
                    const std::vector<std::uint32_t>& wanted, std::vector<std::uint32_t>& kept) {
    if (!QK_SCAN_SSE2 || wanted.empty() || wanted.size() > kFewWanted) return false;
    const std::size_t n = order.size(), half = n / 2;
    std::vector<std::uint32_t> second;
    std::thread helper;
    if (n >= kTwoThreadsFrom) {
        try {
            second.reserve(wanted.size());
            helper = std::thread([&] { KeepFewInRange(order, half, n, wanted, second); });
        } catch (const std::exception&) {
            // one thread for the whole order
        }
    }
    KeepFewInRange(order, 0, helper.joinable() ? half : n, wanted, kept);
    if (helper.joinable()) {
        helper.join();
        kept.insert(kept.end(), second.begin(), second.end());
    }
    return true;
}

// The marks of the first `count` records as bits, record i at bit i % 64 of
// word i / 64: an eighth of the marks' size, small enough to stay in a
// near cache while the order is walked.
void PackMarks(const std::uint8_t* shown, std::size_t count, std::uint64_t* bits) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight marks of 0 or 1 at once: the multiplication moves the low bit
        // of byte j to bit 56 + j, with no two products meeting.
        for (; i + 64 <= count; i += 64) {
            std::uint64_t word = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                std::uint64_t eight;
                std::memcpy(&eight, shown + i + 8 * b, 8);
                word |= ((eight * 0x0102040810204080ULL) >> 56) << (8 * b);
            }
            bits[i / 64] = word;
        }
    }
    for (; i < count; ++i) {
        if (i % 64 == 0) bits[i / 64] = 0;
        bits[i / 64] |= std::uint64_t{shown[i] != 0} << (i % 64);
    }
}

// Each listed record by a walk over the order asking the marks one by one.
void ListedByWalk(const RecordTable& table, std::vector<std::uint32_t>& rows) {
    const std::uint8_t* shown = table.shown.data();
    const std::uint32_t* order = table.order.data();
    const std::size_t n = table.order.size();
    constexpr std::size_t kAhead = 16;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kAhead < n) Prefetch(shown + order[k + kAhead]);
        if (shown[order[k]]) rows.push_back(order[k]);
    }
}

} // namespace

void ListedRecords(RecordTable& table, std::vector<std::uint32_t>& rows) {
    if (table.listedAfterSortHolds) {
        rows.swap(table.listedAfterSort);
        table.listedAfterSort.clear();
        table.listedAfterSortHolds = false;
        return;
    }
    const std::size_t n = table.order.size();
    if (table.shownCount == static_cast<std::int64_t>(n)) {
        rows.assign(table.order.begin(), table.order.end()); // every record is listed
        return;
    }
    rows.clear();
    if (table.shownCount <= 0) return;
    rows.reserve(static_cast<std::size_t>(table.shownCount));
    std::vector<std::uint64_t> bits;
    try {
        bits.resize((n + 63) / 64);
    } catch (const std::bad_alloc&) {
        ListedByWalk(table, rows); // no room for the bits: the marks themselves
        return;
    }
    PackMarks(table.shown.data(), n, bits.data());
    if (table.orderIsStorage) {
        // The list order is storage order: the set bits are the rows.
        for (std::size_t w = 0; w < bits.size(); ++w)
            for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
                rows.push_back(static_cast<std::uint32_t>(64 * w + std::countr_zero(word)));
        return;
    }
    for (const std::uint32_t index : table.order)
        if (bits[index / 64] >> (index % 64) & 1) rows.push_back(index);
}

void RecordsNamed(RecordTable& table, std::u16string_view name,
                  std::vector<std::uint32_t>& matches) {
    matches.clear();
    std::vector<std::uint32_t> found;
    const std::string stored = StoredOf(name);
    const bool indexed =
        (!table.rankWork.joinable() ||
         table.rankWorkState[kNameWork].load(std::memory_order_acquire) >= RanksDone) &&
        table.byName.size() == TableCount(table);
    if (indexed) {
        // The names in order: the matches stand together.
        const auto [from, to] = std::equal_range(
            table.byName.begin(), table.byName.end(), stored,
            [&](const auto& a, const auto& b) { return NameOf(table, a) < NameOf(table, b); });
        found.assign(from, to);
    }
    for (const RecordSegment& segment : table.segments) {
        if (indexed) break;
        if (name.empty()) {
            for (std::uint32_t k = 0; k < segment.Count(); ++k)
                if (segment.Name(k).empty()) found.push_back(segment.first + k);
            continue;
        }
        std::size_t record = 0;
        const auto& ends = segment.nameEnds;
        FindEachStoredOccurrence(std::string_view(segment.names.data(), segment.names.size()),
                                 stored, [&](std::size_t at) {
                                     while (ends[record] <= at)
                                         ++record;
                                     const std::size_t start = record ? ends[record - 1] : 0;
                                     if (at == start && at + stored.size() == ends[record])
                                         found.push_back(segment.first +
                                                         static_cast<std::uint32_t>(record));
                                     return static_cast<std::size_t>(ends[record]);
                                 });
    }
    if (found.empty()) return;
    std::sort(found.begin(), found.end());
    matches.reserve(found.size());
    if (KeepFewInOrder(table.order, found, matches)) return;
    // Into list order: the found indices are few, the order long. One pass
    // over the order asks a small bit set first (it stays in the nearest
    // cache) and the sorted found indices only for the indices it lets by.
    constexpr std::uint32_t kBits = 1 << 16;
    std::vector<std::uint64_t> maybe(kBits / 64, 0);
    for (const std::uint32_t index : found)
        maybe[(index % kBits) / 64] |= std::uint64_t{1} << (index % 64);
    for (const std::uint32_t index : table.order)
        if ((maybe[(index % kBits) / 64] >> (index % 64) & 1) &&
            std::binary_search(found.begin(), found.end(), index))
            matches.push_back(index);
}

} // namespace qk
