#include <algorithm>
#include <limits>
#include <utility>

#include "input/raster_pass_source.h"
#include "input/raw_samples.h"

void widen_range(AltitudeRange& range, const double* row, int32_t n)
{
    // std::min and std::max keep their first argument against a NaN, so the
    // cells without data stay out of the range.
    double lo = range.min_dyn;
    double hi = range.max_dyn;
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
    scale_row(buffer.data(), raster.nb_col1(), factor);
    return buffer.first(static_cast<size_t>(raster.nb_col1()));
}

RasterPassSource::RasterPassSource(std::unique_ptr<RasterRowSource> raster, double factor, unsigned readers,
                                   const std::function<void(int32_t)>& on_row)
    : RowSource(raster->nb_lig1(), raster->nb_col1()), raster_(std::move(raster)), factor_(factor), readers_(readers),
      range_{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0}
{
    std::vector<double> buffer(static_cast<size_t>(nb_col1()));
    for (int32_t i = 0; i < nb_lig1(); ++i) {
        widen_range(range_, read_row(i, buffer).data(), nb_col1());
        on_row(i);
    }
}
