#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "input/raster_pass_source.h"
#include "input/rows_range.h"
#include "input/raw_samples.h"
#include "input/row_blocks.h"
#include "shared/run_in_parallel.h"

void widen_range(AltitudeRange& range, const double* row, int32_t n)
{
    // std::min and std::max keep their first argument against a NaN, so the
    // cells without data stay out of the range.
    double lo = range.lowest;
    double hi = range.highest;
    int64_t no_data_cells = range.no_data_cells;
    for (int32_t j = 0; j < n; ++j) {
        lo = std::min(lo, row[j]);
        hi = std::max(hi, row[j]);
        no_data_cells += row[j] != row[j];
    }
    range = AltitudeRange{lo, hi, no_data_cells};
}

AltitudeRow read_scaled_row(const RasterRowSource& raster, int32_t i, std::span<double> buffer, double factor)
{
    const AltitudeRow row = raster.read_row(i, buffer);
    if (factor == 1) return row;
    if (row.data() != buffer.data()) std::copy(row.begin(), row.end(), buffer.begin());
    scale_row(buffer.data(), raster.column_count(), factor);
    return buffer.first(static_cast<size_t>(raster.column_count()));
}

RasterPassSource::RasterPassSource(std::unique_ptr<RasterRowSource> raster, double factor, unsigned readers)
    : RowSource(raster->row_count(), raster->column_count()), raster_(std::move(raster)), factor_(factor), readers_(readers)
{
}

void RasterPassSource::measure_range(const std::function<void(int32_t)>& on_row)
{
    // The rows are handed out in runs of whole rows of blocks (so that no
    // block is decompressed by two threads), each reader taking the next run
    // once done with its own: a part of the model that costs less to read (a
    // sea without data) leaves no reader idle while another has rows left.
    // Each reader keeps the range of its rows; the ranges then make one, as
    // one pass in row order would. The first failure in row order is the one
    // reported, as in one pass (the runs are handed out in row order: those
    // above a failed row are all being read).
    const int32_t block = raster_->block_rows();
    const int32_t reads = rows_per_block(static_cast<size_t>(column_count()) * sizeof(double));
    const int64_t run_rows = int64_t{block} * ((reads + block - 1) / block);
    const int64_t runs = (int64_t{row_count()} + run_rows - 1) / run_rows;
    const size_t readers = static_cast<size_t>(std::clamp<int64_t>(readers_, 1, std::max<int64_t>(runs, 1)));
    std::vector<RowsRange> ranges(readers);
    std::atomic<int64_t> next_run{0};
    std::atomic<int32_t> rows_read{0};
    std::mutex failing;
    int32_t failed_row = std::numeric_limits<int32_t>::max();
    std::exception_ptr failure;
    run_in_parallel(readers, [&](size_t reader) {
        std::vector<double> buffer(static_cast<size_t>(column_count()));
        for (int64_t run = next_run++; run < runs; run = next_run++) {
            const auto first = static_cast<int32_t>(run * run_rows);
            const auto end = static_cast<int32_t>(std::min<int64_t>(row_count(), first + run_rows));
            for (int32_t i = first; i < end; ++i) {
                try {
                    ranges[reader].add_row(i, read_row(i, buffer).data(), column_count());
                } catch (...) {
                    const std::lock_guard<std::mutex> lock(failing);
                    if (i < failed_row) {
                        failed_row = i;
                        failure = std::current_exception();
                    }
                    return;
                }
                on_row(++rows_read - 1);
            }
            const std::lock_guard<std::mutex> lock(failing);
            if (failure) return;  // the runs left lie below the failed row
        }
    });
    if (failure) std::rethrow_exception(failure);
    RowsRange whole;
    for (const RowsRange& part : ranges) whole.merge(part);
    range_ = whole.range;
    measured_ = true;
}

AltitudeRange RasterPassSource::range() const
{
    if (!measured_) throw std::logic_error("RasterPassSource::range before measure_range");
    return range_;
}
