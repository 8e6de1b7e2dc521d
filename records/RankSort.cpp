#include "records/RankSort.h"

#include "text/Scan.h"

#include <array>
#include <bit>
#include <cstddef>
#include <new>

namespace qk {
namespace {

// Digits of up to 12 bits: their counts fit the nearest cache, and ranks of
// up to 24 bits (16 million distinct texts) need two passes.
constexpr unsigned kMaxDigitBits = 12;
constexpr std::size_t kBuckets = std::size_t{1} << kMaxDigitBits;

struct Keyed {
    std::uint32_t rank;
    std::uint32_t index;
};

} // namespace

bool SortByRanks(std::vector<std::uint32_t>& order, const std::vector<std::uint32_t>& ranks,
                 const std::uint8_t* marks, std::vector<std::uint32_t>* marked) {
    const std::size_t n = order.size();
    // A mark travels in the top bit of its index.
    constexpr std::uint32_t kMarkBit = std::uint32_t{1} << 31;
    const bool marking = marks && marked && n < kMarkBit;
    if (marked) marked->clear();
    std::vector<Keyed> from, to;
    try {
        from.resize(n);
        to.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::uint32_t largest = 0;
    // The ranks are read in the order's sequence, all over their array: the
    // reads ahead are asked for early so that their waits overlap.
    constexpr std::size_t kAhead = 16;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t index = order[k];
        if (k + kAhead < n) {
            Prefetch(&ranks[order[k + kAhead]]);
            if (marking) Prefetch(marks + order[k + kAhead]);
        }
        const std::uint32_t rank = ranks[index];
        from[k] = {rank, marking && marks[index] ? index | kMarkBit : index};
        largest = std::max(largest, rank);
    }
    const unsigned bits = static_cast<unsigned>(std::bit_width(largest));
    const unsigned passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
    const unsigned digitBits = passes ? (bits + passes - 1) / passes : 0;
    const std::uint32_t mask = (std::uint32_t{1} << digitBits) - 1;
    std::array<std::size_t, kBuckets> start;
    for (unsigned shift = 0; shift < bits; shift += digitBits) {
        start.fill(0);
        for (const Keyed& e : from)
            ++start[(e.rank >> shift) & mask];
        std::size_t sum = 0;
        for (std::size_t& s : start) {
            const std::size_t c = s;
            s = sum;
            sum += c;
        }
        for (const Keyed& e : from)
            to[start[(e.rank >> shift) & mask]++] = e;
        from.swap(to);
    }
    if (!marking) {
        for (std::size_t k = 0; k < n; ++k)
            order[k] = from[k].index;
        return true;
    }
    bool collecting = true; // until memory runs out: then `marked` stays empty
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t index = from[k].index & ~kMarkBit;
        order[k] = index;
        if (collecting && (from[k].index & kMarkBit)) {
            try {
                marked->push_back(index);
            } catch (const std::bad_alloc&) {
                marked->clear();
                collecting = false;
            }
        }
    }
    return true;
}

} // namespace qk
