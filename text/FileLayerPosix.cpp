// The file layer over POSIX descriptors. Every call that can be interrupted
// by a signal is tried again.
#include "text/FileLayer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

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

// The error of the last failed writing call.
thread_local int lastError = 0;

bool Failed() {
    lastError = errno;
    return false;
}

// The path as the system takes it; false for a path no file can have.
bool NativePath(const Text& path, std::string& bytes) {
    try {
        bytes = path.ToUtf8();
    } catch (const std::exception&) {
        errno = ENOMEM;
        return false;
    }
    if (bytes.empty() || bytes.find('\0') != std::string::npos) {
        errno = ENOENT;
        return false;
    }
    return true;
}

} // namespace

FileHandle OpenFileForReading(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) return kNoFileHandle;

    // Non-blocking, so that a FIFO or device never holds the open up; such
    // files are refused after fstat, and reads block again.
    const int handle = RetryInterrupted(
        [&] { return ::open(bytes.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (handle < 0) return kNoFileHandle;
    struct stat status;
    const int flags = ::fcntl(handle, F_GETFL);
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
        ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(handle);
        return kNoFileHandle;
    }
    // POSIX has no share modes; an exclusive advisory lock is the nearest
    // thing: a second open of the same file by this reader (in this process
    // or another) fails while the first is open. A file system that cannot
    // lock at all does not stop the open.
    const int locked = RetryInterrupted([&] { return ::flock(handle, LOCK_EX | LOCK_NB); });
    if (locked != 0 && errno == EWOULDBLOCK) {
        ::close(handle);
        return kNoFileHandle;
    }
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

bool FolderExists(const Text& path) {
    std::string bytes;
    struct stat status;
    return NativePath(path, bytes) && ::stat(bytes.c_str(), &status) == 0 &&
           S_ISDIR(status.st_mode);
}

FileHandle CreateFileForWriting(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) {
        Failed();
        return kNoFileHandle;
    }
    constexpr mode_t kOrdinaryFile = 0666; // less the process's umask
    const int handle = RetryInterrupted([&] {
        return ::open(bytes.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                      kOrdinaryFile);
    });
    if (handle < 0) {
        Failed();
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

bool ReplaceFile(const Text& from, const Text& to) {
    std::string source, target;
    if (!NativePath(from, source) || !NativePath(to, target)) return Failed();
    return std::rename(source.c_str(), target.c_str()) == 0 || Failed();
}

bool RemoveFile(const Text& path) {
    std::string bytes;
    if (!NativePath(path, bytes)) return Failed();
    return ::unlink(bytes.c_str()) == 0 || Failed();
}

Text FileErrorText() {
    return Text::FromUtf8(std::strerror(lastError));
}

bool FileErrorIsNameInUse() {
    return lastError == EEXIST;
}

bool StandardStreamIsTerminal(bool error) {
    return ::isatty(error ? STDERR_FILENO : STDOUT_FILENO) == 1;
}

} // namespace qk
