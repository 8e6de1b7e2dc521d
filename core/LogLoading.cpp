#include "core/LogLoading.h"

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "text/TextFileReader.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qk {
namespace {

constexpr std::int64_t kLogFileNumber = 0;

// Paths, dates, times and users repeat across a log: records share one text
// for each distinct value instead of holding a copy each. An open-addressing
// table keeps the look-up to one or two cache lines.
class TextInterner {
  public:
    TextInterner() : slots_(kInitialSlots) {}

    Text Get(std::u16string_view units) {
        if (units.empty()) return Text();
        const std::uint64_t hash = Hash(units);
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.text.empty()) return Insert(slot, hash, units);
            if (slot.hash == hash && slot.text.view() == units) return slot.text;
        }
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        Text text; // empty: the slot is free
    };
    static constexpr std::size_t kInitialSlots = 1 << 10;
    // A log of unique values stops growing the table here and starts afresh.
    static constexpr std::size_t kMaxSlots = 1 << 17;

    static std::uint64_t Hash(std::u16string_view units) {
        constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
        std::uint64_t hash = units.size() * kMultiplier;
        std::size_t i = 0;
        for (; i + 4 <= units.size(); i += 4) {
            std::uint64_t chunk;
            std::memcpy(&chunk, units.data() + i, sizeof chunk);
            hash = (hash ^ chunk) * kMultiplier;
            hash ^= hash >> 29;
        }
        for (; i < units.size(); ++i) {
            hash = (hash ^ units[i]) * kMultiplier;
            hash ^= hash >> 29;
        }
        return hash ^ (hash >> 32);
    }

    Text Insert(Slot& free, std::uint64_t hash, std::u16string_view units) {
        Text text(units);
        if (text.empty()) return text; // no memory: the field stays empty
        if ((used_ + 1) * 2 > slots_.size()) {
            Rebuild(slots_.size() < kMaxSlots ? slots_.size() * 2 : kInitialSlots,
                    slots_.size() < kMaxSlots);
            Place(hash, text);
        } else {
            free = {hash, text};
        }
        ++used_;
        return text;
    }

    void Rebuild(std::size_t size, bool keep) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        used_ = 0;
        if (!keep) return;
        for (Slot& slot : old) {
            if (!slot.text.empty()) {
                Place(slot.hash, slot.text);
                ++used_;
            }
        }
    }

    void Place(std::uint64_t hash, const Text& text) {
        std::size_t i = hash & (slots_.size() - 1);
        while (!slots_[i].text.empty())
            i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {hash, text};
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

} // namespace

bool ReadDuplicateLog(const Text& path) {
    CreateDuplicateLists();
    if (OpenTextFile(kLogFileNumber, path) == 0) return false;

    TextInterner paths, dates, times, users;
    // Names and sizes are mostly unique: they go into large shared chunks.
    TextArena arena;
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    while (AtEndOfFile(kLogFileNumber) == 0) {
        ReadTextLineInto(kLogFileNumber, line);
        if (!SplitLogLine(line, parts)) continue;
        auto* record = static_cast<DuplicateRecord*>(AppendRecord(AllRecords.list));
        if (!record) continue; // no memory for this record: the others still load
        record->path = paths.Get(parts.path);
        record->name = arena.Make(parts.name);
        record->size = arena.Make(parts.SizeView());
        date.assign(parts.year)
            .append(1, u'.')
            .append(parts.month)
            .append(1, u'.')
            .append(parts.day);
        record->date = dates.Get(date);
        record->time = times.Get(parts.time);
        record->user = users.Get(parts.user);
        record->shown = ShownText();
    }
    CloseTextFile(kLogFileNumber);
    return true;
}

} // namespace qk
