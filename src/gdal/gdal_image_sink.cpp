// The sink of a PNG or GeoTIFF result. Rows arrive in any order, from
// several threads, and a repaired stripe writes some again, while both
// formats are written from top to bottom: each has a sink of its own that
// streams the rows into the image file as they complete, holding only the
// rows still waiting for their neighbours.
#include "gdal/gdal_module.h"

#include <memory>

#include "gdal/png_stream_sink.h"
#include "gdal/streamed_geotiff_sink.h"

std::unique_ptr<GdalImageSink> open_gdal_image_sink(const std::string& scratch_path, const GdalImage& image,
                                                    ImageFileAccess& file, TileShare* share)
{
    if (image.format == GdalFormat::png) return open_png_stream_sink(scratch_path, image);
    return open_streamed_geotiff_sink(image, file, share);
}
