#include "gdal_writers.h"

#include <memory>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "../cli/gdal_setup.h"
#include "../run_error.h"

namespace {

struct DatasetCloser {
    void operator()(void* handle) const { GDALClose(static_cast<GDALDatasetH>(handle)); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

[[noreturn]] void fail(const std::string& shown_path, const std::string& fallback)
{
    throw RunError("cannot write " + shown_path + ": " + last_gdal_error(fallback));
}

// The image in memory, with its palette and georeference, ready to be copied
// into a file of any format.
Dataset image_in_memory(const std::string& shown_path, unsigned char** tab3, int32_t nb_lig1, int32_t nb_col1,
                        const std::array<Color32, 256>& palette, bool gray, const Georeference& georeference)
{
    GDALDriverH memory = GDALGetDriverByName("MEM");
    Dataset image(GDALCreate(memory, "", nb_col1, nb_lig1, 1, GDT_Byte, nullptr));
    if (!image) fail(shown_path, "not enough memory");
    GDALRasterBandH band = GDALGetRasterBand(image.get(), 1);
    for (int32_t i = 0; i < nb_lig1; ++i)
        if (GDALRasterIO(band, GF_Write, 0, i, nb_col1, 1, tab3[i], nb_col1, 1, GDT_Byte, 0, 0) != CE_None)
            fail(shown_path, "not enough memory");
    if (gray) {
        GDALSetRasterColorInterpretation(band, GCI_GrayIndex);
    } else {
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (int k = 0; k < 256; ++k) {
            const GDALColorEntry entry{palette[k].R, palette[k].G, palette[k].B, 255};
            GDALSetColorEntry(table, k, &entry);
        }
        GDALSetRasterColorTable(band, table);
        GDALDestroyColorTable(table);
    }
    if (georeference.present) {
        double gt[6];
        std::copy(georeference.geotransform.begin(), georeference.geotransform.end(), gt);
        GDALSetGeoTransform(image.get(), gt);
        if (!georeference.projection_wkt.empty()) GDALSetProjection(image.get(), georeference.projection_wkt.c_str());
    }
    return image;
}

int CPL_STDCALL report_progress(double share, const char*, void* on_progress)
{
    (*static_cast<const std::function<void(double)>*>(on_progress))(share);
    return TRUE;
}

}  // namespace

void write_gdal_image(const std::string& path, const std::string& shown_path, GdalFormat format, unsigned char** tab3,
                      int32_t nb_lig1, int32_t nb_col1, const std::array<Color32, 256>& palette, bool gray,
                      const Georeference& georeference, const std::function<void(double)>& on_progress)
{
    set_up_gdal();
    const Dataset image = image_in_memory(shown_path, tab3, nb_lig1, nb_col1, palette, gray, georeference);
    GDALDriverH driver = GDALGetDriverByName(format == GdalFormat::png ? "PNG" : "GTiff");
    if (driver == nullptr) fail(shown_path, "this GDAL has no driver for the format");
    // Compressed losslessly; a GeoTIFF beyond 4 GiB is written as a BigTIFF.
    const char* tiff_options[] = {"COMPRESS=DEFLATE", "BIGTIFF=IF_SAFER", nullptr};
    const Dataset file(GDALCreateCopy(driver, path.c_str(), image.get(), TRUE,
                                      format == GdalFormat::geotiff ? const_cast<char**>(tiff_options) : nullptr,
                                      report_progress, const_cast<std::function<void(double)>*>(&on_progress)));
    if (!file) fail(shown_path, "GDAL could not write it");
}

std::string prj_text(const std::string& projection_wkt)
{
    OGRSpatialReferenceH srs = OSRNewSpatialReference(projection_wkt.c_str());
    if (srs == nullptr) return projection_wkt;
    char* esri = nullptr;
    const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
    std::string text = projection_wkt;
    if (OSRExportToWktEx(srs, &esri, options) == OGRERR_NONE && esri != nullptr) text = esri;
    CPLFree(esri);
    OSRDestroySpatialReference(srs);
    return text;
}

std::string wkt_of_prj(const std::string& prj_path, const std::string& text)
{
    set_up_gdal();
    CPLErrorReset();
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    // Read line by line as GDAL reads the .prj of an ASCII grid: ESRI WKT (or
    // plain WKT), or the older keyword form. Not as a "user input", which
    // would also take the text as the name of a file to read.
    char** lines = CSLTokenizeString2(text.c_str(), "\r\n", 0);
    bool understood = lines != nullptr && OSRImportFromESRI(srs, lines) == OGRERR_NONE;
    CSLDestroy(lines);
    char* wkt = nullptr;
    if (understood) understood = OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt != nullptr && *wkt != '\0';
    const std::string result = understood ? wkt : "";
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    if (!understood)
        throw RunError(prj_path + ": GDAL does not understand the projection it holds (" +
                       last_gdal_error("not a projection in ESRI WKT or the ESRI keyword form") + ")");
    return result;
}

std::string gdal_release() { return std::string("GDAL ") + GDALVersionInfo("RELEASE_NAME"); }
