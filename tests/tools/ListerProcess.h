// Running the built quellkamp-list from a test: its output goes to files in a
// folder of the test's, its standard input is empty.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

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

inline Result RunLister(const fs::path& dir, const std::vector<std::string>& args) {
    return Lister(dir, args).Wait();
}

} // namespace qk::lister
