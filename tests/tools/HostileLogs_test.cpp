// quellkamp-list on hostile logs: empty, header only, random bytes, one huge
// line, a million blanks, NUL bytes, ten million short lines, the Windows
// ANSI code page, logs that change while they are read, and paths that cannot
// be opened. Whatever the log, the lister ends, loads every record of what it
// could read, and reports a log it cannot open with status 1 and one line.
// The big logs are made at run time and removed afterwards.
#include "tests/tools/HostileLogs.h"
#include "tests/tools/ListerProcess.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qk::hostile {
namespace {

using lister::Lister;
using lister::ReadWhole;
using lister::Result;
using lister::RunLister;

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::string JsonLine(const Record& r) {
    return "{\"path\":" + JsonString(r.path) + ",\"name\":" + JsonString(r.name) +
           ",\"size\":" + JsonString(r.size) + ",\"date\":" + JsonString(r.date) +
           ",\"time\":" + JsonString(r.time) + ",\"user\":" + JsonString(r.user) + "}";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         begin = end + 1, end = text.find('\n', begin))
        lines.push_back(text.substr(begin, end - begin));
    if (begin < text.size()) lines.push_back(text.substr(begin));
    return lines;
}

// The lister loads `log` as `expected` says: the count label, and the
// records at their places in the printed list.
void ExpectLoaded(const fs::path& dir, const fs::path& log, const Expected& expected) {
    const Result count = RunLister(dir, {"--count", log.string()});
    EXPECT_EQ(count.status, 0) << count.err;
    const std::string total = std::to_string(expected.total);
    EXPECT_EQ(count.out, total + "/" + total + "\n");

    const Result list = RunLister(dir, {log.string()});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.err, "");
    const std::vector<std::string> lines = Lines(list.out);
    EXPECT_EQ(lines.size(), expected.total);
    for (const auto& [place, record] : expected.samples) {
        ASSERT_LT(place, lines.size());
        EXPECT_EQ(lines[place], JsonLine(record)) << "record " << place;
    }
}

class HostileLogs : public testing::Test {
  protected:
    HostileLogs() : scratch_(testing::UnitTest::GetInstance()->current_test_info()->name()) {}
    fs::path Log() const { return scratch_.path / "dubletten.txt"; }
    const fs::path& Dir() const { return scratch_.path; }

  private:
    ScratchFolder scratch_;
};

TEST_F(HostileLogs, SmallLogsLoadEveryRecord) {
    for (const SmallLog& log : kSmallLogs) {
        SCOPED_TRACE(log.label);
        const Expected expected = log.make(Log());
        ExpectLoaded(Dir(), Log(), expected);
    }
}

TEST_F(HostileLogs, RandomBytes) {
    SKIP_BIG_IN_SANITIZER_RUN();
    const Expected expected = RandomBytesLog(Log());
    ExpectLoaded(Dir(), Log(), expected);
    // Every planted record, found by its user.
    const Result found = RunLister(Dir(), {"--count", "--find", "zufall", Log().string()});
    EXPECT_EQ(found.out, "50/50\n");
}

TEST_F(HostileLogs, LineOf100Megabytes) {
    SKIP_BIG_IN_SANITIZER_RUN();
    ExpectLoaded(Dir(), Log(), HugeLineLog(Log()));
}

TEST_F(HostileLogs, TenMillionShortLines) {
    SKIP_BIG_IN_SANITIZER_RUN();
    ExpectLoaded(Dir(), Log(), ShortLinesLog(Log()));
}

// A log that changes under the lister: a change it sees ends it with status
// 1, the reason and nothing printed; a log it read before or after the
// changes gives status 0 and a count no larger than the records that were
// ever in the file.
struct ChangingLog {
    const char* label;
    std::uint64_t appendedLines;
    std::function<void(const fs::path&, int round)> change;
};

TEST_F(HostileLogs, LogChangesWhileRead) {
    constexpr std::uint64_t kLines = 1000000;
    constexpr std::uint64_t kAppended = 20000;
    constexpr int kRounds = 20;
    const ChangingLog cases[] = {
        {"truncated", 0,
         [](const fs::path& log, int round) {
             std::error_code ignored;
             const auto size = fs::file_size(log, ignored);
             if (!ignored) fs::resize_file(log, size / (2 + round % 3), ignored);
         }},
        {"grows", kAppended * kRounds,
         [](const fs::path& log, int round) {
             AppendBytes(log, NumberedLines(kLines + kAppended * static_cast<std::uint64_t>(round),
                                            kAppended));
         }},
        {"truncated and grows", kAppended * kRounds,
         [](const fs::path& log, int round) {
             if (round % 2 == 0) {
                 std::error_code ignored;
                 fs::resize_file(log, fs::file_size(log, ignored) / 2, ignored);
             } else {
                 AppendBytes(log, NumberedLines(0, kAppended * 2));
             }
         }},
    };
    const std::string lines = NumberedLines(0, kLines);
    for (const ChangingLog& c : cases) {
        SCOPED_TRACE(c.label);
        // On a busy machine the lister may be done before the first change;
        // then the case is tried again.
        bool changedWhileRunning = false;
        Result result;
        for (int attempt = 0; attempt < 3 && !changedWhileRunning; ++attempt) {
            ASSERT_TRUE(WriteBytes(Log(), lines));
            Lister lister(Dir(), {"--count", Log().string()});
            ASSERT_TRUE(lister.Started());
            std::thread changer([&] {
                for (int round = 0; round < kRounds; ++round) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    c.change(Log(), round);
                    if (round == 0) changedWhileRunning = lister.Running();
                }
            });
            changer.join();
            result = lister.Wait();
        }
        EXPECT_TRUE(changedWhileRunning) << "the lister had ended before the first change";
#if defined(_WIN32)
        // Nobody shares a log the lister reads: a change that holds the file
        // at the moment of the open makes the open fail, and once the lister
        // has it, the changes fail instead.
        if (result.status == 1 && result.err.find("in use by another program") != std::string::npos)
            continue;
#endif
        if (result.status == 1 &&
            result.err.find("changed while it was read") != std::string::npos) {
            EXPECT_EQ(result.out, "");
            continue;
        }
        EXPECT_EQ(result.status, 0) << result.err;
        const std::size_t slash = result.out.find('/');
        ASSERT_NE(slash, std::string::npos) << result.out;
        const std::string listed = result.out.substr(0, slash);
        EXPECT_EQ(result.out, listed + "/" + listed + "\n");
        EXPECT_LE(std::stoull(listed), kLines + c.appendedLines);
    }
}

bool RunAsRoot() {
#if defined(_WIN32)
    return false;
#else
    return geteuid() == 0;
#endif
}

struct Unopenable {
    const char* label;
    std::function<void(const fs::path&)> make;
    bool needsUnprivilegedUser;
};

TEST_F(HostileLogs, UnopenableLogsGiveStatus1AndOneLine) {
    const Unopenable cases[] = {
        {"a directory", [](const fs::path& p) { fs::create_directory(p); }, false},
        {"a missing file", [](const fs::path&) {}, false},
#if !defined(_WIN32)
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, false},
        {"no read permission",
         [](const fs::path& p) {
             WriteBytes(p, "D:\\A\\halter.par 1 01.01.2001 01:01 cad01\n");
             fs::permissions(p, fs::perms::none);
         },
         true},
#endif
    };
    for (const Unopenable& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.needsUnprivilegedUser && RunAsRoot()) {
            std::cout << "[ SKIPPED  ] " << c.label << ": the tests run as root\n";
            continue;
        }
        const fs::path log = Dir() / (std::string("log-") + std::to_string(&c - cases));
        c.make(log);
        for (const char* mode : {"--count", "--csv"}) {
            const Result result = RunLister(Dir(), {mode, log.string()});
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err.rfind("quellkamp-list: cannot open '" + log.string() + "': ", 0),
                      0u)
                << result.err;
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        }
    }
}

} // namespace
} // namespace qk::hostile
