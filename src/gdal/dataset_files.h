// Every file a raster is made of. GDAL lists a dataset's files (its header,
// .prj, .aux.xml, a VRT's sources), but not the sources of a VRT among those
// sources, nor sources it cannot find by their name alone
// ("GTIFF_DIR:1:dem.tif"): the VRTs are read here, through VRTs within VRTs,
// so that no result may overwrite a file the model is read from and no FIFO
// among them is opened.
#ifndef GDAL_DATASET_FILES_H
#define GDAL_DATASET_FILES_H

#include <string>
#include <vector>

#include <gdal.h>

#include "input/raster_row_source.h"

// Adds to `files` every file the dataset is made of, as GDAL lists them, and
// the sources of every VRT among them, each given to `check` before it is
// opened (a file already in `files` is neither checked nor added again).
void add_files_of(GDALDatasetH handle, const FileCheck& check, std::vector<std::string>& files);

#endif
