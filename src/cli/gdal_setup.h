// GDAL made ready once for the whole run, and its last error as text.
#ifndef CLI_GDAL_SETUP_H
#define CLI_GDAL_SETUP_H

#include <string>

// Registers GDAL's formats, keeps its messages off the console (failures are
// reported by the program itself) and stops it from leaving side files
// (.aux.xml) beside what it reads or writes.
void set_up_gdal();

// GDAL's message about its last failure, or `fallback` when it gave none.
std::string last_gdal_error(const std::string& fallback);

#endif
