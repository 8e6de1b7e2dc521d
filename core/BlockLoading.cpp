#include "core/BlockLoading.h"

#include "core/LogLineParser.h"
#include "core/RecordCommands.h"
#include "text/LineSplitting.h"
#include "text/Scan.h"
#include "text/TextFileReader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace qk {
namespace {

constexpr std::int64_t kLogFileNumber = 0;

std::uint64_t HashKey(std::u16string_view units) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    std::uint64_t hash = units.size() * kMultiplier;
    std::size_t i = 0;
    for (; i + 4 <= units.size(); i += 4) {
        std::uint64_t chunk;
        std::memcpy(&chunk, units.data() + i, sizeof chunk);
        hash = (hash ^ chunk) * kMultiplier;
        hash ^= hash >> 29;
    }
    for (; i < units.size(); ++i)
        hash = (hash ^ units[i]) * kMultiplier;
    return hash ^ (hash >> 32);
}

// Texts one after the other: text k spans [ends[k-1], ends[k]).
struct TextRun {
    std::vector<char16_t> units;
    std::vector<std::uint32_t> ends;

    std::u16string_view operator[](std::uint32_t k) const {
        const std::uint32_t from = k ? ends[k - 1] : 0;
        return {units.data() + from, ends[k] - from};
    }
    void Add(std::u16string_view text) {
        units.insert(units.end(), text.begin(), text.end());
        ends.push_back(static_cast<std::uint32_t>(units.size()));
    }
};

// The distinct keys of one column within one block, by local id.
class BlockInterner {
  public:
    // The local id of `key`, and whether it came for the first time.
    std::pair<std::uint32_t, bool> Intern(std::u16string_view key) {
        if ((keys_.ends.size() + 1) * 2 > slots_.size()) Grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = HashKey(key) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                keys_.Add(key);
                slots_[i] = static_cast<std::uint32_t>(keys_.ends.size());
                return {slots_[i] - 1, true};
            }
            if (SameUnits(keys_[slots_[i] - 1], key)) return {slots_[i] - 1, false};
        }
    }
    TextRun TakeKeys() {
        slots_.clear();
        return std::move(keys_);
    }

  private:
    void Grow() {
        std::vector<std::uint32_t> grown(std::max<std::size_t>(slots_.size() * 2, 256), 0);
        const std::size_t mask = grown.size() - 1;
        for (std::uint32_t id = 0; id < keys_.ends.size(); ++id) {
            std::size_t i = HashKey(keys_[id]) & mask;
            while (grown[i] != 0)
                i = (i + 1) & mask;
            grown[i] = id + 1;
        }
        slots_.swap(grown);
    }
    TextRun keys_;
    std::vector<std::uint32_t> slots_;
};

// One parsed block: its records with local ids, and the texts of those ids.
struct ParsedBlock {
    RecordSegment segment;
    std::array<TextRun, kSharedColumnCount> values;
    std::int64_t total = 0;
    std::int64_t listed = 0;
};

// Hands out the file's blocks in order, each cut after its last whole line.
class BlockSource {
  public:
    BlockSource(std::int64_t file, std::size_t blockBytes)
        : file_(file), blockBytes_(std::max<std::size_t>(blockBytes, 1)) {}

    // The next block into `block`, and its number; false when none is left.
    bool Next(std::string& block, std::size_t& number) {
        std::lock_guard guard(lock_);
        block.swap(carry_);
        carry_.clear();
        while (!ended_) {
            const std::size_t old = block.size();
            try {
                block.resize(old + blockBytes_);
            } catch (const std::bad_alloc&) {
                block.resize(old);
                ended_ = true; // no memory for more: what was read is the rest
                break;
            }
            const auto got = static_cast<std::size_t>(
                ReadFileBytes(file_, block.data() + old, static_cast<std::int64_t>(blockBytes_)));
            block.resize(old + got);
            if (got < blockBytes_) {
                ended_ = true;
                break;
            }
            const std::size_t from = old > 0 ? old - 1 : 0;
            const std::size_t whole = WholeLinesLength(std::string_view(block).substr(from));
            if (whole > 0) {
                carry_.assign(block, from + whole);
                block.resize(from + whole);
                break;
            }
        }
        if (block.empty()) return false;
        number = next_++;
        return true;
    }

  private:
    std::mutex lock_;
    std::int64_t file_;
    std::size_t blockBytes_;
    std::string carry_;
    bool ended_ = false;
    std::size_t next_ = 0;
};

// Whether a line is a log record, decided on its bytes as the parser decides
// on its units: a "\\" or "/" before the first "|", and one of the
// extensions. All of these are ASCII, which decoding leaves as it is.
bool IsRecordLine(std::string_view line) {
    const std::string_view head = line.substr(0, line.find('|'));
    if (head.find('\\') == head.npos && head.find('/') == head.npos) return false;
    for (std::size_t dot = line.find('.'); dot != line.npos && dot + 4 <= line.size();
         dot = line.find('.', dot + 1)) {
        const std::string_view extension = line.substr(dot, 4);
        if (extension == ".par" || extension == ".psm" || extension == ".dft" ||
            extension == ".asm")
            return true;
    }
    return false;
}

// Units a formatted size can hold.
bool MayStandInASize(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') ||
           std::u16string_view(u".,-+ NaInfity").find(unit) != std::u16string_view::npos;
}

// Whether a record can contain `findText` only where its line holds the
// UTF-8 bytes of it: no "." (the date is joined from pieces by dots), a unit
// no size holds, and nothing that decoding makes of malformed bytes ("?",
// U+FFFD) or of four-byte sequences (surrogates). Every other field is a
// piece of the line as it stands.
bool FoundOnlyAsLogged(std::u16string_view findText) {
    bool outsideSizes = false;
    for (const char16_t unit : findText) {
        if (unit == u'.' || unit == u'?' || unit == 0xFFFD || (unit >= 0xD800 && unit <= 0xDFFF))
            return false;
        outsideSizes = outsideSizes || !MayStandInASize(unit);
    }
    return outsideSizes;
}

// Copies `from` into `to` at its exact size.
template <typename T> void CopyExactly(const std::vector<T>& from, std::vector<T>& to) {
    to.assign(from.begin(), from.end());
}

// Parses one block into records (`keep`) or only counts them. The records
// are collected in `scratch`, which keeps its memory from block to block,
// and copied into the block's segment at their exact size.
void ParseBlock(std::string_view bytes, bool keep, std::u16string_view findText,
                RecordSegment& scratch, ParsedBlock& out) {
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    std::array<BlockInterner, kSharedColumnCount> interners;
    TextRun dates;
    scratch.names.clear();
    scratch.sizes.clear();
    scratch.nameEnds.clear();
    scratch.sizeEnds.clear();
    scratch.sizeUnits = 0;
    for (auto& ids : scratch.ids)
        ids.clear();
    // Counting looks at the bytes first: most lines need no decoding at all.
    const bool asLogged = !keep && FoundOnlyAsLogged(findText);
    const std::string findBytes = asLogged ? Text(findText).ToUtf8() : std::string();
    ForEachLine(bytes, [&](std::string_view lineBytes) {
        if (!keep) {
            if (!IsRecordLine(lineBytes)) return;
            ++out.total;
            if (findText.empty()) return;
            if (asLogged && lineBytes.find(findBytes) == lineBytes.npos) return;
            DecodeLineInto(lineBytes, line);
            if (!SplitLogLine(line, parts)) return;
            date.clear();
            AppendDate(date, parts);
            const std::u16string_view fields[kVisibleFieldCount] = {
                parts.path, parts.name, parts.SizeView(), date, parts.time, parts.user};
            if (AnyVisibleFieldContains([&](RecordField field) {
                    return FieldContains(fields[static_cast<std::size_t>(field)], findText);
                }))
                ++out.listed;
            return;
        }
        DecodeLineInto(lineBytes, line);
        if (!SplitLogLine(line, parts)) return;
        ++out.total;
        scratch.Append(parts.name, parts.SizeView());
        scratch.ids[0].push_back(interners[0].Intern(parts.path).first);
        // Dates are looked up as logged and reordered once per block.
        const auto [dateId, newDate] = interners[1].Intern(parts.dateToken);
        if (newDate) {
            date.clear();
            AppendDate(date, parts);
            dates.Add(date);
        }
        scratch.ids[1].push_back(dateId);
        scratch.ids[2].push_back(interners[2].Intern(parts.time).first);
        scratch.ids[3].push_back(interners[3].Intern(parts.user).first);
    });
    if (!keep) return;
    out.values[0] = interners[0].TakeKeys();
    out.values[1] = std::move(dates);
    out.values[2] = interners[2].TakeKeys();
    out.values[3] = interners[3].TakeKeys();
    RecordSegment& segment = out.segment;
    CopyExactly(scratch.names, segment.names);
    CopyExactly(scratch.sizes, segment.sizes);
    CopyExactly(scratch.nameEnds, segment.nameEnds);
    CopyExactly(scratch.sizeEnds, segment.sizeEnds);
    segment.sizeUnits = scratch.sizeUnits;
    for (int c = 0; c < kSharedColumnCount; ++c)
        CopyExactly(scratch.ids[c], segment.ids[c]);
}

// Reads and parses every block of the open log on `threads` threads and
// hands each parsed block to `take`, one at a time and in file order, as soon
// as the blocks before it are taken: the thread that finds it ready takes it
// while the other goes on parsing. False when memory ran out.
template <typename Take>
bool ParseAllBlocks(const BlockLoadOptions& options, bool keep, std::u16string_view findText,
                    Take take) {
    BlockSource source(kLogFileNumber, options.blockBytes);
    std::mutex lock;                                 // guards the three below
    std::vector<std::unique_ptr<ParsedBlock>> ready; // by number, until taken
    std::size_t next = 0;                            // the number of the block to take next
    bool failed = false;
    std::mutex taking; // held by the thread that takes blocks
    const auto takeReady = [&] {
        std::unique_lock turn(taking, std::try_to_lock);
        if (!turn) return; // the other thread is taking them
        for (;;) {
            std::unique_ptr<ParsedBlock> block;
            {
                std::lock_guard guard(lock);
                if (next >= ready.size() || !ready[next]) return;
                block = std::move(ready[next++]);
            }
            take(*block);
        }
    };
    std::atomic<bool> stopped{false};
    const std::thread::id caller = std::this_thread::get_id();
    const auto work = [&] {
        std::string bytes;
        RecordSegment scratch;
        std::size_t number = 0;
        try {
            while (!stopped && source.Next(bytes, number)) {
                if (options.progress && std::this_thread::get_id() == caller) {
                    std::uint64_t read = 0, size = 0;
                    TextFileProgress(kLogFileNumber, read, size);
                    if (!options.progress(read, size)) stopped = true;
                }
                auto parsed = std::make_unique<ParsedBlock>();
                ParseBlock(bytes, keep, findText, scratch, *parsed);
                {
                    std::lock_guard guard(lock);
                    if (ready.size() <= number) ready.resize(number + 1);
                    ready[number] = std::move(parsed);
                }
                takeReady();
            }
        } catch (const std::bad_alloc&) {
            std::lock_guard guard(lock);
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < options.threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads then
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    // What is left: blocks behind one that was lost for want of memory, or
    // one stored while the other thread was finishing its turn.
    for (std::size_t number = next; number < ready.size(); ++number)
        if (ready[number]) take(*ready[number]);
    return !failed && !stopped;
}

// Puts the records of a parsed block into the table: its local ids become
// the table's. False when memory ran out.
bool TakeBlock(RecordTable& table, ParsedBlock& block, std::vector<std::uint32_t>& remap) {
    RecordSegment& segment = block.segment;
    if (segment.Count() == 0) return true;
    for (int c = 0; c < kSharedColumnCount; ++c) {
        const TextRun& values = block.values[c];
        try {
            remap.resize(values.ends.size());
            for (std::uint32_t k = 0; k < values.ends.size(); ++k)
                remap[k] = table.shared[c].Intern(values[k]);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (std::uint32_t& id : segment.ids[c])
            id = remap[id];
    }
    return AppendSegment(table, std::move(segment));
}

} // namespace

bool LoadLogTable(const Text& path, RecordTable& table, const BlockLoadOptions& options) {
    ClearTable(table);
    if (OpenTextFile(kLogFileNumber, path) == 0) return false;
    std::vector<std::uint32_t> remap;
    bool full = false; // no memory for more records: the rest is dropped
    ParseAllBlocks(options, true, {},
                   [&](ParsedBlock& block) { full = full || !TakeBlock(table, block, remap); });
    CloseTextFile(kLogFileNumber);
    if (options.rankWork) StartRankWork(table);
    return true;
}

bool CountLogRecords(const Text& path, std::u16string_view findText, std::int64_t& listed,
                     std::int64_t& total, const BlockLoadOptions& options) {
    listed = total = 0;
    if (OpenTextFile(kLogFileNumber, path) == 0) return false;
    ParseAllBlocks(options, false, findText, [&](const ParsedBlock& block) {
        total += block.total;
        listed += block.listed;
    });
    CloseTextFile(kLogFileNumber);
    if (findText.empty()) listed = total;
    return true;
}

} // namespace qk
