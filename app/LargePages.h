// Large arrays on large pages, where the system gives them on request.
#pragma once

namespace qk {

// From now on, each allocation of 4 MiB or more asks the system to back it
// with large pages. A sort or the rank work of ten million records fills
// arrays of tens of megabytes afresh each time; on pages of 4 KiB each
// such array costs thousands of page faults. Nothing where the system has no
// such request, or in a build checked by a sanitizer (whose allocator is its
// own).
void AskForLargePages();

} // namespace qk
