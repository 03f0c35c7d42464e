#include "gdal/dataset_opening.h"

#include <cpl_conv.h>

#include "gdal/gdal_setup.h"
#include "shared/run_error.h"

namespace {

// A GeoTIFF or PNG model needs no other format; any other, every format
// GDAL has (no other format reads a GeoTIFF or PNG before them). GDAL reads
// the direct I/O option as the dataset opens, for it alone.
GDALDatasetH open_with(const std::string& path, bool direct_io)
{
    CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", direct_io ? "YES" : "NO");
    const char* const first_formats[] = {"GTiff", "PNG", nullptr};
    GDALDatasetH handle = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, first_formats, nullptr, nullptr);
    if (handle == nullptr) {
        register_every_format();
        handle = GDALOpen(path.c_str(), GA_ReadOnly);
    }
    CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", nullptr);
    return handle;
}

// Whether the first band is stored in tiles narrower than the raster.
bool tiled(GDALDatasetH handle)
{
    if (GDALGetRasterCount(handle) < 1) return false;
    int block_width = 0, block_height = 0;
    GDALGetBlockSize(GDALGetRasterBand(handle, 1), &block_width, &block_height);
    return block_width < GDALGetRasterXSize(handle);
}

}  // namespace

GDALDatasetH open_for_reading(const std::string& path)
{
    // An uncompressed GeoTIFF in strips is read straight from the file, past
    // GDAL's block cache. One in tiles is not: GDAL's direct reads take
    // every tile a row crosses whole, for each row (a model 100,000 columns
    // wide in tiles of 256 read 100 MB a row, 13 times slower than through
    // the cache, which holds each tile row once).
    GDALDatasetH handle = open_with(path, true);
    if (handle != nullptr && tiled(handle)) {
        GDALClose(handle);
        handle = open_with(path, false);
    }
    if (handle == nullptr)
        throw RunError(path + ": not a raster GDAL can read (" + last_gdal_error("no reason given") + ")");
    return handle;
}
