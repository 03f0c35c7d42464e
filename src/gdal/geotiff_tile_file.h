// The GeoTIFF result file written one tile row at a time, for the image and
// each of its overviews: tiles of tile_size x tile_size, DEFLATE at the
// fastest level; a BigTIFF when its data could pass 4 GiB. The file is made
// by GDAL with everything but the pixels (the colour table or gray, the
// no-data value, the georeference, the overviews' directories); tile rows
// are then written in any order, and again (a tile row written again
// replaces the first one).
#ifndef GDAL_GEOTIFF_TILE_FILE_H
#define GDAL_GEOTIFF_TILE_FILE_H

#include <cstddef>
#include <memory>
#include <vector>

#include "gdal/gdal_image_sink.h"
#include "gdal/tile_row_gathering.h"

class GeoTiffTileFile {
public:
    virtual ~GeoTiffTileFile() = default;

    // Writes the tiles of `tile_row` (every row present) into level `level`
    // (0 the image, k its k-th overview). Called from several threads at
    // once. A failure throws RunError naming the image.
    virtual void write_tile_row(size_t level, const TileRow& tile_row) = 0;

    // Reads back into the rows of `tile_row` marked in `missing` what the
    // file holds for them.
    virtual void read_tile_row(size_t level, TileRow& tile_row, const std::vector<bool>& missing) = 0;

    // Completes the file (every tile written) and closes it. A failure
    // throws RunError naming the image.
    virtual void close() = 0;
};

// Creates the file of `image` with an overview for each factor of
// `overview_factors` (see min_overviews.h). A failure throws RunError naming
// the image.
std::unique_ptr<GeoTiffTileFile> create_geotiff_tile_file(const GdalImage& image, const std::vector<int>& overview_factors);

#endif
