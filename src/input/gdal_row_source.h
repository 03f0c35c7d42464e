// A band of a raster read through GDAL, served as rows of altitudes in meters.
//
// The band's own data type is read (8, 16 and 32-bit integers, signed or not,
// 32 and 64-bit floats); a cell holding the band's no-data value becomes NaN.
// Samples are converted to meters from the unit of the raw dialogue (0 meters,
// 1 decimeters, 2 centimeters, 3 millimeters) exactly as raw models are.
#ifndef INPUT_GDAL_ROW_SOURCE_H
#define INPUT_GDAL_ROW_SOURCE_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "../georeference.h"

class RasterRowSource {
public:
    virtual ~RasterRowSource() = default;

    int32_t nb_lig1() const { return nb_lig1_; }
    int32_t nb_col1() const { return nb_col1_; }
    const Georeference& georeference() const { return georeference_; }
    // Width of a cell in whole meters (degrees of a geographic model counted
    // at the equator), 0 when the raster does not say.
    int32_t pixel_size() const { return pixel_size_; }

    // Row i (0 = top line): nb_col1 altitudes in meters, NaN for no data, in
    // `buffer` (nb_col1 doubles). A read failure throws RunError naming the
    // file. Safe from several threads at once.
    virtual std::span<const double> read_row(int32_t i, std::span<double> buffer) const = 0;

protected:
    int32_t nb_lig1_ = 0;
    int32_t nb_col1_ = 0;
    int32_t pixel_size_ = 0;
    Georeference georeference_;
};

// Opens band `band` (from 1) of the raster at `path`; a file GDAL cannot open,
// a missing band or a band of complex numbers throws RunError naming the file.
std::unique_ptr<RasterRowSource> open_gdal_source(const std::string& path, int band, int unit);

#endif
