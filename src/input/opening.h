// The input phase: opening dialogue and the two model readers' dialogues.
#ifndef INPUT_OPENING_H
#define INPUT_OPENING_H

#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>

#include "../isolines_trace_4.h"

// The variables of the opening dialogue, under the program's own names.
struct OpeningState {
    int32_t nb_lig1 = 0;   // lines of the model
    int32_t nb_col1 = 0;   // columns
    int32_t val = 0;       // bytes per raw sample, from the descriptor
    int32_t mind = 0;      // smallest raw sample of a raster model
    int32_t maxd = 0;      // largest raw sample of a raster model
    int32_t pix_size = 0;  // pixel size in whole meters (0: not yet given)
    double dsizepix = 0;   // pixel size in meters

    int32_t type_dem = 0;       // 0 raw raster, 1 ASCII grid
    int32_t itype = 0;          // 0 16-bit samples, 1 32-bit samples
    uint8_t descr_dem1_OK = 0;  // 1 once the raster descriptor is complete on disk

    std::string nomim1;               // model path
    std::unique_ptr<RowSource> rows;  // the model's altitudes in meters

    ResultFiles results;
};

// The twelve lines of the start-up banner, as printed.
std::string banner_text();

// Takes the raw raster open in `f1` (path s.nomim1) as the model's rows,
// measures its raw range, completes a descriptor that is being created
// (`new_descriptor`, null when the descriptor was read), reports the raw range
// and serves the samples in meters of the unit asked.
void raster_lecture(OpeningState& s, std::FILE* f1, OutputFile* new_descriptor);

// Reads the ASCII grid open in `f1` (path s.nomim1); values that do not fit
// the memory budget are kept in a scratch file in `folder`, the model folder.
void ascii_lecture(OpeningState& s, std::FILE* f1, const std::string& folder);

#endif
