// The formats of the result image, named by the extension of its file.
#ifndef OUTPUT_IMAGE_FORMAT_H
#define OUTPUT_IMAGE_FORMAT_H

#include <optional>
#include <string>

enum class ImageFormat {
    raw,      // 8-bit rows with a .txt descriptor (the dialogue's raster)
    bmp,      // the 8-bit bitmap (the dialogue's bitmap)
    png,      // through GDAL
    geotiff,  // through GDAL, compressed without loss
};

// The format the extension of `path` names (.raw, .bmp, .png, .tif or
// .tiff, in any case); none for any other.
std::optional<ImageFormat> image_format_of(const std::string& path);

// Whether the format holds tones of 16 bits (a plan of more than 250 levels).
inline bool holds_wide_tones(ImageFormat format) { return format == ImageFormat::png || format == ImageFormat::geotiff; }

// Whether the GDAL module writes that format.
inline bool written_through_gdal(ImageFormat format) { return format == ImageFormat::png || format == ImageFormat::geotiff; }

#endif
