#include "app/LargePages.h"

#include <cstdlib> // and with it what tells the C library

#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) &&                  \
    !defined(__SANITIZE_THREAD__)
#define QK_LARGE_PAGES 1
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#else
#define QK_LARGE_PAGES 0
#endif

#if QK_LARGE_PAGES
namespace {

std::atomic<bool> gAsked{false};
constexpr std::size_t kLarge = std::size_t{4} << 20;
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

// Asks for large pages for the whole large pages within [data, data + size),
// before any of it is touched. A refusal leaves the ordinary pages.
void AdviseLargePages(void* data, std::size_t size) {
    const auto from = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (from + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (from + size) & ~(kLargePage - 1);
    if (end > first)
        madvise(reinterpret_cast<void*>(first), static_cast<std::size_t>(end - first),
                MADV_HUGEPAGE);
}

} // namespace

// Every other form of new and delete of the standard library comes here or
// frees through free(), as this does.
void* operator new(std::size_t size) {
    for (;;) {
        if (void* data = std::malloc(size != 0 ? size : 1)) {
            if (size >= kLarge && gAsked.load(std::memory_order_relaxed))
                AdviseLargePages(data, size);
            return data;
        }
        const std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
#endif

namespace qk {

void AskForLargePages() {
#if QK_LARGE_PAGES
    gAsked.store(true, std::memory_order_relaxed);
#endif
}

} // namespace qk
