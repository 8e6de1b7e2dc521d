// Running the built quellkamp-list from a test: its output goes to files in a
// folder of the test's, its standard input is empty.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
extern char** environ;
#endif

namespace qk::lister {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#if defined(_WIN32)
// The lister started with `args`, its output going to files in `dir`.
struct Lister {
    HANDLE process = nullptr;
    fs::path out, err;

    Lister(const fs::path& dir, const std::vector<std::string>& args)
        : out(dir / "lister.out"), err(dir / "lister.err") {
        std::wstring line = Quoted(Widen(ProgramPath()));
        for (const std::string& arg : args)
            line += L" " + Quoted(Widen(arg));
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, 0, nullptr);
        const HANDLE output = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                          CREATE_ALWAYS, 0, nullptr);
        const HANDLE error = CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                         CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = error;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &started)) {
            process = started.hProcess;
            CloseHandle(started.hThread);
        }
        for (HANDLE handle : {input, output, error})
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    ~Lister() {
        if (process) CloseHandle(process);
    }
    Lister(const Lister&) = delete;
    Lister& operator=(const Lister&) = delete;

    bool Started() const { return process != nullptr; }
    bool Running() const { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    // Waits for the end; the exit status.
    Result Wait() {
        Result result;
        if (process && !finished_) {
            WaitForSingleObject(process, INFINITE);
            DWORD code = DWORD(-1);
            GetExitCodeProcess(process, &code);
            status_ = int(code);
            finished_ = true;
        }
        result.status = status_;
        result.out = ReadWhole(out);
        result.err = ReadWhole(err);
        return result;
    }

  private:
    // The program's path as the build names it; a Unix path under Wine is
    // reached through drive Z:.
    static std::string ProgramPath() {
        std::string path = QK_LIST_PROGRAM;
        if (!path.empty() && path[0] == '/') {
            path = "Z:" + path;
            std::replace(path.begin(), path.end(), '/', '\\');
        }
        return path;
    }
    static std::wstring Widen(const std::string& utf8) {
        const int length =
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        std::wstring wide(std::size_t(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
        return wide;
    }
    // Quoted so that CommandLineToArgvW gives the argument back unchanged.
    static std::wstring Quoted(const std::wstring& arg) {
        std::wstring quoted = L"\"";
        std::size_t backslashes = 0;
        for (const wchar_t c : arg) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            quoted.push_back(c);
        }
        quoted.append(backslashes * 2, L'\\');
        return quoted + L"\"";
    }

    bool finished_ = false;
    int status_ = -1;
};
#else
// The lister started with `args`, its output going to files in `dir`.
struct Lister {
    pid_t pid = -1;
    fs::path out, err;

    Lister(const fs::path& dir, const std::vector<std::string>& args)
        : out(dir / "lister.out"), err(dir / "lister.err") {
        std::string program = QK_LIST_PROGRAM;
        std::vector<std::string> copies(args);
        std::vector<char*> argv{program.data()};
        for (std::string& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    bool Started() const { return pid > 0; }
    bool Running() const { return pid > 0 && kill(pid, 0) == 0; }

    // Waits for the end; the exit status, or -1 for a crash.
    Result Wait() {
        Result result;
        if (pid > 0 && !finished_) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (WIFSIGNALED(status))
                ADD_FAILURE() << "the lister died of signal " << WTERMSIG(status);
            finished_ = true;
        }
        result.status = status_;
        result.out = ReadWhole(out);
        result.err = ReadWhole(err);
        return result;
    }

  private:
    bool finished_ = false;
    int status_ = -1;
};

#endif

inline Result RunLister(const fs::path& dir, const std::vector<std::string>& args) {
    return Lister(dir, args).Wait();
}

} // namespace qk::lister
