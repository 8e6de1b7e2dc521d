// What the overview's computation and its lists share: sums that stop at the
// limits of 64 bits, the order of date + " " + time, the order of shared
// texts, and the parts of Overview::detail.
#pragma once

#include "core/Overview.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace qk {

inline std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

inline std::int64_t SaturatedTimes(std::int64_t size, std::uint64_t n) {
    std::int64_t product;
    if (n <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) &&
        !__builtin_mul_overflow(size, static_cast<std::int64_t>(n), &product))
        return product;
    return size > 0 ? std::numeric_limits<std::int64_t>::max()
                    : std::numeric_limits<std::int64_t>::min();
}

// One number for the folder pair (a, b) by their ids.
inline std::uint64_t PairKey(std::uint32_t a, std::uint32_t b) {
    return std::uint64_t{a} << 32 | b;
}

// `ids` (distinct ids of a shared column) ranked by their texts followed by
// `suffix` (when not 0), by UTF-16 code units: rank[id] for each of them, in
// `rank` of SharedTextCount entries (the others left at their value or 0
// when `rank` is made here). `suffixMet` tells whether a text holds the
// suffix itself.
void RankSharedTexts(const RecordTable& table, SharedColumn column,
                     const std::vector<std::uint32_t>& ids, std::vector<std::uint32_t>& rank,
                     char16_t suffix = 0, bool* suffixMet = nullptr);

// The record's date + " " + time, the text the newest copy is chosen by.
void WhenInto(const RecordTable& table, std::uint32_t index, std::u16string& out);

// The order of date + " " + time as one number: the rank of the date
// followed by a blank, then the rank of the time. As no date holds a blank,
// the texts compare as these numbers do; should one hold a blank, the texts
// themselves are compared.
struct WhenOrder {
    std::vector<std::uint32_t> dateRank, timeRank;
    bool byRanks = true;

    bool Prepare(const RecordTable& table);
    std::uint64_t At(const RecordTable& table, std::uint32_t index) const;
    // Whether record a (at `whenA`) is later than record b (at `whenB`).
    bool Later(const RecordTable& table, std::uint32_t a, std::uint64_t whenA, std::uint32_t b,
               std::uint64_t whenB) const;
};

// The parts of Overview::detail.
struct OverviewDetail {
    std::span<const std::uint32_t> records;    // of the groups, in the order of their names
    std::span<const std::uint32_t> groupStart; // into records, in the order of `groups`
    std::span<const std::uint32_t> pairsByIds; // indices of `pairs` by a, then b
};
OverviewDetail DetailOf(const Overview& overview);

} // namespace qk
