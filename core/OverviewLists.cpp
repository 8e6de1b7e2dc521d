// The overview's rows under the find in force, their orders, and the shared
// files of a pair: worked out from the overview's `detail` and the table.
#include "core/Overview.h"
#include "core/OverviewDetail.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace qk {
namespace {

bool AllListed(const RecordTable& table) {
    return std::find(table.shown.begin(), table.shown.end(), 0) == table.shown.end();
}

void AllRows(std::size_t count, std::vector<std::uint32_t>& rows) {
    rows.resize(count);
    std::iota(rows.begin(), rows.end(), 0u);
}

// A group's folders, each with whether a record of the name there is listed.
void FoldersOfGroup(const RecordTable& table, std::span<const std::uint32_t> records,
                    std::vector<std::pair<std::uint32_t, bool>>& folders) {
    folders.clear();
    for (const std::uint32_t index : records) {
        const std::uint32_t path = SharedIdAt(table, index, SharedColumn::Path);
        const bool listed = table.shown[index] != 0;
        if (folders.empty() || folders.back().first != path)
            folders.emplace_back(path, listed);
        else
            folders.back().second = folders.back().second || listed;
    }
}

// The index of the pair of folders x and y (in either order) in `pairs`, or
// the number of pairs when they make none.
std::size_t PairOf(const Overview& overview, std::span<const std::uint32_t> byIds, std::uint32_t x,
                   std::uint32_t y) {
    const auto key = [&](std::uint32_t p) {
        return PairKey(overview.pairs[p].a, overview.pairs[p].b);
    };
    for (const std::uint64_t sought : {PairKey(x, y), PairKey(y, x)}) {
        const auto at =
            std::lower_bound(byIds.begin(), byIds.end(), sought,
                             [&](std::uint32_t p, std::uint64_t k) { return key(p) < k; });
        if (at != byIds.end() && key(*at) == sought) return *at;
    }
    return overview.pairs.size();
}

// Orders `rows` stably by a number of each row, largest first (`reversed`:
// smallest first).
template <typename NumberOf>
void OrderByNumber(std::vector<std::uint32_t>& rows, bool reversed, NumberOf number) {
    std::vector<std::pair<std::int64_t, std::uint32_t>> keyed;
    keyed.reserve(rows.size());
    for (const std::uint32_t row : rows)
        keyed.emplace_back(number(row), row);
    std::stable_sort(keyed.begin(), keyed.end(), [reversed](const auto& x, const auto& y) {
        return reversed ? x.first < y.first : x.first > y.first;
    });
    for (std::size_t k = 0; k < rows.size(); ++k)
        rows[k] = keyed[k].second;
}

// Orders `rows` stably by a text of each row, by UTF-16 code units
// ascending (`reversed`: descending).
template <typename TextInto>
void OrderByText(std::vector<std::uint32_t>& rows, bool reversed, TextInto textInto) {
    std::vector<std::pair<std::u16string, std::uint32_t>> keyed(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        textInto(rows[k], keyed[k].first);
        keyed[k].second = rows[k];
    }
    std::stable_sort(keyed.begin(), keyed.end(), [reversed](const auto& x, const auto& y) {
        return reversed ? y.first < x.first : x.first < y.first;
    });
    for (std::size_t k = 0; k < rows.size(); ++k)
        rows[k] = keyed[k].second;
}

} // namespace

void ListedGroups(const RecordTable& table, const Overview& overview,
                  std::vector<std::uint32_t>& rows) {
    rows.clear();
    const OverviewDetail detail = DetailOf(overview);
    if (detail.groupStart.size() != overview.groups.size()) return;
    if (AllListed(table)) return AllRows(overview.groups.size(), rows);
    for (std::uint32_t g = 0; g < overview.groups.size(); ++g) {
        const auto records =
            detail.records.subspan(detail.groupStart[g], overview.groups[g].copies);
        if (std::any_of(records.begin(), records.end(),
                        [&](std::uint32_t index) { return table.shown[index] != 0; }))
            rows.push_back(g);
    }
}

void ListedPairs(const RecordTable& table, const Overview& overview,
                 std::vector<std::uint32_t>& rows) {
    rows.clear();
    const OverviewDetail detail = DetailOf(overview);
    if (detail.pairsByIds.size() != overview.pairs.size()) return;
    if (AllListed(table)) return AllRows(overview.pairs.size(), rows);
    std::vector<std::uint8_t> listed(overview.pairs.size(), 0);
    std::vector<std::pair<std::uint32_t, bool>> folders;
    for (std::uint32_t g = 0; g < overview.groups.size(); ++g) {
        const auto records =
            detail.records.subspan(detail.groupStart[g], overview.groups[g].copies);
        if (std::none_of(records.begin(), records.end(),
                         [&](std::uint32_t index) { return table.shown[index] != 0; }))
            continue;
        FoldersOfGroup(table, records, folders);
        if (folders.size() < 2 || folders.size() > kMostFoldersOfPairedName) continue;
        for (const auto& [folder, shown] : folders) {
            if (!shown) continue;
            for (const auto& other : folders) {
                if (other.first == folder) continue;
                const std::size_t pair = PairOf(overview, detail.pairsByIds, folder, other.first);
                if (pair < listed.size()) listed[pair] = 1;
            }
        }
    }
    for (std::uint32_t p = 0; p < listed.size(); ++p)
        if (listed[p]) rows.push_back(p);
}

void OrderGroups(const RecordTable& table, const Overview& overview, GroupColumn column,
                 bool reversed, std::vector<std::uint32_t>& rows) {
    const auto& groups = overview.groups;
    switch (column) {
    case GroupColumn::Name:
        return OrderByText(rows, reversed, [&](std::uint32_t g, std::u16string& text) {
            FieldInto(table, groups[g].record, RecordField::Name, text);
        });
    case GroupColumn::Newest:
        return OrderByText(rows, reversed, [&](std::uint32_t g, std::u16string& text) {
            WhenInto(table, groups[g].newest, text);
        });
    case GroupColumn::Copies:
        return OrderByNumber(rows, reversed, [&](std::uint32_t g) { return groups[g].copies; });
    case GroupColumn::Sizes:
        return OrderByNumber(rows, reversed, [&](std::uint32_t g) { return groups[g].sizes; });
    case GroupColumn::Bytes:
        return OrderByNumber(rows, reversed, [&](std::uint32_t g) { return groups[g].bytes; });
    case GroupColumn::Reclaimable:
        return OrderByNumber(rows, reversed,
                             [&](std::uint32_t g) { return groups[g].reclaimable; });
    }
}

void OrderPairs(const RecordTable& table, const Overview& overview, PairColumn column,
                bool reversed, std::vector<std::uint32_t>& rows) {
    const auto& pairs = overview.pairs;
    if (column == PairColumn::A || column == PairColumn::B) {
        // By the folders' ranks among the texts of the folders in rows.
        const auto folder = [&](std::uint32_t p) {
            return column == PairColumn::A ? pairs[p].a : pairs[p].b;
        };
        std::vector<std::uint32_t> ids;
        for (const std::uint32_t p : rows)
            ids.push_back(folder(p));
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        std::vector<std::uint32_t> rank;
        RankSharedTexts(table, SharedColumn::Path, ids, rank);
        // Ascending by text: the smallest rank first.
        return OrderByNumber(rows, !reversed, [&](std::uint32_t p) { return rank[folder(p)]; });
    }
    OrderByNumber(rows, reversed, [&](std::uint32_t p) -> std::int64_t {
        switch (column) {
        case PairColumn::Shared:
            return pairs[p].shared;
        case PairColumn::SameSize:
            return pairs[p].sameSize;
        case PairColumn::NamesA:
            return pairs[p].namesA;
        case PairColumn::NamesB:
            return pairs[p].namesB;
        default:
            return pairs[p].reclaimable;
        }
    });
}

void SharedFilesOfPair(const RecordTable& table, const Overview& overview, const FolderPair& pair,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>>& rows) {
    rows.clear();
    const OverviewDetail detail = DetailOf(overview);
    if (detail.groupStart.size() != overview.groups.size()) return;
    // The groups in the order of their names, as their records stand.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    for (std::uint32_t g = 0; g < overview.groups.size(); ++g)
        spans.emplace_back(detail.groupStart[g], overview.groups[g].copies);
    std::sort(spans.begin(), spans.end());
    std::vector<std::uint32_t> inA, inB;
    for (const auto& [start, copies] : spans) {
        inA.clear();
        inB.clear();
        std::uint32_t folders = 0, last = 0;
        for (const std::uint32_t index : detail.records.subspan(start, copies)) {
            const std::uint32_t path = SharedIdAt(table, index, SharedColumn::Path);
            folders += folders == 0 || path != last;
            last = path;
            if (path == pair.a) inA.push_back(index);
            if (path == pair.b) inB.push_back(index);
        }
        if (inA.empty() || inB.empty() || folders > kMostFoldersOfPairedName) continue;
        // Both by ascending size: the largest size both hold, else the first.
        std::pair<std::uint32_t, std::uint32_t> row{inA.front(), inB.front()};
        for (auto x = inA.rbegin(), y = inB.rbegin(); x != inA.rend() && y != inB.rend();) {
            const std::int64_t sx = SizeBytesAt(table, *x), sy = SizeBytesAt(table, *y);
            if (sx == sy) {
                row = {*x, *y};
                break;
            }
            sx > sy ? ++x : ++y;
        }
        rows.push_back(row);
    }
}

} // namespace qk
