// The index of a tiled TIFF file's tiles: for each directory (the image and
// each overview), where each tile's bytes lie and how many there are. GDAL
// makes the file with its directories and an index of empty tiles; the tiles
// are then written anywhere past its end, by any thread or process, and the
// index is written last, once every tile's place is known.
#ifndef GDAL_TIFF_TILE_INDEX_H
#define GDAL_TIFF_TILE_INDEX_H

#include <cstdint>
#include <string>
#include <vector>

#include "gdal/image_file_access.h"

struct TilePlace {
    uint64_t offset = 0;
    uint64_t bytes = 0;
};

// The tiles of one directory, row by row, and the size of its image.
struct DirectoryTiles {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TilePlace> places;
};

// Writes the places of every directory's tiles into the TIFF file (classic or
// BigTIFF, of either byte order): each directory is found by its image's
// size, and its two arrays are written anew from `end`, the first byte no
// tile takes (not the length the file shows: on a network file system, the
// tiles other machines wrote may not show yet), the directory's entries then
// pointing there. A file whose directories are not
// these, or a classic TIFF whose tiles lie past 4 GiB, throws RunError naming
// `shown_path`.
void write_tile_index(ImageFileAccess& file, const std::string& shown_path, const std::vector<DirectoryTiles>& levels,
                      uint64_t end);

#endif
