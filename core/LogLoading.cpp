#include "core/LogLoading.h"

#include "core/BlockLoading.h"
#include "core/DuplicateRecord.h"
#include "core/RecordTable.h"

namespace qk {

bool ReadDuplicateLog(const Text& path) {
    CreateDuplicateLists();
    return LoadLogTable(path, AllRecords);
}

bool CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                       std::int64_t& total) {
    return CountLogRecords(path, findText, listed, total);
}

} // namespace qk
