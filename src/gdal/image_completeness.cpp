#include "gdal/image_completeness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <cpl_vsi.h>
#include <gdal.h>

#include "gdal/owned_dataset.h"

namespace {

// A PNG ends with its IEND chunk: no data, then the chunk's fixed checksum.
bool png_ends_whole(const std::string& path, uint64_t length)
{
    static const unsigned char iend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    unsigned char tail[12] = {};
    VSILFILE* f = VSIFOpenL(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool read = length >= sizeof tail && VSIFSeekL(f, length - sizeof tail, SEEK_SET) == 0 &&
                      VSIFReadL(tail, 1, sizeof tail, f) == sizeof tail;
    VSIFCloseL(f);
    return read && std::memcmp(tail, iend, sizeof tail) == 0;
}

// A GeoTIFF that opens may still lack the end of its data: each block its
// directory lists must end within the file.
bool geotiff_ends_whole(const GdalImage& image, uint64_t length)
{
    OwnedDataset written(GDALOpen(image.path.c_str(), GA_ReadOnly));
    if (!written) return false;
    GDALRasterBandH band = GDALGetRasterBand(written.get(), 1);
    int block_width = 0, block_height = 0;
    GDALGetBlockSize(band, &block_width, &block_height);
    const int across = (image.column_count + block_width - 1) / std::max(block_width, 1);
    const int down = (image.row_count + block_height - 1) / std::max(block_height, 1);
    for (int y = 0; y < down; ++y)
        for (int x = 0; x < across; ++x) {
            const std::string at = std::to_string(x) + "_" + std::to_string(y);
            const char* offset = GDALGetMetadataItem(band, ("BLOCK_OFFSET_" + at).c_str(), "TIFF");
            const char* size = GDALGetMetadataItem(band, ("BLOCK_SIZE_" + at).c_str(), "TIFF");
            if (offset == nullptr || size == nullptr) return false;
            if (std::strtoull(offset, nullptr, 10) + std::strtoull(size, nullptr, 10) > length) return false;
        }
    return true;
}

}  // namespace

bool ends_whole(const GdalImage& image)
{
    VSIStatBufL stat;
    if (VSIStatL(image.path.c_str(), &stat) != 0) return false;
    const auto length = static_cast<uint64_t>(stat.st_size);
    return image.format == GdalFormat::png ? png_ends_whole(image.path, length) : geotiff_ends_whole(image, length);
}
