// A log that does not fit into the memory there is: the lister and the viewer
// must say so, never hand out a part of it as the whole, and never crash.
// The limit is an address-space limit set in a child process.
#include "bench/LogGenerator.h"
#include "core/DuplicateRecord.h"
#include "tests/app/ViewerScript.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

// Qt blends large areas on painting threads of its own and waits for them; a
// thread that cannot be started under the limit would leave the progress
// bar's painting waiting for ever. One large translucent fill just before the
// limit starts those threads, and idle they stay for half a minute.
void StartPaintingThreads() {
    QImage image(2048, 2048, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(10, 20, 30, 100));
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

TEST(MemoryLimit, ListerSaysSoAndPrintsNothing) {
    if (kAddressSanitizer) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    struct Case {
        std::vector<std::string> args;
        rlim_t limit; // too little to hold the log, or to read it in blocks
    };
    const std::string log = BigLog();
    const Case cases[] = {{{"--csv", log}, 32 << 20},
                          {{"--sort", "name", log}, 40 << 20},
                          {{"--count", log}, 12 << 20}};
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
                 StartPaintingThreads();
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

} // namespace
} // namespace qk
