#include "core/LogLoading.h"

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "text/TextFileReader.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qk {
namespace {

constexpr std::int64_t kLogFileNumber = 0;

// Paths, dates, times and users repeat across a log: records share one text
// for each distinct value instead of holding a copy each.
class TextInterner {
  public:
    Text Get(std::u16string_view units) {
        if (units.empty()) return Text();
        if (const auto found = texts_.find(units); found != texts_.end()) return found->second;
        if (texts_.size() >= kMaxEntries) texts_.clear(); // a log of unique values: stop growing
        Text text(units);
        if (text.empty()) return text; // no memory: the field stays empty
        texts_.emplace(text.view(), text);
        return text;
    }

  private:
    static constexpr std::size_t kMaxEntries = 1 << 16;
    // The keys view the storage of the texts they map to.
    std::unordered_map<std::u16string_view, Text> texts_;
};

} // namespace

bool ReadDuplicateLog(const Text& path) {
    CreateDuplicateLists();
    if (OpenTextFile(kLogFileNumber, path) == 0) return false;

    TextInterner paths, dates, times, users;
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    while (AtEndOfFile(kLogFileNumber) == 0) {
        ReadTextLineInto(kLogFileNumber, line);
        if (!SplitLogLine(line, parts)) continue;
        auto* record = static_cast<DuplicateRecord*>(AppendRecord(AllRecords.list));
        if (!record) continue; // no memory for this record: the others still load
        record->path = paths.Get(parts.path);
        record->name = Text(parts.name);
        record->size = Text(parts.SizeView());
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
