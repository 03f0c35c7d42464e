// Result images in formats written through GDAL: PNG and GeoTIFF.
//
// The rows are not gathered in memory: they go, as the engine finishes them,
// into an uncompressed GeoTIFF under a private temporary name (a scratch
// file), and once every row is in, the image file is copied from it by GDAL,
// which reads it a few rows at a time. Memory stays bounded by GDAL's block
// cache, whatever the number of rows.
#ifndef OUTPUT_GDAL_WRITERS_H
#define OUTPUT_GDAL_WRITERS_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "../../LIB/IMAGE.h"
#include "../georeference.h"
#include "row_sink.h"

enum class GdalFormat { png, geotiff };

// The image file to make: an 8-bit image of nb_lig1 rows of nb_col1 tones,
// with the colour table `palette` (or plain gray levels when `gray` is set)
// and, when present, the georeference (a GeoTIFF carries it inside; a PNG
// needs a world file beside it).
struct GdalImage {
    std::string path;        // where to write it
    std::string shown_path;  // its name in messages
    GdalFormat format = GdalFormat::geotiff;
    int32_t nb_lig1 = 0;
    int32_t nb_col1 = 0;
    std::array<Color32, 256> palette{};
    bool gray = true;
    Georeference georeference;
};

// Takes the rows (any order, several threads, a row again replaces it) into
// the scratch GeoTIFF, then makes the image file from them. A failure throws
// RunError naming the image's shown path.
class GdalImageSink : public RowSink {
public:
    // Writes the image file once every row was written. `on_progress` gets
    // the share written so far, from 0 to 1.
    virtual void write_image(const std::function<void(double)>& on_progress) = 0;
};

// A sink whose scratch GeoTIFF is `scratch_path`, an empty file the caller
// made and removes (the scratch file is replaced by GDAL's GeoTIFF).
std::unique_ptr<GdalImageSink> open_gdal_image_sink(const std::string& scratch_path, const GdalImage& image);

// The projection in the form a .prj file beside an image holds (ESRI WKT).
std::string prj_text(const std::string& projection_wkt);

// The projection named by `text`, the content of the .prj file `prj_path`
// (ESRI WKT or plain WKT, or the older ESRI keyword form), as WKT. Text GDAL cannot understand throws RunError naming the file.
std::string wkt_of_prj(const std::string& prj_path, const std::string& text);

// The version of GDAL in use.
std::string gdal_release();

#endif
