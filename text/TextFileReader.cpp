// Line-by-line reading of UTF-8 text files through the file layer.
//
// Open files live in a table indexed by the caller's number; number -1 asks
// for a record outside the table whose address then serves as its number.
// Each file is read through a 4,096-byte buffer (or, when that cannot be had,
// one byte per read). The line reader scans the buffer for the next byte that
// needs attention (a line end, NUL or a non-ASCII byte), widens the plain
// ASCII runs in between straight into the line and decodes multi-byte UTF-8
// sequences in place, so that no byte passes through a call of its own.
#include "text/TextFileReader.h"

#include "text/FileLayer.h"
#include "text/Utf8.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace qk {
namespace {

constexpr std::int32_t kBufferSize = 4096;
constexpr std::size_t kInitialTableSize = 16;
constexpr std::size_t kTableGrowth = 16;
// Table numbers above this are refused rather than growing the table to an
// absurd size; records outside the table have numbers above it.
constexpr std::int64_t kLargestTableNumber = 1 << 20;
constexpr std::int64_t kOutsideTable = -1;
constexpr std::int64_t kAllFiles = -1;
// A line work area larger than this is given back after the line is made.
constexpr std::size_t kLargeWorkArea = 64 * 1024;
constexpr std::size_t kFirstWorkArea = 256;
constexpr unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

struct OpenFile {
    FileHandle handle = kNoFileHandle;
    // The file as it was opened, to tell whether it was written to since.
    FileStamp opened;
    bool stamped = false;
    // Bytes the system handed over so far.
    std::uint64_t taken = 0;
    // The byte buffer, or nullptr: the file is then read one byte at a time
    // into `single`, which serves as a buffer of one byte.
    unsigned char* buffer = nullptr;
    std::int32_t bufferSize = 0;
    // Bytes of the last refill not yet handed out; the next one lies at
    // offset fill - unread.
    std::int32_t unread = 0;
    std::int32_t fill = 0;
    // The check for a UTF-8 byte-order mark at the start is still to come.
    bool byteOrderMarkPending = true;
    unsigned char single = 0;
    // Work area in which a line is collected; grows as needed.
    char16_t* work = nullptr;
    std::size_t workCapacity = 0;
};

struct FileTable {
    std::mutex lock;
    std::vector<OpenFile*> slots = std::vector<OpenFile*>(kInitialTableSize, nullptr);
    std::vector<OpenFile*> outside; // records opened under -1

    ~FileTable();
};

std::atomic<bool> buffersFail{false};
std::atomic<TextFileReadHook> readHook{nullptr};

FileTable& Files() {
    static FileTable table;
    return table;
}

void Release(OpenFile* file) {
    if (!file) return;
    CloseFile(file->handle);
    delete[] file->buffer;
    std::free(file->work);
    delete file;
}

FileTable::~FileTable() {
    for (OpenFile* file : slots)
        Release(file);
    for (OpenFile* file : outside)
        Release(file);
}

std::int64_t NumberOf(const OpenFile* file) {
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(file));
}

// The record under `number`; the table lock must be held.
OpenFile* FindLocked(FileTable& table, std::int64_t number) {
    if (number >= 0 && static_cast<std::uint64_t>(number) < table.slots.size())
        return table.slots[static_cast<std::size_t>(number)];
    if (number > kLargestTableNumber) {
        for (OpenFile* file : table.outside)
            if (NumberOf(file) == number) return file;
    }
    return nullptr;
}

OpenFile* Find(std::int64_t number) {
    FileTable& table = Files();
    std::lock_guard guard(table.lock);
    return FindLocked(table, number);
}

// Takes the record under `number` out of the table; the lock must be held.
OpenFile* DetachLocked(FileTable& table, std::int64_t number) {
    if (number >= 0 && static_cast<std::uint64_t>(number) < table.slots.size()) {
        OpenFile* file = table.slots[static_cast<std::size_t>(number)];
        table.slots[static_cast<std::size_t>(number)] = nullptr;
        return file;
    }
    if (number > kLargestTableNumber) {
        auto found = std::find_if(table.outside.begin(), table.outside.end(),
                                  [number](OpenFile* file) { return NumberOf(file) == number; });
        if (found != table.outside.end()) {
            OpenFile* file = *found;
            table.outside.erase(found);
            return file;
        }
    }
    return nullptr;
}

// One read from the disk; 0 at the end of the file and on failure.
std::size_t ReadDisk(OpenFile& file, unsigned char* destination, std::size_t count) {
    const std::size_t got = ReadFromFile(file.handle, destination, count);
    file.taken += got;
    if (const TextFileReadHook hook = readHook.load(std::memory_order_relaxed)) hook(file.taken);
    return got;
}

// Reads until `count` bytes came or the file ended.
std::size_t ReadFully(OpenFile& file, unsigned char* destination, std::size_t count) {
    std::size_t total = 0;
    while (total < count) {
        const std::size_t got = ReadDisk(file, destination + total, count - total);
        if (got == 0) break;
        total += got;
    }
    return total;
}

unsigned char* BufferOf(OpenFile& file) {
    return file.buffer ? file.buffer : &file.single;
}

// Refills the buffer with one read; the number of bytes got (0 at the end).
std::int32_t Refill(OpenFile& file) {
    const std::size_t capacity = file.buffer ? static_cast<std::size_t>(file.bufferSize) : 1;
    const auto got = static_cast<std::int32_t>(ReadDisk(file, BufferOf(file), capacity));
    file.fill = got;
    file.unread = got;
    return got;
}

// A UTF-8 byte-order mark at the very start of the file is not content.
// Checked before the first byte is taken; a file that is only being opened
// is not read.
void SkipByteOrderMark(OpenFile& file) {
    if (!file.byteOrderMarkPending) return;
    file.byteOrderMarkPending = false;
    unsigned char head[3];
    const std::size_t got = ReadFully(file, head, sizeof head);
    const bool mark = got == sizeof head && std::memcmp(head, kByteOrderMark, sizeof head) == 0;
    SeekFile(file.handle, mark ? sizeof head : 0);
}

// Hands out up to `count` bytes: first from the buffer, then either read
// directly into the destination (when at least a buffer's worth is missing)
// or through refills. Fewer than `count` only at the end of the file.
std::int64_t TakeBytes(OpenFile& file, unsigned char* destination, std::int64_t count) {
    if (count <= 0) return 0;
    const unsigned char* next = BufferOf(file) + (file.fill - file.unread);
    if (count <= file.unread) {
        std::memcpy(destination, next, static_cast<std::size_t>(count));
        file.unread -= static_cast<std::int32_t>(count);
        return count;
    }
    std::int64_t handed = file.unread;
    if (handed > 0) std::memcpy(destination, next, static_cast<std::size_t>(handed));
    file.unread = 0;
    std::int64_t missing = count - handed;
    if (file.buffer && missing >= file.bufferSize) {
        return handed + static_cast<std::int64_t>(ReadFully(file, destination + handed,
                                                            static_cast<std::size_t>(missing)));
    }
    while (missing > 0) {
        const std::int32_t got = Refill(file);
        if (got == 0) break;
        const std::int32_t part = static_cast<std::int32_t>(std::min<std::int64_t>(got, missing));
        std::memcpy(destination + handed, BufferOf(file), static_cast<std::size_t>(part));
        file.unread -= part;
        handed += part;
        missing -= part;
    }
    return handed;
}

// Bytes that end the plain ASCII run of a line.
constexpr bool StopsRun(unsigned char byte) {
    return byte >= 0x80 || byte == 0x00 || byte == 0x0A || byte == 0x0D;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

constexpr bool HasZeroByte(std::uint64_t v) {
    return ((v - kEveryByte) & ~v & kHighBits) != 0;
}

// The first byte in [from, to) that stops a plain ASCII run, or `to`.
const unsigned char* FindRunEnd(const unsigned char* from, const unsigned char* to) {
    while (to - from >= 8) {
        std::uint64_t v;
        std::memcpy(&v, from, sizeof v);
        if ((v & kHighBits) != 0 || HasZeroByte(v) || HasZeroByte(v ^ (kEveryByte * 0x0A)) ||
            HasZeroByte(v ^ (kEveryByte * 0x0D)))
            break;
        from += 8;
    }
    while (from < to && !StopsRun(*from))
        ++from;
    return from;
}

// The line being collected in the file's work area. When the work area cannot
// grow any further, the rest of the line is read but dropped.
struct LineBuilder {
    OpenFile& file;
    std::size_t length = 0;
    bool dropping = false;

    // Room for `more` units after the collected ones.
    bool Room(std::size_t more) {
        const std::size_t needed = length + more;
        if (needed <= file.workCapacity) return true;
        if (dropping) return false;
        const std::size_t capacity = std::max({needed, file.workCapacity * 2, kFirstWorkArea});
        auto* grown = static_cast<char16_t*>(std::realloc(file.work, capacity * sizeof(char16_t)));
        if (!grown) {
            dropping = true;
            return false;
        }
        file.work = grown;
        file.workCapacity = capacity;
        return true;
    }

    void AppendAscii(const unsigned char* from, std::size_t count) {
        if (!Room(count)) return;
        char16_t* out = file.work + length;
        for (std::size_t i = 0; i < count; ++i)
            out[i] = from[i];
        length += count;
    }

    void AppendUnit(char16_t unit) {
        if (Room(1)) file.work[length++] = unit;
    }

    // A decoded sequence of 1 + `continuations` bytes; overlong forms,
    // surrogates and values beyond U+10FFFF become U+FFFD.
    void AppendCodePoint(char32_t codePoint, int continuations) {
        const char32_t checked = Utf8Checked(codePoint, continuations);
        if (!Room(checked >= 0x10000 ? 2 : 1)) return;
        AppendUtf16(checked, [&](char16_t unit) { file.work[length++] = unit; });
    }
};

// Appends the plain ASCII bytes from the next unread one on to `line`.
// Returns the byte that stopped the run (still unread), or nullptr when the
// buffer ran out first.
const unsigned char* TakeAsciiRun(OpenFile& file, LineBuilder& line) {
    const unsigned char* buffer = BufferOf(file);
    const unsigned char* next = buffer + (file.fill - file.unread);
    const unsigned char* end = buffer + file.fill;
    const unsigned char* stop = FindRunEnd(next, end);
    if (stop != next) {
        line.AppendAscii(next, static_cast<std::size_t>(stop - next));
        file.unread -= static_cast<std::int32_t>(stop - next);
    }
    return stop == end ? nullptr : stop;
}

// After a carriage return: a line feed right after it belongs to it, even
// when it comes with the next refill.
void TakeLineFeedAfterCarriageReturn(OpenFile& file) {
    if (file.unread == 0 && Refill(file) == 0) return;
    if (BufferOf(file)[file.fill - file.unread] == 0x0A) --file.unread;
}

// Decodes the sequence that `lead` opens (taken already, at `at` in the
// buffer) into `line`, by the rules of text/Utf8.h. False when the end of the
// file cut the sequence off.
bool TakeSequence(OpenFile& file, LineBuilder& line, unsigned char lead, const unsigned char* at) {
    if (lead >= 0xC2 && lead < 0xE0 && file.unread > 0 && IsUtf8Continuation(at[1])) {
        // The common case of a two-byte character within the buffer.
        --file.unread;
        line.AppendUnit(static_cast<char16_t>(Utf8Continue(Utf8LeadBits(lead, 1), at[1])));
        return true;
    }
    const int continuations = Utf8Continuations(lead);
    if (continuations < 0) {
        line.AppendUnit(kInvalidUtf8Byte); // a stray continuation byte or an invalid lead
        return true;
    }
    char32_t codePoint = Utf8LeadBits(lead, continuations);
    for (int i = 0; i < continuations; ++i) {
        if (file.unread == 0 && Refill(file) == 0) {
            line.AppendUnit(kReplacementCharacter); // cut off by the end of the file
            return false;
        }
        const unsigned char byte = BufferOf(file)[file.fill - file.unread];
        if (!IsUtf8Continuation(byte)) {
            // Not a continuation byte: it stays unread and is taken afresh,
            // so a line end here still ends the line.
            line.AppendUnit(kReplacementCharacter);
            return true;
        }
        --file.unread;
        codePoint = Utf8Continue(codePoint, byte);
    }
    line.AppendCodePoint(codePoint, continuations);
    return true;
}

// Reads the next line into the file's work area and returns its length in
// units; -1 when no byte was left. Lines end at LF, CR LF, a lone CR (the
// byte after it begins the next line), NUL, or the end of the file.
std::int64_t ReadLine(OpenFile& file) {
    SkipByteOrderMark(file);
    if (file.unread == 0 && Refill(file) == 0) return -1;
    LineBuilder line{file};
    for (;;) {
        const unsigned char* stop = TakeAsciiRun(file, line);
        if (!stop) {
            if (Refill(file) == 0) break;
            continue;
        }
        const unsigned char lead = *stop;
        --file.unread;
        if (lead == 0x0A || lead == 0x00) break;
        if (lead == 0x0D) {
            TakeLineFeedAfterCarriageReturn(file);
            break;
        }
        if (!TakeSequence(file, line, lead, stop)) break;
    }
    return static_cast<std::int64_t>(line.length);
}

// Gives back a work area that an unusually long line made large.
void TrimWorkArea(OpenFile& file) {
    if (file.workCapacity <= kLargeWorkArea) return;
    std::free(file.work);
    file.work = nullptr;
    file.workCapacity = 0;
}

} // namespace

std::int64_t OpenTextFile(std::int64_t number, const Text& name) {
    if (number < kOutsideTable || number > kLargestTableNumber) return 0;
    FileTable& table = Files();
    std::lock_guard guard(table.lock);
    if (number >= 0) Release(DetachLocked(table, number));

    try {
        if (number >= 0 && static_cast<std::uint64_t>(number) >= table.slots.size())
            table.slots.resize(static_cast<std::size_t>(number) + kTableGrowth, nullptr);
        if (number == kOutsideTable) table.outside.reserve(table.outside.size() + 1);
    } catch (const std::exception&) {
        return 0;
    }

    auto* file = new (std::nothrow) OpenFile;
    if (!file) return 0;
    file->handle = OpenFileForReading(name);
    if (file->handle == kNoFileHandle) {
        Release(file);
        return 0;
    }
    file->stamped = ReadFileStamp(file->handle, file->opened);
    if (!buffersFail.load(std::memory_order_relaxed)) {
        file->buffer = new (std::nothrow) unsigned char[kBufferSize];
        if (file->buffer) file->bufferSize = kBufferSize;
    }

    if (number == kOutsideTable) {
        if (NumberOf(file) <= kLargestTableNumber) { // cannot be told from a table number
            Release(file);
            return 0;
        }
        table.outside.push_back(file); // capacity reserved above
        return NumberOf(file);
    }
    table.slots[static_cast<std::size_t>(number)] = file;
    return 1;
}

std::int64_t AtEndOfFile(std::int64_t number) {
    OpenFile* file = Find(number);
    if (!file) return 0;
    SkipByteOrderMark(*file);
    unsigned char byte;
    if (TakeBytes(*file, &byte, 1) == 0) return file->buffer ? 1 : -1;
    ++file->unread; // push the byte back
    return 0;
}

std::int64_t ReadTextLineInto(std::int64_t number, std::u16string& line) {
    line.clear();
    OpenFile* file = Find(number);
    if (!file) return 0;
    const std::int64_t length = ReadLine(*file);
    if (length < 0) return 0;
    try {
        line.assign(file->work, static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        // no memory for the caller's copy: the line is read, but empty
    }
    TrimWorkArea(*file);
    return 1;
}

Text ReadTextLine(std::int64_t number) {
    OpenFile* file = Find(number);
    if (!file) return Text();
    const std::int64_t length = ReadLine(*file);
    if (length <= 0) return Text();
    Text result{std::u16string_view(file->work, static_cast<std::size_t>(length))};
    TrimWorkArea(*file);
    return result;
}

std::int64_t ReadFileBytes(std::int64_t number, void* destination, std::int64_t count) {
    OpenFile* file = Find(number);
    if (!file || !destination || count <= 0) return 0;
    SkipByteOrderMark(*file);
    return TakeBytes(*file, static_cast<unsigned char*>(destination), count);
}

void CloseTextFile(std::int64_t number) {
    FileTable& table = Files();
    std::lock_guard guard(table.lock);
    if (number == kAllFiles) {
        for (OpenFile*& file : table.slots) {
            Release(file);
            file = nullptr;
        }
        for (OpenFile* file : table.outside)
            Release(file);
        table.outside.clear();
        return;
    }
    Release(DetachLocked(table, number));
}

bool TextFileProgress(std::int64_t number, std::uint64_t& read, std::uint64_t& size) {
    OpenFile* file = Find(number);
    return file && FileProgress(file->handle, read, size);
}

FileError TextFileReadProblem(std::int64_t number) {
    OpenFile* file = Find(number);
    if (!file) return FileError::Other;
    FileStamp now;
    if (!file->stamped || !ReadFileStamp(file->handle, now) || now != file->opened)
        return FileError::Changed;
    std::uint64_t position = 0, size = 0;
    if (FileProgress(file->handle, position, size) && position < file->opened.size)
        return FileError::ReadFailed; // the end came early, with no sign of a change
    return FileError::Other;
}

bool TextFileUnchanged(std::int64_t number) {
    OpenFile* file = Find(number);
    FileStamp now;
    return file && file->stamped && ReadFileStamp(file->handle, now) && now == file->opened;
}

void SetTextFileReadHookForTesting(TextFileReadHook hook) {
    readHook.store(hook, std::memory_order_relaxed);
}

void FailTextFileBuffersForTesting(bool fail) {
    buffersFail.store(fail, std::memory_order_relaxed);
}

} // namespace qk
