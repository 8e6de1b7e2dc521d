// The overview worked out the straightforward way, from the records' texts
// in maps, for the lister fuzzer to hold ComputeOverview against: the rows
// in the overview's order, each as the lister's JSON line, and the rows the
// find in force lists.
#pragma once

#include "core/ExportFormats.h"
#include "core/Overview.h"
#include "core/RecordTable.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace qk::reference {

// The integer the spreadsheet CSV writes for a size, stopped at the limits.
inline std::int64_t SizeValue(std::u16string_view size) {
    const std::u16string digits = SizeAsInteger(size);
    const bool negative = !digits.empty() && digits[0] == u'-';
    std::int64_t value = 0;
    for (const char16_t unit : digits) {
        if (unit < u'0' || unit > u'9') continue;
        if (value > (std::numeric_limits<std::int64_t>::max() - (unit - u'0')) / 10)
            value = std::numeric_limits<std::int64_t>::max();
        else
            value = value * 10 + (unit - u'0');
    }
    return negative ? -value : value;
}

inline std::int64_t Add(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

struct OverviewRows {
    std::vector<std::string> groups, pairs;             // the JSON lines, in order
    std::vector<std::string> listedGroups, listedPairs; // those the find lists
    std::uint64_t leftOut = 0;
};

struct Copy {
    std::u16string path, when;
    std::int64_t size;
    bool shown;
};

inline std::string Quoted(std::u16string_view text) {
    std::string out;
    AppendJsonText(out, text);
    return out;
}

// The groups: JSON lines keyed for the order, and whether each is listed.
inline void ReferenceGroups(const std::map<std::u16string, std::vector<Copy>>& byName,
                            OverviewRows& rows) {
    std::vector<std::tuple<std::int64_t, std::int64_t, std::u16string, std::string, bool>> keyed;
    for (const auto& [name, copies] : byName) {
        if (copies.size() < 2) continue;
        std::map<std::int64_t, std::int64_t> held;
        std::u16string newest;
        bool shown = false;
        for (const Copy& copy : copies) {
            ++held[copy.size];
            newest = std::max(newest, copy.when);
            shown = shown || copy.shown;
        }
        std::int64_t bytes = 0, reclaimable = 0;
        for (const auto& [size, n] : held) {
            for (std::int64_t k = 0; k < n; ++k) {
                bytes = Add(bytes, size);
                if (k > 0) reclaimable = Add(reclaimable, size);
            }
        }
        const std::string line =
            "{\"name\":" + Quoted(name) + ",\"copies\":" + std::to_string(copies.size()) +
            ",\"sizes\":" + std::to_string(held.size()) + ",\"bytes\":" + std::to_string(bytes) +
            ",\"reclaimable\":" + std::to_string(reclaimable) + ",\"newest\":" + Quoted(newest) +
            "}\n";
        keyed.emplace_back(reclaimable, static_cast<std::int64_t>(copies.size()), name, line,
                           shown);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
        if (std::get<0>(x) != std::get<0>(y)) return std::get<0>(x) > std::get<0>(y);
        if (std::get<1>(x) != std::get<1>(y)) return std::get<1>(x) > std::get<1>(y);
        return std::get<2>(x) < std::get<2>(y);
    });
    for (const auto& row : keyed) {
        rows.groups.push_back(std::get<3>(row));
        if (std::get<4>(row)) rows.listedGroups.push_back(std::get<3>(row));
    }
}

// The pairs: every two folders of each name held by 2 to 64 folders.
inline void ReferencePairs(const std::map<std::u16string, std::vector<Copy>>& byName,
                           const std::map<std::u16string, std::set<std::u16string>>& namesIn,
                           OverviewRows& rows) {
    struct Sum {
        std::int64_t shared = 0, sameSize = 0, reclaimable = 0;
        bool shown = false;
    };
    std::map<std::pair<std::u16string, std::u16string>, Sum> sums;
    for (const auto& [name, copies] : byName) {
        std::map<std::u16string, std::set<std::int64_t>> sizesIn;
        std::map<std::u16string, bool> shownIn;
        for (const Copy& copy : copies) {
            sizesIn[copy.path].insert(copy.size);
            shownIn[copy.path] = shownIn[copy.path] || copy.shown;
        }
        if (sizesIn.size() > kMostFoldersOfPairedName) ++rows.leftOut;
        if (sizesIn.size() < 2 || sizesIn.size() > kMostFoldersOfPairedName) continue;
        for (auto a = sizesIn.begin(); a != sizesIn.end(); ++a) {
            for (auto b = std::next(a); b != sizesIn.end(); ++b) {
                Sum& sum = sums[{a->first, b->first}];
                ++sum.shared;
                sum.shown = sum.shown || shownIn[a->first] || shownIn[b->first];
                for (auto size = a->second.rbegin(); size != a->second.rend(); ++size) {
                    if (!b->second.count(*size)) continue;
                    ++sum.sameSize;
                    sum.reclaimable = Add(sum.reclaimable, *size);
                    break;
                }
            }
        }
    }
    std::vector<
        std::tuple<std::int64_t, std::int64_t, std::u16string, std::u16string, std::string, bool>>
        keyed;
    for (const auto& [folders, sum] : sums) {
        const auto& [a, b] = folders;
        const std::string line = "{\"a\":" + Quoted(a) + ",\"b\":" + Quoted(b) +
                                 ",\"shared\":" + std::to_string(sum.shared) +
                                 ",\"same_size\":" + std::to_string(sum.sameSize) +
                                 ",\"names_a\":" + std::to_string(namesIn.at(a).size()) +
                                 ",\"names_b\":" + std::to_string(namesIn.at(b).size()) +
                                 ",\"reclaimable\":" + std::to_string(sum.reclaimable) + "}\n";
        keyed.emplace_back(sum.shared, sum.reclaimable, a, b, line, sum.shown);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
        if (std::get<0>(x) != std::get<0>(y)) return std::get<0>(x) > std::get<0>(y);
        if (std::get<1>(x) != std::get<1>(y)) return std::get<1>(x) > std::get<1>(y);
        return std::tie(std::get<2>(x), std::get<3>(x)) < std::tie(std::get<2>(y), std::get<3>(y));
    });
    for (const auto& row : keyed) {
        rows.pairs.push_back(std::get<4>(row));
        if (std::get<5>(row)) rows.listedPairs.push_back(std::get<4>(row));
    }
}

inline OverviewRows ReferenceOverview(const RecordTable& table) {
    std::map<std::u16string, std::vector<Copy>> byName;
    std::map<std::u16string, std::set<std::u16string>> namesIn;
    for (std::uint32_t i = 0; i < TableCount(table); ++i) {
        const DuplicateRecord record = RecordAt(table, i);
        const std::u16string name(record.name.view()), path(record.path.view());
        std::u16string when(record.date.view());
        when += u' ';
        when += record.time.view();
        byName[name].push_back({path, when, SizeValue(record.size.view()), table.shown[i] != 0});
        namesIn[path].insert(name);
    }
    OverviewRows rows;
    ReferenceGroups(byName, rows);
    ReferencePairs(byName, namesIn, rows);
    return rows;
}

} // namespace qk::reference
