// Memory advice for the grids of large models.
#ifndef REFERENCE_HUGE_PAGES_H
#define REFERENCE_HUGE_PAGES_H

#include <cstdint>

// Lets the heap grow in one step by the `grid_bytes` the grids of a model are
// about to take, and asks the kernel to back that region with huge pages. The
// grids of a model of tens of millions of cells are touched once each; with
// 4 KiB pages their page faults cost more than the whole contour extraction.
// Does nothing for small models (no address space is reserved ahead of need),
// nor where this is not available.
void prefer_huge_pages_for_grids(uint64_t grid_bytes);

#endif
