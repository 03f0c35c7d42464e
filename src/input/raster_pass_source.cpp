#include <algorithm>
#include <atomic>
#include <limits>
#include <stdexcept>
#include <utility>

#include "input/raster_pass_source.h"
#include "input/rows_range.h"
#include "input/raw_samples.h"
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
    // The rows are shared out in equal parts among the readers, each its own
    // part's range; the ranges then make one, as one pass in row order would.
    // The first failure in row order is the one reported, as in one pass.
    const size_t parts = std::clamp<size_t>(readers_, 1, static_cast<size_t>(std::max(row_count(), 1)));
    std::vector<RowsRange> ranges(parts);
    std::atomic<int32_t> rows_read{0};
    run_in_parallel(parts, [&](size_t part) {
        const auto first = static_cast<int32_t>(static_cast<int64_t>(row_count()) * static_cast<int64_t>(part) /
                                                static_cast<int64_t>(parts));
        const auto end = static_cast<int32_t>(static_cast<int64_t>(row_count()) * static_cast<int64_t>(part + 1) /
                                              static_cast<int64_t>(parts));
        std::vector<double> buffer(static_cast<size_t>(column_count()));
        for (int32_t i = first; i < end; ++i) {
            ranges[part].add_row(i, read_row(i, buffer).data(), column_count());
            on_row(++rows_read - 1);
        }
    });
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
