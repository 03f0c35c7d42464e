// A band of any raster GDAL reads, as rows of altitudes: its no-data value
// (or the one the run gives) becomes a hole, its scale and offset are applied
// as GDAL's tools apply them, and an infinite value is refused with its row
// and column. Rows are read a block at a time, each thread through a dataset
// of the pool, and the source says what the raster is (size, georeference,
// unit, the files it is made of).
#include "gdal/gdal_module.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include <gdal.h>
#include <ogr_srs_api.h>

#include "gdal/dataset_files.h"
#include "gdal/dataset_pool.h"
#include "gdal/gdal_setup.h"
#include "input/row_blocks.h"
#include "shared/run_error.h"

namespace {

// The band read, and how its values become altitudes.
struct Band {
    GDALRasterBandH band = nullptr;  // of the dataset first opened
    bool has_no_data = false;
    double no_data = 0;
    bool float32 = false;  // a float no-data value is also matched as stored in 32 bits
    double scale = 1;      // altitude = value x scale + offset, as GDAL's tools read the band
    double offset = 0;
};

class GdalRowSource final : public RasterRowSource {
public:
    GdalRowSource(const std::string& path, int band, std::optional<double> no_data, const FileCheck& check_file);
    GdalRowSource(const GdalRowSource&) = delete;
    GdalRowSource& operator=(const GdalRowSource&) = delete;
    void bound_cache(unsigned readers) const override { bound_gdal_cache(readers * cache_bytes_per_reader_); }
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;

private:
    // Reads rows first .. first + count - 1 as doubles into `values`.
    void read_rows(int32_t first, int32_t count, double* values) const;

    std::string path_;
    int band_number_;
    // The datasets the threads read through, taken and given back by
    // read_row, which reads the source without changing it.
    mutable DatasetPool pool_;
    Band band_;
    uint64_t serial_;  // tells this source's rows from another's in a thread's last block
};

// A call to GDAL for a row costs far more than copying it: rows are read a
// block at a time.
thread_local RowBlock<double> last_block;
std::atomic<uint64_t> sources_made{0};

// Meters in a degree of longitude at the equator.
constexpr double kMetersPerDegree = 111320.0;

// The width of a cell in meters, from the geotransform and the projection's
// unit (degrees of a geographic projection at the equator).
double cell_width_in_meters(const Georeference& geo)
{
    if (!geo.present) return 0;
    double width = geo.geotransform[1];
    if (geo.projection_wkt.empty()) return width;
    OGRSpatialReferenceH srs = OSRNewSpatialReference(geo.projection_wkt.c_str());
    if (srs == nullptr) return width;
    if (OSRIsGeographic(srs))
        width *= kMetersPerDegree;
    else
        width *= OSRGetLinearUnits(srs, nullptr);
    OSRDestroySpatialReference(srs);
    return width;
}

// The bytes of the blocks that hold the rows one thread reads at once (see
// read_row), in whole rows of blocks (a tiled raster is stored by rows of
// tiles): as many rows of blocks as such a read can straddle, so that the
// rows of blocks a thread is still reading stay in GDAL's cache rather than
// being read (and decompressed) again for each of their rows.
uint64_t block_bytes_read_at_once(GDALRasterBandH band, int32_t column_count)
{
    int block_width = 0, block_height = 0;
    GDALGetBlockSize(band, &block_width, &block_height);
    const auto width = static_cast<uint64_t>(std::max(block_width, 1));
    const auto height = static_cast<uint64_t>(std::max(block_height, 1));
    const auto rows = static_cast<uint64_t>(rows_per_block(static_cast<size_t>(column_count) * sizeof(double)));
    const uint64_t block_rows = (rows - 1 + height - 1) / height + 1;
    const uint64_t blocks_across = (static_cast<uint64_t>(column_count) + width - 1) / width;
    return block_rows * blocks_across * width * height *
           static_cast<uint64_t>(GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band)));
}

GdalRowSource::GdalRowSource(const std::string& path, int band, std::optional<double> no_data,
                             const FileCheck& check_file)
    : path_(path), band_number_(band), pool_(path, band), serial_(++sources_made)
{
    const GDALDatasetH dataset = pool_.first();
    const int bands = GDALGetRasterCount(dataset);
    if (band < 1 || band > bands)
        throw RunError(path + ": there is no band " + std::to_string(band) + " (the raster has " +
                       std::to_string(bands) + ")");
    band_.band = GDALGetRasterBand(dataset, band);
    const GDALDataType type = GDALGetRasterDataType(band_.band);
    if (GDALDataTypeIsComplex(type))
        throw RunError(path + ": band " + std::to_string(band) + " holds complex numbers, not altitudes");
    int has_no_data = 0;
    band_.no_data = GDALGetRasterNoDataValue(band_.band, &has_no_data);
    band_.has_no_data = has_no_data != 0;
    if (band_.has_no_data) band_no_data_ = band_.no_data;
    if (no_data) {
        band_.no_data = *no_data;
        band_.has_no_data = true;
    }
    if (const char* unit = GDALGetRasterUnitType(band_.band)) unit_ = unit;
    band_.float32 = type == GDT_Float32;
    band_.scale = GDALGetRasterScale(band_.band, nullptr);
    band_.offset = GDALGetRasterOffset(band_.band, nullptr);
    value_scale_ = band_.scale;
    value_offset_ = band_.offset;

    column_count_ = GDALGetRasterXSize(dataset);
    row_count_ = GDALGetRasterYSize(dataset);
    cache_bytes_per_reader_ = block_bytes_read_at_once(band_.band, column_count_);
    int block_width = 0, block_height = 0;
    GDALGetBlockSize(band_.band, &block_width, &block_height);
    block_rows_ = std::max(block_height, 1);
    bound_cache(1);

    double gt[6];
    if (GDALGetGeoTransform(dataset, gt) == CE_None) {
        georeference_.present = true;
        std::copy(gt, gt + 6, georeference_.geotransform.begin());
        const char* wkt = GDALGetProjectionRef(dataset);
        if (wkt != nullptr) georeference_.projection_wkt = wkt;
    }
    cell_width_ = cell_width_in_meters(georeference_);
    add_files_of(dataset, check_file, files_);
}

std::span<const double> GdalRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    const auto width = static_cast<size_t>(column_count_);
    const double* row = last_block.row(serial_, i, row_count_, width, [&](int32_t first, int32_t count, double* values) {
        read_rows(first, count, values);
        return count;
    });
    std::copy(row, row + width, buffer.begin());
    const std::span<double> values = buffer.first(width);
    if (band_.has_no_data) {
        const double no_data = band_.no_data;
        const double stored = band_.float32 ? static_cast<double>(static_cast<float>(no_data)) : no_data;
        for (double& value : values)
            if (value == no_data || value == stored) value = std::nan("");
    }
    if (band_.scale != 1 || band_.offset != 0)
        for (double& value : values) value = value * band_.scale + band_.offset;
    for (size_t j = 0; j < width; ++j)
        if (std::isinf(values[j]))
            throw RunError(path_ + ": row " + std::to_string(i + 1) + ", column " + std::to_string(j + 1) +
                           " (counting from 1) holds an infinite value, which is no altitude");
    return values;
}

void GdalRowSource::read_rows(int32_t first, int32_t count, double* values) const
{
    GDALDatasetH handle = pool_.take();
    const CPLErr read = GDALRasterIO(GDALGetRasterBand(handle, band_number_), GF_Read, 0, first, column_count_, count,
                                     values, column_count_, count, GDT_Float64, 0, 0);
    pool_.give_back(handle);
    if (read != CE_None) throw RunError(path_ + ": " + last_gdal_error("read error"));
}

}  // namespace

std::unique_ptr<RasterRowSource> open_gdal_source(const std::string& path, int band, std::optional<double> no_data,
                                                  const FileCheck& check_file)
{
    return std::make_unique<GdalRowSource>(path, band, no_data, check_file);
}
