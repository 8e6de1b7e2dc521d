// The reader's file calls on Win32 handles.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "text/FileLayer.h"

#include <windows.h>

#include <string>

namespace qk {

namespace {

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// ReadFile takes a 32-bit count.
constexpr std::size_t kLargestRead = 1u << 30;

} // namespace

// Share mode 0: nobody else can open the file while it is open here, and the
// open fails while anybody else has it open. Only disk files: a pipe,
// console or device is refused, and so is a directory, which CreateFileW
// cannot open without FILE_FLAG_BACKUP_SEMANTICS.
FileHandle OpenFileForReading(const Text& path) {
    if (path.empty() || path.view().find(u'\0') != std::u16string_view::npos) return kNoFileHandle;
    std::wstring name;
    try {
        name.assign(path.view().begin(), path.view().end());
    } catch (...) {
        return kNoFileHandle;
    }
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

} // namespace qk
