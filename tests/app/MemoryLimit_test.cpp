// A log that does not fit into the memory there is: the lister and the viewer
// must say so, never hand out a part of it as the whole, and never crash.
// The limit is an address-space limit set in a child process.
#include "bench/LogGenerator.h"
#include "core/DuplicateRecord.h"
#include "tests/app/ViewerScript.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

// AddressSanitizer reserves terabytes of shadow memory up front, so a process
// of its build cannot start under an address-space limit at all.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

constexpr std::uint64_t kLines = 1'000'000; // about 45 MB once loaded

std::string BigLog() {
    const std::string log =
        (fs::temp_directory_path() / ("quellkamp-memory-" + std::to_string(getpid()) + ".txt"))
            .string();
    if (!fs::exists(log)) {
        EXPECT_TRUE(WriteLogFile(log, kLines, 7));
    }
    return log;
}

std::string ReadAll(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// The address space the process holds now, in bytes.
rlim_t AddressSpaceNow() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
    return 0;
}

void LimitAddressSpace(rlim_t bytes) {
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

// Exit status of a finished child; -1 when it died of a signal.
int StatusOf(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Exit status of a child that ends within `limit`: -1 when it died of a
// signal, -2 when it had not ended by then (it is killed).
int StatusWithin(pid_t child, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (ended < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() > end) {
            kill(child, SIGKILL);
            StatusOf(child);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // polls for the end
    }
}

TEST(MemoryLimit, ListerSaysSoAndPrintsNothing) {
    if (kAddressSanitizer) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    struct Case {
        std::vector<std::string> args;
        rlim_t limit; // too little to hold the log, or to read it in blocks
    };
    const std::string log = BigLog();
    const Case cases[] = {{{"--csv", log}, 32 << 20},
                          {{"--sort", "name", log}, 40 << 20},
                          {{"--count", log}, 8 << 20}};
    const std::string out = log + ".out", err = log + ".err";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        std::string program = QK_LIST_PROGRAM;
        std::vector<char*> argv{program.data()};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            LimitAddressSpace(c.limit);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        EXPECT_EQ(StatusOf(child), 1);
        EXPECT_EQ(ReadAll(out), "");
        EXPECT_EQ(ReadAll(err), "quellkamp-list: cannot load '" + log +
                                    "': not enough memory for the whole log\n");
    }
    for (const std::string& file : {out, err, log})
        fs::remove(file);
}

// The viewer, with little more memory than it holds when the file dialog
// opens, is given the big log: it tells, then shows empty lists. It runs in
// a fresh process of this program (a fork would inherit earlier Qt threads).
TEST(MemoryLimit, ViewerSaysSoAndShowsNoRecords) {
    if (kAddressSanitizer) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    if (const char* log = std::getenv("QK_MEMORY_LIMIT_LOG")) {
        const int code = RunWithScript(
            {[log] {
                 if (!Modal("QFileDialog")) return false;
                 LimitAddressSpace(AddressSpaceNow() + (std::size_t{48} << 20));
                 return AnswerFileDialog(log)();
             },
             [] {
                 auto* box = static_cast<QMessageBox*>(Modal("QMessageBox"));
                 if (!box) return false;
                 EXPECT_EQ(box->windowTitle(), QStringLiteral("Information"));
                 EXPECT_EQ(box->text(),
                           QStringLiteral("Nicht genug Speicher für die ganze Datei."));
                 box->button(QMessageBox::Ok)->click();
                 return true;
             },
             WhenMainWindowShown([] {
                 EXPECT_EQ(ControlText(CountLabel), "0/0");
                 EXPECT_EQ(RowCount(RecordListView), 0);
             }),
             Do(Close)});
        EXPECT_EQ(code, 0);
        return;
    }
    const std::string log = BigLog();
    const pid_t child = fork();
    if (child == 0) {
        setenv("QK_MEMORY_LIMIT_LOG", log.c_str(), 1);
        execl("/proc/self/exe", "app_tests",
              "--gtest_filter=MemoryLimit.ViewerSaysSoAndShowsNoRecords", nullptr);
        _exit(127);
    }
    EXPECT_EQ(StatusOf(child), 0) << "the viewer failed its script (1) or crashed (-1)";
    fs::remove(log);
}

// The viewer started under a limit on its address space, as `ulimit -v`
// sets it, with the big log on its command line: whatever the limit, the run
// ends with the message or with the whole log on screen, and the window
// closes. Each run is a fresh process of this program under its limit.
TEST(MemoryLimit, ViewerEndsWithTheMessageOrTheLogUnderAnyLimit) {
    if (kAddressSanitizer) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    if (const char* log = std::getenv("QK_MEMORY_LIMIT_START")) {
        // The message, when it comes, is answered; then the window shows.
        const Step messageAnswered = [] {
            if (auto* box = static_cast<QMessageBox*>(Modal("QMessageBox"))) {
                EXPECT_TRUE(box->text().startsWith(QStringLiteral("Nicht genug Speicher")))
                    << box->text().toStdString();
                box->button(QMessageBox::Ok)->click();
            }
            return false;
        };
        const Step shown = WhenMainWindowShown([] {
            const std::int64_t rows = RowCount(RecordListView);
            EXPECT_TRUE(rows == 0 || rows == std::int64_t(kLines)) << rows << " rows";
        });
        const int code = RunWithScript({[=] { return messageAnswered() || shown(); }, Do(Close)},
                                       std::chrono::seconds(60), {log});
        EXPECT_EQ(code, 0);
        return;
    }
    const std::string log = BigLog();
    for (const rlim_t megabytes : {150, 200, 250, 300, 330, 340, 350, 400, 500, 650, 800}) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        const pid_t child = fork();
        if (child == 0) {
            setenv("QK_MEMORY_LIMIT_START", log.c_str(), 1);
            LimitAddressSpace(megabytes << 20);
            execl("/proc/self/exe", "app_tests",
                  "--gtest_filter=MemoryLimit.ViewerEndsWithTheMessageOrTheLogUnderAnyLimit",
                  nullptr);
            _exit(127);
        }
        EXPECT_EQ(StatusWithin(child, std::chrono::seconds(120)), 0)
            << "the viewer failed its script (1), crashed (-1) or hung (-2)";
    }
    fs::remove(log);
}

} // namespace
} // namespace qk
