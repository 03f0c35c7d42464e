// The range of a model measured from its rows in any order: rows read by
// several threads, in stripes, each row once.
#ifndef INPUT_ROWS_RANGE_H
#define INPUT_ROWS_RANGE_H

#include <cstdint>
#include <limits>

#include "input/row_source.h"

// The range of some rows, with the first row each extreme was met on. Merged
// in any order, such ranges give the range one pass in row order gives: an
// extreme met on several rows keeps the value of the first (0 and -0 compare
// equal, and a pass keeps the first it meets, but they are written apart).
struct RowsRange {
    AltitudeRange range{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0};
    int32_t lowest_row = std::numeric_limits<int32_t>::max();
    int32_t highest_row = std::numeric_limits<int32_t>::max();

    // Adds row i, its n altitudes (NaN: no data).
    void add_row(int32_t i, const double* row, int32_t n);
    // Adds the rows of `other`, none of which is among these.
    void merge(const RowsRange& other);
};

#endif
