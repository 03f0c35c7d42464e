// A build without GDAL: its own formats only; every other raster is refused.
#include "gdal/gdal_formats.h"
#include "shared/run_error.h"

const GdalFormats& gdal_formats(const std::string& file)
{
    throw RunError(file + ": this build reads and writes only .raw, .asc and .bmp files (it was built without GDAL)");
}

// Without GDAL a projection cannot be read: the .prj beside an ASCII grid is
// carried to the .prj beside the result as it stands.
std::string projection_from_prj(const std::string&, const std::string& text) { return text; }

std::string prj_text_of(const std::string&, const std::string& projection_wkt) { return projection_wkt; }

// The .prj text of ESRI WKT names no axes: they are east then north.
std::string axis_mapping_of(const std::string&, const std::string&) { return "1,2"; }

std::string gdal_version_text() { return "built without GDAL"; }
