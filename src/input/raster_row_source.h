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
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shared/georeference.h"

// The room GDAL's block cache has besides the blocks of the model read at
// once: enough for the result's rows and for its copy into the image file to
// go by whole blocks.
inline constexpr uint64_t gdal_cache_floor = uint64_t{32} << 20;

// GDAL and the hundred libraries it loads (about 53 MiB resident measured).
inline constexpr uint64_t gdal_library_bytes = uint64_t{64} << 20;

// Refuses (throws RunError) a file that GDAL is about to open for a raster,
// named as GDAL names it.
using FileCheck = std::function<void(const std::string& name)>;

class RasterRowSource {
public:
    virtual ~RasterRowSource() = default;

    int32_t row_count() const { return row_count_; }
    int32_t column_count() const { return column_count_; }
    const Georeference& georeference() const { return georeference_; }
    // Width of a cell in meters (degrees of a geographic model counted at the
    // equator), 0 when the raster does not say.
    double cell_width() const { return cell_width_; }

    // How the band's values become altitudes, as GDAL's tools read them:
    // value x scale + offset (1 and 0 when the band does not say).
    double value_scale() const { return value_scale_; }
    double value_offset() const { return value_offset_; }

    // The unit the band names for its values ("ft", "metre"), empty when it
    // names none.
    const std::string& unit() const { return unit_; }

    // The no-data value the band itself names, when it names one (a value
    // the run was given takes its place).
    const std::optional<double>& band_no_data() const { return band_no_data_; }

    // The bytes of GDAL's block cache one reading thread needs to read rows in
    // order without reading (and decompressing) a block twice: the rows of
    // blocks its reads straddle (a tiled raster is stored by rows of tiles).
    uint64_t cache_bytes_per_reader() const { return cache_bytes_per_reader_; }

    // The rows of one block of the raster as it is stored (a tile's height,
    // a strip's rows): a block is read and decompressed whole.
    int32_t block_rows() const { return block_rows_; }

    // Bounds GDAL's block cache for `readers` threads reading at once (GDAL
    // would let it grow to a twentieth of the machine's memory).
    virtual void bound_cache(unsigned readers) const = 0;

    // Every file the raster is made of, as GDAL names them (a VRT's sources,
    // and theirs when they are VRTs too, a header, a .prj, an .aux.xml beside
    // it).
    const std::vector<std::string>& files() const { return files_; }

    // Row i (0 = top line): column_count samples in the band's unit (its scale
    // and offset applied), NaN for no data, in `buffer` (column_count doubles). A
    // read failure, or an infinite value, throws RunError naming the file
    // (and the cell). Safe from several threads at once.
    virtual std::span<const double> read_row(int32_t i, std::span<double> buffer) const = 0;

protected:
    int32_t row_count_ = 0;
    int32_t column_count_ = 0;
    double cell_width_ = 0;
    double value_scale_ = 1;
    double value_offset_ = 0;
    uint64_t cache_bytes_per_reader_ = 0;
    int32_t block_rows_ = 1;
    std::string unit_;
    std::optional<double> band_no_data_;
    std::vector<std::string> files_;
    Georeference georeference_;
};

#endif
