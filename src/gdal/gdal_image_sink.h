// Result images in formats written through GDAL: PNG and GeoTIFF.
//
// The rows go, as the engine finishes them, straight into the image file,
// compressed on every core as they complete (a PNG in parts of rows, a
// GeoTIFF by tile row, its overviews reduced on the way), so that memory
// stays O(width) whatever the number of rows and no copy of the image is
// written first.
#ifndef GDAL_GDAL_IMAGE_SINK_H
#define GDAL_GDAL_IMAGE_SINK_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "IMAGE.h"
#include "output/palette.h"
#include "shared/georeference.h"
#include "shared/rows.h"

enum class GdalFormat { png, geotiff };

// The image file to make: an image of row_count rows of column_count tones of 8 or
// 16 bits, with the colour table `palette` (or plain gray levels when `gray`
// is set; a PNG of 16 bits is always gray) and, when present, the georeference (a GeoTIFF carries it inside; a PNG
// needs a world file beside it).
struct GdalImage {
    std::string path;        // where to write it
    std::string shown_path;  // its name in messages
    GdalFormat format = GdalFormat::geotiff;
    int32_t row_count = 0;
    int32_t column_count = 0;
    int tone_bytes = 1;  // of each pixel: 8 or 16 bits
    Palette palette = gray_palette();
    bool gray = true;
    Georeference georeference;
};

// Takes the rows (any order, several threads, a row again replaces it) into
// the image file, then completes it. A failure throws
// RunError naming the image's shown path.
class GdalImageSink : public ResultRowSink {
public:
    virtual ~GdalImageSink() = default;

    // Writes the image file once every row was written. `on_progress` gets
    // the share written so far, from 0 to 1.
    virtual void write_image(const std::function<void(double)>& on_progress) = 0;
};

#endif
