// Ranks of texts: sorted by keys of several code units at a time, most
// significant units first.
#include "records/RankSort.h"

#include "text/Scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>

namespace qk {
namespace {

using Keyed = KeyedText;
constexpr std::uint64_t kNewText = 0, kSameAsBefore = 1;

struct Pending {
    std::uint32_t begin, end, depth;
    bool keyed; // the keys at `depth` are there already
};

struct SortCalledOff {};

// Sorts the texts by keys of `per` units at a time: a text's key at depth d
// holds the places of its units d to d + per - 1 among the units that occur
// (1 for the smallest), 0 past its end, so keys compare as the units do.
// Texts of equal keys are sorted again at the next depth, but for those that
// end within the key: they are equal to each other and smaller than the rest.
template <typename Unit> class TextSorter {
    using Code = std::make_unsigned_t<Unit>;

  public:
    TextSorter(const std::vector<const Unit*>& units, std::vector<Keyed>& items,
               const std::atomic<bool>* calledOff)
        : units_(units), items_(items), calledOff_(calledOff) {}

    // The texts in order of their units. With `twoThreads`, the texts are
    // first spread by their leading key bits into two halves that two
    // threads sort at once.
    void Sort(bool twoThreads) {
        MakeCodes();
        const auto n = static_cast<std::uint32_t>(items_.size());
        std::vector<Pending> pending, other;
        if (twoThreads && n >= kSplitFrom)
            Split(pending, other);
        else if (n > 1)
            pending.push_back({0, n, 0, false});
        std::exception_ptr failed;
        std::thread helper;
        if (!other.empty()) {
            try {
                helper = std::thread([&] {
                    try {
                        Drain(other);
                    } catch (...) {
                        failed = std::current_exception();
                    }
                });
            } catch (const std::system_error&) {
                pending.insert(pending.end(), other.begin(), other.end());
            }
        }
        try {
            Drain(pending);
        } catch (...) {
            if (helper.joinable()) {
                stop_.store(true, std::memory_order_relaxed);
                helper.join();
            }
            throw;
        }
        if (helper.joinable()) helper.join();
        if (failed) std::rethrow_exception(failed);
    }

  private:
    void Drain(std::vector<Pending>& pending) {
        std::vector<Keyed> spare; // for the radix passes, as large as they need
        while (!pending.empty()) {
            if ((calledOff_ && calledOff_->load(std::memory_order_relaxed)) ||
                stop_.load(std::memory_order_relaxed))
                throw SortCalledOff{};
            const Pending range = pending.back();
            pending.pop_back();
            SortRange(range, pending, spare);
        }
    }

    // Spreads the texts by the first 11 bits in which their keys at depth 0
    // differ, and hands the runs of equal bits out to `one` and `other`, about
    // half of the texts to each.
    void Split(std::vector<Pending>& one, std::vector<Pending>& other) {
        const auto n = static_cast<std::uint32_t>(items_.size());
        std::uint64_t differing = 0;
        for (Keyed& item : items_) {
            item.key = Key(item, 0);
            differing |= item.key ^ items_[0].key;
        }
        if (differing == 0) {
            one.push_back({0, n, 0, true});
            return;
        }
        constexpr unsigned kDigitBits = 11;
        const auto high = static_cast<unsigned>(std::bit_width(differing));
        const unsigned shift = high > kDigitBits ? high - kDigitBits : 0;
        const auto digit = [shift](const Keyed& item) {
            return (item.key >> shift) & ((std::uint64_t{1} << kDigitBits) - 1);
        };
        std::array<std::uint32_t, (std::size_t{1} << kDigitBits) + 1> start{};
        for (const Keyed& item : items_)
            ++start[digit(item) + 1];
        for (std::size_t d = 1; d < start.size(); ++d)
            start[d] += start[d - 1];
        // In place: each item is swapped into its bucket, one cycle at a time.
        std::array<std::uint32_t, std::size_t{1} << kDigitBits> next;
        std::copy(start.begin(), start.end() - 1, next.begin());
        for (std::size_t d = 0; d + 1 < start.size(); ++d) {
            while (next[d] < start[d + 1]) {
                Keyed item = items_[next[d]];
                for (std::size_t to = digit(item); to != d; to = digit(item))
                    std::swap(item, items_[next[to]++]);
                items_[next[d]++] = item;
            }
        }
        for (std::size_t d = 0; d + 1 < start.size(); ++d) {
            const std::uint32_t from = start[d], to = start[d + 1];
            if (to - from == 1) items_[from].key = kNewText;
            if (to - from > 1) (from < n / 2 ? one : other).push_back({from, to, 0, true});
        }
    }

    void MakeCodes() {
        code_.assign(std::size_t{1} << (8 * sizeof(Unit)), 0);
        std::uint32_t* const codes = code_.data();
        for (const Keyed& item : items_) {
            // Held in locals: the stores below could otherwise be the item's.
            const Unit* const units = units_[item.id];
            const std::uint32_t length = item.length;
            for (std::uint32_t u = 0; u < length; ++u)
                codes[static_cast<Code>(units[u])] = 1;
        }
        std::uint32_t places = 0;
        for (std::uint32_t& place : code_)
            if (place) place = ++places;
        bits_ = static_cast<unsigned>(std::bit_width(places));
        if (bits_ == 0) bits_ = 1;
        per_ = 64 / bits_;
    }

    std::uint64_t Key(const Keyed& item, std::uint32_t depth) const {
        const Unit* const units = units_[item.id];
        std::uint64_t key = 0;
        for (std::uint32_t j = depth; j < depth + per_; ++j)
            key = (key << bits_) | (j < item.length ? code_[static_cast<Code>(units[j])] : 0);
        return key;
    }

    void SortRange(const Pending& range, std::vector<Pending>& pending, std::vector<Keyed>& spare) {
        Keyed* const first = items_.data() + range.begin;
        Keyed* const last = items_.data() + range.end;
        const std::uint32_t count = range.end - range.begin;
        // The texts are read all over memory: their reads are asked for
        // ahead, the views first, then the units.
        constexpr std::uint32_t kViewsAhead = 16, kUnitsAhead = 8;
        for (std::uint32_t k = 0; k < count && !range.keyed; ++k) {
            if (k + kViewsAhead < count) Prefetch(&units_[first[k + kViewsAhead].id]);
            if (k + kUnitsAhead < count) {
                const Keyed& ahead = first[k + kUnitsAhead];
                Prefetch(units_[ahead.id] + std::min(range.depth, ahead.length));
            }
            first[k].key = Key(first[k], range.depth);
        }
        const auto byKey = [](const Keyed& a, const Keyed& b) { return a.key < b.key; };
        if (count < kRadixFrom)
            std::sort(first, last, byKey);
        else
            RadixSort(first, last, spare);
        const std::uint32_t next = range.depth + per_;
        for (Keyed* run = first; run != last;) {
            Keyed* runEnd = run + 1;
            while (runEnd != last && runEnd->key == run->key)
                ++runEnd;
            // Those that end here go first, equal to each other; the rest go on.
            Keyed* rest = run;
            for (Keyed* item = run; item != runEnd; ++item)
                if (item->length <= next) std::swap(*rest++, *item);
            for (Keyed* item = run; item != rest; ++item)
                item->key = item == run ? kNewText : kSameAsBefore;
            if (runEnd - rest > 1)
                pending.push_back({static_cast<std::uint32_t>(rest - items_.data()),
                                   static_cast<std::uint32_t>(runEnd - items_.data()), next,
                                   false});
            else if (rest != runEnd)
                rest->key = kNewText;
            run = runEnd;
        }
    }

    // Least significant digit first, skipping digits that all keys share.
    void RadixSort(Keyed* first, Keyed* last, std::vector<Keyed>& spare) const {
        constexpr unsigned kDigitBits = 11;
        constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
        const unsigned keyBits = bits_ * per_;
        const unsigned digits = (keyBits + kDigitBits - 1) / kDigitBits;
        std::vector<std::array<std::uint32_t, kBuckets>> counts(digits);
        for (auto& c : counts)
            c.fill(0);
        for (const Keyed* item = first; item != last; ++item)
            for (unsigned d = 0; d < digits; ++d)
                ++counts[d][(item->key >> (d * kDigitBits)) & (kBuckets - 1)];
        const auto n = static_cast<std::uint32_t>(last - first);
        Keyed* from = first;
        Keyed* to = nullptr;
        for (unsigned d = 0; d < digits; ++d) {
            auto& start = counts[d];
            if (start[(first->key >> (d * kDigitBits)) & (kBuckets - 1)] == n) continue;
            if (!to) {
                if (spare.size() < n) spare.resize(n);
                to = spare.data();
            }
            std::uint32_t sum = 0;
            for (std::uint32_t& s : start) {
                const std::uint32_t c = s;
                s = sum;
                sum += c;
            }
            for (const Keyed* item = from; item != from + n; ++item)
                to[start[(item->key >> (d * kDigitBits)) & (kBuckets - 1)]++] = *item;
            std::swap(from, to);
        }
        if (from != first) std::copy(from, from + n, first);
    }

    static constexpr std::uint32_t kRadixFrom = 1 << 14;
    static constexpr std::uint32_t kSplitFrom = 1 << 16;
    std::atomic<bool> stop_{false}; // the other thread failed
    const std::vector<const Unit*>& units_;
    std::vector<Keyed>& items_;
    const std::atomic<bool>* calledOff_;
    std::vector<std::uint32_t> code_;
    unsigned bits_ = 16, per_ = 4;
};

} // namespace

template <typename Unit>
std::vector<std::uint32_t> BasicTextRanks<Unit>::Ranks(const std::atomic<bool>* calledOff,
                                                       bool twoThreads) {
    std::vector<std::uint32_t> ranks;
    try {
        TextSorter<Unit>(units_, items_, calledOff).Sort(twoThreads);
        units_ = {};
        ranks.resize(items_.size());
        std::uint32_t rank = 0;
        for (std::size_t k = 0; k < items_.size(); ++k) {
            if (k > 0 && items_[k].key == kNewText) ++rank;
            ranks[items_[k].id] = rank;
        }
    } catch (const std::bad_alloc&) {
        ranks.clear();
    } catch (const SortCalledOff&) {
        ranks.clear();
    }
    units_ = {};
    items_ = {};
    return ranks;
}

template class BasicTextRanks<char16_t>;
template class BasicTextRanks<char>;

std::vector<std::uint32_t> DenseTextRanks(const std::vector<std::u16string_view>& texts,
                                          const std::atomic<bool>* calledOff, bool twoThreads) {
    try {
        TextRanks ranks(static_cast<std::uint32_t>(texts.size()));
        for (std::uint32_t id = 0; id < texts.size(); ++id)
            ranks.Set(id, texts[id]);
        return ranks.Ranks(calledOff, twoThreads);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

void IndicesByRank(const std::vector<std::uint32_t>& ranks, std::uint32_t rankCount,
                   std::vector<std::uint32_t>& sorted) {
    std::vector<std::uint32_t> start(std::size_t{rankCount} + 1, 0);
    for (const std::uint32_t rank : ranks)
        ++start[rank + 1];
    for (std::size_t r = 1; r < start.size(); ++r)
        start[r] += start[r - 1];
    sorted.resize(ranks.size());
    for (std::size_t i = 0; i < ranks.size(); ++i)
        sorted[start[ranks[i]]++] = static_cast<std::uint32_t>(i);
}

} // namespace qk
