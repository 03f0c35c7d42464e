#include "output/result_writers.h"

#include <cstdio>

#include "shared/number_text.h"

void write_table_line(OutputFile& table_file, const Level& level, int table_unit)
{
    if (table_unit == table_unit_exact)
        table_file.printf("%d\t%s\n", level.tone, shortest_text(level.altitude).c_str());
    else if (table_unit == 0)
        table_file.printf("%d\t%lf\n", level.tone, level.altitude);
    else
        table_file.printf("%d\t%lld\n", level.tone, static_cast<long long>(table_altitude(level.altitude, table_unit)));
}

void write_result_descriptor(OutputFile& descriptor_file, int32_t row_count, int32_t column_count, int level_count, int32_t pixel_size)
{
    descriptor_file.printf("%d\n%d\n%d\n%d\n%d\n%d\n", row_count, column_count, 1, 0, level_count, pixel_size);
}
