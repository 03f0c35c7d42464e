#include "reference/huge_pages.h"

#include <algorithm>
#include <climits>
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

void prefer_huge_pages_for_grids(uint64_t grid_bytes)
{
    constexpr uintptr_t huge_page = uintptr_t{2} << 20;
    constexpr uint64_t largest_step = uint64_t{1} << 30;
    if (grid_bytes < huge_page) return;  // nothing a huge page could hold
    // The heap's next growth reserves twice the grids' bytes at once (the
    // extraction's own work memory comes on top of them), so that the rows
    // of the grids that follow lie in the one region advised below; later
    // growths go back to the usual small steps. Where the reservation is
    // refused (an address-space limit), the first probe below fails, the
    // usual steps come back at once and the grids are made as without advice.
    // The heap is never trimmed, so that the region stays for the grids
    // (they live until the process ends anyway).
    const uint64_t reserve = std::min(2 * grid_bytes, largest_step);
    constexpr int usual_top_pad = 128 * 1024;  // the C library's default
    if (mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return;
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
    mallopt(M_TOP_PAD, usual_top_pad);
}

#else

void prefer_huge_pages_for_grids(uint64_t) {}

#endif
