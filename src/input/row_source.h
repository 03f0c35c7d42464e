// Altitudes of a model served as rows, so that no stage needs the whole model.
//
//   RawRowSource     a raw raster read from its file at row offsets; a first
//                    pass measures the raw range before the unit is known
//   StoredRowSource  rows parsed once (an ASCII grid) and kept: in memory
//                    while they fit a fixed budget, else as binary doubles in
//                    a scratch file of the model folder
//   RasterPassSource rows of a raster that can be read at any row (a band
//                    read through GDAL): a first pass for the range, then
//                    each row read again when asked; nothing kept
//
// Every source can be read at any row, in any order, from several threads at
// once: rows are read with positioned reads, never through a shared position.
#ifndef INPUT_ROW_SOURCE_H
#define INPUT_ROW_SOURCE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "../contours/stripes.h"
#include "gdal_row_source.h"
#include "model_readers.h"

// Smallest and largest altitude of a model, in meters, over the cells with
// data; the cells without data (NaN) are counted apart.
struct AltitudeRange {
    double min_dyn = 0;
    double max_dyn = 0;
    int64_t no_data_cells = 0;
};

// Widens `range` to the n altitudes of a row and counts its cells without
// data. An empty range to start from: AltitudeRange{+inf, -inf, 0}.
void widen_range(AltitudeRange& range, const double* row, int32_t n);

class RowSource : public AltitudeSource {
public:
    RowSource(int32_t nb_lig1, int32_t nb_col1) : nb_lig1_(nb_lig1), nb_col1_(nb_col1) {}
    virtual ~RowSource() = default;
    RowSource(const RowSource&) = delete;
    RowSource& operator=(const RowSource&) = delete;

    int32_t nb_lig1() const { return nb_lig1_; }
    int32_t nb_col1() const { return nb_col1_; }

    // The true range of the altitudes the source serves, and its count of
    // cells without data.
    virtual AltitudeRange range() const = 0;

    // Row i (0 <= i < nb_lig1), nb_col1 altitudes in meters: in `buffer` (of
    // nb_col1 doubles), or in memory of the source's own that stays valid as
    // long as the source. A read failure throws RunError naming the file.
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override = 0;

    // The memory the source holds while `reading_threads` threads read rows
    // from it (kept values, a block of rows per thread), counted when the
    // engine's share of a run's memory is worked out.
    virtual uint64_t bytes_held(unsigned reading_threads) const = 0;

private:
    int32_t nb_lig1_;
    int32_t nb_col1_;
};

class RawRowSource final : public RowSource {
public:
    // Takes over the open model `f1` (closed with the source). The file must
    // hold nb_lig1 x nb_col1 samples of the width of `itype`: a short file,
    // and an empty or impossible size, are refused at once (RunError).
    RawRowSource(std::FILE* f1, std::string path, int32_t nb_lig1, int32_t nb_col1, int itype);
    ~RawRowSource() override;

    // First pass over the whole file, on up to `threads` threads: the true
    // smallest and largest sample.
    RawRange measure_raw_range(unsigned threads = 1);

    // Sets the unit of the samples (0 meters, 1 decimeters, 2 centimeters,
    // 3 millimeters, as convert_row_to_meters) for the rows served from now
    // on. Needs the raw range measured.
    void set_unit(int unit);

    AltitudeRange range() const override;
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;
    uint64_t bytes_held(unsigned reading_threads) const override;

private:
    // Reads up to `count` rows from row `first`; returns the rows read whole,
    // fewer only where the file ends (none: RunError).
    int32_t read_rows(int32_t first, int32_t count, unsigned char* bytes) const;
    // Reads all `count` rows from row `first`, or throws RunError.
    void read_bytes(int32_t first, int32_t count, unsigned char* bytes) const;
    [[noreturn]] void throw_shortened(int32_t line) const;

    std::FILE* f1_;
    std::string path_;
    int itype_;
    size_t row_bytes_;
    RawRange raw_range_{};
    bool measured_ = false;
    int unit_ = 0;
    uint64_t serial_;  // tells this source's rows from another's in a thread's last block
};

class StoredRowSource final : public RowSource {
public:
    // Rows kept in memory while nb_lig1 x nb_col1 doubles take at most
    // `memory_budget` bytes; larger models go to a scratch file created in
    // `folder` (a path ending in its separator), which disappears with the
    // source. Rows are appended in order with append_row, then read.
    StoredRowSource(int32_t nb_lig1, int32_t nb_col1, const std::string& folder, size_t memory_budget);
    ~StoredRowSource() override;

    // Appends the next row (nb_col1 values) and widens the range to it.
    void append_row(const double* row);
    // Ends the appending: every row has been given.
    void finish();
    bool spilled() const { return scratch_fd_ >= 0; }
    // The values kept in memory (a spilled source reads into the caller's row).
    uint64_t bytes_held(unsigned) const override { return memory_.capacity() * sizeof(double); }

    AltitudeRange range() const override { return range_; }
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;

private:
    void flush_pending();

    std::string scratch_name_;     // named in messages
    std::vector<double> memory_;   // every row when in memory; else rows waiting to be written
    int scratch_fd_ = -1;
    uint64_t written_bytes_ = 0;   // bytes already in the scratch file
    int32_t rows_given_ = 0;
    AltitudeRange range_{};
};

class RasterPassSource final : public RowSource {
public:
    // Reads every row of `raster` once, in order, for the range (calling
    // on_row with each row read), and serves rows from it from then on.
    RasterPassSource(std::unique_ptr<RasterRowSource> raster, const std::function<void(int32_t)>& on_row);

    AltitudeRange range() const override { return range_; }
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override
    {
        return raster_->read_row(i, buffer);
    }
    // A block of rows per thread and GDAL's block cache, bounded to 32 MiB
    // beyond the blocks the threads read at once.
    uint64_t bytes_held(unsigned reading_threads) const override
    {
        const uint64_t row = static_cast<uint64_t>(nb_col1()) * sizeof(double);
        return 2 * uint64_t{reading_threads} * std::max<uint64_t>(row, uint64_t{256} << 10) + (uint64_t{32} << 20);
    }

private:
    std::unique_ptr<RasterRowSource> raster_;
    AltitudeRange range_{};
};

// Refuses a model whose every cell is without data, naming `path`: it has no
// altitude range and nothing to trace.
void check_model_has_data(const RowSource& rows, const std::string& path);

// The fixed memory budget for the values of an ASCII grid kept in memory.
inline constexpr size_t stored_rows_budget = size_t{32} << 20;

// Reads an ASCII grid (as read_ascii_grid: same checks, same messages) into a
// StoredRowSource, returning it with what the header gives (cell size,
// georeference) and the count of cells without data in `header`.
std::unique_ptr<StoredRowSource> read_ascii_source(std::FILE* f1, const std::string& path, const std::string& folder,
                                                   size_t memory_budget,
                                                   const std::function<void(int32_t)>& on_progress,
                                                   AsciiGridSize& header);

#endif
