#include "core/LogLoading.h"

#include "core/BlockLoading.h"
#include "core/DuplicateRecord.h"
#include "core/RecordTable.h"

namespace qk {

bool ReadDuplicateLog(const Text& path) {
    return ReadDuplicateLog(path, nullptr) == LoadResult::Loaded;
}

LoadResult ReadDuplicateLog(const Text& path, const LoadProgress& progress) {
    CreateDuplicateLists();
    BlockLoadOptions options;
    options.progress = progress;
    const LoadResult result = LoadLogTable(path, AllRecords, options);
    if (result != LoadResult::Loaded) CreateDuplicateLists();
    return result;
}

LoadResult CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                             std::int64_t& total) {
    return CountLogRecords(path, findText, listed, total);
}

} // namespace qk
