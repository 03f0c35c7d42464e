// A GeoTIFF result written as the rows leave the engine: no scratch copy.
// Each level (the image, then its overviews) gathers its rows by tile row;
// a complete tile row is compressed and written by the thread whose rows
// completed it, then reduced into the rows of the overview above, which
// gathers them in turn. Rows that come again (the repairs of the seams)
// have their tile row written again, and the overview rows above them
// computed again.
#ifndef GDAL_STREAMED_GEOTIFF_SINK_H
#define GDAL_STREAMED_GEOTIFF_SINK_H

#include <memory>

#include "gdal/gdal_image_sink.h"
#include "gdal/image_file_access.h"
#include "gdal/tile_share.h"

// The sink of `image`, a GeoTIFF, whose file it creates at once and reaches
// through `file`; with a `share`, this process's part of it (tile_share.h).
// A failure throws RunError naming the image's shown path.
std::unique_ptr<GdalImageSink> open_streamed_geotiff_sink(const GdalImage& image, ImageFileAccess& file,
                                                          TileShare* share);

#endif
