#include "gdal/gdal_module.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "gdal/dataset_files.h"
#include "gdal/dataset_opening.h"
#include "gdal/gdal_setup.h"
#include "input/row_blocks.h"
#include "run_error.h"

namespace {

struct Dataset {
    GDALDatasetH handle = nullptr;
    GDALRasterBandH band = nullptr;
    bool has_no_data = false;
    double no_data = 0;
    bool float32 = false;  // a float no-data value is also matched as stored in 32 bits
    double scale = 1;      // altitude = value x scale + offset, as GDAL's tools read the band
    double offset = 0;
    ~Dataset()
    {
        if (handle != nullptr) GDALClose(handle);
    }
};

// What a file was when it was first opened, to tell it from another put in
// its place later (a FIFO, a wider raster).
struct FileIdentity {
    bool known = false;  // a local file (not one inside an archive, or of the network)
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The identity of the file at `path` as GDAL's file layer sees it; a name
// that is not a regular file is refused, as it would make GDAL wait on it.
FileIdentity identity_of(const std::string& path)
{
    VSIStatBufL stat;
    FileIdentity identity;
    if (VSIStatL(path.c_str(), &stat) != 0) return identity;
    if (!VSI_ISREG(stat.st_mode) && !VSI_ISDIR(stat.st_mode))
        throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    // Only a file of the local file system has an identity to compare.
    if (path.rfind("/vsi", 0) == 0) return identity;
    identity.known = true;
    identity.device = static_cast<uint64_t>(stat.st_dev);
    identity.inode = static_cast<uint64_t>(stat.st_ino);
    return identity;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b)
{
    return a.known == b.known && a.device == b.device && a.inode == b.inode;
}

class GdalRowSource final : public RasterRowSource {
public:
    GdalRowSource(const std::string& path, int band, std::optional<double> no_data, const FileCheck& check_file);
    ~GdalRowSource() override
    {
        for (GDALDatasetH handle : opened_) GDALClose(handle);
    }
    GdalRowSource(const GdalRowSource&) = delete;
    GdalRowSource& operator=(const GdalRowSource&) = delete;
    void bound_cache(unsigned readers) const override { bound_gdal_cache(readers * cache_bytes_per_reader_); }
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;

private:
    // Reads rows first .. first + count - 1 as doubles into `values`.
    void read_rows(int32_t first, int32_t count, double* values) const;

    // Opens the model again for one more reading thread: it must still be the
    // file first opened.
    GDALDatasetH open_again() const;

    std::string path_;
    FileIdentity identity_;
    int band_number_;
    std::unique_ptr<Dataset> dataset_;
    // A GDAL dataset is read by one thread at a time: a thread that finds
    // every dataset busy opens one more (as many as threads read at once),
    // so that reads, and the decompression of compressed blocks, go on in
    // parallel.
    mutable std::mutex pool_;
    mutable std::vector<GDALDatasetH> idle_;
    mutable std::vector<GDALDatasetH> opened_;
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
uint64_t block_bytes_read_at_once(GDALRasterBandH band, int32_t nb_col1)
{
    int block_width = 0, block_height = 0;
    GDALGetBlockSize(band, &block_width, &block_height);
    const auto width = static_cast<uint64_t>(std::max(block_width, 1));
    const auto height = static_cast<uint64_t>(std::max(block_height, 1));
    const auto rows = static_cast<uint64_t>(rows_per_block(static_cast<size_t>(nb_col1) * sizeof(double)));
    const uint64_t block_rows = (rows - 1 + height - 1) / height + 1;
    const uint64_t blocks_across = (static_cast<uint64_t>(nb_col1) + width - 1) / width;
    return block_rows * blocks_across * width * height *
           static_cast<uint64_t>(GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band)));
}

GdalRowSource::GdalRowSource(const std::string& path, int band, std::optional<double> no_data,
                             const FileCheck& check_file)
    : path_(path), band_number_(band), dataset_(std::make_unique<Dataset>()), serial_(++sources_made)
{
    set_up_gdal();
    identity_ = identity_of(path);
    dataset_->handle = open_for_reading(path);
    if (!same_identity(identity_of(path), identity_)) throw RunError(path + ": the file changed while it was opened");
    const int bands = GDALGetRasterCount(dataset_->handle);
    if (band < 1 || band > bands)
        throw RunError(path + ": there is no band " + std::to_string(band) + " (the raster has " +
                       std::to_string(bands) + ")");
    dataset_->band = GDALGetRasterBand(dataset_->handle, band);
    const GDALDataType type = GDALGetRasterDataType(dataset_->band);
    if (GDALDataTypeIsComplex(type))
        throw RunError(path + ": band " + std::to_string(band) + " holds complex numbers, not altitudes");
    int has_no_data = 0;
    dataset_->no_data = GDALGetRasterNoDataValue(dataset_->band, &has_no_data);
    dataset_->has_no_data = has_no_data != 0;
    if (dataset_->has_no_data) band_no_data_ = dataset_->no_data;
    if (no_data) {
        dataset_->no_data = *no_data;
        dataset_->has_no_data = true;
    }
    if (const char* unit = GDALGetRasterUnitType(dataset_->band)) unit_ = unit;
    dataset_->float32 = type == GDT_Float32;
    dataset_->scale = GDALGetRasterScale(dataset_->band, nullptr);
    dataset_->offset = GDALGetRasterOffset(dataset_->band, nullptr);
    value_scale_ = dataset_->scale;
    value_offset_ = dataset_->offset;

    nb_col1_ = GDALGetRasterXSize(dataset_->handle);
    nb_lig1_ = GDALGetRasterYSize(dataset_->handle);
    cache_bytes_per_reader_ = block_bytes_read_at_once(dataset_->band, nb_col1_);
    bound_cache(1);

    double gt[6];
    if (GDALGetGeoTransform(dataset_->handle, gt) == CE_None) {
        georeference_.present = true;
        std::copy(gt, gt + 6, georeference_.geotransform.begin());
        const char* wkt = GDALGetProjectionRef(dataset_->handle);
        if (wkt != nullptr) georeference_.projection_wkt = wkt;
    }
    cell_width_ = cell_width_in_meters(georeference_);
    add_files_of(dataset_->handle, check_file, files_);
    idle_.push_back(dataset_->handle);  // the first reader's
}

std::span<const double> GdalRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    const auto width = static_cast<size_t>(nb_col1_);
    const double* row = last_block.row(serial_, i, nb_lig1_, width, [&](int32_t first, int32_t count, double* values) {
        read_rows(first, count, values);
        return count;
    });
    std::copy(row, row + width, buffer.begin());
    const std::span<double> values = buffer.first(width);
    if (dataset_->has_no_data) {
        const double no_data = dataset_->no_data;
        const double stored = dataset_->float32 ? static_cast<double>(static_cast<float>(no_data)) : no_data;
        for (double& value : values)
            if (value == no_data || value == stored) value = std::nan("");
    }
    if (dataset_->scale != 1 || dataset_->offset != 0)
        for (double& value : values) value = value * dataset_->scale + dataset_->offset;
    for (size_t j = 0; j < width; ++j)
        if (std::isinf(values[j]))
            throw RunError(path_ + ": row " + std::to_string(i + 1) + ", column " + std::to_string(j + 1) +
                           " (counting from 1) holds an infinite value, which is no altitude");
    return values;
}

void GdalRowSource::read_rows(int32_t first, int32_t count, double* values) const
{
    // A thread takes back the dataset it read last when it is idle: the
    // blocks GDAL caches belong to a dataset, and a thread reads on from where
    // it stopped, so that a compressed block is not decompressed again for
    // another dataset.
    thread_local std::pair<uint64_t, GDALDatasetH> last_used{0, nullptr};
    GDALDatasetH handle = nullptr;
    {
        const std::lock_guard<std::mutex> hold(pool_);
        auto idle = std::find(idle_.begin(), idle_.end(), last_used.first == serial_ ? last_used.second : nullptr);
        if (idle == idle_.end() && !idle_.empty()) idle = idle_.end() - 1;
        if (idle != idle_.end()) {
            handle = *idle;
            idle_.erase(idle);
        }
    }
    if (handle == nullptr) {
        handle = open_again();
        const std::lock_guard<std::mutex> hold(pool_);
        opened_.push_back(handle);
    }
    last_used = {serial_, handle};
    const CPLErr read = GDALRasterIO(GDALGetRasterBand(handle, band_number_), GF_Read, 0, first, nb_col1_, count,
                                     values, nb_col1_, count, GDT_Float64, 0, 0);
    {
        const std::lock_guard<std::mutex> hold(pool_);
        idle_.push_back(handle);
    }
    if (read != CE_None) throw RunError(path_ + ": " + last_gdal_error("read error"));
}

GDALDatasetH GdalRowSource::open_again() const
{
    const auto changed = [&] { return RunError(path_ + ": the file changed while it was read (another file took its name)"); };
    if (!same_identity(identity_of(path_), identity_)) throw changed();
    GDALDatasetH handle = open_for_reading(path_);
    if (!same_identity(identity_of(path_), identity_) || GDALGetRasterCount(handle) < band_number_ ||
        GDALGetRasterXSize(handle) != nb_col1_ || GDALGetRasterYSize(handle) != nb_lig1_) {
        GDALClose(handle);
        throw changed();
    }
    return handle;
}

}  // namespace

std::unique_ptr<RasterRowSource> open_gdal_source(const std::string& path, int band, std::optional<double> no_data,
                                                  const FileCheck& check_file)
{
    return std::make_unique<GdalRowSource>(path, band, no_data, check_file);
}
