// Working out the overview. The records are put in groups by the ranks of
// their names (a counting sort: the ranks have no gaps), each copy with what
// the figures need (its size, its folder and where its date and time stand
// among all), and each group is then worked on alone. A name's folders meet
// as pairs folder by folder: for folder a, every paired name it holds adds
// to the pairs (a, b) with its other folders b in one array by folder, which
// is then read out and cleared, so a pair's figures are added up in place and
// no list of a name's pairs is ever held.
//
// Sizes are the numbers their fields show, a negative one (a figure of the
// log's own unit conversion that ran over) as it shows; sums and products
// stop at the limits of 64 bits instead of wrapping.
//
// `detail` holds, one after another: the storage indices of the records of
// every group, the groups in the order of their names and the records of one
// group by folder id, then size, then storage index; the start of each
// group's records there, in the order of `groups`; and the indices of
// `pairs` ordered by the ids of a, then b.
#include "core/Overview.h"

#include "core/OverviewDetail.h"

#include <algorithm>
#include <new>
#include <numeric>
#include <span>
#include <system_error>
#include <thread>

namespace qk {
namespace {

// One record of a name with copies, as the figures need it.
struct Copy {
    std::int64_t size;
    std::uint64_t when; // date + " " + time as two ranks
    std::uint32_t path;
    std::uint32_t index;
};

// A paired name in one of its folders: its copies there, and the range of
// the name's folders among the incidences.
struct Incidence {
    std::uint32_t path;
    std::uint32_t from, to;          // in the copies
    std::uint32_t sibling, siblings; // the name's first incidence and their number
};

// What the pairs of one folder a add up, by folder id of the other one.
struct PairSum {
    std::uint32_t shared = 0, sameSize = 0;
    std::int64_t reclaimable = 0;
};
// What one thread adds up for the pairs of its folders a.
struct PairWork {
    std::vector<PairSum> sums; // by folder id of b
    std::vector<std::uint32_t> touched;
    std::vector<FolderPair> pairs;
};

class OverviewWork {
  public:
    OverviewWork(const RecordTable& table, const std::vector<std::uint32_t>& nameRanks,
                 OverviewParts parts, const std::atomic<bool>* calledOff,
                 std::atomic<std::uint64_t>* done)
        : table_(table), ranks_(nameRanks), calledOff_(calledOff), done_(done),
          count_(TableCount(table)), pairs_(parts == OverviewParts::GroupsAndPairs) {}

    OverviewResult Run(Overview& overview);

  private:
    bool CalledOff() const { return calledOff_ && calledOff_->load(std::memory_order_relaxed); }
    void Done(std::uint64_t records) const {
        if (done_) done_->store(records, std::memory_order_relaxed);
    }
    bool GatherCopies();
    bool GatherRange(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& next,
                     std::vector<std::uint32_t>& namesIn, bool backward);
    bool WorkOutGroups(Overview& overview);
    void WorkOutGroup(std::uint32_t from, std::uint32_t to, Overview& overview);
    void AddFolders(std::uint32_t from, std::uint32_t to, OverviewSummary& summary);
    bool WorkOutPairs(Overview& overview);
    void AddPairsOfFolder(std::uint32_t a, std::span<const std::uint32_t> held,
                          PairWork& work) const;
    bool AddPairsOfFolders(std::span<const std::uint32_t> folders,
                           const std::vector<std::uint32_t>& start,
                           const std::vector<std::uint32_t>& byFolder, PairWork& work,
                           bool reports) const;
    void OrderResult(Overview& overview);

    const RecordTable& table_;
    const std::vector<std::uint32_t>& ranks_;
    const std::atomic<bool>* calledOff_;
    std::atomic<std::uint64_t>* done_;
    const std::uint32_t count_;
    const bool pairs_; // whether the folder pairs are wanted

    WhenOrder when_;
    std::vector<std::uint32_t> groupEnds_; // where each name's copies end, by name
    std::vector<Copy> copies_;             // by name, then folder, size and storage index
    std::vector<std::uint32_t> namesIn_;   // by folder id: distinct names over the log
    std::vector<Incidence> incidences_;
    std::uint64_t pairsAtMost_ = 0; // each paired name's folders two by two

    std::vector<std::uint32_t> pathRank_; // by folder id, for the folders of pairs
};

constexpr std::uint32_t kProgressStep = 1 << 16;
constexpr std::uint32_t kAlone = UINT32_MAX;

// The largest size among the copies of both runs (each by ascending size),
// into `common`; false when they have no size in common.
bool LargestCommonSize(const Copy* x, const Copy* xEnd, const Copy* y, const Copy* yEnd,
                       std::int64_t& common) {
    while (x != xEnd && y != yEnd) {
        const std::int64_t a = (xEnd - 1)->size, b = (yEnd - 1)->size;
        if (a == b) {
            common = a;
            return true;
        }
        if (a > b)
            --xEnd;
        else
            --yEnd;
    }
    return false;
}

// Counts the copies of every name and puts the copies of names with two or
// more in their group's place, in storage order; a name's only record counts
// towards the names of its folder. A second thread takes the second half of
// the records, from the last one back, filling each group from its end.
bool OverviewWork::GatherCopies() {
    // Each half's place for the next copy of each name, kAlone for a name
    // with one record: one array read for each record.
    std::vector<std::uint32_t> front(count_, 0);
    for (std::uint32_t i = 0; i < count_; ++i) {
        if (ranks_[i] >= count_) return false; // not ranks of this table
        ++front[ranks_[i]];
    }
    std::vector<std::uint32_t> back(count_);
    std::uint32_t copies = 0;
    for (std::uint32_t r = 0; r < count_; ++r) {
        const std::uint32_t n = front[r];
        if (n < 2) {
            front[r] = back[r] = kAlone;
            continue;
        }
        front[r] = copies;
        copies += n;
        back[r] = copies;
        groupEnds_.push_back(copies);
    }
    copies_.resize(copies);
    const std::uint32_t half = count_ / 2;
    std::vector<std::uint32_t> namesInBack(pairs_ ? namesIn_.size() : 0, 0);
    bool backDone = false;
    const auto gatherBack = [&] { backDone = GatherRange(half, count_, back, namesInBack, true); };
    std::thread helper;
    try {
        helper = std::thread(gatherBack);
    } catch (const std::system_error&) {
        gatherBack(); // no second thread: one after the other
    }
    const bool frontDone = GatherRange(0, half, front, namesIn_, false);
    if (helper.joinable()) helper.join();
    for (std::size_t p = 0; p < namesInBack.size(); ++p)
        namesIn_[p] += namesInBack[p];
    return frontDone && backDone;
}

// The records [from, to) into their groups: forward from each group's start
// in `next`, or `backward` from its end.
bool OverviewWork::GatherRange(std::uint32_t from, std::uint32_t to,
                               std::vector<std::uint32_t>& next,
                               std::vector<std::uint32_t>& namesIn, bool backward) {
    for (std::uint32_t k = from; k < to; ++k) {
        const std::uint32_t i = backward ? to - 1 - (k - from) : k;
        if ((k - from) % kProgressStep == 0) {
            if (CalledOff()) return false;
            if (!backward) Done(k);
        }
        std::uint32_t& place = next[ranks_[i]];
        if (place == kAlone) {
            if (pairs_) ++namesIn[SharedIdAt(table_, i, SharedColumn::Path)];
            continue;
        }
        const std::uint32_t at = backward ? --place : place++;
        copies_[at] = {SizeBytesAt(table_, i), when_.At(table_, i),
                       SharedIdAt(table_, i, SharedColumn::Path), i};
    }
    return true;
}

// The figures of one group, copies_[from, to), and its folders.
void OverviewWork::WorkOutGroup(std::uint32_t from, std::uint32_t to, Overview& overview) {
    const auto first = copies_.begin() + from, last = copies_.begin() + to;
    NameGroup group;
    group.copies = to - from;
    group.newest = first->index;
    std::uint64_t newest = first->when;
    for (auto copy = first + 1; copy != last; ++copy) {
        if (when_.Later(table_, copy->index, copy->when, group.newest, newest)) {
            newest = copy->when;
            group.newest = copy->index;
        }
    }
    std::sort(first, last, [](const Copy& x, const Copy& y) {
        if (x.size != y.size) return x.size < y.size;
        return x.index < y.index;
    });
    group.sizes = 0;
    for (auto copy = first; copy != last;) {
        auto end = copy + 1;
        while (end != last && end->size == copy->size)
            ++end;
        ++group.sizes;
        const auto n = static_cast<std::uint64_t>(end - copy);
        group.bytes = SaturatedAdd(group.bytes, SaturatedTimes(copy->size, n));
        group.reclaimable = SaturatedAdd(group.reclaimable, SaturatedTimes(copy->size, n - 1));
        copy = end;
    }
    std::stable_sort(first, last, [](const Copy& x, const Copy& y) { return x.path < y.path; });
    overview.groups.push_back(group);
    OverviewSummary& summary = overview.summary;
    ++summary.names;
    summary.copies += group.copies;
    summary.bytes = SaturatedAdd(summary.bytes, group.bytes);
    summary.reclaimable = SaturatedAdd(summary.reclaimable, group.reclaimable);

    AddFolders(from, to, summary);
}

// The folders of the group copies_[from, to) (by folder): the names each
// holds, and the pairs the name makes.
void OverviewWork::AddFolders(std::uint32_t from, std::uint32_t to, OverviewSummary& summary) {
    const auto sibling = static_cast<std::uint32_t>(incidences_.size());
    std::uint32_t folders = 0;
    for (std::uint32_t c = from; c < to;) {
        std::uint32_t end = c + 1;
        while (end < to && copies_[end].path == copies_[c].path)
            ++end;
        ++folders;
        if (pairs_) {
            ++namesIn_[copies_[c].path];
            if (folders <= kMostFoldersOfPairedName)
                incidences_.push_back({copies_[c].path, c, end, sibling, 0});
        }
        c = end;
    }
    if (folders > kMostFoldersOfPairedName) ++summary.namesLeftOut;
    if (folders < 2 || folders > kMostFoldersOfPairedName) {
        incidences_.resize(sibling); // no pairs from this name
        return;
    }
    for (std::uint32_t k = sibling; k < incidences_.size(); ++k)
        incidences_[k].siblings = folders;
    pairsAtMost_ += std::uint64_t{folders} * (folders - 1) / 2;
}

bool OverviewWork::WorkOutGroups(Overview& overview) {
    overview.groups.reserve(groupEnds_.size());
    std::uint32_t from = 0, worked = 0;
    for (const std::uint32_t to : groupEnds_) {
        WorkOutGroup(from, to, overview);
        worked += to - from;
        from = to;
        if (worked >= kProgressStep) {
            if (CalledOff()) return false;
            Done(count_ / 2 + std::uint64_t{to} * (count_ / 4) / copies_.size());
            worked = 0;
        }
    }
    return true;
}

// Adds the pairs of folder a with the folders after it that share a name with
// it; `held` are a's incidences.
void OverviewWork::AddPairsOfFolder(std::uint32_t a, std::span<const std::uint32_t> held,
                                    PairWork& work) const {
    for (const std::uint32_t k : held) {
        const Incidence& mine = incidences_[k];
        for (std::uint32_t s = mine.sibling; s < mine.sibling + mine.siblings; ++s) {
            const Incidence& other = incidences_[s];
            if (pathRank_[other.path] <= pathRank_[a]) continue;
            PairSum& sum = work.sums[other.path];
            if (sum.shared == 0) work.touched.push_back(other.path);
            ++sum.shared;
            std::int64_t common;
            if (LargestCommonSize(copies_.data() + mine.from, copies_.data() + mine.to,
                                  copies_.data() + other.from, copies_.data() + other.to, common)) {
                ++sum.sameSize;
                sum.reclaimable = SaturatedAdd(sum.reclaimable, common);
            }
        }
    }
    std::sort(work.touched.begin(), work.touched.end(),
              [&](std::uint32_t x, std::uint32_t y) { return pathRank_[x] < pathRank_[y]; });
    for (const std::uint32_t b : work.touched) {
        PairSum& sum = work.sums[b];
        work.pairs.push_back({a, b, sum.shared, sum.sameSize, 0, 0, sum.reclaimable});
        sum = PairSum{};
    }
    work.touched.clear();
}

// The pairs of `folders` (in the order of their texts) with the folders
// after them; `start` and `byFolder` give each folder's incidences.
bool OverviewWork::AddPairsOfFolders(std::span<const std::uint32_t> folders,
                                     const std::vector<std::uint32_t>& start,
                                     const std::vector<std::uint32_t>& byFolder, PairWork& work,
                                     bool reports) const {
    work.sums.assign(SharedTextCount(table_, SharedColumn::Path), PairSum{});
    std::uint64_t worked = 0, total = 0;
    for (const std::uint32_t a : folders) {
        const std::span<const std::uint32_t> held(byFolder.data() + start[a],
                                                  start[a + 1] - start[a]);
        AddPairsOfFolder(a, held, work);
        worked += held.size();
        if (worked >= kProgressStep / 4) {
            if (CalledOff()) return false;
            total += worked;
            worked = 0;
            // The last quarter of the work; this thread has about half of it.
            if (reports)
                Done(count_ - count_ / 4 +
                     std::min<std::uint64_t>(total * (count_ / 4) * 2 / incidences_.size(),
                                             count_ / 4));
        }
    }
    std::vector<PairSum>().swap(work.sums);
    return true;
}

bool OverviewWork::WorkOutPairs(Overview& overview) {
    const std::uint32_t paths = SharedTextCount(table_, SharedColumn::Path);
    // The folders of pairs in the order of their texts.
    std::vector<std::uint32_t> start(paths + std::size_t{1}, 0);
    for (const Incidence& incidence : incidences_)
        ++start[incidence.path];
    std::vector<std::uint32_t> folders;
    for (std::uint32_t p = 0; p < paths; ++p)
        if (start[p] != 0) folders.push_back(p);
    RankSharedTexts(table_, SharedColumn::Path, folders, pathRank_);
    std::sort(folders.begin(), folders.end(),
              [&](std::uint32_t x, std::uint32_t y) { return pathRank_[x] < pathRank_[y]; });
    if (CalledOff()) return false;
    // The incidences by folder.
    std::uint32_t at = 0;
    for (std::uint32_t p = 0; p <= paths; ++p)
        at += std::exchange(start[p], at);
    std::vector<std::uint32_t> byFolder(incidences_.size());
    {
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::uint32_t k = 0; k < incidences_.size(); ++k)
            byFolder[next[incidences_[k].path]++] = k;
    }
    // Two threads, each for the folders a of about half the incidences.
    std::size_t cut = 0;
    for (std::uint64_t first = 0; cut < folders.size() && 2 * first < incidences_.size(); ++cut)
        first += start[folders[cut] + 1] - start[folders[cut]];
    PairWork front, back;
    try {
        // Room that is never written is never touched: no growing by copies.
        const std::uint64_t n = folders.size();
        front.pairs.reserve(static_cast<std::size_t>(
            std::min({pairsAtMost_, n * (n - 1) / 2, std::uint64_t{count_}})));
    } catch (const std::exception&) {
        // the pairs grow as they come
    }
    const std::span<const std::uint32_t> all(folders);
    std::span<const std::uint32_t> mine = all;
    bool backDone = true;
    std::thread helper;
    if (incidences_.size() >= kProgressStep) {
        try {
            helper = std::thread([&] {
                backDone = AddPairsOfFolders(all.subspan(cut), start, byFolder, back, false);
            });
            mine = all.first(cut);
        } catch (const std::system_error&) {
            // one thread for all
        }
    }
    const bool frontDone = AddPairsOfFolders(mine, start, byFolder, front, true);
    if (helper.joinable()) helper.join();
    overview.pairs.swap(front.pairs);
    if (!frontDone || !backDone) return false;
    overview.pairs.insert(overview.pairs.end(), back.pairs.begin(), back.pairs.end());
    overview.summary.pairs = overview.pairs.size();
    return true;
}

// The groups and pairs in the overview's order, and `detail` beside them.
void OverviewWork::OrderResult(Overview& overview) {
    std::vector<std::uint32_t>& detail = overview.detail;
    detail.clear();
    detail.reserve(copies_.size() + overview.groups.size() + overview.pairs.size());
    for (const Copy& copy : copies_)
        detail.push_back(copy.index);
    std::vector<Copy>().swap(copies_);
    // The groups stand in the order of their names, their records too: while
    // they are ordered, `record` holds where a group's records start.
    std::uint32_t at = 0;
    for (NameGroup& group : overview.groups) {
        group.record = at;
        at += group.copies;
    }
    std::sort(overview.groups.begin(), overview.groups.end(),
              [](const NameGroup& x, const NameGroup& y) {
                  if (x.reclaimable != y.reclaimable) return x.reclaimable > y.reclaimable;
                  if (x.copies != y.copies) return x.copies > y.copies;
                  return x.record < y.record;
              });
    for (NameGroup& group : overview.groups) {
        detail.push_back(group.record); // within the room reserved above
        group.record = detail[group.record];
    }

    // The pairs stand in the order of a, then b: namesA holds each one's
    // place in it while they are ordered.
    for (std::uint32_t p = 0; p < overview.pairs.size(); ++p)
        overview.pairs[p].namesA = p;
    std::sort(overview.pairs.begin(), overview.pairs.end(),
              [](const FolderPair& x, const FolderPair& y) {
                  if (x.shared != y.shared) return x.shared > y.shared;
                  if (x.reclaimable != y.reclaimable) return x.reclaimable > y.reclaimable;
                  return x.namesA < y.namesA;
              });
    for (FolderPair& pair : overview.pairs) {
        pair.namesA = namesIn_[pair.a];
        pair.namesB = namesIn_[pair.b];
    }
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byIds;
    byIds.reserve(overview.pairs.size());
    for (std::uint32_t p = 0; p < overview.pairs.size(); ++p)
        byIds.emplace_back(PairKey(overview.pairs[p].a, overview.pairs[p].b), p);
    std::sort(byIds.begin(), byIds.end());
    for (const auto& pair : byIds)
        detail.push_back(pair.second);
}

OverviewResult OverviewWork::Run(Overview& overview) {
    if (!when_.Prepare(table_)) return OverviewResult::NoMemory;
    if (pairs_) namesIn_.assign(SharedTextCount(table_, SharedColumn::Path), 0);
    if (!GatherCopies()) return CalledOff() ? OverviewResult::CalledOff : OverviewResult::NoMemory;
    std::vector<std::uint32_t>().swap(when_.dateRank); // no longer needed
    std::vector<std::uint32_t>().swap(when_.timeRank);
    if (pairs_) incidences_.reserve(copies_.size()); // a name's copies in one folder at least
    if (!WorkOutGroups(overview)) return OverviewResult::CalledOff;
    std::vector<std::uint32_t>().swap(groupEnds_);
    if (pairs_ && !WorkOutPairs(overview))
        return CalledOff() ? OverviewResult::CalledOff : OverviewResult::NoMemory;
    std::vector<Incidence>().swap(incidences_);
    OrderResult(overview);
    Done(count_);
    return OverviewResult::Done;
}

} // namespace

void RankSharedTexts(const RecordTable& table, SharedColumn column,
                     const std::vector<std::uint32_t>& ids, std::vector<std::uint32_t>& rank,
                     char16_t suffix, bool* suffixMet) {
    // The texts one after another, so that the sort compares them in place.
    std::vector<char16_t> units;
    std::vector<std::uint32_t> ends;
    ends.reserve(ids.size());
    std::u16string text;
    bool met = false;
    for (const std::uint32_t id : ids) {
        SharedTextInto(table, column, id, text);
        met = met || (suffix != 0 && text.find(suffix) != std::u16string::npos);
        units.insert(units.end(), text.begin(), text.end());
        if (suffix != 0) units.push_back(suffix);
        ends.push_back(static_cast<std::uint32_t>(units.size()));
    }
    const auto view = [&](std::uint32_t k) {
        const std::uint32_t from = k ? ends[k - 1] : 0;
        return std::u16string_view(units.data() + from, ends[k] - from);
    };
    std::vector<std::uint32_t> order(ids.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t x, std::uint32_t y) { return view(x) < view(y); });
    const std::uint32_t count = SharedTextCount(table, column);
    if (rank.size() != count) rank.assign(count, 0);
    for (std::uint32_t at = 0; at < order.size(); ++at)
        rank[ids[order[at]]] = at;
    if (suffixMet) *suffixMet = met;
}

void WhenInto(const RecordTable& table, std::uint32_t index, std::u16string& out) {
    thread_local std::u16string time;
    SharedTextInto(table, SharedColumn::Date, SharedIdAt(table, index, SharedColumn::Date), out);
    SharedTextInto(table, SharedColumn::Time, SharedIdAt(table, index, SharedColumn::Time), time);
    out += u' ';
    out += time;
}

bool WhenOrder::Prepare(const RecordTable& table) {
    std::vector<std::uint32_t> ids(SharedTextCount(table, SharedColumn::Date));
    std::iota(ids.begin(), ids.end(), 0u);
    bool blankInDate = false;
    RankSharedTexts(table, SharedColumn::Date, ids, dateRank, u' ', &blankInDate);
    ids.resize(SharedTextCount(table, SharedColumn::Time));
    std::iota(ids.begin(), ids.end(), 0u);
    RankSharedTexts(table, SharedColumn::Time, ids, timeRank);
    byRanks = !blankInDate;
    return true;
}

std::uint64_t WhenOrder::At(const RecordTable& table, std::uint32_t index) const {
    if (!byRanks) return 0;
    return std::uint64_t{dateRank[SharedIdAt(table, index, SharedColumn::Date)]} << 32 |
           timeRank[SharedIdAt(table, index, SharedColumn::Time)];
}

bool WhenOrder::Later(const RecordTable& table, std::uint32_t a, std::uint64_t whenA,
                      std::uint32_t b, std::uint64_t whenB) const {
    if (byRanks) return whenA > whenB;
    std::u16string textA, textB;
    WhenInto(table, a, textA);
    WhenInto(table, b, textB);
    return textA > textB;
}

OverviewDetail DetailOf(const Overview& overview) {
    const std::size_t records = overview.summary.copies, groups = overview.groups.size();
    if (overview.detail.size() != records + groups + overview.pairs.size()) return {};
    const std::span<const std::uint32_t> all(overview.detail);
    return {all.subspan(0, records), all.subspan(records, groups), all.subspan(records + groups)};
}

OverviewResult ComputeOverview(const RecordTable& table,
                               const std::vector<std::uint32_t>& nameRanks, Overview& overview,
                               const std::atomic<bool>* calledOff,
                               std::atomic<std::uint64_t>* done) {
    return ComputeOverview(table, nameRanks, overview, OverviewParts::GroupsAndPairs, calledOff,
                           done);
}

OverviewResult ComputeOverview(const RecordTable& table,
                               const std::vector<std::uint32_t>& nameRanks, Overview& overview,
                               OverviewParts parts, const std::atomic<bool>* calledOff,
                               std::atomic<std::uint64_t>* done) {
    overview = Overview{};
    if (nameRanks.size() != TableCount(table))
        return TableCount(table) == 0 ? OverviewResult::Done : OverviewResult::NoMemory;
    OverviewResult result;
    try {
        OverviewWork work(table, nameRanks, parts, calledOff, done);
        result = work.Run(overview);
    } catch (const std::bad_alloc&) {
        result = OverviewResult::NoMemory;
    }
    if (result != OverviewResult::Done) overview = Overview{};
    return result;
}

} // namespace qk
