// What the GDAL module defines: the functions its table (gdal_formats.h)
// hands to the program.
#ifndef GDAL_GDAL_MODULE_H
#define GDAL_GDAL_MODULE_H

#include <memory>
#include <optional>
#include <string>

#include "gdal/gdal_image_sink.h"
#include "gdal/image_file_access.h"
#include "gdal/tile_share.h"
#include "input/raster_row_source.h"

// Opens band `band` (from 1) of the raster at `path`, whose no-data value is
// `no_data` when given (else the band's own, if it has one); a file GDAL
// cannot open, a missing band or a band of complex numbers throws RunError
// naming the file. Every file the raster is made of is given to
// `check_file` before GDAL opens it (`path` itself must have been checked),
// and so is the model file whenever a reading thread opens it again.
std::unique_ptr<RasterRowSource> open_gdal_source(const std::string& path, int band, std::optional<double> no_data,
                                                  const FileCheck& check_file);

// A sink of `image`. `scratch_path` is an empty file the caller made and
// removes, where a PNG keeps the compressed rows that memory does not hold.
// A GeoTIFF writes its tiles through `file`, and with a `share` is written
// by every process of a shared run (a PNG takes no share).
std::unique_ptr<GdalImageSink> open_gdal_image_sink(const std::string& scratch_path, const GdalImage& image,
                                                    ImageFileAccess& file, TileShare* share);

// The projection in the form a .prj file beside an image holds (ESRI WKT).
std::string prj_text(const std::string& projection_wkt);

// The data axis to SRS axis mapping of the projection in GIS order (x east,
// y north), as GDAL writes it beside the SRS of an .aux.xml ("2,1", "1,2");
// empty when GDAL does not understand the projection.
std::string axis_mapping(const std::string& projection_wkt);

// The projection named by `text`, the content of the .prj file `prj_path`
// (ESRI WKT or plain WKT, or the older ESRI keyword form), as WKT. Text GDAL
// cannot understand throws RunError naming the file.
std::string wkt_of_prj(const std::string& prj_path, const std::string& text);

// The version of GDAL in use.
std::string gdal_release();

#endif
