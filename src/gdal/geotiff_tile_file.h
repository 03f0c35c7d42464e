// The GeoTIFF result file written one tile row at a time, for the image and
// each of its overviews: tiles of tile_size x tile_size in DEFLATE; a BigTIFF
// when its data could pass 4 GiB. The file is made by GDAL with everything
// but the pixels (the colour table or gray, the no-data value, the
// georeference, the overviews' directories); tile rows are then compressed
// by the thread that writes them and written in any order past the file's
// end, and again (a tile row written again replaces the first one), the
// index of the tiles' places last.
#ifndef GDAL_GEOTIFF_TILE_FILE_H
#define GDAL_GEOTIFF_TILE_FILE_H

#include <cstddef>
#include <memory>
#include <vector>

#include "gdal/gdal_image_sink.h"
#include "gdal/image_file_access.h"
#include "gdal/tile_row_gathering.h"
#include "gdal/tile_share.h"

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

    // Completes the file once every tile is written (by every process of a
    // share) and forces it to the disk. A failure throws RunError naming the
    // image.
    virtual void close() = 0;
};

// Creates the file of `image` with an overview for each factor of
// `overview_factors` (see min_overviews.h), reached through `file`; with a
// `share`, the first process creates it and the others write their tiles
// into it. A failure throws RunError naming the image.
std::unique_ptr<GeoTiffTileFile> create_geotiff_tile_file(const GdalImage& image, const std::vector<int>& overview_factors,
                                                          ImageFileAccess& file, TileShare* share);

#endif
