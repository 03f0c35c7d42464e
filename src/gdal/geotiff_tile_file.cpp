// GDAL makes the file with everything but the tiles (it owns the GeoTIFF
// keys, the colour table and no-data value, the overviews' directories) and
// closes it. The tiles are then compressed by the thread whose rows
// completed them (libdeflate, the library GDAL's own DEFLATE uses) and
// written at places reserved past the file's end, so that no thread or
// process waits for another to write; the index of their places is written
// last (tiff_tile_index.h).
#include "gdal/geotiff_tile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <atomic>
#include <mutex>
#include <new>
#include <utility>

#include <cpl_conv.h>
#include <gdal.h>
#include <libdeflate.h>

#include "gdal/gdal_setup.h"
#include "gdal/owned_dataset.h"
#include "gdal/tiff_tile_index.h"
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
// would fail. While it lives, the overviews' directories are made inside the
// image, as the image is stored: DEFLATE tiles of 512 x 512 (so that every
// level is written in tile rows of the same height), without a predictor,
// with the image's colours, none of their tiles written. The settings are
// this thread's only; an empty value counts as none, and hides the
// environment's.
// libdeflate's level 2 takes half the time of its level 1 on sparse lines
// (level 1 searches long runs of background slowly) and makes files within
// 2 % of it.
constexpr int deflate_level = 2;

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
        {"COMPRESS_OVERVIEW", "DEFLATE"}, {"PREDICTOR_OVERVIEW", "1"}, {"PHOTOMETRIC_OVERVIEW", ""},
        {"INTERLEAVE_OVERVIEW", ""},    {"SPARSE_OK_OVERVIEW", "YES"},
    };
};

// The file without its tiles: tiled 512 x 512 in DEFLATE, a BigTIFF when its
// data might pass 4 GiB (GDAL's own guess, as for every GeoTIFF it writes),
// sparse so that GDAL writes none of the tiles.
void create_empty_geotiff(const GdalImage& image, std::vector<int> factors)
{
    set_up_gdal();
    const NoSideFiles no_side_files;
    const GdalFailures failures;
    errno = 0;
    const auto check = [&](bool done, const char* fallback) {
        if (done && failures.first().empty()) return;
        throw write_failure(image.shown_path, failures.first().empty() ? std::string(fallback) : failures.first(), errno);
    };
    GDALDriverH tiff = GDALGetDriverByName("GTiff");
    check(tiff != nullptr, "this GDAL has no GeoTIFF driver");
    const char* options[] = {"TILED=YES",        "BLOCKXSIZE=512",  "BLOCKYSIZE=512", "COMPRESS=DEFLATE",
                             "BIGTIFF=IF_SAFER", "SPARSE_OK=TRUE", nullptr};
    OwnedDataset file(GDALCreate(tiff, image.path.c_str(), image.column_count, image.row_count, 1, pixel_type(image),
                                 const_cast<char**>(options)));
    check(file != nullptr, "GDAL could not create it");
    describe_geotiff(file.get(), image);
    if (!factors.empty()) {
        const OverviewsAsTheImage settings;
        const bool made = GDALBuildOverviews(file.get(), "NONE", static_cast<int>(factors.size()), factors.data(), 0,
                                             nullptr, nullptr, nullptr) == CE_None;
        check(made, "GDAL could not make the overviews");
    }
    file.reset();
    check(true, "GDAL could not create it");
}

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

class DeflateTileFile final : public GeoTiffTileFile {
public:
    DeflateTileFile(const GdalImage& image, const std::vector<int>& factors, ImageFileAccess& file, TileShare* share);
    void write_tile_row(size_t level, const TileRow& tile_row) override;
    void read_tile_row(size_t level, TileRow& tile_row, const std::vector<bool>& missing) override;
    void close() override;

private:
    bool first() const { return share_ == nullptr || share_->process() == 0; }
    size_t across(size_t level) const { return static_cast<size_t>((levels_[level].width + tile_size - 1) / tile_size); }
    uint64_t reserve(uint64_t bytes) { return share_ != nullptr ? share_->reserve(bytes) : free_.fetch_add(bytes); }
    // The columns of tile x of level `level` inside the image, in bytes.
    size_t bytes_inside(size_t level, size_t x) const
    {
        const auto columns = std::min<int64_t>(tile_size, levels_[level].width - static_cast<int64_t>(x) * tile_size);
        return static_cast<size_t>(columns) * tone_bytes_;
    }

    GdalImage image_;
    size_t tone_bytes_;
    size_t tile_bytes_;
    ImageFileAccess& file_;
    TileShare* share_;
    std::atomic<uint64_t> free_{0};  // the file's first free byte, alone
    std::mutex places_lock_;
    std::vector<DirectoryTiles> levels_;
};

DeflateTileFile::DeflateTileFile(const GdalImage& image, const std::vector<int>& factors, ImageFileAccess& file,
                                 TileShare* share)
    : image_(image),
      tone_bytes_(static_cast<size_t>(image.tone_bytes)),
      tile_bytes_(static_cast<size_t>(tile_size) * tile_size * tone_bytes_),
      file_(file),
      share_(share)
{
    levels_.push_back({image.column_count, image.row_count, {}});
    for (int factor : factors)
        levels_.push_back({(image.column_count + factor - 1) / factor, (image.row_count + factor - 1) / factor, {}});
    for (size_t level = 0; level < levels_.size(); ++level) {
        const auto down = static_cast<size_t>((levels_[level].height + tile_size - 1) / tile_size);
        levels_[level].places.resize(across(level) * down);
    }
    if (first()) create_empty_geotiff(image_, factors);
    file_.open();
    if (!first()) return;
    const uint64_t end = file_.length();
    if (share_ != nullptr)
        share_->set_free_space(end);
    else
        free_ = end;
}

void DeflateTileFile::write_tile_row(size_t level, const TileRow& tile_row)
{
    const std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(deflate_level));
    if (!compressor) throw std::bad_alloc();
    const size_t tile_row_bytes = static_cast<size_t>(tile_size) * tone_bytes_;
    const auto background = static_cast<uint16_t>(background_of(image_.tone_bytes));
    std::vector<unsigned char> tile(tile_bytes_);
    std::vector<unsigned char> out(libdeflate_zlib_compress_bound(compressor.get(), tile_bytes_));
    std::vector<unsigned char> compressed;  // the tiles of the row, one after the other
    std::vector<size_t> ends;
    for (size_t x = 0; x < across(level); ++x) {
        // The part of a tile beyond the image holds the background.
        const size_t bytes = bytes_inside(level, x);
        for (int32_t y = 0; y < tile_size; ++y) {
            unsigned char* to = tile.data() + static_cast<size_t>(y) * tile_row_bytes;
            const size_t filled = y < tile_row.height ? bytes : 0;
            if (filled > 0) std::memcpy(to, tile_row.rows[static_cast<size_t>(y)].get() + x * tile_row_bytes, bytes);
            for (size_t k = filled; k < tile_row_bytes; k += tone_bytes_) std::memcpy(to + k, &background, tone_bytes_);
        }
        const size_t size = libdeflate_zlib_compress(compressor.get(), tile.data(), tile.size(), out.data(), out.size());
        compressed.insert(compressed.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
        ends.push_back(compressed.size());
    }
    const uint64_t offset = reserve(compressed.size());
    file_.write_at(compressed.data(), compressed.size(), offset);
    const std::lock_guard<std::mutex> hold(places_lock_);
    for (size_t x = 0; x < ends.size(); ++x) {
        const size_t begin = x == 0 ? 0 : ends[x - 1];
        levels_[level].places[static_cast<size_t>(tile_row.index) * across(level) + x] = {offset + begin, ends[x] - begin};
    }
}

void DeflateTileFile::read_tile_row(size_t level, TileRow& tile_row, const std::vector<bool>& missing)
{
    const std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor) throw std::bad_alloc();
    const size_t tile_row_bytes = static_cast<size_t>(tile_size) * tone_bytes_;
    std::vector<unsigned char> tile(tile_bytes_), compressed;
    for (size_t x = 0; x < across(level); ++x) {
        TilePlace place;
        {
            const std::lock_guard<std::mutex> hold(places_lock_);
            place = levels_[level].places[static_cast<size_t>(tile_row.index) * across(level) + x];
        }
        compressed.resize(place.bytes);
        file_.read_at(compressed.data(), compressed.size(), place.offset);
        if (libdeflate_zlib_decompress(decompressor.get(), compressed.data(), compressed.size(), tile.data(),
                                       tile.size(), nullptr) != LIBDEFLATE_SUCCESS)
            throw write_failure(image_.shown_path, "a tile read back from it does not decompress", 0);
        const size_t bytes = bytes_inside(level, x);
        for (int32_t y = 0; y < tile_row.height; ++y)
            if (missing[static_cast<size_t>(y)])
                std::memcpy(tile_row.rows[static_cast<size_t>(y)].get() + x * tile_row_bytes,
                            tile.data() + static_cast<size_t>(y) * tile_row_bytes, bytes);
    }
}

// The places of every tile, as numbers: those of a share are each known to
// the tile's owner only (0 elsewhere), and taken at their largest.
void DeflateTileFile::close()
{
    file_.sync();
    if (share_ != nullptr) {
        std::vector<uint64_t> numbers;
        for (const DirectoryTiles& level : levels_)
            for (const TilePlace& place : level.places) numbers.insert(numbers.end(), {place.offset, place.bytes});
        share_->largest_onto_first(numbers);
        size_t k = 0;
        for (DirectoryTiles& level : levels_)
            for (TilePlace& place : level.places) place = {numbers[k], numbers[k + 1]}, k += 2;
    }
    if (!first()) return;
    for (const DirectoryTiles& level : levels_)
        for (const TilePlace& place : level.places)
            if (place.bytes == 0) throw RunError("cannot write " + image_.shown_path + ": tiles of the image never came");
    // Every tile is written: the index goes past the last place reserved.
    write_tile_index(file_, image_.shown_path, levels_, reserve(0));
    file_.sync();
}

}  // namespace

std::unique_ptr<GeoTiffTileFile> create_geotiff_tile_file(const GdalImage& image, const std::vector<int>& overview_factors,
                                                          ImageFileAccess& file, TileShare* share)
{
    return std::make_unique<DeflateTileFile>(image, overview_factors, file, share);
}
