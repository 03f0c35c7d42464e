// Reader of ASCII grids, row by row, over an open file.
//
// It knows nothing of the dialogue: it takes an open stream and the path to
// name in messages, and ends the run with a RunError naming the file and the
// problem on any fault (short file, bad value, impossible size).
#ifndef INPUT_ASCII_READER_H
#define INPUT_ASCII_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "shared/georeference.h"

// The file is read in chunks of this many bytes (a token cut by a chunk end
// is completed from the next chunk; no token may be longer than a chunk).
inline constexpr size_t ascii_chunk_bytes = size_t{1} << 20;

struct AsciiGridSize {
    int32_t column_count = 0;
    int32_t row_count = 0;
    double cell_size = 0;  // cell size (or dx) from the header
    Georeference georeference;  // the header's position, without projection
    int64_t no_data_cells = 0;  // cells without data, once the body is read
};

// Reads an ASCII grid: a header of keyword/value pairs (ncols, nrows,
// xllcorner|xllcenter, yllcorner|yllcenter, cellsize | dx [dy], optional
// nodata_value; keywords in any case, any order; the header ends at the first
// token that is a number), then nrows x ncols decimal values, row 0 first.
// A UTF-8 byte-order mark at the start is skipped. Values are separated by
// any white space; line ends carry no meaning. A decimal comma in place of
// the point is accepted. A cell equal to nodata_value, or written nan (with
// or without a nodata_value, which may be nan too), has no data: it is stored
// as NaN and counted in no_data_cells. A missing or malformed header entry, a
// value that is not a number, an infinite value, a file ending before the last
// cell, or anything after the last cell throws RunError naming the file and
// the keyword, the cell (counting from 1) or the line of the first extra value.
// The header's corner (or centre) and cell sizes give the georeference, as
// GDAL reads the same grid: top-left corner x = xllcorner or xllcenter - dx/2,
// y = yllcorner + nrows * dy or yllcenter - dy/2 + nrows * dy, geotransform
// {x, dx, 0, y, 0, -dy}, dy = dx when not given; none for a cell size of 0 or
// a corner beyond the range of a double.
//
// The grid is read row by row: `on_size` is called once the header is read
// and the size checked (check_model_size), then `on_row(i, row)` with the
// column_count values of each row in turn (the row is valid during the call only).
// Returns the size with the count of cells without data. `on_progress(i)` is
// called before row i is read, for every i > 0 that is a multiple of 100.
// Nothing is printed.
AsciiGridSize read_ascii_rows(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress,
                              const std::function<void(const AsciiGridSize&)>& on_size,
                              const std::function<void(int32_t, const double*)>& on_row);

#endif
