// A build without GDAL: its own formats only; every other raster is refused.
#include "../input/gdal_row_source.h"
#include "../output/gdal_writers.h"
#include "../run_error.h"

struct GdalRowSource::Dataset {};

GdalRowSource::GdalRowSource(const std::string& path, int, int) : path_(path)
{
    throw RunError(path + ": this build reads only .raw and .asc models (it was built without GDAL)");
}

GdalRowSource::~GdalRowSource() = default;

std::span<const double> GdalRowSource::read_row(int32_t, std::span<double> buffer) const { return buffer; }

void write_gdal_image(const std::string&, const std::string& shown_path, GdalFormat, unsigned char**, int32_t,
                      int32_t, const std::array<Color32, 256>&, bool, const Georeference&,
                      const std::function<void(double)>&)
{
    throw RunError("cannot write " + shown_path + ": this build writes only .bmp and .raw (it was built without GDAL)");
}

std::string prj_text(const std::string& projection_wkt) { return projection_wkt; }

std::string gdal_version_text() { return "built without GDAL"; }
