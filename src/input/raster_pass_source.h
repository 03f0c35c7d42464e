// Rows of a raster that can be read at any row, read twice: once for the
// range, then again as the engine asks for them (or once, when the range is
// measured as the engine reads them: measuring_row_source.h).
#ifndef INPUT_RASTER_PASS_SOURCE_H
#define INPUT_RASTER_PASS_SOURCE_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "input/raster_row_source.h"
#include "input/row_source.h"

// Row i of `raster` as altitudes: its samples times `factor` (scale_row).
AltitudeRow read_scaled_row(const RasterRowSource& raster, int32_t i, std::span<double> buffer, double factor);

class RasterPassSource final : public RowSource {
public:
    // Serves the rows of `raster`, its samples times `factor`, to at most
    // `readers` threads at once.
    RasterPassSource(std::unique_ptr<RasterRowSource> raster, double factor, unsigned readers);

    // Reads every row once for the range, on the readers' threads (calling
    // on_row, from any of them, with the count of rows read so far minus
    // one).
    void measure_range(const std::function<void(int32_t)>& on_row);

    bool range_known() const override { return measured_; }
    AltitudeRange range() const override;
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override
    {
        return read_scaled_row(*raster_, i, buffer, factor_);
    }
    // A block of rows per thread.
    uint64_t bytes_held(unsigned reading_threads) const override
    {
        const uint64_t row = static_cast<uint64_t>(column_count()) * sizeof(double);
        return std::min(reading_threads, readers_) * 2 * std::max<uint64_t>(row, uint64_t{256} << 10);
    }
    // GDAL's block cache: the blocks each thread reads at once, and the floor
    // beyond them.
    uint64_t library_bytes(unsigned reading_threads) const override
    {
        return std::min(reading_threads, readers_) * raster_->cache_bytes_per_reader() + gdal_cache_floor;
    }
    unsigned max_readers() const override { return readers_; }

private:
    std::unique_ptr<RasterRowSource> raster_;
    double factor_;
    unsigned readers_;
    AltitudeRange range_{};
    bool measured_ = false;
};

#endif
