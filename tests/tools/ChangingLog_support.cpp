// Built into a copy of quellkamp-list for its tests: right after the first
// read of the log (or the first that brings the bytes read to
// QK_TEST_CHANGE_AFTER), the file QK_TEST_CHANGE_LOG names is rewritten with
// the text of QK_TEST_CHANGE_TO, as a program writing the log while it
// loads would, at a point chosen without any race.
#include "text/TextFileReader.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string changed;
std::string changedTo;
std::uint64_t changeAfter = 0;

void ChangeOnFirstRead(std::uint64_t taken) {
    if (changed.empty() || taken < changeAfter) return;
    std::ofstream(changed, std::ios::binary | std::ios::trunc) << changedTo;
    changed.clear();
}

const bool installed = [] {
    const char* log = std::getenv("QK_TEST_CHANGE_LOG");
    const char* to = std::getenv("QK_TEST_CHANGE_TO");
    if (!log || !to) return false;
    changed = log;
    changedTo = to;
    if (const char* after = std::getenv("QK_TEST_CHANGE_AFTER"))
        changeAfter = std::strtoull(after, nullptr, 10);
    qk::SetTextFileReadHookForTesting(ChangeOnFirstRead);
    return true;
}();

} // namespace
