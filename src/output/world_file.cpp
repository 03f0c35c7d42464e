#include "output/world_file.h"

std::string world_file_extension(ImageFormat format) { return format == ImageFormat::png ? ".pgw" : ".bpw"; }

void write_world_file(OutputFile& file, const Georeference& geo)
{
    const auto& gt = geo.geotransform;
    file.printf("%.10f\n%.10f\n%.10f\n%.10f\n%.10f\n%.10f\n", gt[1], gt[4], gt[2], gt[5],
                gt[0] + gt[1] / 2 + gt[2] / 2, gt[3] + gt[4] / 2 + gt[5] / 2);
}
