#include "output/world_file.h"

std::string world_file_extension(ImageFormat format) { return format == ImageFormat::png ? ".pgw" : ".bpw"; }

void write_world_file(OutputFile& file, const Georeference& geo)
{
    // 17 significant digits read back as the same doubles: GDAL takes a PNG's
    // or BMP's place from the world file before its .aux.xml, so a rounded
    // cell size (0.0833333333 for 1/12 degree) would move the image away
    // from where a GeoTIFF of the same model lies.
    const auto& gt = geo.geotransform;
    file.printf("%.17g\n%.17g\n%.17g\n%.17g\n%.17g\n%.17g\n", gt[1], gt[4], gt[2], gt[5],
                gt[0] + gt[1] / 2 + gt[2] / 2, gt[3] + gt[4] / 2 + gt[5] / 2);
}
