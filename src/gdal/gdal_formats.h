// The raster formats read and written through GDAL live in a module of their
// own (isolines_gdal), loaded only by a run that needs one: GDAL and the
// hundred libraries it brings would otherwise be loaded at every start of the
// program, dialogue included, for about a tenth of a second.
#ifndef GDAL_GDAL_FORMATS_H
#define GDAL_GDAL_FORMATS_H

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "input/raster_row_source.h"
#include "gdal/gdal_image_sink.h"
#include "gdal/image_file_access.h"
#include "gdal/tile_share.h"

// What the module offers (see gdal_module.h): the only way the program and
// the module reach each other; the module calls nothing of the program's.
struct GdalFormats {
    std::unique_ptr<RasterRowSource> (*open_source)(const std::string& path, int band, std::optional<double> no_data,
                                                    const FileCheck& check_file);
    std::unique_ptr<GdalImageSink> (*open_image_sink)(const std::string& scratch_path, const GdalImage& image,
                                                      ImageFileAccess& file, TileShare* share);
    std::string (*prj_text)(const std::string& projection_wkt);
    std::string (*axis_mapping)(const std::string& projection_wkt);
    std::string (*wkt_of_prj)(const std::string& prj_path, const std::string& text);
    std::string (*version)();
};

// The module's table, loaded at the first call. A build without GDAL, or a
// module that cannot be loaded, throws RunError naming `file` (the raster the
// run needed it for) and the reason.
const GdalFormats& gdal_formats(const std::string& file);

// The projection held by the .prj file `prj_path` (its content `text`), as
// the WKT a GeoTIFF result takes; text GDAL cannot understand throws RunError
// naming the file. A build without GDAL keeps the text as it stands.
std::string projection_from_prj(const std::string& prj_path, const std::string& text);

// The projection as the text of a .prj beside an image (ESRI WKT). A build
// without GDAL gives it as it stands. `file` is named if GDAL cannot be loaded.
std::string prj_text_of(const std::string& file, const std::string& projection_wkt);

// How GDAL maps the x and y of a geotransform to the axes of the projection,
// as the dataAxisToSRSAxisMapping of the SRS it writes in an .aux.xml: "2,1"
// for a projection whose first axis is the latitude (EPSG:4326), "1,2" for
// one that is east then north (UTM); empty for text GDAL cannot understand.
// A build without GDAL holds an ESRI .prj, east then north: "1,2". `file` is
// named if GDAL cannot be loaded.
std::string axis_mapping_of(const std::string& file, const std::string& projection_wkt);

// GDAL's version for --version, or why there is none.
std::string gdal_version_text();

#endif
