#include "gdal/dataset_opening.h"

#include <cpl_conv.h>

#include "gdal/gdal_setup.h"
#include "shared/run_error.h"

GDALDatasetH open_for_reading(const std::string& path)
{
    // GDAL reads the direct I/O option as the dataset opens, for it alone.
    // A GeoTIFF or PNG model needs no other format; any other, every format
    // GDAL has (no other format reads a GeoTIFF or PNG before them).
    CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", "YES");
    const char* const first_formats[] = {"GTiff", "PNG", nullptr};
    GDALDatasetH handle = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, first_formats, nullptr, nullptr);
    if (handle == nullptr) {
        register_every_format();
        handle = GDALOpen(path.c_str(), GA_ReadOnly);
    }
    CPLSetThreadLocalConfigOption("GTIFF_DIRECT_IO", nullptr);
    if (handle == nullptr)
        throw RunError(path + ": not a raster GDAL can read (" + last_gdal_error("no reason given") + ")");
    return handle;
}
