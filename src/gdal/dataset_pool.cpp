#include "gdal/dataset_pool.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

#include "gdal/dataset_opening.h"
#include "gdal/gdal_setup.h"
#include "shared/run_error.h"

namespace {

std::atomic<uint64_t> pools_made{0};

// The identity of the file at `path` as GDAL's file layer sees it; a name
// that is not a regular file is refused, as it would make GDAL wait on it.
FileIdentity identity_of(const std::string& path)
{
    VSIStatBufL stat;
    FileIdentity identity;
    if (VSIStatL(path.c_str(), &stat) != 0) return identity;
    if (!VSI_ISREG(stat.st_mode) && !VSI_ISDIR(stat.st_mode))
        throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    // Only a file of the local file system has an identity to compare.
    if (path.rfind("/vsi", 0) == 0) return identity;
    identity.known = true;
    identity.device = static_cast<uint64_t>(stat.st_dev);
    identity.inode = static_cast<uint64_t>(stat.st_ino);
    return identity;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b)
{
    return a.known == b.known && a.device == b.device && a.inode == b.inode;
}

// Whether two datasets of this raster would read through one open file:
// GDAL opens the file of a VRT's raw band once for the whole process
// (CPLOpenShared), so that threads reading two datasets at once move one
// file position under each other and get rows of the wrong places. The VRT
// may be the raster itself or any VRT it is made of.
bool shares_open_files(GDALDatasetH dataset)
{
    const auto raw_band_in = [](const char* xml) { return xml != nullptr && std::strstr(xml, "VRTRawRasterBand") != nullptr; };
    char** own = GDALGetMetadata(dataset, "xml:VRT");
    if (own != nullptr && raw_band_in(own[0])) return true;
    char** files = GDALGetFileList(dataset);
    bool shared = false;
    for (char** file = files; file != nullptr && *file != nullptr && !shared; ++file) {
        if (!EQUAL(CPLGetExtension(*file), "vrt")) continue;
        GByte* text = nullptr;
        // A VRT is a few kilobytes of XML; one too large to read is taken
        // for one that shares.
        shared = !VSIIngestFile(nullptr, *file, &text, nullptr, 64 << 20) ||
                 raw_band_in(reinterpret_cast<const char*>(text));
        VSIFree(text);
    }
    CSLDestroy(files);
    return shared;
}

}  // namespace

DatasetPool::DatasetPool(const std::string& path, int band) : path_(path), band_(band), serial_(++pools_made)
{
    set_up_gdal();
    identity_ = identity_of(path);
    first_ = open_for_reading(path);
    if (!same_identity(identity_of(path), identity_)) {
        GDALClose(first_);
        throw RunError(path + ": the file changed while it was opened");
    }
    idle_.push_back(first_);  // the first reader's
    one_dataset_ = shares_open_files(first_);
}

DatasetPool::~DatasetPool()
{
    for (GDALDatasetH handle : opened_) GDALClose(handle);
    GDALClose(first_);
}

GDALDatasetH DatasetPool::take()
{
    // A thread takes back the dataset it read last when it is idle: the
    // blocks GDAL caches belong to a dataset, and a thread reads on from where
    // it stopped, so that a compressed block is not decompressed again for
    // another dataset.
    thread_local std::pair<uint64_t, GDALDatasetH> last_used{0, nullptr};
    GDALDatasetH handle = nullptr;
    {
        std::unique_lock<std::mutex> hold(mutex_);
        if (one_dataset_) given_back_.wait(hold, [&] { return !idle_.empty(); });
        auto idle = std::find(idle_.begin(), idle_.end(), last_used.first == serial_ ? last_used.second : nullptr);
        if (idle == idle_.end() && !idle_.empty()) idle = idle_.end() - 1;
        if (idle != idle_.end()) {
            handle = *idle;
            idle_.erase(idle);
        }
    }
    if (handle == nullptr) {
        handle = open_again();
        const std::lock_guard<std::mutex> hold(mutex_);
        opened_.push_back(handle);
    }
    last_used = {serial_, handle};
    return handle;
}

void DatasetPool::give_back(GDALDatasetH handle)
{
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        idle_.push_back(handle);
    }
    given_back_.notify_one();
}

GDALDatasetH DatasetPool::open_again() const
{
    const auto changed = [&] { return RunError(path_ + ": the file changed while it was read (another file took its name)"); };
    if (!same_identity(identity_of(path_), identity_)) throw changed();
    GDALDatasetH handle = open_for_reading(path_);
    if (!same_identity(identity_of(path_), identity_) || GDALGetRasterCount(handle) < band_ ||
        GDALGetRasterXSize(handle) != GDALGetRasterXSize(first_) ||
        GDALGetRasterYSize(handle) != GDALGetRasterYSize(first_)) {
        GDALClose(handle);
        throw changed();
    }
    return handle;
}
