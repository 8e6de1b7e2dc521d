// The program's few calls to the operating system's files: open, read, seek
// and close for the text file reader; create, write, rename and remove for
// writing a file whole. FileLayerPosix.cpp and FileLayerWin32.cpp implement
// them; the rules above them (file table, buffer, line ends, decoding,
// formats) stay portable.
#pragma once

#include "text/Text.h"
#include "text/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qk {

// An open file of the operating system; kNoFileHandle when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFileHandle = -1;

// Opens an existing regular (disk) file for reading, shared with other
// readers but not with writers: on Windows nobody may write to it while it is
// open, and it cannot be opened while somebody writes to it (InUse); on POSIX
// it takes a shared lock, which only an exclusive lock refuses (writers there
// take none). Never blocks (a FIFO, device or directory is refused).
// kNoFileHandle on failure, with the reason left for LastFileError and
// FileErrorText.
FileHandle OpenFileForReading(const Text& path);
// Reads up to `count` bytes at the current position; interrupted reads are
// retried. The number of bytes read: 0 at the end of the file and on failure.
std::size_t ReadFromFile(FileHandle file, void* destination, std::size_t count);
// Moves the position to `offset` bytes from the start; false on failure.
bool SeekFile(FileHandle file, std::uint64_t offset);
void CloseFile(FileHandle file);
// How far reading has come: the position and the size of the file in bytes.
// False when the system cannot tell.
bool FileProgress(FileHandle file, std::uint64_t& position, std::uint64_t& size);

// What tells whether an open file was written to: its size and the time of
// its last change of content, as the system keeps it.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t changed = 0; // in the system's own unit (ns or 100 ns)
    bool operator==(const FileStamp&) const = default;
};
// The stamp of an open file now; false when the system cannot tell.
bool ReadFileStamp(FileHandle file, FileStamp& stamp);

// A path the system gave as bytes (a command line argument) as a text that
// names the same file. On POSIX, bytes that are not UTF-8 are kept as the
// lone surrogates U+DC80 to U+DCFF, which every call here turns back into
// the very same bytes; on Windows the bytes are UTF-8 whose encoded lone
// surrogates stand for themselves (see SystemArgumentBytes).
Text PathFromSystem(std::string_view bytes);
// A Windows argument in the bytes PathFromSystem takes: UTF-8, with a lone
// surrogate encoded like any other unit, so that no name is lost.
inline std::string SystemArgumentBytes(std::u16string_view units) {
    std::string bytes;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        AppendUtf8(bytes, cp);
    }
    return bytes;
}

// The bytes under which the system knows `path` (UTF-8 on Windows); false
// for a text no path can be.
bool PathBytes(const Text& path, std::string& bytes);

// The path on disk that `shown`, an absolute path as a decoder showed it,
// stands for: where a name is not there as it stands because bytes that
// were no UTF-8 show in it as U+FFFD or "?", the one name of its folder
// that shows alike. `shown` itself when it is there, or when no name or
// more than one fits. Windows names are UTF-16 and are taken as they stand.
Text PathOnDisk(const Text& shown);

// Whether `path` names a folder that exists.
bool FolderExists(const Text& path);
// The folder a file manager may be asked to show for `path`, a folder named
// in a log: the path itself when it is an absolute local path of a folder
// that exists (on POSIX found by PathOnDisk where the log's bytes were no
// UTF-8, and then that folder's real name); on Windows also a network path (\\server\share\...) as
// it stands, without asking the server, which is reached only when the user chooses to go there.
// The empty text for everything else: relative paths, URLs, names that look like options, "~/",
// device names, missing folders.
Text FolderToOpen(const Text& path);

// Writing. Each call that fails leaves a description for FileErrorText.

// Creates a new file for writing; fails when anything exists under `path`.
// Only its owner may read it until ReplaceFile gives it its permissions.
FileHandle CreateFileForWriting(const Text& path);
// Writes all `count` bytes; false when they could not all be written.
bool WriteToFile(FileHandle file, const void* source, std::size_t count);
// Brings the written bytes to the disk and closes the file; false when
// either failed (the file is closed all the same).
bool FinishWriting(FileHandle file);
// The file that writing to `path` must replace: the file a symbolic link
// points at (through any chain of links, whether it exists or not), else
// `path` itself. A new file made beside it can take its place.
Text FileBehindLinks(const Text& path);
// Renames `from` to `to`, replacing a file `to` in one step. `from` gets the
// permissions of the file it replaces, or those of an ordinary new file.
bool ReplaceFile(const Text& from, const Text& to);
// Removes the file; false when it could not be removed.
bool RemoveFile(const Text& path);
// What went wrong in the last failed call above, in a few words.
Text FileErrorText();
// Whether the last failed call above failed because the name was in use.
bool FileErrorIsNameInUse();

// Why the last failed open or writing call failed, from the error the
// system reported; Other is described by FileErrorText and
// FileErrorNumber alone. FolderTakesNoFile: a new file could not be made for
// lack of permission in its folder, which replacing a file (even a writable
// one) needs. Changed and ReadFailed are found by the text file reader: the
// file was written to while it was read, or a read failed before its end.
enum class FileError {
    Other,
    NotFound,
    NoPermission,
    IsFolder,
    NotRegularFile,
    InUse,
    FolderTakesNoFile,
    DiskFull,
    TooLarge,
    ReadOnly,
    NoMemory,
    NameTooLong,
    TooManyOpen,
    DeviceFailed,
    Changed,
    ReadFailed
};
inline constexpr const char16_t* kFolderTakesNoFileText =
    u"Permission denied in the folder: the file is replaced through a new file beside it";
FileError LastFileError();
// The system's number for the last error (errno or GetLastError).
long FileErrorNumber();

// Whether standard output (or, with `error`, standard error) is a terminal
// or console, where text is shown to a person rather than kept.
bool StandardStreamIsTerminal(bool error);

} // namespace qk
