// The GDAL module's table: the one symbol the program looks up when it loads
// the module, and through which alone the two reach each other.
#include "gdal/gdal_module.h"

#include <gdal.h>

#include "gdal/gdal_formats.h"

std::string gdal_release() { return std::string("GDAL ") + GDALVersionInfo("RELEASE_NAME"); }

// The module's one entry point, looked up by name when it is loaded.
extern "C" __attribute__((visibility("default"))) const GdalFormats* isolines_gdal_formats()
{
    static const GdalFormats formats{open_gdal_source, open_gdal_image_sink, prj_text, axis_mapping, wkt_of_prj, gdal_release};
    return &formats;
}
