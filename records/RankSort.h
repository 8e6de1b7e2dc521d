// Stable ordering of an index array by 32-bit ranks: what a sort by a column
// becomes once every element has its rank in that column (equal texts, equal
// ranks; smaller texts, smaller ranks).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qk {

// Reorders `order` (indices into `ranks`, each at most once) by ascending
// rank, keeping the order of elements with equal ranks: by the ranks' top
// 12 bits, then each run of equal top bits by the bits below, in as few
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

} // namespace qk

#include <algorithm>
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

} // namespace qk
