// The overviews of a large GeoTIFF result: how many halvings it gets, and
// how each one is reduced from the level below it. A pixel of an overview
// takes the smallest tone of the 2 x 2 pixels it covers, so that a line pixel
// wins over the background (the largest tone) and a one-pixel line stays
// visible however far the map is zoomed out; GDAL's own resamplings would
// average or pick lines away.
#ifndef GDAL_MIN_OVERVIEWS_H
#define GDAL_MIN_OVERVIEWS_H

#include <cstdint>
#include <vector>

// The overview factors of a GeoTIFF of that size: halvings while the image
// is larger than a map tile (256 pixels) either way; none for an image of at
// most 512 x 512, which a GIS draws whole.
std::vector<int> overview_factors(int32_t row_count, int32_t column_count);

// One row of an overview from the two rows `upper` and `lower` of the level
// below it, `width` tones of `tone_bytes` bytes each (1 or 2, in the
// machine's order): each pixel the smallest of the 2 x 2 it covers, the last
// pixel of an odd width the smallest of the two it covers. The last row of
// an odd height stands for the pair it ends: pass it as both rows.
void reduce_rows_by_min(const unsigned char* upper, const unsigned char* lower, int32_t width, int tone_bytes,
                        unsigned char* reduced);

#endif
