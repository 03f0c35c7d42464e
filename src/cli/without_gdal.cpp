// A build without GDAL: its own formats only; every other raster is refused.
#include "../gdal_formats.h"
#include "../run_error.h"

const GdalFormats& gdal_formats(const std::string& file)
{
    throw RunError(file + ": this build reads and writes only .raw, .asc and .bmp files (it was built without GDAL)");
}

std::string gdal_version_text() { return "built without GDAL"; }
