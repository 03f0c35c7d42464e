#include "output/image_format.h"

#include "shared/file_names.h"

std::optional<ImageFormat> image_format_of(const std::string& path)
{
    const std::string extension = extension_of(path);
    if (extension == ".raw") return ImageFormat::raw;
    if (extension == ".bmp") return ImageFormat::bmp;
    if (extension == ".png") return ImageFormat::png;
    if (extension == ".tif" || extension == ".tiff") return ImageFormat::geotiff;
    return std::nullopt;
}
