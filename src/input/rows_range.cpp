#include "input/rows_range.h"

void RowsRange::add_row(int32_t i, const double* row, int32_t n)
{
    RowsRange one;
    widen_range(one.range, row, n);
    one.lowest_row = i;
    one.highest_row = i;
    merge(one);
}

void RowsRange::merge(const RowsRange& other)
{
    const AltitudeRange& theirs = other.range;
    if (theirs.lowest < range.lowest || (theirs.lowest == range.lowest && other.lowest_row < lowest_row)) {
        range.lowest = theirs.lowest;
        lowest_row = other.lowest_row;
    }
    if (theirs.highest > range.highest || (theirs.highest == range.highest && other.highest_row < highest_row)) {
        range.highest = theirs.highest;
        highest_row = other.highest_row;
    }
    range.no_data_cells += theirs.no_data_cells;
}
