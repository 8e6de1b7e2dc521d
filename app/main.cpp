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

#include "text/FileLayer.h"

#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

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
            arguments.push_back(qk::SystemArgumentBytes(std::u16string_view(
                reinterpret_cast<const char16_t*>(wide[i]), std::wcslen(wide[i]))));
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
