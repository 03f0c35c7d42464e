// The .aux.xml beside a result image, as GDAL writes and reads it (its PAM
// file): the tone of the background as the band's no-data value, a raster
// attribute table giving the altitude of every tone (tone, altitude, unit)
// and, for a format that cannot hold them (PNG, BMP), the projection and the
// geotransform.
#ifndef OUTPUT_AUX_XML_H
#define OUTPUT_AUX_XML_H

#include <string>

#include "shared/georeference.h"
#include "output/legend.h"

// The text of the .aux.xml; `georeference` is written only when `with_place`,
// its projection with `axis_mapping`, how the geotransform's x and y map to
// the projection's axes ("2,1" when its first axis is the latitude; see
// axis_mapping_of), which GDAL needs to read a latitude-first projection
// (EPSG:4326) with x as the longitude.
std::string aux_xml_text(const Legend& legend, const Georeference& georeference, bool with_place,
                         const std::string& axis_mapping);

#endif
