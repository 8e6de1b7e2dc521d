// The program's file calls on Win32 handles.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "text/FileLayer.h"
#include "text/Utf8.h"

#include <windows.h>
// <windows.h> names ReplaceFileW so; this file defines the program's own.
#undef ReplaceFile

#include <string>

namespace qk {

namespace {

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kLargestRead = 1u << 30;

// The error of the last failed call, and what the program makes of it.
thread_local DWORD lastError = ERROR_SUCCESS;
thread_local FileError lastKind = FileError::Other;

bool Failed(FileError kind = FileError::Other) {
    lastError = GetLastError();
    lastKind = kind;
    if (kind != FileError::Other) return false;
    switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        lastKind = FileError::NotFound;
        break;
    case ERROR_ACCESS_DENIED:
        lastKind = FileError::NoPermission;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        lastKind = FileError::InUse;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        lastKind = FileError::DiskFull;
        break;
    case ERROR_FILE_TOO_LARGE:
        lastKind = FileError::TooLarge;
        break;
    case ERROR_WRITE_PROTECT:
        lastKind = FileError::ReadOnly;
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        lastKind = FileError::NoMemory;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        lastKind = FileError::NameTooLong;
        break;
    case ERROR_TOO_MANY_OPEN_FILES:
        lastKind = FileError::TooManyOpen;
        break;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
        lastKind = FileError::DeviceFailed;
        break;
    default:
        break;
    }
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

bool IsFolder(const std::wstring& name) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

// Arguments are UTF-8 in which a lone surrogate is encoded like any other
// unit (ED A0 80 to ED BF BF), so that every name the system can have
// comes through.
Text PathFromSystem(std::string_view bytes) {
    std::u16string units;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        if (s[i] == 0xED && i + 2 < bytes.size() && s[i + 1] >= 0xA0 && s[i + 1] <= 0xBF &&
            IsUtf8Continuation(s[i + 2])) {
            units.push_back(
                static_cast<char16_t>(0xD000 | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F)));
            i += 3;
            continue;
        }
        const Utf8Decoded decoded = DecodeUtf8(s + i, bytes.size() - i);
        AppendUtf16(decoded.codePoint, [&](char16_t unit) { units.push_back(unit); });
        i += decoded.length;
    }
    return Text(std::u16string_view(units));
}

// Shared for reading only: other readers may open the file while it is open
// here, nobody may write to it, and the open fails while anybody has it open
// for writing (ERROR_SHARING_VIOLATION). Only disk files: a pipe,
// console or device is refused, and so is a directory, which CreateFileW
// cannot open without FILE_FLAG_BACKUP_SEMANTICS.
FileHandle OpenFileForReading(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) {
        Failed();
        return kNoFileHandle;
    }
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        // A folder cannot be opened so; the system calls that no access.
        if (lastError == ERROR_ACCESS_DENIED && IsFolder(name)) lastKind = FileError::IsFolder;
        return kNoFileHandle;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        SetLastError(ERROR_BAD_FILE_TYPE);
        Failed(FileError::NotRegularFile);
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

bool ReadFileStamp(FileHandle file, FileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(ToHandle(file), &information)) return false;
    stamp.size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    stamp.changed = static_cast<std::int64_t>(
        (std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
        information.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool PathBytes(const Text& path, std::string& bytes) {
    std::wstring name;
    if (!NativePath(path, name)) return false;
    bytes = SystemArgumentBytes(path.view());
    return true;
}

Text PathOnDisk(const Text& shown) {
    return shown;
}

bool FolderExists(const Text& path) {
    std::wstring name;
    return NativePath(path, name) && IsFolder(name);
}

namespace {

bool IsSeparator(wchar_t unit) {
    return unit == L'\\' || unit == L'/';
}

// Whether `name` holds only units a file name may hold (and no ":").
bool PlainNames(std::wstring_view name) {
    for (const wchar_t unit : name)
        if (unit < 32 || std::wstring_view(L"\"*?<>|:").find(unit) != std::wstring_view::npos)
            return false;
    return true;
}

// \\server\share\...: both names there, neither "." nor "?" (the system's
// device and long-path forms).
bool IsNetworkPath(std::wstring_view name) {
    if (name.size() < 5 || !IsSeparator(name[0]) || !IsSeparator(name[1])) return false;
    const std::wstring_view rest = name.substr(2);
    const std::size_t serverEnd = rest.find_first_of(L"\\/");
    if (serverEnd == 0 || serverEnd == std::wstring_view::npos) return false;
    const std::wstring_view server = rest.substr(0, serverEnd);
    if (server == L"." || server == L"?") return false;
    const std::wstring_view share = rest.substr(serverEnd + 1);
    return !share.empty() && !IsSeparator(share[0]) && PlainNames(rest);
}

// X:\... with a drive letter.
bool IsLocalAbsolutePath(std::wstring_view name) {
    const bool drive = name.size() >= 3 && ((name[0] >= L'A' && name[0] <= L'Z') ||
                                            (name[0] >= L'a' && name[0] <= L'z'));
    return drive && name[1] == L':' && IsSeparator(name[2]) && PlainNames(name.substr(2));
}

} // namespace

// A network path is never asked here: the server named in a log could be
// anybody's, and reaching it may hand it the user's credentials.
Text FolderToOpen(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return Text();
    if (IsNetworkPath(name)) return path;
    return IsLocalAbsolutePath(name) && IsFolder(name) ? path : Text();
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
        if (lastError == ERROR_ACCESS_DENIED) lastKind = FileError::FolderTakesNoFile;
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

// A link is opened through to its file, whose final name the system knows.
Text FileBehindLinks(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return path;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const HANDLE file =
        CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring final(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, final.data(), DWORD(final.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= final.size()) return path;
    final.resize(length);
    // \\?\C:\... and \\?\UNC\server\... in their ordinary spelling.
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
        final.replace(0, 8, L"\\\\");
    else if (final.rfind(L"\\\\?\\", 0) == 0)
        final.erase(0, 4);
    return Text(std::u16string_view(reinterpret_cast<const char16_t*>(final.data()), final.size()));
}

// An existing file is replaced by the system's own call, which keeps its
// access rights; its attributes are given back as well, where that call
// does not keep them.
bool ReplaceFile(const Text& from, const Text& to) {
    std::wstring source, target;
    if (!NativePath(from, source) || !NativePath(to, target)) return Failed();
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return MoveFileExW(source.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
               Failed();
    if (!ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                      nullptr, nullptr))
        return Failed();
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (attributes & kKept))
        SetFileAttributesW(target.c_str(), (now & ~kKept) | (attributes & kKept));
    return true;
}

bool RemoveFile(const Text& path) {
    std::wstring name;
    if (!NativePath(path, name)) return Failed();
    return DeleteFileW(name.c_str()) != 0 || Failed();
}

// The system's own one-line description, without the line end it carries.
Text FileErrorText() {
    if (lastKind == FileError::NotRegularFile) return u"not a regular file";
    if (lastKind == FileError::FolderTakesNoFile) return kFolderTakesNoFileText;
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

FileError LastFileError() {
    return lastKind;
}

long FileErrorNumber() {
    return static_cast<long>(lastError);
}

bool StandardStreamIsTerminal(bool error) {
    const HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace qk
