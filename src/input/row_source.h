// Altitudes of a model served as rows, so that no stage needs the whole model.
//
//   RawRowSource     a raw raster read from its file at row offsets; a first
//                    pass measures the raw range before the unit is known
//                    (raw_row_source.h)
//   StoredRowSource  rows parsed once (an ASCII grid) and kept: in memory
//                    while they fit a fixed budget, else as binary doubles in
//                    a scratch file of the model folder (stored_row_source.h)
//   RasterPassSource rows of a raster that can be read at any row (a band
//                    read through GDAL): a first pass for the range, then
//                    each row read again when asked; nothing kept
//                    (raster_pass_source.h)
//   MeasuringRowSource the rows of a raw raster or a RasterPassSource served
//                    without a first pass, the range measured as the rows
//                    are read (measuring_row_source.h)
//
// Every source can be read at any row, in any order, from several threads at
// once: rows are read with positioned reads, never through a shared position.
#ifndef INPUT_ROW_SOURCE_H
#define INPUT_ROW_SOURCE_H

#include <climits>
#include <cstdint>
#include <span>
#include <string>

#include "shared/rows.h"

// Smallest and largest altitude of a model, in meters, over the cells with
// data; the cells without data (NaN) are counted apart.
struct AltitudeRange {
    double lowest = 0;
    double highest = 0;
    int64_t no_data_cells = 0;
};

// Widens `range` to the n altitudes of a row and counts its cells without
// data. An empty range to start from: AltitudeRange{+inf, -inf, 0}.
void widen_range(AltitudeRange& range, const double* row, int32_t n);

class RowSource : public AltitudeSource {
public:
    RowSource(int32_t row_count, int32_t column_count) : row_count_(row_count), column_count_(column_count) {}
    virtual ~RowSource() = default;
    RowSource(const RowSource&) = delete;
    RowSource& operator=(const RowSource&) = delete;

    int32_t row_count() const { return row_count_; }
    int32_t column_count() const { return column_count_; }

    // The true range of the altitudes the source serves, and its count of
    // cells without data; asked only once it is known.
    virtual AltitudeRange range() const = 0;
    // Whether the range is known: measured in a first pass, or once every
    // row was read.
    virtual bool range_known() const { return true; }

    // Row i (0 <= i < row_count), column_count altitudes in meters: in `buffer` (of
    // column_count doubles), or in memory of the source's own that stays valid as
    // long as the source. A read failure throws RunError naming the file.
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override = 0;

    // The memory the source holds while `reading_threads` threads read rows
    // from it (kept values, a block of rows per thread), counted when the
    // engine's share of a run's memory is worked out.
    virtual uint64_t bytes_held(unsigned reading_threads) const = 0;

    // The memory a library reading the source holds besides (GDAL's block
    // cache: the blocks each thread reads at once, and a floor). It is the
    // library's share, beside the run's own bound, but it must fit in the
    // memory available with everything else.
    virtual uint64_t library_bytes(unsigned /*reading_threads*/) const { return 0; }

    // How many threads may read rows at once (a raster whose blocks only so
    // many threads' worth fit the memory available).
    virtual unsigned max_readers() const { return UINT_MAX; }

private:
    int32_t row_count_;
    int32_t column_count_;
};

// Refuses a model whose every cell is without data, naming `path`: it has no
// altitude range and nothing to trace.
void check_model_has_data(const RowSource& rows, const std::string& path);

#endif
