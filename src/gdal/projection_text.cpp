// A projection as text, both ways: the ESRI WKT of the .prj beside a PNG or
// BMP result, the axis order GDAL records beside the SRS of an .aux.xml, and
// the WKT a GeoTIFF result takes from the .prj beside an ASCII grid. GDAL's
// own conversions are used so that every GIS reads the result's position as
// GDAL's tools read the model's.
#include "gdal/gdal_module.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <ogr_srs_api.h>

#include "gdal/gdal_setup.h"
#include "shared/run_error.h"

std::string prj_text(const std::string& projection_wkt)
{
    OGRSpatialReferenceH srs = OSRNewSpatialReference(projection_wkt.c_str());
    if (srs == nullptr) return projection_wkt;
    char* esri = nullptr;
    const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
    std::string text = projection_wkt;
    if (OSRExportToWktEx(srs, &esri, options) == OGRERR_NONE && esri != nullptr) text = esri;
    CPLFree(esri);
    OSRDestroySpatialReference(srs);
    return text;
}

std::string axis_mapping(const std::string& projection_wkt)
{
    OGRSpatialReferenceH srs = OSRNewSpatialReference(projection_wkt.c_str());
    if (srs == nullptr) return "";
    // A GIS reads a geotransform's x as the easting or longitude whatever
    // order the projection's definition gives its axes; GDAL records how
    // they map so that a latitude-first projection is not read as x = latitude.
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    int count = 0;
    const int* axes = OSRGetDataAxisToSRSAxisMapping(srs, &count);
    std::string mapping;
    for (int k = 0; k < count; ++k) {
        if (k > 0) mapping += ',';
        mapping += std::to_string(axes[k]);
    }
    OSRDestroySpatialReference(srs);
    return mapping;
}

std::string wkt_of_prj(const std::string& prj_path, const std::string& text)
{
    set_up_gdal();
    CPLErrorReset();
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    // Read line by line as GDAL reads the .prj of an ASCII grid: ESRI WKT (or
    // plain WKT), or the older keyword form. Not as a "user input", which
    // would also take the text as the name of a file to read.
    char** lines = CSLTokenizeString2(text.c_str(), "\r\n", 0);
    bool understood = lines != nullptr && OSRImportFromESRI(srs, lines) == OGRERR_NONE;
    CSLDestroy(lines);
    char* wkt = nullptr;
    if (understood) understood = OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt != nullptr && *wkt != '\0';
    const std::string result = understood ? wkt : "";
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    if (!understood)
        throw RunError(prj_path + ": GDAL does not understand the projection it holds (" +
                       last_gdal_error("not a projection in ESRI WKT or the ESRI keyword form") + ")");
    return result;
}
