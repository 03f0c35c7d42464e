#include "gdal/image_memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)

#include <sys/mman.h>

namespace {
constexpr size_t huge_page = size_t{2} << 20;
}

// The region is mapped a huge page larger than asked, so that the memory
// handed out can start on a huge page's boundary; the advice is only advice.
ImageMemory::ImageMemory(size_t bytes) : size_(bytes)
{
    region_size_ = bytes + huge_page;
    region_ = mmap(nullptr, region_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region_ == MAP_FAILED) {
        region_ = nullptr;
        throw std::bad_alloc();
    }
    const auto start = (reinterpret_cast<uintptr_t>(region_) + huge_page - 1) & ~(uintptr_t{huge_page} - 1);
    data_ = reinterpret_cast<unsigned char*>(start);
    madvise(data_, bytes, MADV_HUGEPAGE);
}

ImageMemory::~ImageMemory()
{
    if (region_ != nullptr) munmap(region_, region_size_);
}

#else

ImageMemory::ImageMemory(size_t bytes) : size_(bytes)
{
    region_ = std::calloc(bytes > 0 ? bytes : 1, 1);
    if (region_ == nullptr) throw std::bad_alloc();
    data_ = static_cast<unsigned char*>(region_);
}

ImageMemory::~ImageMemory() { std::free(region_); }

#endif
