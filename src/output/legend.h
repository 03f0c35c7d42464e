// What every tone of a result stands for: the altitude of its level, in the
// unit of the altitudes, and the colour it is shown in. The side files that
// tell a GIS (the .aux.xml, the QGIS style) are written from it.
#ifndef OUTPUT_LEGEND_H
#define OUTPUT_LEGEND_H

#include <array>
#include <string>
#include <vector>

#include "IMAGE.h"
#include "output/palette.h"
#include "shared/levels.h"

struct Legend {
    std::vector<Level> levels;        // in plan order: each level's tone and altitude
    std::string unit = "m";           // of the altitudes
    Palette colours = gray_palette();  // of the tones
    int background_tone = background_of(1);  // of no line: transparent, no data: the largest tone
};

#endif
