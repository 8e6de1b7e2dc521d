#include "core/RecordWalk.h"

namespace qk {
namespace {

std::vector<void*> sharedRecords;
bool sharedLent = false;

} // namespace

WalkBuffer::WalkBuffer() : shared_(sharedLent ? nullptr : &sharedRecords) {
    sharedLent = true;
}

WalkBuffer::~WalkBuffer() {
    if (shared_) sharedLent = false;
}

} // namespace qk
