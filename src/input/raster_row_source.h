// A band of a raster that GDAL reads (the GDAL module implements it), served
// as rows of samples.
//
// The band's own data type is read (8, 16 and 32-bit integers, signed or not,
// 32 and 64-bit floats); a cell holding the band's no-data value becomes NaN.
// The samples are in the band's unit: the program converts them to meters
// (raster_pass_source.h).
#ifndef INPUT_RASTER_ROW_SOURCE_H
#define INPUT_RASTER_ROW_SOURCE_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "georeference.h"

class RasterRowSource {
public:
    virtual ~RasterRowSource() = default;

    int32_t nb_lig1() const { return nb_lig1_; }
    int32_t nb_col1() const { return nb_col1_; }
    const Georeference& georeference() const { return georeference_; }
    // Width of a cell in meters (degrees of a geographic model counted at the
    // equator), 0 when the raster does not say.
    double cell_width() const { return cell_width_; }

    // Row i (0 = top line): nb_col1 samples in the band's unit, NaN for no
    // data, in `buffer` (nb_col1 doubles). A read failure throws RunError
    // naming the file. Safe from several threads at once.
    virtual std::span<const double> read_row(int32_t i, std::span<double> buffer) const = 0;

protected:
    int32_t nb_lig1_ = 0;
    int32_t nb_col1_ = 0;
    double cell_width_ = 0;
    Georeference georeference_;
};

#endif
