#include "gdal_setup.h"

#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

void set_up_gdal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        CPLSetErrorHandler(CPLQuietErrorHandler);
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        GDALAllRegister();
    });
}

std::string last_gdal_error(const std::string& fallback)
{
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(message) : fallback;
}
