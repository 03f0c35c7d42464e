// The GDAL datasets through which the reading threads read one raster. A
// dataset is read by one thread at a time: a thread that finds every dataset
// busy opens one more (as many as threads read at once), so that reads, and
// the decompression of compressed blocks, go on in parallel. Every opening
// must find the file first opened: a file put in its place while the run
// reads (a FIFO, a wider raster) ends the run rather than giving a picture
// of two files.
#ifndef GDAL_DATASET_POOL_H
#define GDAL_DATASET_POOL_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gdal.h>

// What a file was when it was first opened, to tell it from another put in
// its place later.
struct FileIdentity {
    bool known = false;  // a local file (not one inside an archive, or of the network)
    uint64_t device = 0;
    uint64_t inode = 0;
};

class DatasetPool {
public:
    // Sets GDAL up and opens the raster at `path` for its first reader; a
    // dataset opened later must still have band `band`. A name that is not a
    // regular file, a raster GDAL cannot read, or a file replaced while it was
    // opened throws RunError naming it.
    DatasetPool(const std::string& path, int band);
    ~DatasetPool();  // closes every dataset
    DatasetPool(const DatasetPool&) = delete;
    DatasetPool& operator=(const DatasetPool&) = delete;

    // The dataset first opened, which says what the raster is.
    GDALDatasetH first() const { return first_; }

    // A dataset for this thread alone until it gives it back: the one it read
    // last when that one is idle, else any idle one, else one opened again
    // (but for a raster whose datasets would share their open files: then
    // the first dataset alone, as soon as it is idle). Throws RunError when
    // the file changed since it was first opened.
    GDALDatasetH take();

    // Gives back a dataset `take` gave.
    void give_back(GDALDatasetH handle);

private:
    // Opens the raster again for one more reading thread: it must still be
    // the file first opened, with as many rows and columns.
    GDALDatasetH open_again() const;

    std::string path_;
    int band_;
    FileIdentity identity_;
    GDALDatasetH first_ = nullptr;
    bool one_dataset_ = false;  // its datasets would share their open files
    std::mutex mutex_;          // over idle_ and opened_
    std::condition_variable given_back_;
    std::vector<GDALDatasetH> idle_;
    std::vector<GDALDatasetH> opened_;  // those opened after the first
    uint64_t serial_;                   // tells this pool's datasets from another's in a thread's last one
};

#endif
