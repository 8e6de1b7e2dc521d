// The duplicates overview: the names that have copies, with what deleting
// the copies would free, and the pairs of folders that hold copies of one
// another. Worked out from the record table, the same for the viewer and
// quellkamp-list; the figures are always over the whole log, the find in
// force only decides which rows are listed.
#pragma once

#include "core/ExportFormats.h"
#include "core/RecordTable.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qk {

// A name held by more folders than this gives no folder pairs.
inline constexpr std::uint32_t kMostFoldersOfPairedName = 64;

// One name (compared as the name lookup compares it) with two or more
// records.
struct NameGroup {
    std::uint32_t record = 0;     // storage index of one record of the name
    std::uint32_t copies = 0;     // records with the name
    std::uint32_t sizes = 0;      // distinct byte values among them
    std::int64_t bytes = 0;       // the sum of their sizes
    std::int64_t reclaimable = 0; // (n - 1) x s for each size s held by n copies
    std::uint32_t newest = 0;     // storage index of the copy with the greatest date + " " + time
};

// Two distinct folders (path ids) that both hold a record of one name; the
// text of `a` orders before that of `b` by UTF-16 code units.
struct FolderPair {
    std::uint32_t a = 0, b = 0;
    std::uint32_t shared = 0;   // distinct names held by both
    std::uint32_t sameSize = 0; // shared names of which both hold a record of one size
    std::uint32_t namesA = 0;   // distinct names in a, over the whole log
    std::uint32_t namesB = 0;
    std::int64_t reclaimable = 0; // for each same-size shared name, the largest size both hold
};

struct OverviewSummary {
    std::uint64_t names = 0;  // names with copies
    std::uint64_t copies = 0; // their records
    std::int64_t bytes = 0;
    std::int64_t reclaimable = 0;
    std::uint64_t pairs = 0;        // folder pairs
    std::uint64_t namesLeftOut = 0; // names in more than kMostFoldersOfPairedName folders
};

struct Overview {
    std::vector<NameGroup> groups; // by reclaimable, copies descending, then name
    std::vector<FolderPair> pairs; // by shared, reclaimable descending, then a, then b
    OverviewSummary summary;
    // What the listed rows and a pair's shared files are worked out from.
    std::vector<std::uint32_t> detail;
};

enum class OverviewResult { Done, CalledOff, NoMemory };

// Works out the overview of every record of `table` into `overview`, from the
// ranks of the names (NameRanks). Only reads the table, so it may run on a
// helper thread while the table stays unchanged. Stops soon with CalledOff
// once `calledOff` becomes true; `done` (when given) counts up to the
// number of records as the work goes on.
OverviewResult ComputeOverview(const RecordTable& table,
                               const std::vector<std::uint32_t>& nameRanks, Overview& overview,
                               const std::atomic<bool>* calledOff = nullptr,
                               std::atomic<std::uint64_t>* done = nullptr);

// ComputeOverview of the groups alone (`pairs` stays empty, and so do the
// summary's pairs) when only they are wanted.
enum class OverviewParts { GroupsAndPairs, GroupsOnly };
OverviewResult ComputeOverview(const RecordTable& table,
                               const std::vector<std::uint32_t>& nameRanks, Overview& overview,
                               OverviewParts parts, const std::atomic<bool>* calledOff = nullptr,
                               std::atomic<std::uint64_t>* done = nullptr);

// The groups (indices into overview.groups) and pairs (into
// overview.pairs) listed under the find in force: a group when one of its
// records is listed, a pair when a record of one of its shared names in a or
// b is listed; in the overview's order.
void ListedGroups(const RecordTable& table, const Overview& overview,
                  std::vector<std::uint32_t>& rows);
void ListedPairs(const RecordTable& table, const Overview& overview,
                 std::vector<std::uint32_t>& rows);

// The columns of the two lists, in the order of their keys in the output.
enum class GroupColumn { Name, Copies, Sizes, Bytes, Reclaimable, Newest };
enum class PairColumn { A, B, Shared, SameSize, NamesA, NamesB, Reclaimable };
inline constexpr int kGroupColumnCount = 6;
inline constexpr int kPairColumnCount = 7;

// The German headings of the columns, in the window and the CSV.
std::u16string_view GroupColumnHeading(GroupColumn column);
std::u16string_view PairColumnHeading(PairColumn column);

// Orders `rows` stably by one column: numbers largest first, texts by UTF-16
// code units ascending; `reversed` turns that round.
void OrderGroups(const RecordTable& table, const Overview& overview, GroupColumn column,
                 bool reversed, std::vector<std::uint32_t>& rows);
void OrderPairs(const RecordTable& table, const Overview& overview, PairColumn column,
                bool reversed, std::vector<std::uint32_t>& rows);

// The shared files of a pair, one row per shared name: the storage index of
// a's copy and of b's copy (one of the same size where there is one), in
// the order of the names.
void SharedFilesOfPair(const RecordTable& table, const Overview& overview, const FolderPair& pair,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>>& rows);

// Output of the lists: the heading line of the format (CSV headings in
// German; nothing for JSON Lines), and one line per row with the keys
// name, copies, sizes, bytes, reclaimable, newest and a, b, shared,
// same_size, names_a, names_b, reclaimable; numbers as integers. The
// spreadsheet CSV is as safe as the record export.
void AppendGroupHeading(std::string& out, ExportFormat format);
void AppendGroupLine(std::string& out, const RecordTable& table, const NameGroup& group,
                     ExportFormat format);
void AppendPairHeading(std::string& out, ExportFormat format);
void AppendPairLine(std::string& out, const RecordTable& table, const FolderPair& pair,
                    ExportFormat format);

} // namespace qk
