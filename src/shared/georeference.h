// Where a model lies on the Earth, carried from the model to its result.
#ifndef SHARED_GEOREFERENCE_H
#define SHARED_GEOREFERENCE_H

#include <array>
#include <string>

struct Georeference {
    bool present = false;
    // Column/line to map coordinates of the top-left corner of a cell:
    // x = gt[0] + column * gt[1] + line * gt[2], y = gt[3] + column * gt[4] + line * gt[5].
    std::array<double, 6> geotransform{0, 1, 0, 0, 0, 1};
    // Empty when the model names no projection. In a build without GDAL, the
    // text of an ASCII grid's .prj as it stands (only copied beside a result).
    std::string projection_wkt;
};

#endif
