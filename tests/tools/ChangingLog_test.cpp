// quellkamp-list on a log that is rewritten while it loads (a copy of the
// lister that changes the log right after its first read): nothing is
// printed, the status is 1, and the reason is named.
#include "tests/tools/ListerProcess.h"

#include <gtest/gtest.h>

#include <unistd.h> // getpid

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace lister = qk::lister;

TEST(ChangingLog, NothingIsPrintedAndTheChangeIsNamed) {
    const fs::path dir =
        fs::temp_directory_path() / ("quellkamp-list-changing-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string log = (dir / "dubletten.txt").string();
    std::string lines;
    for (int n = 0; n < 1000; ++n)
        lines += "D:\\Werk\\teil" + std::to_string(n) + ".par 5 01.02.2017 13:05 cad01\r\n";
    const struct {
        const char* label;
        std::string to; // what the log holds once it was changed
    } changes[] = {
        {"cut short mid-line", lines.substr(0, 1000)},
        {"emptied", ""},
        {"rewritten longer", lines + lines},
    };
    const std::vector<std::string> modes[] = {
        {}, {"--count"}, {"--csv"}, {"--find", "teil1"}, {"--sort", "name"}};
    for (const auto& change : changes) {
        for (const auto& mode : modes) {
            SCOPED_TRACE(std::string(change.label) + " " + (mode.empty() ? "" : mode[0]));
            std::ofstream(log, std::ios::binary | std::ios::trunc) << lines;
            setenv("QK_TEST_CHANGE_LOG", log.c_str(), 1);
            setenv("QK_TEST_CHANGE_TO", change.to.c_str(), 1);
            std::vector<std::string> args = mode;
            args.push_back(log);
            const lister::Result result = lister::RunLister(dir, args);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "quellkamp-list: cannot load '" + log +
                                      "': changed while it was read (try again)\n");
        }
    }
    // Found records are printed while the log is read: a change seen only
    // after the first blocks were listed still prints nothing.
    std::string big;
    while (big.size() < (std::size_t{12} << 20))
        big += lines;
    std::ofstream(log, std::ios::binary | std::ios::trunc) << big;
    setenv("QK_TEST_CHANGE_TO", lines.c_str(), 1);
    setenv("QK_TEST_CHANGE_AFTER", "8000000", 1);
    const lister::Result late = lister::RunLister(dir, {"--find", "teil", log});
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.out, "");
    unsetenv("QK_TEST_CHANGE_AFTER");
    unsetenv("QK_TEST_CHANGE_LOG");
    unsetenv("QK_TEST_CHANGE_TO");
    // Unchanged, the same copy lists the log.
    std::ofstream(log, std::ios::binary | std::ios::trunc) << lines;
    EXPECT_EQ(lister::RunLister(dir, {"--count", log}).out, "1000/1000\n");
    fs::remove_all(dir);
}

} // namespace
