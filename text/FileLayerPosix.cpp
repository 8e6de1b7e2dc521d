// The file layer over POSIX descriptors. Every call that can be interrupted
// by a signal is tried again.
#include "text/FileLayer.h"

#include <cerrno>
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

} // namespace

FileHandle OpenFileForReading(const Text& path) {
    std::string bytes;
    try {
        bytes = path.ToUtf8();
    } catch (const std::exception&) {
        return kNoFileHandle;
    }
    if (bytes.empty() || bytes.find('\0') != std::string::npos) return kNoFileHandle;

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

} // namespace qk
