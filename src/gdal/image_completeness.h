// Whether a written image file is whole. This GDAL does not always say when
// the last bytes of a file could not be written as it closed it (a full
// disk): the file itself must end as its format ends before the run may
// call it written.
#ifndef GDAL_IMAGE_COMPLETENESS_H
#define GDAL_IMAGE_COMPLETENESS_H

#include "gdal/gdal_image_sink.h"

// Whether the file of `image` ends as its format ends: a PNG with its IEND
// chunk; a GeoTIFF that opens and whose every block of data lies within the
// file.
bool ends_whole(const GdalImage& image);

#endif
