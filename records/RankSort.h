// Stable ordering of an index array by 32-bit ranks: what a sort by a column
// becomes once every element has its rank in that column (equal texts, equal
// ranks; smaller texts, smaller ranks).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qk {

// Reorders `order` (indices into `ranks`) by ascending rank, keeping the
// order of elements with equal ranks. Least significant digit first, as few
// passes of up to 12 bits as the largest rank needs. Returns false, leaving
// `order` unchanged, when no memory can be had.
//
// With `marks` (one byte per index), `marked` receives the reordered indices
// whose mark is not 0, in their new order, as a by-product of the last pass
// (it stays empty when no memory can be had for it).
// Ranks are 32 bits, or 16 for a column of few distinct texts.
template <typename Rank>
bool SortByRanks(std::vector<std::uint32_t>& order, const std::vector<Rank>& ranks,
                 const std::uint8_t* marks = nullptr, std::vector<std::uint32_t>* marked = nullptr);

// Dense ranks of `count` elements under `less` (a strict weak order over
// element indices): 0 for the smallest, equal elements share a rank. Returns
// an empty vector when no memory can be had (or count is 0).
template <typename Less> std::vector<std::uint32_t> DenseRanks(std::uint32_t count, Less less);

// A text while it is sorted for its rank: its key at the current depth, its
// id and its length. Once its place is final, the key says whether it
// equals the text before it (1) or not (0).
struct KeyedText {
    std::uint64_t key;
    std::uint32_t id;
    std::uint32_t length;
};

// The dense ranks of texts in the order of their UTF-16 code units (the
// order of std::u16string_view's comparison: shorter first at an equal
// start): equal texts share a rank, ranks have no gaps. Sorted by keys of as
// many units at a time as fit 64 bits once each unit that occurs is given
// its place among those that occur, so sizes (blanks, dots and digits) need
// one key. Needs 24 bytes a text, and 16 more for the largest part sorted
// by radix passes.
template <typename Unit> class BasicTextRanks {
  public:
    // Room for `count` texts. Throws std::bad_alloc when no memory can be had.
    explicit BasicTextRanks(std::uint32_t count) : units_(count), items_(count) {}
    // Text `id` (below the count); its units must stay until Ranks returns.
    void Set(std::uint32_t id, std::basic_string_view<Unit> text) {
        units_[id] = text.data();
        items_[id] = {0, id, static_cast<std::uint32_t>(text.size())};
    }
    // The ranks by id. With `twoThreads`, a second thread sorts about half
    // of the texts. Empty when no memory can be had or when `calledOff`
    // becomes true. Frees what this holds.
    std::vector<std::uint32_t> Ranks(const std::atomic<bool>* calledOff = nullptr,
                                     bool twoThreads = false);

  private:
    std::vector<const Unit*> units_;
    std::vector<KeyedText> items_;
};

// Texts of UTF-16 units, and texts of bytes (ordered as unsigned bytes).
using TextRanks = BasicTextRanks<char16_t>;
using ByteTextRanks = BasicTextRanks<char>;

// The ranks of `texts` as TextRanks gives them.
std::vector<std::uint32_t> DenseTextRanks(const std::vector<std::u16string_view>& texts,
                                          const std::atomic<bool>* calledOff = nullptr,
                                          bool twoThreads = false);

// The indices 0 to ranks.size() - 1 ordered by ascending rank, equal ranks in
// index order. `rankCount` is one more than the largest rank. Throws
// std::bad_alloc when no memory can be had.
void IndicesByRank(const std::vector<std::uint32_t>& ranks, std::uint32_t rankCount,
                   std::vector<std::uint32_t>& sorted);

// Ranks worked out in parts, so that the room for sorting is held for about
// `partSize` elements at a time, not for all: the elements are counted by a
// 16-bit digit that orders them (equal digits, one part), then each part's
// elements are gathered and ranked, the ranks of a part following those of
// the parts before. `forEach(visit)` calls visit(index, element) for every
// index below `count`, the same elements each time. Both give ranks by
// index, empty when no memory can be had or `calledOff` becomes true.
//
// Texts of bytes, as ByteTextRanks orders them (the digit: their first two
// bytes). With `sorted`, which then receives the indices in the order of
// their texts, `forEach` must visit the indices in ascending order (equal
// texts keep it).
template <typename ForEach>
std::vector<std::uint32_t>
ByteTextRanksInParts(std::uint32_t count, ForEach forEach, std::uint32_t partSize,
                     const std::atomic<bool>* calledOff = nullptr, bool twoThreads = false,
                     std::vector<std::uint32_t>* sorted = nullptr);
// Integers below 2^(64 - bit_width(count)) in their order.
template <typename ForEach>
std::vector<std::uint32_t> CountRanksInParts(std::uint32_t count, ForEach forEach,
                                             std::uint32_t partSize,
                                             const std::atomic<bool>* calledOff = nullptr);

} // namespace qk

#include <algorithm>
#include <bit>
#include <new>

namespace qk {

template <typename Less> std::vector<std::uint32_t> DenseRanks(std::uint32_t count, Less less) {
    std::vector<std::uint32_t> ranks;
    try {
        std::vector<std::uint32_t> sorted(count);
        for (std::uint32_t i = 0; i < count; ++i)
            sorted[i] = i;
        std::sort(sorted.begin(), sorted.end(), less);
        ranks.resize(count);
        std::uint32_t rank = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            if (k > 0 && less(sorted[k - 1], sorted[k])) ++rank;
            ranks[sorted[k]] = rank;
        }
    } catch (const std::bad_alloc&) {
        ranks.clear();
    }
    return ranks;
}

namespace detail {

// The digits low, low + 1, ... that make up the next part: at least one, and
// then as many as keep it within `partSize` elements.
inline std::uint32_t PartEnd(const std::vector<std::uint32_t>& inDigit, std::uint32_t low,
                             std::uint32_t partSize, std::uint32_t& inPart) {
    std::uint32_t high = low;
    inPart = 0;
    while (high < inDigit.size() && (high == low || inPart + inDigit[high] <= partSize))
        inPart += inDigit[high++];
    return high;
}

// No ranks, and no order either.
inline std::vector<std::uint32_t> Failed(std::vector<std::uint32_t>* sorted) {
    if (sorted) *sorted = {};
    return {};
}

inline bool CalledOff(const std::atomic<bool>* calledOff) {
    return calledOff && calledOff->load(std::memory_order_relaxed);
}

// Sorts `packed` (an integer above `indexBits` bits of index) by the
// integer's bits that `differing` has, least significant digit first.
void SortPacked(std::vector<std::uint64_t>& packed, unsigned indexBits, std::uint64_t differing);

} // namespace detail

template <typename ForEach>
std::vector<std::uint32_t> ByteTextRanksInParts(std::uint32_t count, ForEach forEach,
                                                std::uint32_t partSize,
                                                const std::atomic<bool>* calledOff, bool twoThreads,
                                                std::vector<std::uint32_t>* sorted) {
    // Shorter texts count as if ended by the smallest byte: the digits order
    // as the texts do.
    const auto digitOf = [](std::string_view text) {
        const auto byte = [&](std::size_t i) {
            return i < text.size() ? std::uint32_t{static_cast<unsigned char>(text[i])} : 0u;
        };
        return byte(0) << 8 | byte(1);
    };
    std::vector<std::uint32_t> ranks;
    try {
        std::vector<std::uint32_t> inDigit(std::size_t{1} << 16, 0), ids, byRank;
        forEach([&](std::uint32_t, std::string_view text) { ++inDigit[digitOf(text)]; });
        ranks.resize(count);
        if (sorted) {
            sorted->clear();
            sorted->reserve(count);
        }
        std::uint32_t base = 0, inPart = 0;
        for (std::uint32_t low = 0, high; low < inDigit.size(); low = high) {
            high = detail::PartEnd(inDigit, low, partSize, inPart);
            if (inPart == 0) continue;
            if (detail::CalledOff(calledOff)) return detail::Failed(sorted);
            ids.resize(inPart);
            ByteTextRanks texts(inPart);
            std::uint32_t j = 0;
            forEach([&](std::uint32_t id, std::string_view text) {
                const std::uint32_t digit = digitOf(text);
                if (digit < low || digit >= high) return;
                ids[j] = id;
                texts.Set(j++, text);
            });
            const std::vector<std::uint32_t> local = texts.Ranks(calledOff, twoThreads);
            if (local.size() != inPart) return detail::Failed(sorted);
            std::uint32_t most = 0;
            for (j = 0; j < inPart; ++j) {
                ranks[ids[j]] = base + local[j];
                most = std::max(most, local[j]);
            }
            base += most + 1;
            if (sorted) {
                IndicesByRank(local, most + 1, byRank);
                for (const std::uint32_t k : byRank)
                    sorted->push_back(ids[k]);
            }
        }
    } catch (const std::bad_alloc&) {
        return detail::Failed(sorted);
    }
    return ranks;
}

template <typename ForEach>
std::vector<std::uint32_t> CountRanksInParts(std::uint32_t count, ForEach forEach,
                                             std::uint32_t partSize,
                                             const std::atomic<bool>* calledOff) {
    std::vector<std::uint32_t> ranks;
    if (count == 0) return ranks;
    const auto indexBits = static_cast<unsigned>(std::bit_width(count));
    std::uint64_t differing = 0, some = 0;
    bool first = true;
    forEach([&](std::uint32_t, std::uint64_t value) {
        if (first) some = value;
        first = false;
        differing |= value ^ some;
    });
    // The digit: the 16 highest bits in which the integers differ.
    const auto high = static_cast<unsigned>(std::bit_width(differing));
    const unsigned shift = high > 16 ? high - 16 : 0;
    const auto digitOf = [shift](std::uint64_t value) {
        return static_cast<std::uint32_t>((value >> shift) & 0xFFFF);
    };
    try {
        std::vector<std::uint32_t> inDigit(std::size_t{1} << 16, 0);
        forEach([&](std::uint32_t, std::uint64_t value) { ++inDigit[digitOf(value)]; });
        ranks.resize(count);
        std::vector<std::uint64_t> packed;
        const std::uint64_t indexMask = (std::uint64_t{1} << indexBits) - 1;
        std::uint32_t base = 0, inPart = 0;
        for (std::uint32_t low = 0, end; low < inDigit.size(); low = end) {
            end = detail::PartEnd(inDigit, low, partSize, inPart);
            if (inPart == 0) continue;
            if (detail::CalledOff(calledOff)) return {};
            packed.clear();
            packed.reserve(inPart);
            forEach([&](std::uint32_t index, std::uint64_t value) {
                const std::uint32_t digit = digitOf(value);
                if (digit >= low && digit < end) packed.push_back(value << indexBits | index);
            });
            detail::SortPacked(packed, indexBits, differing);
            std::uint32_t rank = base;
            for (std::size_t k = 0; k < packed.size(); ++k) {
                if (k > 0 && (packed[k] >> indexBits) != (packed[k - 1] >> indexBits)) ++rank;
                ranks[packed[k] & indexMask] = rank;
            }
            base = rank + 1;
        }
    } catch (const std::bad_alloc&) {
        ranks.clear();
    }
    return ranks;
}

} // namespace qk
