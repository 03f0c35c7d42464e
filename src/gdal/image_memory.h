// Memory for a result image held whole while the engine writes it: pages
// straight from the system, backed by huge pages where the system offers
// them. Tens of megabytes touched once each would otherwise cost thousands
// of page faults, which take longer here than writing the image file.
#ifndef GDAL_IMAGE_MEMORY_H
#define GDAL_IMAGE_MEMORY_H

#include <cstddef>

class ImageMemory {
public:
    // `bytes` of zeroed memory; throws std::bad_alloc when there is none.
    explicit ImageMemory(size_t bytes);
    ~ImageMemory();
    ImageMemory(const ImageMemory&) = delete;
    ImageMemory& operator=(const ImageMemory&) = delete;

    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void* region_ = nullptr;  // what was mapped, from which data_ is aligned
    size_t region_size_ = 0;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

#endif
