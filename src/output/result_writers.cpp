#include "output/result_writers.h"

#include <cstdio>

#include "shared/number_text.h"

void write_table_line(OutputFile& ftab, const Level& level, int table_unit)
{
    if (table_unit == table_unit_exact)
        ftab.printf("%d\t%s\n", level.tone, shortest_text(level.alti).c_str());
    else if (table_unit == 0)
        ftab.printf("%d\t%lf\n", level.tone, level.alti);
    else
        ftab.printf("%d\t%lld\n", level.tone, static_cast<long long>(table_altitude(level.alti, table_unit)));
}

void write_result_descriptor(OutputFile& f2d, int32_t nb_lig1, int32_t nb_col1, int num_CL, int32_t pix_size)
{
    f2d.printf("%d\n%d\n%d\n%d\n%d\n%d\n", nb_lig1, nb_col1, 1, 0, num_CL, pix_size);
}
