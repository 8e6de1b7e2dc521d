#include "core/BlockLoading.h"

#include "core/ExportFormats.h"
#include "core/LogBlockLines.h"
#include "core/LogLineParser.h"
#include "core/RecordCommands.h"
#include "core/StoredText.h"
#include "text/LineSplitting.h"
#include "text/Scan.h"
#include "text/TextFileReader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace qk {
namespace {

constexpr std::int64_t kLogFileNumber = 0;

// Texts one after the other in their stored bytes: text k spans
// [ends[k-1], ends[k]).
// Each text's hash is taken here, on the thread that parses the block, so
// that the one thread that takes the blocks in order need not.
struct TextRun {
    std::vector<char> bytes;
    std::vector<std::uint32_t> ends;
    std::vector<std::uint64_t> hashes;

    std::string_view operator[](std::uint32_t k) const {
        const std::uint32_t from = k ? ends[k - 1] : 0;
        return {bytes.data() + from, ends[k] - from};
    }
    // Ends the text being appended. `piece` is the key it was looked up by:
    // when its stored bytes are the same, so is the hash already taken.
    void End(std::string_view piece = {}, std::uint64_t pieceHash = 0) {
        const std::uint32_t from = ends.empty() ? 0 : ends.back();
        ends.push_back(static_cast<std::uint32_t>(bytes.size()));
        const std::string_view text(bytes.data() + from, bytes.size() - from);
        hashes.push_back(!piece.empty() && text == piece ? pieceHash
                                                         : HashBytes(text.data(), text.size()));
    }
};

// The distinct keys of one column within one block, by local id. A key is
// the UTF-8 bytes of a piece of a line, or (for a line split on its units) a
// NUL, which no line holds, and the bytes of the units; two keys may stand
// for the same text, which the table's shared texts then make one.
class BlockInterner {
  public:
    // The local id of `key`, and whether it came for the first time.
    std::pair<std::uint32_t, bool> Intern(std::string_view key) {
        if ((ends_.size() + 1) * 2 > slots_.size()) Grow();
        const std::size_t mask = slots_.size() - 1;
        lastHash_ = HashBytes(key.data(), key.size());
        for (std::size_t i = lastHash_ & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                bytes_.append(key);
                ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
                slots_[i] = static_cast<std::uint32_t>(ends_.size());
                return {slots_[i] - 1, true};
            }
            if (SameBytes(Key(slots_[i] - 1), key)) return {slots_[i] - 1, false};
        }
    }
    // Forgets every key, keeping the memory for the next block.
    void Clear() {
        std::fill(slots_.begin(), slots_.end(), 0);
        bytes_.clear();
        ends_.clear();
    }
    // The key for the units of a line that was split on its units.
    std::pair<std::uint32_t, bool> InternUnits(std::u16string_view units) {
        unitsKey_.assign(1, '\0');
        unitsKey_.append(reinterpret_cast<const char*>(units.data()),
                         units.size() * sizeof(char16_t));
        return Intern(unitsKey_);
    }

    // The hash of the key last looked up.
    std::uint64_t LastHash() const { return lastHash_; }

  private:
    std::string_view Key(std::uint32_t id) const {
        const std::uint32_t from = id ? ends_[id - 1] : 0;
        return std::string_view(bytes_).substr(from, ends_[id] - from);
    }
    void Grow() {
        std::vector<std::uint32_t> grown(std::max<std::size_t>(slots_.size() * 2, 256), 0);
        const std::size_t mask = grown.size() - 1;
        for (std::uint32_t id = 0; id < ends_.size(); ++id) {
            const std::string_view key = Key(id);
            std::size_t i = HashBytes(key.data(), key.size()) & mask;
            while (grown[i] != 0)
                i = (i + 1) & mask;
            grown[i] = id + 1;
        }
        slots_.swap(grown);
    }
    std::string bytes_;
    std::vector<std::uint32_t> ends_;
    std::vector<std::uint32_t> slots_;
    std::string unitsKey_;
    std::uint64_t lastHash_ = 0;
};

// One parsed block: its records with local ids, and the texts of those ids.
struct ParsedBlock {
    RecordSegment segment; // all but the ids
    std::array<std::vector<std::uint32_t>, kSharedColumnCount> ids;
    std::array<TextRun, kSharedColumnCount> values;
    std::int64_t total = 0;
    std::int64_t listed = 0;
    std::string printed; // the lines of the listed records, when printing
};

// What is made of a block: records kept, counted, or the listed ones printed.
struct BlockWork {
    enum class Kind { Keep, Count, Print } kind = Kind::Keep;
    std::u16string_view findText;
    ExportFormat format = ExportFormat::JsonLines;
};

// Bytes of the file, in memory that is not filled before it is read into.
struct ByteBlock {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;

    std::string_view View() const { return {data.get(), size}; }
    // Room for `bytes` bytes, keeping those held.
    void Reserve(std::size_t bytes) {
        if (bytes <= capacity) return;
        std::unique_ptr<char[]> grown(new char[bytes]);
        if (size > 0) std::memcpy(grown.get(), data.get(), size);
        data = std::move(grown);
        capacity = bytes;
    }
};

// Hands out the file's blocks in order, each cut after its last whole line.
class BlockSource {
  public:
    BlockSource(std::int64_t file, std::size_t blockBytes)
        : file_(file), blockBytes_(std::max<std::size_t>(blockBytes, 1)) {}

    // The next block into `block`, and its number; false when none is left
    // or when memory for it ran out (OutOfMemory tells which).
    bool Next(ByteBlock& block, std::size_t& number) {
        std::lock_guard guard(lock_);
        std::swap(block, carry_);
        carry_.size = 0;
        while (!ended_) {
            const std::size_t old = block.size;
            try {
                block.Reserve(old + blockBytes_);
            } catch (const std::bad_alloc&) {
                block = {};
                ended_ = outOfMemory_ = true; // the rest cannot be read
                return false;
            }
            const auto got = static_cast<std::size_t>(ReadFileBytes(
                file_, block.data.get() + old, static_cast<std::int64_t>(blockBytes_)));
            block.size = old + got;
            if (got < blockBytes_) {
                ended_ = true;
                break;
            }
            const std::size_t from = old > 0 ? old - 1 : 0;
            const std::size_t whole = WholeLinesLength(block.View().substr(from));
            if (whole > 0) {
                const std::size_t cut = from + whole;
                try {
                    carry_.Reserve(block.size - cut);
                } catch (const std::bad_alloc&) {
                    block = {};
                    ended_ = outOfMemory_ = true;
                    return false;
                }
                if (block.size > cut)
                    std::memcpy(carry_.data.get(), block.data.get() + cut, block.size - cut);
                carry_.size = block.size - cut;
                block.size = cut;
                break;
            }
        }
        if (block.size == 0) return false;
        number = next_++;
        return true;
    }

    bool OutOfMemory() {
        std::lock_guard guard(lock_);
        return outOfMemory_;
    }

    // How many bytes of how many the file has given so far.
    void Progress(std::uint64_t& read, std::uint64_t& size) {
        std::lock_guard guard(lock_);
        TextFileProgress(file_, read, size);
    }

  private:
    std::mutex lock_;
    std::int64_t file_;
    std::size_t blockBytes_;
    ByteBlock carry_;
    bool ended_ = false;
    bool outOfMemory_ = false;
    std::size_t next_ = 0;
};

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

// Counts the records of one block, and those a find lists; when printing,
// appends the line of each listed record to `out.printed`. Whether a line is
// a record, and mostly whether the find lists it, is told from its bytes:
// only the lines that may be listed are decoded and taken apart.
void CountBlock(std::string_view bytes, const BlockWork& work, ParsedBlock& out) {
    const std::u16string_view findText = work.findText;
    const bool printing = work.kind == BlockWork::Kind::Print;
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    const bool asLogged = FoundOnlyAsLogged(findText);
    const std::string findBytes = asLogged ? Text(findText).ToUtf8() : std::string();
    ForEachLine(bytes, [&](std::string_view lineBytes) {
        if (!IsLogRecordLine(lineBytes)) return;
        ++out.total;
        if (findText.empty() && !printing) return;
        if (asLogged && lineBytes.find(findBytes) == lineBytes.npos) return;
        DecodeLineInto(lineBytes, line);
        if (!SplitLogLine(line, parts)) return;
        date.clear();
        AppendDate(date, parts);
        const RecordFieldViews fields = {parts.path, parts.name, parts.SizeView(),
                                         date,       parts.time, parts.user};
        if (!findText.empty() && !AnyVisibleFieldContains([&](RecordField field) {
                return FieldContains(fields[static_cast<std::size_t>(field)], findText);
            }))
            return;
        ++out.listed;
        if (printing) AppendRecordLine(out.printed, fields, work.format);
    });
}

// What a loading thread keeps from block to block, so that its memory is
// had once: the records of a block before they are copied at their size,
// and the interners.
struct BlockScratch {
    std::vector<char> names;
    std::vector<std::uint32_t> nameEnds;
    std::vector<std::int64_t> sizes;
    std::array<std::vector<std::uint32_t>, kSharedColumnCount> ids;
    std::array<BlockInterner, kSharedColumnCount> interners;
    std::u16string units; // a piece being decoded

    void Clear() {
        names.clear();
        nameEnds.clear();
        sizes.clear();
        for (auto& column : ids)
            column.clear();
        for (BlockInterner& interner : interners)
            interner.Clear();
    }
};

// The records of one block as they are parsed: names, sizes and the local
// ids of the shared texts in `scratch`, the texts of those ids in `values`.
struct BlockRecords {
    BlockScratch& scratch;
    std::array<TextRun, kSharedColumnCount>& values;

    // Adds the id of a piece of a line's bytes; its text when it is new.
    void AddBytes(int column, std::string_view piece) {
        BlockInterner& interner = scratch.interners[column];
        const auto [id, fresh] = interner.Intern(piece);
        if (fresh) {
            AppendStoredOfLogged(piece, values[column].bytes, scratch.units);
            values[column].End(piece, interner.LastHash());
        }
        scratch.ids[column].push_back(id);
    }
    void AddUnits(int column, std::u16string_view units) {
        const auto [id, fresh] = scratch.interners[column].InternUnits(units);
        if (fresh) {
            AppendStored(units, values[column].bytes);
            values[column].End();
        }
        scratch.ids[column].push_back(id);
    }

    // A line split on its bytes. Dates are looked up as logged and
    // reordered once per block.
    void Add(const LogLineBytes& parts) {
        AppendStoredOfLogged(parts.name, scratch.names, scratch.units);
        scratch.nameEnds.push_back(static_cast<std::uint32_t>(scratch.names.size()));
        scratch.sizes.push_back(parts.sizeCount);
        AddBytes(0, parts.path);
        const auto [dateId, newDate] = scratch.interners[1].Intern(parts.dateToken);
        if (newDate) {
            std::vector<char>& dates = values[1].bytes;
            AppendStoredOfLogged(parts.year, dates, scratch.units);
            dates.push_back('.');
            AppendStoredOfLogged(parts.month, dates, scratch.units);
            dates.push_back('.');
            AppendStoredOfLogged(parts.day, dates, scratch.units);
            values[1].End();
        }
        scratch.ids[1].push_back(dateId);
        AddBytes(2, parts.time);
        AddBytes(3, parts.user);
    }
    // A line split on its units.
    void Add(const LogLineParts& parts, std::u16string& date) {
        AppendStored(parts.name, scratch.names);
        scratch.nameEnds.push_back(static_cast<std::uint32_t>(scratch.names.size()));
        scratch.sizes.push_back(parts.sizeCount);
        AddUnits(0, parts.path);
        const auto [dateId, newDate] = scratch.interners[1].InternUnits(parts.dateToken);
        if (newDate) {
            date.clear();
            AppendDate(date, parts);
            AppendStored(date, values[1].bytes);
            values[1].End();
        }
        scratch.ids[1].push_back(dateId);
        AddUnits(2, parts.time);
        AddUnits(3, parts.user);
    }
};

// Parses one block into records, or counts or prints them as `work` says.
// The records are collected in `scratch`, which keeps its memory from block
// to block, and copied into the block's segment at their exact size.
void ParseBlock(std::string_view bytes, const BlockWork& work, BlockScratch& scratch,
                ParsedBlock& out) {
    if (work.kind != BlockWork::Kind::Keep) return CountBlock(bytes, work, out);
    std::u16string line;
    std::u16string date;
    LogLineParts parts;
    LogLineBytes byteParts;
    scratch.Clear();
    BlockRecords records{scratch, out.values};
    LogBlockLines lines(bytes);
    std::string_view lineBytes;
    ByteSplit split = ByteSplit::NoRecord;
    while (lines.Next(lineBytes, split, byteParts)) {
        if (split == ByteSplit::NoRecord) continue;
        if (split == ByteSplit::Record) {
            records.Add(byteParts);
        } else {
            DecodeLineInto(lineBytes, line);
            if (!SplitLogLine(line, parts)) continue;
            records.Add(parts, date);
        }
        ++out.total;
    }
    RecordSegment& segment = out.segment;
    CopyExactly(scratch.names, segment.names);
    CopyExactly(scratch.nameEnds, segment.nameEnds);
    segment.sizes.Assign(scratch.sizes);
    for (int c = 0; c < kSharedColumnCount; ++c)
        CopyExactly(scratch.ids[c], out.ids[c]);
}

// The parsed blocks waiting to be taken in file order, and the state the
// loading threads share.
class BlockRelay {
  public:
    explicit BlockRelay(const BlockLoadOptions& options)
        : source_(kLogFileNumber, options.blockBytes), progress_(options.progress) {}

    BlockSource& Source() { return source_; }
    bool Going() const { return !stopped_ && !failed_; }
    void Fail() { failed_ = true; }

    // Tells the caller's progress; false (and stopped) when it says stop.
    bool Report() {
        if (!progress_ || stopped_) return !stopped_;
        std::uint64_t read = 0, size = 0;
        source_.Progress(read, size);
        if (!progress_(read, size)) stopped_ = true;
        return !stopped_;
    }

    // Waits while block `number` is too far ahead of the next block to take
    // (a thread held up elsewhere would otherwise leave parsed blocks piling
    // up); `meanwhile` runs every few hundredths of a second.
    template <typename Meanwhile> void AwaitRoom(std::size_t number, Meanwhile meanwhile) {
        std::unique_lock guard(lock_);
        while (Going() && number >= next_ + kAhead) {
            advanced_.wait_for(guard, std::chrono::milliseconds(20));
            guard.unlock();
            meanwhile();
            guard.lock();
        }
    }

    void Store(std::size_t number, std::unique_ptr<ParsedBlock> parsed) {
        std::lock_guard guard(lock_);
        if (ready_.size() <= number) ready_.resize(number + 1);
        ready_[number] = std::move(parsed);
    }

    // Hands the blocks that are next in order to `take`, unless another
    // thread is doing so; `between` runs after each one.
    // A block stored while the taking thread was letting go of its turn is
    // seen by that thread's look after it let go.
    template <typename Take, typename Between> void TakeReady(Take& take, Between between) {
        while (Going()) {
            {
                std::unique_lock turn(taking_, std::try_to_lock);
                if (!turn) return;
                TakeInTurn(take, between);
            }
            std::lock_guard guard(lock_);
            if (!NextReady()) return;
        }
    }

    LoadResult Result() {
        if (failed_ || source_.OutOfMemory()) return LoadResult::OutOfMemory;
        return stopped_ ? LoadResult::Cancelled : LoadResult::Loaded;
    }

  private:
    bool NextReady() const { return next_ < ready_.size() && ready_[next_]; }

    // Takes the blocks next in order while they are ready; the caller holds
    // the turn.
    template <typename Take, typename Between> void TakeInTurn(Take& take, Between between) {
        while (Going()) {
            std::unique_ptr<ParsedBlock> block;
            {
                std::lock_guard guard(lock_);
                if (!NextReady()) return;
                block = std::move(ready_[next_++]);
            }
            advanced_.notify_all();
            if (!take(*block)) failed_ = true;
            between();
        }
    }

    static constexpr std::size_t kAhead = 4; // blocks parsed ahead of the next to take
    BlockSource source_;
    const std::function<bool(std::uint64_t, std::uint64_t)>& progress_;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> failed_{false};
    std::mutex lock_;                                 // guards the two below
    std::vector<std::unique_ptr<ParsedBlock>> ready_; // by number, until taken
    std::size_t next_ = 0;                            // the number of the block to take next
    std::condition_variable advanced_;                // `next_` moved on
    std::mutex taking_;                               // held by the thread that takes blocks
};

// Reads and parses every block of the open log on `threads` threads and
// hands each parsed block to `take` (false: no memory for it), one at a time
// and in file order, by whichever thread finds the next one ready. The
// calling thread reports progress after each block it parsed or took, and
// goes on reporting while it waits for the helpers, so that a progress
// window answers and can cancel at any time.
template <typename Take>
LoadResult ParseAllBlocks(const BlockLoadOptions& options, const BlockWork& blockWork, Take take) {
    BlockRelay relay(options);
    // Every thread parses and takes; the calling thread reports after each
    // block it parsed or took.
    const std::thread::id caller = std::this_thread::get_id();
    const auto work = [&] {
        const bool reports = std::this_thread::get_id() == caller;
        ByteBlock bytes;
        BlockScratch scratch;
        std::size_t number = 0;
        try {
            while (relay.Going() && relay.Source().Next(bytes, number)) {
                // While it waits, it takes what is ready in case no other
                // thread is about to.
                relay.AwaitRoom(number, [&] {
                    relay.TakeReady(take, [&] {
                        if (reports) relay.Report();
                    });
                    if (reports) relay.Report();
                });
                auto parsed = std::make_unique<ParsedBlock>();
                ParseBlock(bytes.View(), blockWork, scratch, *parsed);
                relay.Store(number, std::move(parsed));
                relay.TakeReady(take, [&] {
                    if (reports) relay.Report();
                });
                if (reports) relay.Report();
            }
        } catch (const std::bad_alloc&) {
            relay.Fail();
        }
    };
    std::mutex lock;
    std::condition_variable finished;
    int running = 0;
    std::vector<std::thread> helpers;
    for (int t = 1; t < options.threads; ++t) {
        std::unique_lock guard(lock);
        ++running;
        guard.unlock();
        try {
            helpers.emplace_back([&] {
                work();
                std::lock_guard done(lock);
                --running;
                finished.notify_all();
            });
        } catch (const std::exception&) { // no thread, or no memory for one
            guard.lock();
            --running;
            break; // fewer threads then
        }
    }
    relay.Report();
    work();
    {
        // The helpers count themselves out under the lock; report meanwhile.
        std::unique_lock wait(lock);
        while (running > 0) {
            finished.wait_for(wait, std::chrono::milliseconds(30));
            wait.unlock();
            relay.Report();
            wait.lock();
        }
    }
    for (std::thread& helper : helpers)
        helper.join();
    // A block stored after the helpers' last look.
    try {
        relay.TakeReady(take, [&] { relay.Report(); });
    } catch (const std::bad_alloc&) {
        relay.Fail();
    }
    return relay.Result();
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
                remap[k] = table.shared[c].Intern(values[k], values.hashes[k]);
            for (std::uint32_t& id : block.ids[c])
                id = remap[id];
            segment.ids[c].Assign(block.ids[c]);
            block.ids[c] = {};
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return AppendSegment(table, std::move(segment));
}

// A load that went through, unless the log was not read as it was opened.
LoadResult ReadAsOpened(LoadResult result) {
    if (result != LoadResult::Loaded) return result;
    switch (TextFileReadProblem(kLogFileNumber)) {
    case FileError::Other:
        return result;
    case FileError::ReadFailed:
        return LoadResult::ReadFailed;
    default:
        return LoadResult::Changed;
    }
}

} // namespace

LoadResult LoadLogTable(const Text& path, RecordTable& table, const BlockLoadOptions& options) {
    ClearTable(table);
    if (OpenTextFile(kLogFileNumber, path) == 0) return LoadResult::CannotOpen;
    std::vector<std::uint32_t> remap;
    LoadResult result = ParseAllBlocks(
        options, {}, [&](ParsedBlock& block) { return TakeBlock(table, block, remap); });
    result = ReadAsOpened(result);
    CloseTextFile(kLogFileNumber);
    if (result == LoadResult::Loaded && !ListAllRecords(table)) result = LoadResult::OutOfMemory;
    if (result != LoadResult::Loaded) {
        ClearTable(table); // a part of the log would pass for the whole
        return result;
    }
    // Records are added one at a time from now on, if at all: the shared
    // texts' index is made again for them then.
    for (SharedTexts& texts : table.shared)
        texts.DropIndex();
    if (options.rankWork) StartRankWork(table);
    return result;
}

LoadResult CountLogRecords(const Text& path, std::u16string_view findText, std::int64_t& listed,
                           std::int64_t& total, const BlockLoadOptions& options) {
    listed = total = 0;
    if (OpenTextFile(kLogFileNumber, path) == 0) return LoadResult::CannotOpen;
    const LoadResult result = ReadAsOpened(
        ParseAllBlocks(options, {BlockWork::Kind::Count, findText}, [&](const ParsedBlock& block) {
            total += block.total;
            listed += block.listed;
            return true;
        }));
    CloseTextFile(kLogFileNumber);
    if (result != LoadResult::Loaded) listed = total = 0;
    if (findText.empty()) listed = total;
    return result;
}

} // namespace qk

namespace qk {

LoadResult PrintLogRecords(const Text& path, std::u16string_view findText, ExportFormat format,
                           const std::function<bool(std::string_view)>& write, bool& written,
                           const BlockLoadOptions& options) {
    written = true;
    if (OpenTextFile(kLogFileNumber, path) == 0) return LoadResult::CannotOpen;
    // The heading goes out with the first block, so that a log that cannot
    // be read from its start prints nothing.
    std::string heading;
    AppendHeadingLine(heading, format);
    // Nothing goes out once the log is seen to have changed.
    bool changed = false;
    const auto print = [&](std::string_view lines) {
        if (!TextFileUnchanged(kLogFileNumber)) {
            changed = true;
            return false;
        }
        if (!heading.empty()) {
            heading += lines;
            written = write(heading);
            heading = {};
        } else {
            written = lines.empty() || write(lines);
        }
        return written;
    };
    LoadResult result =
        ParseAllBlocks(options, {BlockWork::Kind::Print, findText, format},
                       [&](const ParsedBlock& block) { return print(block.printed); });
    if (result == LoadResult::Loaded && written) print({});
    if (changed) result = LoadResult::Changed;
    result = ReadAsOpened(result);
    CloseTextFile(kLogFileNumber);
    return result;
}

} // namespace qk
