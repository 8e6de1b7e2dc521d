#include "core/DuplicateRecord.h"

namespace qk {

const std::int64_t kDuplicateRecordFieldMap[8] = {0, 8, 16, 24, 32, 40, 48, -1};

ListVariable AllRecords;
ListVariable NameMatches;

void CreateDuplicateLists() {
    FreeRecordList(AllRecords.list);
    CreateRecordList(sizeof(DuplicateRecord), &AllRecords, kDuplicateRecordFieldMap,
                     ElementKind::Record);
    FreeRecordList(NameMatches.list);
    CreateRecordList(sizeof(DuplicateRecord), &NameMatches, kDuplicateRecordFieldMap,
                     ElementKind::Record);
}

const Text& ShownText() {
    static const Text shown(u"1");
    return shown;
}

const Text& HiddenText() {
    static const Text hidden(u"0");
    return hidden;
}

} // namespace qk
