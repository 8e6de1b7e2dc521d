// The file layer over POSIX descriptors. Every call that can be interrupted
// by a signal is tried again.
#include "text/FileLayer.h"
#include "text/Utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qk {
namespace {

// Calls `call` until it is not interrupted by a signal; its last result.
template <typename Call> auto RetryInterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

int Descriptor(FileHandle file) {
    return static_cast<int>(file);
}

// What the program makes of an errno value.
FileError KindOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileError::NotFound;
    case EACCES:
    case EPERM:
        return FileError::NoPermission;
    case EISDIR:
        return FileError::IsFolder;
    case EWOULDBLOCK:
    case ETXTBSY:
        return FileError::InUse;
    case ENOSPC:
    case EDQUOT:
        return FileError::DiskFull;
    case EFBIG:
        return FileError::TooLarge;
    case EROFS:
        return FileError::ReadOnly;
    case ENOMEM:
        return FileError::NoMemory;
    case ENAMETOOLONG:
        return FileError::NameTooLong;
    case EMFILE:
    case ENFILE:
        return FileError::TooManyOpen;
    case EIO:
        return FileError::DeviceFailed;
    default:
        return FileError::Other;
    }
}

// The error of the last failed call, and what the program makes of it.
thread_local int lastError = 0;
thread_local FileError lastKind = FileError::Other;

bool Failed(FileError kind = FileError::Other) {
    lastError = errno;
    lastKind = kind;
    if (kind == FileError::Other) lastKind = KindOf(lastError);
    return false;
}

// A unit that stands for a byte that was no UTF-8 (see PathFromSystem).
constexpr char16_t kFirstEscapedByte = 0xDC80;
constexpr char16_t kLastEscapedByte = 0xDCFF;

// The bytes of a path text: UTF-8, with each escaped byte as itself. False
// for a lone surrogate that stands for no byte.
bool EncodePath(std::u16string_view units, std::string& bytes) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendUtf8(bytes, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= kFirstEscapedByte && unit <= kLastEscapedByte) {
            bytes.push_back(static_cast<char>(unit - 0xDC00));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return false;
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return true;
}

// The path as the system takes it; false for a path no file can have.
bool NativePath(const Text& path, std::string& bytes) {
    bytes.clear();
    bool encoded = false;
    try {
        encoded = EncodePath(path.view(), bytes);
    } catch (const std::exception&) {
        errno = ENOMEM;
        return false;
    }
    if (!encoded || bytes.empty() || bytes.find('\0') != std::string::npos) {
        errno = ENOENT;
        return false;
    }
    return true;
}

} // namespace

Text PathFromSystem(std::string_view bytes) {
    std::u16string units;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const Utf8Decoded decoded = DecodeUtf8(s + i, bytes.size() - i);
        // The decoder's stand-ins for bytes it could not read, told apart
        // from a U+FFFD or "?" that is really there.
        const bool replaced =
            s[i] >= 0x80 && (decoded.codePoint == kInvalidUtf8Byte ||
                             (decoded.codePoint == kReplacementCharacter &&
                              bytes.compare(i, decoded.length, "\xEF\xBF\xBD") != 0));
        if (replaced) {
            units.push_back(static_cast<char16_t>(0xDC00 + s[i]));
            ++i;
        } else {
            AppendUtf16(decoded.codePoint, [&](char16_t unit) { units.push_back(unit); });
            i += decoded.length;
        }
    }
    return Text(std::u16string_view(units));
}

namespace {

FileHandle RefusedOpen(int handle, FileError kind) {
    const int error = errno;
    ::close(handle);
    errno = error;
    Failed(kind);
    return kNoFileHandle;
}

} // namespace

FileHandle OpenFileForReading(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) {
        Failed();
        return kNoFileHandle;
    }

    // Non-blocking, so that a FIFO or device never holds the open up; such
    // files are refused after fstat, and reads block again.
    const int handle = RetryInterrupted(
        [&] { return ::open(bytes.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (handle < 0) {
        Failed();
        return kNoFileHandle;
    }
    struct stat status;
    if (::fstat(handle, &status) != 0) return RefusedOpen(handle, FileError::Other);
    if (S_ISDIR(status.st_mode)) return RefusedOpen(handle, FileError::IsFolder);
    if (!S_ISREG(status.st_mode)) return RefusedOpen(handle, FileError::NotRegularFile);
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return RefusedOpen(handle, FileError::Other);
    // POSIX has no share modes; a shared advisory lock is the nearest thing:
    // readers never refuse each other, a program that holds the file under an
    // exclusive lock (to write it) refuses them. A file system that cannot
    // lock at all does not stop the open.
    const int locked = RetryInterrupted([&] { return ::flock(handle, LOCK_SH | LOCK_NB); });
    if (locked != 0 && errno == EWOULDBLOCK) return RefusedOpen(handle, FileError::InUse);
    return handle;
}

std::size_t ReadFromFile(FileHandle file, void* destination, std::size_t count) {
    const ssize_t got =
        RetryInterrupted([&] { return ::read(Descriptor(file), destination, count); });
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool SeekFile(FileHandle file, std::uint64_t offset) {
    return ::lseek(Descriptor(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void CloseFile(FileHandle file) {
    if (file != kNoFileHandle) ::close(Descriptor(file)); // also drops the lock
}

bool FileProgress(FileHandle file, std::uint64_t& position, std::uint64_t& size) {
    struct stat status;
    const off_t at = ::lseek(Descriptor(file), 0, SEEK_CUR);
    if (at < 0 || ::fstat(Descriptor(file), &status) != 0) return false;
    position = static_cast<std::uint64_t>(at);
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool ReadFileStamp(FileHandle file, FileStamp& stamp) {
    struct stat status;
    if (::fstat(Descriptor(file), &status) != 0) return false;
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    constexpr std::int64_t kNanoseconds = 1000000000;
    stamp.changed =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * kNanoseconds + status.st_mtim.tv_nsec;
    return true;
}

bool FolderExists(const Text& path) {
    std::string bytes;
    struct stat status;
    return NativePath(path, bytes) && ::stat(bytes.c_str(), &status) == 0 &&
           S_ISDIR(status.st_mode);
}

bool PathBytes(const Text& path, std::string& bytes) {
    return NativePath(path, bytes);
}

namespace {

// A name as a decoder showed it, with each run of stand-ins for bytes it
// could not read (U+FFFD, "?") made one U+FFFD.
std::u16string Shown(std::u16string_view name) {
    std::u16string shown;
    for (const char16_t unit : name) {
        const bool standIn = unit == kReplacementCharacter || unit == kInvalidUtf8Byte;
        if (standIn && !shown.empty() && shown.back() == kReplacementCharacter) continue;
        shown.push_back(standIn ? kReplacementCharacter : unit);
    }
    return shown;
}

// The one entry of `folder` that shows as `name`; false when none or more.
bool FindShownEntry(const std::string& folder, std::u16string_view name, std::string& entry) {
    DIR* listing = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (!listing) return false;
    const std::u16string wanted = Shown(name);
    int found = 0;
    while (const dirent* item = ::readdir(listing)) {
        if (Shown(Text::FromUtf8(item->d_name).view()) != wanted) continue;
        if (++found == 1) entry = item->d_name;
    }
    ::closedir(listing);
    return found == 1;
}

} // namespace

Text PathOnDisk(const Text& shown) {
    std::string bytes;
    struct stat status;
    if (!NativePath(shown, bytes) || bytes[0] != '/' || ::lstat(bytes.c_str(), &status) == 0)
        return shown;
    const std::u16string_view units = shown.view();
    if (units.find_first_of(u"\uFFFD?") == std::u16string_view::npos) return shown;
    // Name by name from the root: a name that is not there as it stands is
    // looked up among the names of its folder as they show.
    std::string resolved;
    for (std::size_t start = 1; start <= units.size();) {
        std::size_t end = units.find(u'/', start);
        if (end == std::u16string_view::npos) end = units.size();
        const std::u16string_view name = units.substr(start, end - start);
        std::string nameBytes, entry;
        if (!name.empty()) {
            if (!NativePath(Text(name), nameBytes)) return shown;
            const std::string direct = resolved + "/" + nameBytes;
            if (::lstat(direct.c_str(), &status) == 0)
                resolved = direct;
            else if (FindShownEntry(resolved, name, entry))
                resolved += "/" + entry;
            else
                return shown;
        }
        if (end < units.size() && (end + 1 == units.size())) resolved += "/";
        start = end + 1;
    }
    return PathFromSystem(resolved);
}

Text FolderToOpen(const Text& path) {
    // Only an absolute path: anything else would be read against the
    // viewer's working folder, or taken as a URL or an option.
    if (path.empty() || path[0] != u'/') return Text();
    // A name in a log that was no UTF-8 shows as U+FFFD or "?".
    const Text folder = PathOnDisk(path);
    return FolderExists(folder) ? folder : Text();
}

FileHandle CreateFileForWriting(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) {
        Failed();
        return kNoFileHandle;
    }
    constexpr mode_t kOwnerOnly = 0600;
    const int handle = RetryInterrupted([&] {
        return ::open(bytes.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                      kOwnerOnly);
    });
    if (handle < 0) {
        Failed();
        // Writing replaces a file through a new one beside it: a folder that
        // takes no new file is worth saying so, the file itself may be writable.
        if (lastError == EACCES) lastKind = FileError::FolderTakesNoFile;
        return kNoFileHandle;
    }
    return handle;
}

bool WriteToFile(FileHandle file, const void* source, std::size_t count) {
    const auto* bytes = static_cast<const char*>(source);
    while (count > 0) {
        const ssize_t put =
            RetryInterrupted([&] { return ::write(Descriptor(file), bytes, count); });
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return Failed();
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

bool FinishWriting(FileHandle file) {
    bool done = RetryInterrupted([&] { return ::fsync(Descriptor(file)); }) == 0 || Failed();
    // A failed close may be the first news of a write that did not reach the disk.
    if (::close(Descriptor(file)) != 0 && errno != EINTR) done = done && Failed();
    return done;
}

Text FileBehindLinks(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) return path;
    constexpr int kMostLinks = 40; // as many as the system follows
    for (int link = 0; link < kMostLinks; ++link) {
        struct stat status;
        if (::lstat(bytes.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::string target(static_cast<std::size_t>(status.st_size) + 256, '\0');
        const ssize_t length = ::readlink(bytes.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
        target.resize(static_cast<std::size_t>(length));
        if (target[0] != '/') {
            const std::size_t slash = bytes.rfind('/');
            target.insert(0,
                          slash == std::string::npos ? std::string() : bytes.substr(0, slash + 1));
        }
        bytes = target;
    }
    return PathFromSystem(bytes);
}

namespace {

// The permissions of an ordinary new file: all that the umask allows. The
// umask can only be read by setting it; files are made on one thread only.
mode_t OrdinaryFileMode() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool ReplaceFile(const Text& from, const Text& to) {
    std::string source, target;
    if (!NativePath(from, source) || !NativePath(to, target)) return Failed();
    struct stat old;
    mode_t mode = OrdinaryFileMode();
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 0777;
        // The owner and group stay where the system allows it (the group
        // of a shared file, mostly); the permission bits always.
        if (::chown(source.c_str(), old.st_uid, old.st_gid) != 0)
            (void)!::chown(source.c_str(), static_cast<uid_t>(-1), old.st_gid);
    }
    if (::chmod(source.c_str(), mode) != 0) return Failed();
    return std::rename(source.c_str(), target.c_str()) == 0 || Failed();
}

bool RemoveFile(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) return Failed();
    return ::unlink(bytes.c_str()) == 0 || Failed();
}

Text FileErrorText() {
    switch (lastKind) {
    case FileError::NotRegularFile:
        return u"not a regular file";
    case FileError::InUse:
        return u"in use by another program";
    case FileError::FolderTakesNoFile:
        return kFolderTakesNoFileText;
    default:
        return Text::FromUtf8(std::strerror(lastError));
    }
}

bool FileErrorIsNameInUse() {
    return lastError == EEXIST && lastKind == FileError::Other;
}

FileError LastFileError() {
    return lastKind;
}

long FileErrorNumber() {
    return lastError;
}

bool StandardStreamIsTerminal(bool error) {
    return ::isatty(error ? STDERR_FILENO : STDOUT_FILENO) == 1;
}

} // namespace qk
