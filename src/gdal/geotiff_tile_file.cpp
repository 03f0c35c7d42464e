// The tiles go through GDAL's GeoTIFF driver, block by block: GDAL
// compresses them on its own threads (NUM_THREADS) and writes them; a block
// written again takes the place of the first one where it fits.
#include "gdal/geotiff_tile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include <cpl_conv.h>
#include <gdal.h>

#include "gdal/gdal_setup.h"
#include "gdal/owned_dataset.h"
#include "gdal/write_failure.h"
#include "shared/levels.h"

namespace {

GDALDataType pixel_type(const GdalImage& image) { return image.tone_bytes == 2 ? GDT_UInt16 : GDT_Byte; }

// The colour table (the background entry transparent) or gray levels, the
// background as the no-data value, and the place on the map.
void describe_geotiff(GDALDatasetH dataset, const GdalImage& image)
{
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const int background = background_of(image.tone_bytes);
    GDALSetRasterNoDataValue(band, background);
    if (image.gray) {
        GDALSetRasterColorInterpretation(band, GCI_GrayIndex);
    } else {
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (int k = 0; k < static_cast<int>(image.palette.size()); ++k) {
            const short alpha = k == background ? 0 : 255;
            const GDALColorEntry entry{image.palette[k].R, image.palette[k].G, image.palette[k].B, alpha};
            GDALSetColorEntry(table, k, &entry);
        }
        GDALSetRasterColorTable(band, table);
        GDALDestroyColorTable(table);
    }
    if (image.georeference.present) {
        double gt[6];
        std::copy(image.georeference.geotransform.begin(), image.georeference.geotransform.end(), gt);
        GDALSetGeoTransform(dataset, gt);
        if (!image.georeference.projection_wkt.empty())
            GDALSetProjection(dataset, image.georeference.projection_wkt.c_str());
    }
}

// GDAL takes how it makes a GeoTIFF's overviews from its configuration,
// which the user's environment may set: TIFF_USE_OVR=YES would put them in
// an .ovr file beside the image (a file no run commits or removes),
// COMPRESS_OVERVIEW=JPEG would make them lossy, PHOTOMETRIC_OVERVIEW=YCBCR
// would fail. While it lives, the overviews are made inside the image, as
// the image is stored: in DEFLATE tiles of 512 x 512 at the same level (so
// that every level is written in tile rows of the same height), without a
// predictor, with the image's colours. The settings are this thread's only;
// an empty value counts as none, and hides the environment's.
// The DEFLATE level of the image's tiles and of its overviews' (see the
// options of the file below).
constexpr const char* deflate_level = "2";

class OverviewsAsTheImage {
public:
    OverviewsAsTheImage()
    {
        for (const auto& [name, value] : settings) CPLSetThreadLocalConfigOption(name, value);
    }
    ~OverviewsAsTheImage()
    {
        for (const auto& [name, value] : settings) CPLSetThreadLocalConfigOption(name, nullptr);
    }
    OverviewsAsTheImage(const OverviewsAsTheImage&) = delete;
    OverviewsAsTheImage& operator=(const OverviewsAsTheImage&) = delete;

private:
    static constexpr std::pair<const char*, const char*> settings[] = {
        {"TIFF_USE_OVR", "NO"},         {"USE_RRD", "NO"},          {"GDAL_TIFF_OVR_BLOCKSIZE", "512"},
        {"COMPRESS_OVERVIEW", "DEFLATE"}, {"ZLEVEL_OVERVIEW", deflate_level},   {"PREDICTOR_OVERVIEW", "1"},
        {"PHOTOMETRIC_OVERVIEW", ""},   {"INTERLEAVE_OVERVIEW", ""}, {"SPARSE_OK_OVERVIEW", "NO"},
    };
};

class GdalTileFile final : public GeoTiffTileFile {
public:
    GdalTileFile(const GdalImage& image, std::vector<int> overview_factors);
    void write_tile_row(size_t level, const TileRow& tile_row) override;
    void read_tile_row(size_t level, TileRow& tile_row, const std::vector<bool>& missing) override;
    void close() override;

private:
    GDALRasterBandH band_of(size_t level) const
    {
        GDALRasterBandH image = GDALGetRasterBand(file_.get(), 1);
        return level == 0 ? image : GDALGetOverview(image, static_cast<int>(level) - 1);
    }
    [[noreturn]] void fail(const std::string& reason, int error) const
    {
        throw write_failure(image_.shown_path, reason, error);
    }
    // Under writing_: GDAL's message for this call, else the first it gave
    // for an earlier call (GDAL writes the tiles its threads compressed in
    // whichever call comes next, and fails every call after a failed write
    // without a word), else `fallback`.
    [[noreturn]] void fail_after(const GdalFailures& failures, const char* fallback, int error)
    {
        if (first_reason_.empty() && !failures.first().empty()) {
            first_reason_ = failures.first();
            first_error_ = error;
        }
        if (first_reason_.empty()) fail(fallback, error);
        fail(first_reason_, first_error_);
    }

    GdalImage image_;
    OwnedDataset file_;
    std::mutex writing_;  // a GDAL dataset is used by one thread at a time
    std::string first_reason_;
    int first_error_ = 0;
};

GdalTileFile::GdalTileFile(const GdalImage& image, std::vector<int> factors) : image_(image)
{
    set_up_gdal();
    const NoSideFiles no_side_files;
    const GdalFailures failures;
    errno = 0;
    const auto check = [&](bool done, const char* fallback) {
        if (done && failures.first().empty()) return;
        fail(failures.first().empty() ? std::string(fallback) : failures.first(), errno);
    };
    GDALDriverH tiff = GDALGetDriverByName("GTiff");
    check(tiff != nullptr, "this GDAL has no GeoTIFF driver");
    // DEFLATE in tiles of 512 x 512 gave the smallest files of the fast
    // choices measured (below strips of one row at the default level, and 6
    // times as fast); level 2 of libdeflate, which GDAL compresses with,
    // takes half the time of its level 1 on sparse lines (level 1 searches
    // long runs of background slowly) and makes files within 2 % of it.
    // Tiles are written whole, once their rows are in: every one, the empty
    // ones too, as readers expect.
    const std::string zlevel = std::string("ZLEVEL=") + deflate_level;
    const char* options[] = {"TILED=YES",    "BLOCKXSIZE=512",       "BLOCKYSIZE=512",   "COMPRESS=DEFLATE",
                             zlevel.c_str(), "NUM_THREADS=ALL_CPUS", "BIGTIFF=IF_SAFER", nullptr};
    file_.reset(GDALCreate(tiff, image_.path.c_str(), image_.column_count, image_.row_count, 1, pixel_type(image_),
                           const_cast<char**>(options)));
    check(file_ != nullptr, "GDAL could not create it");
    describe_geotiff(file_.get(), image_);
    if (!factors.empty()) {
        const OverviewsAsTheImage settings;
        const bool made = GDALBuildOverviews(file_.get(), "NONE", static_cast<int>(factors.size()), factors.data(), 0,
                                             nullptr, nullptr, nullptr) == CE_None;
        check(made, "GDAL could not make the overviews");
    }
    check(true, "GDAL could not create it");
}

void GdalTileFile::write_tile_row(size_t level, const TileRow& tile_row)
{
    const int tone_bytes = image_.tone_bytes;
    GDALRasterBandH band = band_of(level);
    const int32_t width = GDALGetRasterBandXSize(band);
    const auto tile_row_bytes = static_cast<size_t>(tile_size) * static_cast<size_t>(tone_bytes);
    std::vector<unsigned char> tile(static_cast<size_t>(tile_size) * tile_row_bytes);
    const int background = background_of(tone_bytes);
    for (int32_t x = 0; x * tile_size < width; ++x) {
        // The part of a tile beyond the image holds the background.
        const int32_t columns = std::min(tile_size, width - x * tile_size);
        const size_t bytes = static_cast<size_t>(columns) * static_cast<size_t>(tone_bytes);
        for (int32_t y = 0; y < tile_size; ++y) {
            unsigned char* to = tile.data() + static_cast<size_t>(y) * tile_row_bytes;
            size_t filled = 0;
            if (y < tile_row.height) {
                std::memcpy(to, tile_row.rows[static_cast<size_t>(y)].get() + static_cast<size_t>(x) * tile_row_bytes, bytes);
                filled = bytes;
            }
            for (size_t k = filled; k < tile_row_bytes; k += static_cast<size_t>(tone_bytes)) {
                const auto wide = static_cast<uint16_t>(background);
                if (tone_bytes == 2)
                    std::memcpy(to + k, &wide, 2);
                else
                    to[k] = static_cast<unsigned char>(background);
            }
        }
        const std::lock_guard<std::mutex> one_writer(writing_);
        const GdalFailures failures;
        errno = 0;
        if (GDALWriteBlock(band, x, tile_row.index, tile.data()) != CE_None || !failures.first().empty())
            fail_after(failures, "GDAL could not write a tile", errno);
    }
}

void GdalTileFile::read_tile_row(size_t level, TileRow& tile_row, const std::vector<bool>& missing)
{
    const int tone_bytes = image_.tone_bytes;
    GDALRasterBandH band = band_of(level);
    const int32_t width = GDALGetRasterBandXSize(band);
    const auto tile_row_bytes = static_cast<size_t>(tile_size) * static_cast<size_t>(tone_bytes);
    std::vector<unsigned char> tile(static_cast<size_t>(tile_size) * tile_row_bytes);
    for (int32_t x = 0; x * tile_size < width; ++x) {
        {
            const std::lock_guard<std::mutex> one_user(writing_);
            const GdalFailures failures;
            errno = 0;
            if (GDALReadBlock(band, x, tile_row.index, tile.data()) != CE_None || !failures.first().empty())
                fail_after(failures, "GDAL could not read back a tile", errno);
        }
        const size_t bytes = static_cast<size_t>(std::min(tile_size, width - x * tile_size)) * static_cast<size_t>(tone_bytes);
        for (int32_t y = 0; y < tile_row.height; ++y)
            if (missing[static_cast<size_t>(y)])
                std::memcpy(tile_row.rows[static_cast<size_t>(y)].get() + static_cast<size_t>(x) * tile_row_bytes,
                            tile.data() + static_cast<size_t>(y) * tile_row_bytes, bytes);
    }
}

void GdalTileFile::close()
{
    const std::lock_guard<std::mutex> one_user(writing_);
    const NoSideFiles no_side_files;
    const GdalFailures failures;
    errno = 0;
    // The last blocks go to the file as it closes: a full disk shows only then.
    file_.reset();
    if (!failures.first().empty()) fail_after(failures, "", errno);
}

}  // namespace

std::unique_ptr<GeoTiffTileFile> create_geotiff_tile_file(const GdalImage& image, const std::vector<int>& overview_factors)
{
    return std::make_unique<GdalTileFile>(image, overview_factors);
}
