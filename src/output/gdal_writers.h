// Result images in formats written through GDAL: PNG and GeoTIFF.
#ifndef OUTPUT_GDAL_WRITERS_H
#define OUTPUT_GDAL_WRITERS_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "../../LIB/IMAGE.h"
#include "../georeference.h"

enum class GdalFormat { png, geotiff };

// Writes the grid of tones tab3 (nb_lig1 rows of nb_col1) as an 8-bit image
// of `format` into the file `path`, with the colour table `palette` (or plain
// gray levels when `gray` is set) and, when present, the georeference (a
// GeoTIFF carries it inside; a PNG needs a world file beside it). A failure
// throws RunError naming `shown_path`. `on_progress` gets the share written
// so far, from 0 to 1.
void write_gdal_image(const std::string& path, const std::string& shown_path, GdalFormat format, unsigned char** tab3,
                      int32_t nb_lig1, int32_t nb_col1, const std::array<Color32, 256>& palette, bool gray,
                      const Georeference& georeference, const std::function<void(double)>& on_progress);

// The projection in the form a .prj file beside an image holds (ESRI WKT).
std::string prj_text(const std::string& projection_wkt);

// The projection named by `text`, the content of the .prj file `prj_path`
// (ESRI WKT or plain WKT, or the older ESRI keyword form), as WKT. Text GDAL cannot understand throws RunError naming the file.
std::string wkt_of_prj(const std::string& prj_path, const std::string& text);

// The version of GDAL in use.
std::string gdal_release();

#endif
