// The program's file calls on Win32 handles.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "text/FileLayer.h"

#include <windows.h>
// <windows.h> names ReplaceFileW so; this file defines the program's own.
#undef ReplaceFile

#include <atomic>
#include <string>

namespace qk {

namespace {

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kLargestRead = 1u << 30;

// The error of the last failed writing call.
thread_local DWORD lastError = ERROR_SUCCESS;

bool Failed() {
    lastError = GetLastError();
    return false;
}

// The path as the system takes it; false (with an error set) for a path no
// file can have.
bool NativePath(const Text& path, std::wstring& name) {
    if (path.empty() || path.view().find(u'\0') != std::u16string_view::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    try {
        name.assign(path.view().begin(), path.view().end());
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

} // namespace

// Share mode 0: nobody else can open the file while it is open here, and the
// open fails while anybody else has it open. Only disk files: a pipe,
// console or device is refused, and so is a directory, which CreateFileW
// cannot open without FILE_FLAG_BACKUP_SEMANTICS.
FileHandle OpenFileForReading(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return kNoFileHandle;
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return kNoFileHandle;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return kNoFileHandle;
    }
    const auto file = reinterpret_cast<FileHandle>(handle);
    if (file == kNoFileHandle) { // cannot happen: INVALID_HANDLE_VALUE was refused above
        CloseHandle(handle);
        return kNoFileHandle;
    }
    return file;
}

std::size_t ReadFromFile(FileHandle file, void* destination, std::size_t count) {
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(count < kLargestRead ? count : kLargestRead);
    if (!ReadFile(ToHandle(file), destination, wanted, &got, nullptr)) return 0;
    return got;
}

bool SeekFile(FileHandle file, std::uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(ToHandle(file), distance, nullptr, FILE_BEGIN) != 0;
}

void CloseFile(FileHandle file) {
    if (file != kNoFileHandle) CloseHandle(ToHandle(file));
}

bool FileProgress(FileHandle file, std::uint64_t& position, std::uint64_t& size) {
    LARGE_INTEGER at{}, length{};
    if (!SetFilePointerEx(ToHandle(file), LARGE_INTEGER{}, &at, FILE_CURRENT) ||
        !GetFileSizeEx(ToHandle(file), &length))
        return false;
    position = static_cast<std::uint64_t>(at.QuadPart);
    size = static_cast<std::uint64_t>(length.QuadPart);
    return true;
}

namespace {

bool IsFolder(const std::wstring& name) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A network path asks a server, which may take the network's whole timeout
// (many seconds) to fail: such a path is asked on a thread of its own, and a
// server that has not answered within this time counts as not there.
constexpr DWORD kNetworkAnswerMilliseconds = 500;

struct NetworkQuery {
    std::wstring name;
    bool folder = false;
    std::atomic<int> owners{2}; // the asking thread and the waiting one
};

void ReleaseQuery(NetworkQuery* query) {
    if (--query->owners == 0) delete query;
}

DWORD WINAPI AskNetwork(void* argument) {
    auto* query = static_cast<NetworkQuery*>(argument);
    query->folder = IsFolder(query->name);
    ReleaseQuery(query);
    return 0;
}

} // namespace

bool FolderExists(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return false;
    const bool network = name.size() > 2 && (name[0] == L'\\' || name[0] == L'/') &&
                         (name[1] == L'\\' || name[1] == L'/');
    if (!network) return IsFolder(name);
    NetworkQuery* query = nullptr;
    try {
        query = new NetworkQuery;
        query->name = name;
    } catch (...) {
        delete query;
        return false;
    }
    const HANDLE thread = CreateThread(nullptr, 0, AskNetwork, query, 0, nullptr);
    if (!thread) {
        delete query;
        return IsFolder(name);
    }
    const bool answered = WaitForSingleObject(thread, kNetworkAnswerMilliseconds) == WAIT_OBJECT_0;
    CloseHandle(thread);
    const bool folder = answered && query->folder;
    ReleaseQuery(query); // a late answer frees it itself
    return folder;
}

// CREATE_NEW fails when anything has the name; nobody else may open the file
// while it is written.
FileHandle CreateFileForWriting(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) {
        Failed();
        return kNoFileHandle;
    }
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        return kNoFileHandle;
    }
    return reinterpret_cast<FileHandle>(handle);
}

bool WriteToFile(FileHandle file, const void* source, std::size_t count) {
    const auto* bytes = static_cast<const char*>(source);
    while (count > 0) {
        DWORD put = 0;
        const auto wanted = static_cast<DWORD>(count < kLargestRead ? count : kLargestRead);
        if (!WriteFile(ToHandle(file), bytes, wanted, &put, nullptr)) return Failed();
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return Failed();
        }
        bytes += put;
        count -= put;
    }
    return true;
}

bool FinishWriting(FileHandle file) {
    bool done = FlushFileBuffers(ToHandle(file)) != 0 || Failed();
    if (!CloseHandle(ToHandle(file))) done = done && Failed();
    return done;
}

bool ReplaceFile(const Text& from, const Text& to) {
    std::wstring source, target;
    if (!NativePath(from, source) || !NativePath(to, target)) return Failed();
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           Failed();
}

bool RemoveFile(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return Failed();
    return DeleteFileW(name.c_str()) != 0 || Failed();
}

// The system's own one-line description, without the line end it carries.
Text FileErrorText() {
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, lastError, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::u16string text;
    try {
        if (length > 0 && message) text.assign(message, message + length);
        while (!text.empty() &&
               (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' '))
            text.pop_back();
        if (text.empty()) {
            const std::string number = "error " + std::to_string(lastError);
            text.assign(number.begin(), number.end());
        }
    } catch (...) {
        text.clear();
    }
    if (message) LocalFree(message);
    return Text(text);
}

bool FileErrorIsNameInUse() {
    return lastError == ERROR_FILE_EXISTS || lastError == ERROR_ALREADY_EXISTS;
}

bool StandardStreamIsTerminal(bool error) {
    const HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace qk
