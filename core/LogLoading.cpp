#include "core/LogLoading.h"

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "core/RecordCommands.h"
#include "text/TextFileReader.h"
#include "text/TextPrimitives.h"

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
        return Get(units, [this](std::u16string_view key) { return arena_.Make(key); });
    }

    // A copy of `text` that lives with the texts handed out.
    Text Keep(const Text& text) { return arena_.Make(text.view()); }

    // The text for `key`, made by `make` from the key the first time.
    template <typename Make> Text Get(std::u16string_view key, Make make) {
        if (key.empty()) return make(key);
        const std::uint64_t hash = Hash(key);
        for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (slot.key.empty()) return Insert(slot, hash, key, make(key));
            if (slot.hash == hash && slot.key.size() == key.size() &&
                std::memcmp(slot.key.data(), key.data(), key.size() * sizeof(char16_t)) == 0)
                return slot.text;
        }
    }

  private:
    struct Slot {
        std::uint64_t hash = 0;
        Text key; // empty: the slot is free
        Text text;
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

    Text Insert(Slot& free, std::uint64_t hash, std::u16string_view units, Text text) {
        // The key shares the text's storage when they are the same.
        Text key = text.view() == units ? text : Text(units);
        if (key.empty()) return text; // no memory: nothing is remembered
        if ((used_ + 1) * 2 > slots_.size()) {
            Rebuild(slots_.size() < kMaxSlots ? slots_.size() * 2 : kInitialSlots,
                    slots_.size() < kMaxSlots);
            Place(Slot{hash, key, text});
        } else {
            free = {hash, key, text};
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
            if (!slot.key.empty()) {
                Place(std::move(slot));
                ++used_;
            }
        }
    }

    void Place(Slot slot) {
        std::size_t i = slot.hash & (slots_.size() - 1);
        while (!slots_[i].key.empty())
            i = (i + 1) & (slots_.size() - 1);
        slots_[i] = std::move(slot);
    }

    // The texts handed out live together in a few chunks, so the many copies
    // of one text count their references on a line or two of memory.
    TextArena arena_;
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

} // namespace

bool ReadDuplicateLog(const Text& path) {
    return ReadDuplicateLog(path, nullptr) == LoadResult::Loaded;
}

LoadResult ReadDuplicateLog(const Text& path, const LoadProgress& progress) {
    CreateDuplicateLists();
    if (OpenTextFile(kLogFileNumber, path) == 0) return LoadResult::CannotOpen;

    TextInterner paths, dates, times, users;
    // Names and sizes are mostly unique: they go into large shared chunks.
    TextArena arena;
    std::u16string line;
    LogLineParts parts;
    // Some 1.5 MB of a typical log between two reports.
    constexpr std::uint32_t kLinesPerReport = 16384;
    std::uint32_t linesToReport = kLinesPerReport;
    while (AtEndOfFile(kLogFileNumber) == 0) {
        ReadTextLineInto(kLogFileNumber, line);
        if (progress && --linesToReport == 0) {
            linesToReport = kLinesPerReport;
            std::uint64_t read = 0, size = 0;
            TextFileProgress(kLogFileNumber, read, size);
            if (!progress(read, size)) {
                CloseTextFile(kLogFileNumber);
                CreateDuplicateLists();
                return LoadResult::Cancelled;
            }
        }
        if (!SplitLogLine(line, parts)) continue;
        auto* record = static_cast<DuplicateRecord*>(AppendRecord(AllRecords.list));
        if (!record) continue; // no memory for this record: the others still load
        record->path = paths.Get(parts.path);
        record->name = arena.Make(parts.name);
        record->size = arena.Make(parts.SizeView());
        // Dates are looked up as logged and reordered only the first time.
        record->date = dates.Get(
            parts.dateToken, [&](std::u16string_view) { return dates.Keep(MakeDateText(parts)); });
        record->time = times.Get(parts.time);
        record->user = users.Get(parts.user);
        record->shown = ShownText();
    }
    CloseTextFile(kLogFileNumber);
    return LoadResult::Loaded;
}

bool CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                       std::int64_t& total) {
    listed = total = 0;
    if (OpenTextFile(kLogFileNumber, path) == 0) return false;
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    while (AtEndOfFile(kLogFileNumber) == 0) {
        ReadTextLineInto(kLogFileNumber, line);
        if (!SplitLogLine(line, parts)) continue;
        ++total;
        if (findText.empty()) continue;
        date.clear();
        AppendDate(date, parts);
        const std::u16string_view fields[kVisibleFieldCount] = {
            parts.path, parts.name, parts.SizeView(), date, parts.time, parts.user};
        if (AnyVisibleFieldContains([&](RecordField field) {
                return FieldContains(fields[static_cast<std::size_t>(field)], findText);
            }))
            ++listed;
    }
    CloseTextFile(kLogFileNumber);
    if (findText.empty()) listed = total;
    return true;
}

} // namespace qk
