// Opening a raster for reading. GDAL's GeoTIFF and PNG formats, registered at
// set-up, are tried first: every other format is registered only when they
// cannot open the raster, since registering them all takes a few
// milliseconds.
#ifndef GDAL_DATASET_OPENING_H
#define GDAL_DATASET_OPENING_H

#include <string>

#include <gdal.h>

// Opens the raster at `path` read-only (GDAL set up first, see set_up_gdal);
// a file GDAL cannot open throws RunError naming it. An uncompressed GeoTIFF
// is then read straight from the file into the rows asked for, not through
// GDAL's block cache (a copy less, and no fresh cache blocks): twice as fast
// on a model in strips of one row.
GDALDatasetH open_for_reading(const std::string& path);

#endif
