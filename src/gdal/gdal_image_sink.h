// Result images in formats written through GDAL: PNG and GeoTIFF.
//
// The rows go, as the engine finishes them, into a scratch image: held in
// memory when the image fits in image_memory_budget, else an uncompressed
// GeoTIFF under a private temporary name (a scratch file), so that memory
// stays bounded by GDAL's block cache whatever the number of rows. Once every
// row is in, the image file is copied from it by GDAL, which reads it a few
// rows at a time.
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

// An image of at most this many bytes is gathered in memory rather than in
// the scratch GeoTIFF (its overviews come on top, a third of it at most).
inline constexpr uint64_t image_memory_budget = uint64_t{32} << 20;

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
// the scratch image, then makes the image file from them. A failure throws
// RunError naming the image's shown path.
class GdalImageSink : public ResultRowSink {
public:
    virtual ~GdalImageSink() = default;

    // Writes the image file once every row was written. `on_progress` gets
    // the share written so far, from 0 to 1.
    virtual void write_image(const std::function<void(double)>& on_progress) = 0;
};

#endif
