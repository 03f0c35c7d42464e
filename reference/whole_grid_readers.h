// The whole-grid readers of the reference: a model read whole into a
// row-pointer grid of doubles, as the pass-by-pass engine works on it. The
// program itself streams rows (input/); tests, benchmarks and the reference
// build compare it with these.
#ifndef REFERENCE_WHOLE_GRID_READERS_H
#define REFERENCE_WHOLE_GRID_READERS_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "shared/georeference.h"
#include "input/raw_samples.h"
#include "reference/grid.h"

// Refuses a model held whole, 9 bytes per cell (the altitude grid and the
// result grid), that is empty, negative or larger than the memory this
// process may take (RunError naming `path`), and lets such grids ask for huge
// pages (prefer_huge_pages_for_grids).
void check_grid_size(int64_t row_count, int64_t column_count, const std::string& path);

// Reads row_count x column_count samples of the width of sample_kind from the start of
// the file, in one pass, into a new double grid, each sample stored exactly
// as its integer value, and returns their true range through `range`. The
// file must hold at least that many samples (its size is checked before
// anything is allocated, and so is the model size, as check_grid_size does);
// bytes after them are ignored. A short file or a read error throws RunError
// naming the file.
Grid<double> read_raw_samples(std::FILE* f1, const std::string& path, int32_t row_count, int32_t column_count, int sample_kind,
                              RawRange& range);

// convert_row_to_meters on every row.
void convert_to_meters(double** altitude_grid, int32_t row_count, int32_t column_count, int unit);

struct AsciiModel {
    int32_t column_count = 0;
    int32_t row_count = 0;
    double cell_size = 0;  // cell size (or dx) from the header
    Georeference georeference;  // the header's position, without projection
    Grid<double> altitude_grid;
    int64_t no_data_cells = 0;  // cells without data, NaN in altitude_grid
};

// Reads an ASCII grid whole, as read_ascii_rows reads it, with the same checks
// and messages (and check_grid_size for the grid).
AsciiModel read_ascii_grid(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress);

// The ASCII grid file at `path`, read whole (RunError when it cannot be
// opened or read).
AsciiModel read_ascii_grid_file(const std::string& path);

#endif
