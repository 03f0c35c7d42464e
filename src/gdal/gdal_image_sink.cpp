// The sink of a PNG or GeoTIFF result. Rows arrive in any order, from
// several threads, and a repaired stripe writes some again, while a PNG or a
// compressed GeoTIFF can only be written from top to bottom, once: so the
// rows are gathered first in a scratch image (in memory up to
// image_memory_budget, beyond it an uncompressed GeoTIFF), and GDAL copies
// the image file from it once every row is in. A failure GDAL reports at any
// step of the writing ends the run, and the file must end whole.
#include "gdal/gdal_module.h"

#include "shared/levels.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <gdal.h>

#include "gdal/gdal_setup.h"
#include "gdal/image_completeness.h"
#include "gdal/image_memory.h"
#include "gdal/min_overviews.h"
#include "gdal/owned_dataset.h"
#include "gdal/streamed_geotiff_sink.h"
#include "shared/run_error.h"

namespace {

[[noreturn]] void fail(const std::string& shown_path, const std::string& fallback)
{
    throw RunError("cannot write " + shown_path + ": " + last_gdal_error(fallback));
}

GDALDataType pixel_type(const GdalImage& image) { return image.tone_bytes == 2 ? GDT_UInt16 : GDT_Byte; }

// Gives the image its colours (a palette, or gray levels), its transparent
// background and its place on the map; the copy of the image file takes them
// from here (a GeoTIFF keeps the background as its no-data value, a PNG as
// its transparent colour).
void describe_image(GDALDatasetH dataset, const GdalImage& image)
{
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const int background = background_of(image.tone_bytes);
    GDALSetRasterNoDataValue(band, background);
    // A PNG's palette holds 256 colours at most.
    if (image.gray || (image.format == GdalFormat::png && image.tone_bytes == 2)) {
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

int CPL_STDCALL report_progress(double share, const char*, void* on_progress)
{
    (*static_cast<const std::function<void(double)>*>(on_progress))(share);
    return TRUE;
}

class ScratchImageSink final : public GdalImageSink {
public:
    ScratchImageSink(const std::string& scratch_path, const GdalImage& image);
    void write_row(int32_t i, ToneRow row) override;
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
    void write_image(const std::function<void(double)>& on_progress) override;
    uint64_t bytes_held() const override { return memory_ ? memory_->size() : 0; }

private:
    GdalImage image_;
    size_t row_bytes_;
    std::unique_ptr<ImageMemory> memory_;  // the image, when held in memory
    OwnedDataset scratch_;                 // over memory_, or the scratch GeoTIFF
    GDALRasterBandH band_ = nullptr;
    std::mutex writing_;  // a GDAL dataset is written by one thread at a time
};

ScratchImageSink::ScratchImageSink(const std::string& scratch_path, const GdalImage& image)
    : image_(image), row_bytes_(static_cast<size_t>(image.column_count) * static_cast<size_t>(image.tone_bytes))
{
    set_up_gdal();
    const NoSideFiles no_side_files;
    const uint64_t image_bytes = uint64_t{row_bytes_} * static_cast<uint64_t>(image_.row_count);
    if (image_bytes <= image_memory_budget) {
        // A dataset of GDAL's memory driver over the image's own memory.
        memory_ = std::make_unique<ImageMemory>(static_cast<size_t>(image_bytes));
        GDALDriverH mem = GDALGetDriverByName("MEM");
        if (mem == nullptr) fail(image_.shown_path, "this GDAL has no memory driver");
        scratch_.reset(GDALCreate(mem, "", image_.column_count, image_.row_count, 0, pixel_type(image_), nullptr));
        char pointer[64];
        std::snprintf(pointer, sizeof pointer, "DATAPOINTER=%p", static_cast<void*>(memory_->data()));
        const char* options[] = {pointer, nullptr};
        if (!scratch_ || GDALAddBand(scratch_.get(), pixel_type(image_), const_cast<char**>(options)) != CE_None)
            fail(image_.shown_path, "GDAL could not hold the image in memory");
    } else {
        GDALDriverH tiff = GDALGetDriverByName("GTiff");
        if (tiff == nullptr) fail(image_.shown_path, "this GDAL has no GeoTIFF driver");
        // Uncompressed, so that a row written again (a repaired stripe) takes
        // the place of the first one.
        const char* options[] = {"COMPRESS=NONE", "BIGTIFF=IF_NEEDED", nullptr};
        scratch_.reset(GDALCreate(tiff, scratch_path.c_str(), image_.column_count, image_.row_count, 1, pixel_type(image_),
                                  const_cast<char**>(options)));
        if (!scratch_) fail(image_.shown_path, "GDAL could not create its temporary file");
    }
    band_ = GDALGetRasterBand(scratch_.get(), 1);
    describe_image(scratch_.get(), image_);
}

void ScratchImageSink::write_row(int32_t i, ToneRow row) { write_rows(i, 1, row.size(), row.data()); }

void ScratchImageSink::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    if (memory_) {  // threads write distinct rows: no lock
        for (int32_t k = 0; k < count; ++k)
            std::memcpy(memory_->data() + static_cast<size_t>(first + k) * row_bytes_,
                        rows + static_cast<size_t>(k) * width, row_bytes_);
        return;
    }
    const std::lock_guard<std::mutex> one_writer(writing_);
    if (GDALRasterIO(band_, GF_Write, 0, first, image_.column_count, count, const_cast<unsigned char*>(rows),
                     image_.column_count, count, pixel_type(image_), 0, static_cast<int>(width)) != CE_None)
        fail(image_.shown_path, "GDAL could not write a row to its temporary file");
}

void ScratchImageSink::write_image(const std::function<void(double)>& on_progress)
{
    // Every failure GDAL reports from here on ends the run, even where the
    // call that wrote returned a result.
    const GdalFailures failures;
    const NoSideFiles no_side_files;
    // A codec's own message ("libpng: Write Error") does not say why a write
    // failed; the system's reason is added when it is one a write gives.
    errno = 0;
    const auto check = [&](bool done, const char* fallback) {
        if (done && failures.first().empty()) return;
        std::string reason = failures.first().empty() ? std::string(fallback) : failures.first();
        const int error = errno;
        if (error == ENOSPC || error == EFBIG || error == EDQUOT || error == EIO) {
            const std::string system = std::strerror(error);
            if (reason.find(system) == std::string::npos) reason += " (" + system + ")";
        }
        throw RunError("cannot write " + image_.shown_path + ": " + reason);
    };
    // Rows GDAL's cache wrote out on its own, from whichever thread needed
    // room, report their failures here. GDAL keeps the last bytes of a
    // GeoTIFF in a buffer of its own: they are written now, so that a full
    // disk is reported as such, not as a read error of the copy.
    check(GDALFlushRasterCache(band_) == CE_None, "GDAL could not write its temporary file");
    GDALFlushCache(scratch_.get());
    check(true, "GDAL could not write its temporary file");
    GDALDriverH driver = GDALGetDriverByName(image_.format == GdalFormat::png ? "PNG" : "GTiff");
    check(driver != nullptr, "this GDAL has no driver for the format");
    // A large GeoTIFF gets its overviews inside, each reduced from the one
    // before it so that lines stay visible.
    std::vector<int> factors =
        image_.format == GdalFormat::geotiff ? overview_factors(image_.row_count, image_.column_count) : std::vector<int>{};
    if (!factors.empty()) {
        check(GDALBuildOverviews(scratch_.get(), "NONE", static_cast<int>(factors.size()), factors.data(), 0, nullptr,
                                 nullptr, nullptr) == CE_None,
              "GDAL could not make the overviews");
        for (int k = 0; k < static_cast<int>(factors.size()); ++k)
            check(reduce_by_min(k == 0 ? band_ : GDALGetOverview(band_, k - 1), GDALGetOverview(band_, k),
                                image_.tone_bytes),
                  "GDAL could not write the overviews");
        GDALFlushCache(scratch_.get());
        check(true, "GDAL could not write the overviews");
    }
    // Compressed losslessly, on every core for a GeoTIFF; a GeoTIFF beyond 4
    // GiB is written as a BigTIFF. The fastest level of DEFLATE, in tiles of
    // 512 x 512, gave the smallest files of the fast choices measured (below
    // strips of one row at the default level, and 6 times as fast), and
    // level 2 the fastest PNG less than 10 % larger than at the default level.
    const char* tiff_options[] = {"COMPRESS=DEFLATE", "ZLEVEL=1", "TILED=YES", "BLOCKXSIZE=512", "BLOCKYSIZE=512",
                                  "NUM_THREADS=ALL_CPUS", "BIGTIFF=IF_SAFER", "COPY_SRC_OVERVIEWS=YES", nullptr};
    const char* png_options[] = {"ZLEVEL=2", nullptr};
    OwnedDataset file(GDALCreateCopy(driver, image_.path.c_str(), scratch_.get(), TRUE,
                                     const_cast<char**>(image_.format == GdalFormat::geotiff ? tiff_options : png_options),
                                     report_progress, const_cast<std::function<void(double)>*>(&on_progress)));
    check(file != nullptr, "GDAL could not write it");
    // The last blocks go to the file as it closes: a full disk shows only then.
    file.reset();
    check(true, "GDAL could not finish it");
    // This GDAL does not always say when the last bytes could not be written
    // as it closes the file (a full disk): the file must end as its format
    // ends.
    check(ends_whole(image_), "the file is incomplete (the disk may be full)");
}

}  // namespace

std::unique_ptr<GdalImageSink> open_gdal_image_sink(const std::string& scratch_path, const GdalImage& image)
{
    if (image.format == GdalFormat::geotiff) return open_streamed_geotiff_sink(image);
    return std::make_unique<ScratchImageSink>(scratch_path, image);
}
