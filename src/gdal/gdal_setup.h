// GDAL made ready once for the whole run, and its last error as text.
#ifndef GDAL_GDAL_SETUP_H
#define GDAL_GDAL_SETUP_H

#include <cstdint>
#include <string>

#include "input/raster_row_source.h"

#include <cpl_conv.h>

// Registers the formats every run may need (GeoTIFF, PNG, GDAL's memory
// datasets) and keeps GDAL's messages off the console (failures are reported
// by the program itself). A model's .aux.xml is read, as GDAL's tools read it
// (its no-data value, its georeference); nothing is written beside a model,
// which is only read.
void set_up_gdal();

// Registers every format GDAL has (a few milliseconds, so only for a model
// that is neither a GeoTIFF nor a PNG).
void register_every_format();

// While it lives, GDAL keeps nothing in a side file (.aux.xml) of the
// datasets this thread makes: what the program writes is its own result set.
class NoSideFiles {
public:
    NoSideFiles() { CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO"); }
    ~NoSideFiles() { CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr); }
    NoSideFiles(const NoSideFiles&) = delete;
    NoSideFiles& operator=(const NoSideFiles&) = delete;
};

// Bounds GDAL's block cache to the floor plus `reading` bytes (the blocks of
// the model that the run's threads read at once). GDAL would otherwise keep
// blocks up to a twentieth of the machine's memory.
void bound_gdal_cache(uint64_t reading);

// GDAL's message about its last failure, or `fallback` when it gave none.
std::string last_gdal_error(const std::string& fallback);

// Records every failure GDAL reports on this thread while it lives (GDAL
// reports what goes wrong while it writes, even where the call that wrote
// still returns a result).
class GdalFailures {
public:
    GdalFailures();
    ~GdalFailures();
    GdalFailures(const GdalFailures&) = delete;
    GdalFailures& operator=(const GdalFailures&) = delete;

    // The first failure reported; empty when none was.
    const std::string& first() const { return first_; }

private:
    std::string first_;
};

#endif
