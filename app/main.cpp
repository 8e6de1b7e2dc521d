#include "app/MainRoutine.h"

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// One argument of the wide command line in UTF-8; a lone surrogate, which no
// UTF-8 can carry, becomes U+FFFD.
std::string ToUtf8(const wchar_t* argument) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, argument, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argument, -1, bytes.data(), length, nullptr, nullptr);
    bytes.pop_back(); // the terminating zero
    return bytes;
}

} // namespace

// The C runtime's arguments come through the ANSI code page, which loses
// every character outside it: the viewer reads the wide command line.
int main() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return 1;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
    try {
        for (int i = 0; i < count; ++i)
            arguments.push_back(ToUtf8(wide[i]));
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
    } catch (...) {
        LocalFree(wide);
        return 1;
    }
    LocalFree(wide);
    int argc = count;
    return qk::RunMainRoutine(argc, argv.data());
}

#else

int main(int argc, char** argv) {
    return qk::RunMainRoutine(argc, argv);
}

#endif
