#include "huge_pages.h"

#include <cstdint>
#include <cstdlib>  // also tells which C library this is

#if defined(__SANITIZE_ADDRESS__)
#define ISOLINES_NO_HEAP_ADVICE 1  // the sanitizer's allocator does not use the heap
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ISOLINES_NO_HEAP_ADVICE 1
#endif
#endif

#if defined(__linux__) && defined(__GLIBC__) && !defined(ISOLINES_NO_HEAP_ADVICE)

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

void prefer_huge_pages_for_grids()
{
    // The heap's next growth reserves this much address space at once (memory
    // is used only where it is touched), so that the rows of the grids that
    // follow lie in the one region advised below.
    constexpr uintptr_t reserve = uintptr_t{1} << 30;
    constexpr uintptr_t huge_page = uintptr_t{2} << 20;
    if (mallopt(M_TOP_PAD, static_cast<int>(reserve)) != 1) return;

    // Blocks this small come from the heap: take them until the heap has
    // grown (by the whole reserve), then give them back.
    constexpr size_t probe_size = 64 * 1024;
    constexpr int most_probes = 64;
    const auto old_top = reinterpret_cast<uintptr_t>(sbrk(0));
    void* probes[most_probes] = {};
    int taken = 0;
    while (taken < most_probes && reinterpret_cast<uintptr_t>(sbrk(0)) == old_top) {
        probes[taken] = std::malloc(probe_size);
        if (probes[taken] == nullptr) break;
        ++taken;
    }
    const auto top = reinterpret_cast<uintptr_t>(sbrk(0));
    const uintptr_t start = (old_top + huge_page - 1) & ~(huge_page - 1);
    if (top > start) madvise(reinterpret_cast<void*>(start), top - start, MADV_HUGEPAGE);  // advice only
    for (int k = 0; k < taken; ++k) std::free(probes[k]);
}

#else

void prefer_huge_pages_for_grids() {}

#endif
