// The image file as the program reaches it once GDAL has made it: reads and
// writes at offsets from any thread, by a descriptor the program opened and
// checked is still the run's own file. The module writes a GeoTIFF's tiles
// through it; the program implements it (the module calls nothing of the
// program's but through such an object).
#ifndef GDAL_IMAGE_FILE_ACCESS_H
#define GDAL_IMAGE_FILE_ACCESS_H

#include <cstddef>
#include <cstdint>

// Every call that fails throws RunError naming the image and the system's
// reason.
class ImageFileAccess {
public:
    virtual ~ImageFileAccess() = default;

    // Opens the file again by its path once GDAL has made and closed it: a
    // file that is not the one the run created refuses.
    virtual void open() = 0;

    virtual void write_at(const unsigned char* data, size_t size, uint64_t offset) = 0;
    // Reads `size` bytes at `offset`; fewer (the end of the file) throws.
    virtual void read_at(unsigned char* data, size_t size, uint64_t offset) = 0;
    virtual uint64_t length() = 0;

    // Forces what this process wrote to the disk.
    virtual void sync() = 0;
};

#endif
