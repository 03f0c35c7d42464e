// The world file beside a georeferenced image that holds no georeference of
// its own (a PNG or BMP): where its pixels lie on the map.
#ifndef OUTPUT_WORLD_FILE_H
#define OUTPUT_WORLD_FILE_H

#include <string>

#include "shared/georeference.h"
#include "output/image_format.h"
#include "results/output_file.h"

// The world file's extension beside an image of that format (.pgw, .bpw).
std::string world_file_extension(ImageFormat format);

// Six lines, each number to 17 significant digits: the cell's size and
// rotation, then the map coordinates of the centre of the top-left cell.
void write_world_file(OutputFile& file, const Georeference& geo);

#endif
