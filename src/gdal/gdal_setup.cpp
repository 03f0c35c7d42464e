#include "gdal/gdal_setup.h"

#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>

void set_up_gdal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        CPLSetErrorHandler(CPLQuietErrorHandler);
        // Reading a model through /vsigzip/ would otherwise leave the index of
        // its stream in a .properties file beside it.
        CPLSetConfigOption("CPL_VSIL_GZIP_WRITE_PROPERTIES", "NO");
        GDALRegister_GTiff();
        GDALRegister_PNG();
        GDALRegister_MEM();
        bound_gdal_cache(0);
    });
}

void register_every_format()
{
    set_up_gdal();
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });  // those already registered stay as they are
}

void bound_gdal_cache(uint64_t reading)
{
    GDALSetCacheMax64(static_cast<GIntBig>(gdal_cache_floor + reading));
}

namespace {

void CPL_STDCALL record_failure(CPLErr kind, CPLErrorNum, const char* message)
{
    auto* failures = static_cast<std::string*>(CPLGetErrorHandlerUserData());
    if ((kind == CE_Failure || kind == CE_Fatal) && failures != nullptr && failures->empty())
        *failures = message != nullptr && *message != '\0' ? message : "an error without a message";
}

}  // namespace

GdalFailures::GdalFailures() { CPLPushErrorHandlerEx(record_failure, &first_); }

GdalFailures::~GdalFailures() { CPLPopErrorHandler(); }

std::string last_gdal_error(const std::string& fallback)
{
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(message) : fallback;
}
