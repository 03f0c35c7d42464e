// The QGIS layer style beside a result (<result stem>.qml, which QGIS loads
// with the layer by itself): each tone in its colour with its altitude as the
// label, the background left out (transparent).
#ifndef OUTPUT_QGIS_STYLE_H
#define OUTPUT_QGIS_STYLE_H

#include <string>

#include "output/legend.h"

std::string qgis_style_text(const Legend& legend);

#endif
