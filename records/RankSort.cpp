#include "records/RankSort.h"

#include "records/RanksInParts.h"

#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

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

// A rank and the index it belongs to; the index carries the mark in its
// top bit.
constexpr std::uint32_t kMarkBit = std::uint32_t{1} << 31;

// Sorts [first, last) stably by the rank bits below `lowBits`, least
// significant digit first, through `spare` (room for n, unless n is at
// most 32); small runs by insertion.
void SortByLowBits(Keyed* first, Keyed* last, unsigned lowBits, std::vector<Keyed>& spare) {
    const auto n = static_cast<std::size_t>(last - first);
    const std::uint32_t lowMask = (std::uint32_t{1} << lowBits) - 1;
    if (n < 2 || lowBits == 0) return;
    if (n <= 32) {
        for (Keyed* item = first + 1; item != last; ++item) {
            const Keyed moving = *item;
            Keyed* to = item;
            for (; to != first && ((to - 1)->rank & lowMask) > (moving.rank & lowMask); --to)
                *to = *(to - 1);
            *to = moving;
        }
        return;
    }
    const unsigned passes = (lowBits + kMaxDigitBits - 1) / kMaxDigitBits;
    const unsigned digitBits = (lowBits + passes - 1) / passes;
    const std::uint32_t mask = (std::uint32_t{1} << digitBits) - 1;
    Keyed* from = first;
    Keyed* to = spare.data();
    Counts start;
    for (unsigned p = 0; p < passes; ++p) {
        const unsigned shift = p * digitBits;
        std::fill(start.begin(), start.begin() + mask + 1, 0);
        for (std::size_t k = 0; k < n; ++k)
            ++start[(from[k].rank >> shift) & mask];
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b <= mask; ++b)
            sum += std::exchange(start[b], sum);
        for (std::size_t k = 0; k < n; ++k)
            to[start[(from[k].rank >> shift) & mask]++] = from[k];
        std::swap(from, to);
    }
    if (from != first) std::copy(from, from + n, first);
}

// The marks travel in the indices of `order` until here: they are taken
// out, and the marked indices written to `marked` in order.
void TakeMarks(std::vector<std::uint32_t>& order, std::vector<std::uint32_t>* marked, bool two) {
    std::array<std::size_t, 2> inHalf{};
    ForHalves(two, order.size(), [&](int half, std::size_t begin, std::size_t end) {
        std::size_t count = 0;
        for (std::size_t k = begin; k < end; ++k)
            count += order[k] >> 31;
        inHalf[half] = count;
    });
    try {
        marked->resize(inHalf[0] + inHalf[1]);
    } catch (const std::bad_alloc&) {
        marked = nullptr; // it stays empty
    }
    ForHalves(two, order.size(), [&](int half, std::size_t begin, std::size_t end) {
        std::uint32_t* listed = marked ? marked->data() + (half ? inHalf[0] : 0) : nullptr;
        for (std::size_t k = begin; k < end; ++k) {
            if (listed && (order[k] & kMarkBit)) *listed++ = order[k] & ~kMarkBit;
            order[k] &= ~kMarkBit;
        }
    });
}

} // namespace

// Most significant digit first: the elements are counted by their rank's
// top digit, then placed by it (stable, the first half's before the
// second's), and each digit's run sorted by the bits below on its own, where
// it fits the caches. Only one array of the elements is held besides the
// order: their indices alone when the top digit is the whole rank.
template <typename Rank>
bool SortByRanks(std::vector<std::uint32_t>& order, const std::vector<Rank>& ranks,
                 const std::uint8_t* marks, std::vector<std::uint32_t>* marked) {
    const std::size_t n = order.size();
    const bool marking = marks && marked && n < kMarkBit;
    if (marked) marked->clear();
    const std::uint32_t largest = ranks.empty() ? 0 : *std::max_element(ranks.begin(), ranks.end());
    const auto bits = static_cast<unsigned>(std::bit_width(largest));
    const unsigned lowBits = bits > kMaxDigitBits ? bits - kMaxDigitBits : 0;
    const bool two = n >= kTwoThreadsFrom;
    std::vector<Keyed> placed;
    std::vector<std::uint32_t> indices;
    try {
        (lowBits ? placed.resize(n) : indices.resize(n));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The ranks are read in the order's sequence, all over their array: the
    // reads ahead are asked for early so that their waits overlap.
    constexpr std::size_t kAhead = 16;
    // When the order holds every index, each digit's count is had from the
    // ranks as they lie, and the second half is placed from the end of each
    // digit's run backwards, so that its elements need not be counted apart.
    const bool whole = n == ranks.size();
    std::array<Counts, 2> start{};
    ForHalves(two, n, [&](int half, std::size_t begin, std::size_t end) {
        Counts& count = start[half];
        if (whole) {
            for (std::size_t k = begin; k < end; ++k)
                ++count[ranks[k] >> lowBits];
            return;
        }
        for (std::size_t k = begin; k < end; ++k) {
            if (k + kAhead < end) Prefetch(&ranks[order[k + kAhead]]);
            ++count[ranks[order[k]] >> lowBits];
        }
    });
    std::vector<std::uint32_t> runEnds(kBuckets);
    std::uint32_t sum = 0, longest = 0;
    for (std::size_t b = 0; b < kBuckets; ++b) {
        const std::uint32_t first = start[0][b], second = start[1][b];
        start[0][b] = sum;
        sum += first + second;
        start[1][b] = whole ? sum : start[0][b] + first;
        runEnds[b] = sum;
        longest = std::max(longest, first + second);
    }
    // Room for sorting the longest run below its top digit, on each thread,
    // had before the order is touched.
    std::array<std::vector<Keyed>, 2> spares;
    try {
        if (lowBits && longest > 32) {
            spares[0].resize(longest);
            if (two) spares[1].resize(longest);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    ForHalves(two, n, [&](int half, std::size_t begin, std::size_t end) {
        Counts& next = start[half];
        const bool backwards = whole && half == 1;
        const auto place = [&](std::size_t k, std::size_t ahead) {
            Prefetch(&ranks[order[ahead]]);
            if (marking) Prefetch(marks + order[ahead]);
            const std::uint32_t index = order[k];
            const std::uint32_t rank = ranks[index];
            const std::uint32_t carried = marking && marks[index] ? index | kMarkBit : index;
            std::uint32_t& digitNext = next[rank >> lowBits];
            const std::uint32_t at = backwards ? --digitNext : digitNext++;
            if (lowBits)
                placed[at] = {rank, carried};
            else
                indices[at] = carried;
        };
        if (backwards) {
            for (std::size_t k = end; k-- > begin;)
                place(k, k >= begin + kAhead ? k - kAhead : begin);
        } else {
            for (std::size_t k = begin; k < end; ++k)
                place(k, k + kAhead < end ? k + kAhead : end - 1);
        }
    });
    if (lowBits) {
        // The runs of each top digit, shared out by the elements they hold.
        const auto split = static_cast<std::size_t>(
            std::lower_bound(runEnds.begin(), runEnds.end(), n / 2) - runEnds.begin());
        ForHalves(two, 2, [&](int half, std::size_t, std::size_t) {
            std::vector<Keyed>& spare = spares[half];
            for (std::size_t b = half ? split : 0; b < (half || !two ? kBuckets : split); ++b) {
                const std::uint32_t from = b ? runEnds[b - 1] : 0;
                SortByLowBits(placed.data() + from, placed.data() + runEnds[b], lowBits, spare);
                for (std::uint32_t k = from; k < runEnds[b]; ++k)
                    order[k] = placed[k].index;
            }
        });
    } else {
        order.swap(indices);
    }
    placed = {};
    indices = {};
    if (marking) TakeMarks(order, marked, two);
    return true;
}

template bool SortByRanks(std::vector<std::uint32_t>&, const std::vector<std::uint16_t>&,
                          const std::uint8_t*, std::vector<std::uint32_t>*);
template bool SortByRanks(std::vector<std::uint32_t>&, const std::vector<std::uint32_t>&,
                          const std::uint8_t*, std::vector<std::uint32_t>*);

namespace detail {

std::uint32_t TakePart(const TextPart& part, std::uint32_t base, std::vector<std::uint32_t>& ranks,
                       std::vector<std::uint32_t>* sorted, std::vector<std::uint32_t>& byRank) {
    if (part.count == 0) return base;
    std::uint32_t most = 0;
    for (std::uint32_t j = 0; j < part.count; ++j) {
        ranks[part.ids[j]] = base + part.local[j];
        most = std::max(most, part.local[j]);
    }
    if (sorted) {
        IndicesByRank(part.local, most + 1, byRank);
        for (const std::uint32_t k : byRank)
            sorted->push_back(part.ids[k]);
    }
    return base + most + 1;
}

void SortPacked(std::vector<std::uint64_t>& packed, unsigned indexBits, std::uint64_t differing) {
    constexpr unsigned kDigitBits = 11;
    constexpr std::uint64_t kMask = (std::uint64_t{1} << kDigitBits) - 1;
    std::vector<std::uint64_t> spare(packed.size());
    std::vector<std::uint32_t> start(kMask + 2);
    for (unsigned shift = 0; shift < 64 - indexBits; shift += kDigitBits) {
        if (((differing >> shift) & kMask) == 0) continue;
        const unsigned at = shift + indexBits;
        std::fill(start.begin(), start.end(), 0);
        for (const std::uint64_t value : packed)
            ++start[((value >> at) & kMask) + 1];
        for (std::size_t d = 1; d < start.size(); ++d)
            start[d] += start[d - 1];
        for (const std::uint64_t value : packed)
            spare[start[(value >> at) & kMask]++] = value;
        packed.swap(spare);
    }
}

} // namespace detail

} // namespace qk
