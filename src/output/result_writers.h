// The result files besides the image: the gray-tone table and the raw
// result's descriptor.
#ifndef OUTPUT_RESULT_WRITERS_H
#define OUTPUT_RESULT_WRITERS_H

#include <cstdint>

#include "shared/levels.h"
#include "results/output_file.h"

// The table's unit of the command line's plans whose levels are not all
// whole: each altitude with the decimals that read back exactly.
inline constexpr int table_unit_exact = -1;

// One line of the gray-tone table: the level's tone, a tab, its altitude in
// the table's unit (0: meters with six decimals; 1 to 4: whole meters,
// decimeters, centimeters, millimeters; table_unit_exact), a line end.
void write_table_line(OutputFile& table_file, const Level& level, int table_unit);

// The raw result's descriptor: lines, columns, 1 byte per sample, 0, the
// number of levels, the pixel size.
void write_result_descriptor(OutputFile& descriptor_file, int32_t row_count, int32_t column_count, int level_count, int32_t pixel_size);

#endif
