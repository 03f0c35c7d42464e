// Readers of elevation models, as plain functions over open files.
//
// They know nothing of the dialogue: they take an open stream and the path to
// name in messages, and end the run with a RunError naming the file and the
// problem on any fault (short file, bad value, impossible size, no memory).
#ifndef INPUT_MODEL_READERS_H
#define INPUT_MODEL_READERS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "../georeference.h"
#include "../grid.h"

// Refuses a model size that is empty, negative, or too large for the memory
// this process may take, before anything is allocated, and throws RunError
// naming `path`, the sizes, the bytes needed and the bytes available (the
// smallest memory limit, memory_available).
//
// check_model_size is for a run, which streams the model's rows and so needs
// memory in proportion to the width alone (run_memory_needed); check_grid_size
// is for a model held whole, 9 bytes per cell (the altitude grid and the result
// grid of the reference engine and of the whole-grid readers), and lets such
// grids ask for huge pages (prefer_huge_pages_for_grids).
void check_model_size(int64_t nb_lig1, int64_t nb_col1, const std::string& path);
void check_grid_size(int64_t nb_lig1, int64_t nb_col1, const std::string& path);

// What a run on a model of nb_col1 columns needs at least, whatever its number
// of rows: the contour engine on one stripe (a run takes more stripes and
// threads only where they fit the memory available).
uint64_t run_memory_needed(int64_t nb_col1);

// ---- Raw raster ----

struct RawRange {
    int32_t mind;  // smallest raw sample
    int32_t maxd;  // largest raw sample
};

// Reads nb_lig1 x nb_col1 little-endian samples (itype 0: unsigned 16-bit,
// itype 1: signed 32-bit) in large blocks into a new double grid, each sample
// stored exactly as its integer value, and returns their true range through
// `range`. The file must hold at least that many samples (its size is checked
// before anything is allocated, and so is the model size, as check_grid_size
// does); bytes after them are ignored. A short file or a read error throws
// RunError naming the file.
Grid<double> read_raw_samples(std::FILE* f1, const std::string& path, int32_t nb_lig1, int32_t nb_col1, int itype,
                              RawRange& range);

// Bytes per raw sample: 2 for itype 0, 4 for itype 1 (std::invalid_argument
// otherwise).
int sample_width(int itype);

// The first sample of a row of raw bytes, as an integer.
int32_t first_raw_sample(const unsigned char* bytes, int itype);

// Decodes nb_col1 little-endian samples (itype 0: unsigned 16-bit, itype 1:
// signed 32-bit) into `row`, each stored exactly as its integer value, and
// widens `range` to them.
void decode_raw_row(const unsigned char* bytes, int32_t nb_col1, int itype, double* row, RawRange& range);

// Widens `range` to `count` little-endian samples of the width of itype,
// without decoding them: the range pass over a raw model.
void widen_raw_range(const unsigned char* bytes, size_t count, int itype, RawRange& range);

// Refuses a file of `held` bytes (-1: unknown, not checked) too short for
// nb_lig1 x nb_col1 samples, with a RunError giving both sizes.
void check_file_holds_samples(int64_t held, const std::string& path, int32_t nb_lig1, int32_t nb_col1, int itype);

// Converts raw values to meters in place: unit 0 meters (kept), 1 decimeters,
// 2 centimeters, 3 millimeters: the value times the double 0.1, 0.01 or
// 0.001, the product in extended precision rounded to a double. The
// conversion never reverses the order of two values, so the converted range
// is the raw range converted.
void convert_row_to_meters(double* row, int32_t nb_col1, int unit);
void convert_to_meters(double** dtab1, int32_t nb_lig1, int32_t nb_col1, int unit);

// Reads up to six integers from a raster descriptor, in order (lines,
// columns, bytes per sample, smallest and largest sample, pixel size), as
// "%d%d%d%d%d%d" does: any white space separates them, reading stops at the
// first value that is not a 32-bit integer, the values not read keep their
// previous content, and anything after the sixth is ignored. Returns the
// number of values read.
int read_descriptor(std::FILE* f1d, int32_t* const values[6]);

// ---- ASCII grid ----

// The file is read in chunks of this many bytes (a token cut by a chunk end
// is completed from the next chunk; no token may be longer than a chunk).
inline constexpr size_t ascii_chunk_bytes = size_t{1} << 20;

struct AsciiGridSize {
    int32_t nb_col1 = 0;
    int32_t nb_lig1 = 0;
    double dsizepix = 0;  // cell size (or dx) from the header
    Georeference georeference;  // the header's position, without projection
    int64_t no_data_cells = 0;  // cells without data, once the body is read
};

struct AsciiModel {
    int32_t nb_col1 = 0;
    int32_t nb_lig1 = 0;
    double dsizepix = 0;  // cell size (or dx) from the header
    Georeference georeference;  // the header's position, without projection
    Grid<double> dtab1;
    int64_t no_data_cells = 0;  // cells without data, NaN in dtab1
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
// `on_progress(i)` is called before row i is read, for every i > 0 that is a
// multiple of 100. Nothing is printed.
AsciiModel read_ascii_grid(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress);

// The same reading, row by row: `on_size` is called once the header is read
// and the size checked, then `on_row(i, row)` with the nb_col1 values of each
// row in turn (the row is valid during the call only). Returns the size with
// the count of cells without data.
AsciiGridSize read_ascii_rows(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress,
                              const std::function<void(const AsciiGridSize&)>& on_size,
                              const std::function<void(int32_t, const double*)>& on_row);

#endif
