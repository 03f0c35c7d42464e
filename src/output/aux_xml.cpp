#include "output/aux_xml.h"

#include <cstdio>

#include "shared/number_text.h"
#include "output/xml_text.h"


std::string aux_xml_text(const Legend& legend, const Georeference& georeference, bool with_place,
                         const std::string& axis_mapping)
{
    std::string xml = "<PAMDataset>\n";
    if (with_place && georeference.present) {
        if (!georeference.projection_wkt.empty()) {
            // Without a mapping GDAL takes its default, the GIS order.
            const std::string mapping =
                axis_mapping.empty() ? "" : " dataAxisToSRSAxisMapping=\"" + axis_mapping + "\"";
            xml += "  <SRS" + mapping + ">" + escaped(georeference.projection_wkt) + "</SRS>\n";
        }
        xml += "  <GeoTransform>";
        for (size_t k = 0; k < georeference.geotransform.size(); ++k)
            xml += (k == 0 ? " " : ", ") + shortest_text(georeference.geotransform[k]);
        xml += "</GeoTransform>\n";
    }
    xml += "  <PAMRasterBand band=\"1\">\n";
    xml += "    <NoDataValue>" + std::to_string(legend.background_tone) + "</NoDataValue>\n";
    // Field types: 0 integer, 1 real, 2 string; usages: 5 the pixel value
    // (minimum and maximum of a class), 0 anything else, 2 a name.
    xml += "    <GDALRasterAttributeTable tableType=\"thematic\">\n"
           "      <FieldDefn index=\"0\"><Name>tone</Name><Type>0</Type><Usage>5</Usage></FieldDefn>\n"
           "      <FieldDefn index=\"1\"><Name>altitude</Name><Type>1</Type><Usage>0</Usage></FieldDefn>\n"
           "      <FieldDefn index=\"2\"><Name>unit</Name><Type>2</Type><Usage>0</Usage></FieldDefn>\n"
           "      <FieldDefn index=\"3\"><Name>label</Name><Type>2</Type><Usage>2</Usage></FieldDefn>\n";
    int row = 0;
    for (const Level& level : legend.levels) {
        const std::string altitude = shortest_text(level.altitude);
        xml += "      <Row index=\"" + std::to_string(row++) + "\"><F>" + std::to_string(level.tone) + "</F><F>" +
               altitude + "</F><F>" + escaped(legend.unit) + "</F><F>" + escaped(altitude + " " + legend.unit) +
               "</F></Row>\n";
    }
    xml += "    </GDALRasterAttributeTable>\n  </PAMRasterBand>\n</PAMDataset>\n";
    return xml;
}
