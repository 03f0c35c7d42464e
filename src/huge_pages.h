// Memory advice for the grids of large models.
#ifndef HUGE_PAGES_H
#define HUGE_PAGES_H

// Lets the heap grow in one large step and asks the kernel to back that
// region with huge pages. The grids of a model of tens of millions of cells
// are touched once each; with 4 KiB pages their page faults cost more than
// the whole contour extraction. Does nothing where this is not available.
void prefer_huge_pages_for_grids();

#endif
