#include "records/RankSort.h"

#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>

namespace qk {
namespace {

// Digits of up to 12 bits: their counts fit the nearest cache, and ranks of
// up to 24 bits (16 million distinct texts) need two passes.
constexpr unsigned kMaxDigitBits = 12;
constexpr std::size_t kBuckets = std::size_t{1} << kMaxDigitBits;
// From this many elements on, each step is shared by two threads, each
// taking one half of the elements.
constexpr std::size_t kTwoThreadsFrom = std::size_t{1} << 19;

struct Keyed {
    std::uint32_t rank;
    std::uint32_t index;
};

using Counts = std::array<std::uint32_t, kBuckets>;

// Runs `step(half, from, to)` for the halves of [0, n): on two threads when
// `two`, and one after the other when no thread can be had.
template <typename Step> void ForHalves(bool two, std::size_t n, Step step) {
    if (!two) {
        step(0, std::size_t{0}, n);
        return;
    }
    const std::size_t middle = n / 2;
    std::thread helper;
    try {
        helper = std::thread([&] { step(1, middle, n); });
    } catch (const std::system_error&) {
        step(0, std::size_t{0}, middle);
        step(1, middle, n);
        return;
    }
    step(0, std::size_t{0}, middle);
    helper.join();
}

// The radix passes: `counts` holds the counts of every pass by the half that
// made them, `firstHalf` the counts of the first pass's elements in the
// first half. The sorted elements end in `from`.
void PlaceByDigits(std::vector<Keyed>& from, std::vector<Keyed>& to, unsigned passes,
                   unsigned digitBits, const std::array<std::vector<Counts>, 2>& counts,
                   std::array<Counts, 2>& firstHalf, bool two) {
    const std::size_t n = from.size();
    const std::uint32_t mask = (std::uint32_t{1} << digitBits) - 1;
    const std::size_t middle = n / 2;
    for (unsigned p = 0; p < passes; ++p) {
        // Where each half's elements of a bucket go: the first half's before
        // the second's, so that equal ranks keep their order.
        std::array<Counts, 2> start;
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b <= mask; ++b) {
            const std::uint32_t inFirst = two ? firstHalf[0][b] + firstHalf[1][b] : 0;
            start[0][b] = sum;
            start[1][b] = sum + inFirst;
            sum += counts[0][p][b] + counts[1][p][b];
        }
        firstHalf = {};
        const unsigned shift = p * digitBits;
        const unsigned nextShift = shift + digitBits;
        const bool countNext = two && p + 1 < passes;
        ForHalves(two, n, [&](int half, std::size_t begin, std::size_t end) {
            Counts& next = start[half];
            Counts& inFirst = firstHalf[half];
            for (std::size_t k = begin; k < end; ++k) {
                const std::uint32_t place = next[(from[k].rank >> shift) & mask]++;
                to[place] = from[k];
                if (countNext && place < middle) ++inFirst[(from[k].rank >> nextShift) & mask];
            }
        });
        from.swap(to);
    }
}

} // namespace

template <typename Rank>
bool SortByRanks(std::vector<std::uint32_t>& order, const std::vector<Rank>& ranks,
                 const std::uint8_t* marks, std::vector<std::uint32_t>* marked) {
    const std::size_t n = order.size();
    // A mark travels in the top bit of its index.
    constexpr std::uint32_t kMarkBit = std::uint32_t{1} << 31;
    bool marking = marks && marked && n < kMarkBit;
    if (marked) marked->clear();
    std::vector<Keyed> from, to;
    try {
        from.resize(n);
        to.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::uint32_t largest = ranks.empty() ? 0 : *std::max_element(ranks.begin(), ranks.end());
    const unsigned bits = static_cast<unsigned>(std::bit_width(largest));
    const unsigned passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
    const unsigned digitBits = passes ? (bits + passes - 1) / passes : 0;
    const std::uint32_t mask = (std::uint32_t{1} << digitBits) - 1;
    const bool two = n >= kTwoThreadsFrom;
    // The counts of every pass, made while the ranks are gathered, by the
    // half of the elements that did the counting.
    std::array<std::vector<Counts>, 2> counts;
    // Before each pass, the counts of the elements in the first half of the
    // array: known from the gathering for the first pass, counted by each
    // half's thread while it places the elements of the pass before.
    std::array<Counts, 2> firstHalf{};
    std::array<std::size_t, 2> markedCount{};
    try {
        for (auto& c : counts)
            c.assign(passes, Counts{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The ranks are read in the order's sequence, all over their array: the
    // reads ahead are asked for early so that their waits overlap.
    ForHalves(two, n, [&](int half, std::size_t begin, std::size_t end) {
        constexpr std::size_t kAhead = 16;
        std::vector<Counts>& count = counts[half];
        std::size_t markedHere = 0;
        for (std::size_t k = begin; k < end; ++k) {
            const std::uint32_t index = order[k];
            if (k + kAhead < end) {
                Prefetch(&ranks[order[k + kAhead]]);
                if (marking) Prefetch(marks + order[k + kAhead]);
            }
            const std::uint32_t rank = ranks[index];
            const bool mark = marking && marks[index];
            markedHere += mark;
            from[k] = {rank, mark ? index | kMarkBit : index};
            for (unsigned p = 0; p < passes; ++p)
                ++count[p][(rank >> (p * digitBits)) & mask];
        }
        markedCount[half] = markedHere;
    });
    if (passes > 0) firstHalf[0] = counts[0][0];
    PlaceByDigits(from, to, passes, digitBits, counts, firstHalf, two);
    to = {};
    if (marking) {
        try {
            marked->resize(markedCount[0] + markedCount[1]);
        } catch (const std::bad_alloc&) {
            marking = false; // `marked` stays empty
        }
    }
    std::uint32_t* listed = marking ? marked->data() : nullptr;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t index = from[k].index & ~kMarkBit;
        order[k] = index;
        if (listed && (from[k].index & kMarkBit)) *listed++ = index;
    }
    return true;
}

template bool SortByRanks(std::vector<std::uint32_t>&, const std::vector<std::uint16_t>&,
                          const std::uint8_t*, std::vector<std::uint32_t>*);
template bool SortByRanks(std::vector<std::uint32_t>&, const std::vector<std::uint32_t>&,
                          const std::uint8_t*, std::vector<std::uint32_t>*);

} // namespace qk
