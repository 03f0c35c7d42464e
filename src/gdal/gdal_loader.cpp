// Loads the GDAL module once, from beside the program or from where it was
// built.
#include <mutex>

#include "gdal/gdal_formats.h"
#include "platform/platform.h"
#include "shared/run_error.h"

namespace {

constexpr const char* kModuleName = "libisolines_gdal.so";

struct Loaded {
    const GdalFormats* formats = nullptr;
    std::string problem;
};

const Loaded& loaded()
{
    static Loaded module;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const std::string& path : {platform::program_folder() + kModuleName, std::string(ISOLINES_GDAL_MODULE)}) {
            using Entry = const GdalFormats* (*)();
            void* entry = nullptr;
            const platform::Status found = platform::module_symbol(path, "isolines_gdal_formats", entry);
            if (found) {
                module.formats = reinterpret_cast<Entry>(entry)();
                return;
            }
            module.problem = found.reason();
        }
    });
    return module;
}

}  // namespace

const GdalFormats& gdal_formats(const std::string& file)
{
    const Loaded& module = loaded();
    if (module.formats == nullptr) throw RunError(file + ": the GDAL module cannot be loaded: " + module.problem);
    return *module.formats;
}

std::string projection_from_prj(const std::string& prj_path, const std::string& text)
{
    return gdal_formats(prj_path).wkt_of_prj(prj_path, text);
}

std::string prj_text_of(const std::string& file, const std::string& projection_wkt)
{
    return gdal_formats(file).prj_text(projection_wkt);
}

std::string axis_mapping_of(const std::string& file, const std::string& projection_wkt)
{
    return gdal_formats(file).axis_mapping(projection_wkt);
}

std::string gdal_version_text()
{
    const Loaded& module = loaded();
    return module.formats != nullptr ? module.formats->version() : "GDAL module not loaded: " + module.problem;
}
