// Text made safe for an XML element or attribute (the side files of a
// result are small XML documents).
#ifndef OUTPUT_XML_TEXT_H
#define OUTPUT_XML_TEXT_H

#include <string>

inline std::string escaped(const std::string& text)
{
    std::string safe;
    for (const char c : text) {
        switch (c) {
        case '&': safe += "&amp;"; break;
        case '<': safe += "&lt;"; break;
        case '>': safe += "&gt;"; break;
        case '"': safe += "&quot;"; break;
        case '\'': safe += "&apos;"; break;
        default: safe += c;
        }
    }
    return safe;
}

#endif
