#include "app/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace qk {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitCannotWrite = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage = "usage: quellkamp [LOG]\n"
                               "       quellkamp --help | --version\n"
                               "  Shows LOG, or asks for a log when none is given.\n";

// A window program on Windows gets no console of its own: its text goes to
// the handles it was started with (a pipe or file), else to the console of
// the program that started it. False when there is neither: the text goes
// nowhere, and no message box stands in for it.
bool ReachOutput(FILE* stream) {
#ifdef _WIN32
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) return true;
    static const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0;
    return attached && std::freopen("CONOUT$", "w", stream) != nullptr;
#else
    (void)stream;
    return true;
#endif
}

int Print(const char* text) {
    if (!ReachOutput(stdout)) return kExitSuccess;
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quellkamp: cannot write the output: %s\n", std::strerror(errno));
        return kExitCannotWrite;
    }
    return kExitSuccess;
}

int BadUsage(const std::string& problem) {
    if (ReachOutput(stderr)) std::fprintf(stderr, "quellkamp: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

} // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool onlyOperands = false;
    bool haveLog = false;
    for (int i = 1; i < argc && !line.exitCode; ++i) {
        const std::string_view arg = argv[i];
        if (!onlyOperands && arg == "--") {
            onlyOperands = true;
        } else if (!onlyOperands && (arg == "--help" || arg == "-h")) {
            line.exitCode = Print(kUsage);
        } else if (!onlyOperands && arg == "--version") {
            line.exitCode = Print("quellkamp " QK_VERSION "\n");
        } else if (!onlyOperands && arg.size() > 1 && arg[0] == '-') {
            line.exitCode = BadUsage("unknown option '" + std::string(arg) + "'");
        } else if (arg.empty()) {
            line.exitCode = BadUsage("empty LOG path");
        } else if (haveLog) {
            line.exitCode = BadUsage("more than one LOG given");
        } else {
            line.log = arg;
            haveLog = true;
        }
    }
    return line;
}

} // namespace qk
