// The result files besides the image rows: the gray-tone table, the result
// descriptor, the sink that takes the image rows, and the final commit.
#ifndef OUTPUT_RESULT_WRITERS_H
#define OUTPUT_RESULT_WRITERS_H

#include <cstdint>
#include <memory>

#include "../contours/levels.h"
#include "../output_file.h"
#include "row_sink.h"

// One line of the gray-tone table: the level's tone, a tab, its altitude in
// the unit of `scale` (0: meters with six decimals; 1 to 4: whole meters,
// decimeters, centimeters, millimeters), a line end.
void write_table_line(OutputFile& ftab, const Level& level, int scale);

// The raw result's descriptor: lines, columns, 1 byte per sample, 0, the
// number of levels, the pixel size.
void write_result_descriptor(OutputFile& f2d, int32_t nb_lig1, int32_t nb_col1, int num_CL, int32_t pix_size);

// The sink of the result image file f2: raw rows for type_image 0, a bitmap
// for type_image 1.
std::unique_ptr<RowSink> make_image_sink(int type_image, OutputFile& f2, int32_t nb_lig1, int32_t nb_col1);

#endif
