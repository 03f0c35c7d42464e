#include "result_writers.h"

#include <cstdio>

#include "../platform.h"

void write_table_line(OutputFile& ftab, const Level& level, int scale)
{
    if (scale == 0)
        ftab.printf("%d\t%lf\n", level.tone, level.alti);
    else
        ftab.printf("%d\t%lld\n", level.tone, static_cast<long long>(table_altitude(level.alti, scale)));
}

void write_result_descriptor(OutputFile& f2d, int32_t nb_lig1, int32_t nb_col1, int num_CL, int32_t pix_size)
{
    f2d.printf("%d\n%d\n%d\n%d\n%d\n%d\n", nb_lig1, nb_col1, 1, 0, num_CL, pix_size);
}

std::unique_ptr<RowSink> make_image_sink(int type_image, OutputFile& f2, int32_t nb_lig1, int32_t nb_col1)
{
    // Nothing goes through the stream: the sink writes at row offsets.
    const int fd = platform::descriptor_of(f2.stream());
    if (type_image == 0) return std::make_unique<RawResultSink>(fd, f2.final_path(), nb_lig1, nb_col1);
    return std::make_unique<BitmapSink>(fd, f2.final_path(), nb_lig1, nb_col1);
}
