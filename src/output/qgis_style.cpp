#include "output/qgis_style.h"

#include <cstdio>

#include "shared/number_text.h"
#include "output/xml_text.h"

std::string qgis_style_text(const Legend& legend)
{
    std::string qml = "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
                      "<qgis version=\"3.22\" styleCategories=\"Symbology\">\n"
                      "  <pipe>\n"
                      "    <rasterrenderer type=\"paletted\" band=\"1\" opacity=\"1\" alphaBand=\"-1\" nodataColor=\"\">\n"
                      "      <rasterTransparency/>\n"
                      "      <colorPalette>\n";
    for (const Level& level : legend.levels) {
        if (level.tone < 0 || static_cast<size_t>(level.tone) >= legend.colours.size() ||
            level.tone == legend.background_tone)
            continue;
        const Color32& c = legend.colours[static_cast<size_t>(level.tone)];
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", c.R, c.G, c.B);
        qml += "        <paletteEntry value=\"" + std::to_string(level.tone) + "\" color=\"" + colour +
               "\" alpha=\"255\" label=\"" + escaped(shortest_text(level.altitude) + " " + legend.unit) + "\"/>\n";
    }
    qml += "      </colorPalette>\n"
           "    </rasterrenderer>\n"
           "  </pipe>\n"
           "</qgis>\n";
    return qml;
}
