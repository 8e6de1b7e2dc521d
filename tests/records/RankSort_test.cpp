#include "records/RankSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace qk {
namespace {

// Ranks of every width (one radix pass up to three), with many equal ranks,
// order as a stable sort does, from any starting order.
TEST(RankSort, OrdersAsAStableSortForEveryRankWidth) {
    std::mt19937 random(7);
    for (const unsigned bits : {1u, 11u, 12u, 22u, 23u, 32u}) {
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{2000}}) {
            std::vector<std::uint32_t> ranks(count);
            const std::uint64_t limit = std::uint64_t{1} << bits;
            for (std::uint32_t& rank : ranks)
                rank = static_cast<std::uint32_t>((random() % 97) * (limit / 97) % limit);
            if (count > 1) ranks[1] = static_cast<std::uint32_t>(limit - 1);
            std::vector<std::uint32_t> order(count);
            for (std::uint32_t i = 0; i < count; ++i)
                order[i] =
                    static_cast<std::uint32_t>((i * 7919u) % std::max<std::size_t>(count, 1));
            std::vector<std::uint32_t> expected = order;
            std::stable_sort(expected.begin(), expected.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return ranks[a] < ranks[b]; });
            ASSERT_TRUE(SortByRanks(order, ranks));
            EXPECT_EQ(order, expected) << bits << " bits, " << count << " elements";
        }
    }
}

TEST(RankSort, DenseRanksShareEqualElementsAndLeaveNoGaps) {
    const std::vector<int> values = {30, 10, 30, 20, 10, 40};
    const std::vector<std::uint32_t> ranks =
        DenseRanks(static_cast<std::uint32_t>(values.size()),
                   [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
    EXPECT_EQ(ranks, (std::vector<std::uint32_t>{2, 0, 2, 1, 0, 3}));
    EXPECT_TRUE(DenseRanks(0, [](std::uint32_t, std::uint32_t) { return false; }).empty());
}

} // namespace
} // namespace qk
