// A GDAL dataset that closes when its owner lets it go, so that every way
// out of a function (a failure thrown included) closes what it opened; a
// written file is only whole once GDAL has closed it.
#ifndef GDAL_OWNED_DATASET_H
#define GDAL_OWNED_DATASET_H

#include <memory>

#include <gdal.h>

struct DatasetCloser {
    void operator()(void* handle) const { GDALClose(static_cast<GDALDatasetH>(handle)); }
};
using OwnedDataset = std::unique_ptr<void, DatasetCloser>;

#endif
