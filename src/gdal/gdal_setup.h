// GDAL made ready once for the whole run, and its last error as text.
#ifndef GDAL_GDAL_SETUP_H
#define GDAL_GDAL_SETUP_H

#include <cstdint>
#include <string>

// Registers GDAL's formats, keeps its messages off the console (failures are
// reported by the program itself) and stops it from leaving side files
// (.aux.xml) beside what it reads or writes.
void set_up_gdal();

// The room GDAL's block cache has besides the blocks of the model read at
// once: enough for the result's rows and for its copy into the image file to
// go by whole blocks.
inline constexpr uint64_t gdal_cache_floor = uint64_t{32} << 20;

// Bounds GDAL's block cache to the floor plus `reading` bytes (the blocks of
// the model that the run's threads read at once). GDAL would otherwise keep
// blocks up to a twentieth of the machine's memory.
void bound_gdal_cache(uint64_t reading);

// GDAL's message about its last failure, or `fallback` when it gave none.
std::string last_gdal_error(const std::string& fallback);

#endif
