// The row filters of PNG: each row of an image is stored as a filter type
// byte and the row's bytes less a prediction of them from bytes already
// stored (the byte one pixel to the left, the byte above, or both), which
// makes the rows of a contour image runs of zeros that compress well.
//
// Rows are filtered in runs that must decode on their own (parts of the image
// compressed apart, see png_parts.h): the first row of a run never refers to
// the row above it.
#ifndef GDAL_PNG_FILTER_H
#define GDAL_PNG_FILTER_H

#include <cstddef>
#include <cstdint>

enum class PngFilter : unsigned char { none = 0, sub = 1, up = 2, average = 3, paeth = 4 };

// Filters `count` rows of `row_bytes` bytes each (the pixels as a PNG holds
// them), one after the other in `rows`, into `filtered` (count x (1 +
// row_bytes) bytes): every row with `filter`, but the first, which takes the
// filter that needs no row above (none for up, sub for the others).
// `pixel_bytes` is the size of one pixel (1 or 2).
void filter_rows(const unsigned char* rows, int32_t count, size_t row_bytes, int pixel_bytes, PngFilter filter,
                 unsigned char* filtered);

// The rows back from what filter_rows gave (any filter on any row but the
// first, which refers to no row above); false when a row's filter type is
// none of PNG's.
bool unfilter_rows(const unsigned char* filtered, int32_t count, size_t row_bytes, int pixel_bytes,
                   unsigned char* rows);

#endif
