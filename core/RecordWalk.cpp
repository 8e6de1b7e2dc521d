#include "core/RecordWalk.h"

namespace qk {

std::vector<void*>& WalkBuffer() {
    static std::vector<void*> records;
    return records;
}

} // namespace qk
