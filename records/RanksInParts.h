// Ranks worked out in parts, so that the room for sorting is held for about
// `partSize` elements at a time, not for all of them: the elements are
// counted by a 16-bit digit that orders them (equal digits, one part), then
// each part's elements are gathered and ranked, the ranks of a part
// following those of the parts before. `forEach(visit)` calls
// visit(index, element) for every index below `count`, in ascending order,
// the same elements each time (for texts, the element is a function that
// gives the text, asked only for the texts a part needs). Both give ranks by index, empty when no
// memory can be had or `calledOff` becomes true.
#pragma once

#include "records/RankSort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace qk {

// Texts of bytes, as ByteTextRanks orders them (the digit: their first two
// bytes). With `twoThreads`, two parts of half the size are ranked at once.
// `sorted`, when given, receives the indices in the order of their texts
// (equal texts in ascending order).
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

inline bool CalledOff(const std::atomic<bool>* calledOff) {
    return calledOff && calledOff->load(std::memory_order_relaxed);
}

// No ranks, and no order either.
inline std::vector<std::uint32_t> Failed(std::vector<std::uint32_t>* sorted) {
    if (sorted) *sorted = {};
    return {};
}

// One part of texts: its digits, how many texts they hold, then their
// indices and their ranks among each other.
struct TextPart {
    std::uint32_t low = 0, high = 0, count = 0;
    std::vector<std::uint32_t> ids, local;
};

// Ranks `parts` by `rank`: the second on a thread of its own when it can be
// had. False when no memory could be had for one of them.
template <typename Rank> bool RankParts(TextPart* parts, std::size_t taken, const Rank& rank) {
    std::array<bool, 2> failed{};
    const auto guarded = [&](std::size_t p) {
        try {
            if (parts[p].count > 0) rank(parts[p]);
        } catch (const std::bad_alloc&) {
            failed[p] = true;
        }
    };
    std::thread helper;
    if (taken > 1) {
        try {
            helper = std::thread(guarded, std::size_t{1});
        } catch (const std::system_error&) {
            guarded(1); // one after the other then
        }
    }
    guarded(0);
    if (helper.joinable()) helper.join();
    return !failed[0] && !failed[1];
}

// Writes the ranks of a ranked part, after `base`, and its indices in order.
// Returns the base of the next part.
std::uint32_t TakePart(const TextPart& part, std::uint32_t base, std::vector<std::uint32_t>& ranks,
                       std::vector<std::uint32_t>* sorted, std::vector<std::uint32_t>& byRank);

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
    // Until its part is ranked, an element's rank holds its digit, behind a
    // bit no rank has: a part reads no text it leaves out.
    constexpr std::uint32_t kDigitHeld = std::uint32_t{1} << 31;
    if (count >= kDigitHeld) return detail::Failed(sorted);
    const std::uint32_t size = twoThreads ? std::max<std::uint32_t>(partSize / 2, 1) : partSize;
    std::vector<std::uint32_t> ranks;
    try {
        std::vector<std::uint32_t> inDigit(std::size_t{1} << 16, 0), byRank;
        ranks.resize(count);
        forEach([&](std::uint32_t id, const auto& text) {
            const std::uint32_t digit = digitOf(text());
            ++inDigit[digit];
            ranks[id] = kDigitHeld | digit;
        });
        if (sorted) {
            sorted->clear();
            sorted->reserve(count);
        }
        const auto rankPart = [&](detail::TextPart& part) {
            part.ids.resize(part.count);
            ByteTextRanks texts(part.count);
            std::uint32_t j = 0;
            forEach([&](std::uint32_t id, const auto& text) {
                const std::uint32_t held = ranks[id];
                const std::uint32_t digit = held & 0xFFFF;
                if (!(held & kDigitHeld) || digit < part.low || digit >= part.high) return;
                part.ids[j] = id;
                texts.Set(j++, text());
            });
            part.local = texts.Ranks(calledOff);
        };
        std::array<detail::TextPart, 2> parts;
        std::uint32_t base = 0;
        for (std::uint32_t next = 0; next < inDigit.size();) {
            std::size_t taken = 0;
            for (; taken < (twoThreads ? 2u : 1u) && next < inDigit.size(); ++taken) {
                parts[taken] = {next, 0, 0, {}, {}};
                parts[taken].high = detail::PartEnd(inDigit, next, size, parts[taken].count);
                next = parts[taken].high;
            }
            if (detail::CalledOff(calledOff) || !detail::RankParts(parts.data(), taken, rankPart))
                return detail::Failed(sorted);
            for (std::size_t p = 0; p < taken; ++p) {
                if (parts[p].local.size() != parts[p].count) return detail::Failed(sorted);
                base = detail::TakePart(parts[p], base, ranks, sorted, byRank);
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
