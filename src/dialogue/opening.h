// The opening dialogue: the model's folder, name and format, the questions a
// raw raster raises, the result's name and image type.
#ifndef DIALOGUE_OPENING_H
#define DIALOGUE_OPENING_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "results/output_file.h"
#include "run/model.h"

// The variables of the opening dialogue, under the program's own names.
struct OpeningState {
    int32_t nb_lig1 = 0;   // lines of the model
    int32_t nb_col1 = 0;   // columns
    int32_t val = 0;       // bytes per raw sample, from the descriptor
    int32_t mind = 0;      // smallest raw sample of a raster model
    int32_t maxd = 0;      // largest raw sample of a raster model
    int32_t pix_size = 0;  // pixel size in whole meters (0: not yet given)

    int32_t type_dem = 0;       // 0 raw raster, 1 ASCII grid
    int32_t itype = 0;          // 0 16-bit samples, 1 32-bit samples
    uint8_t descr_dem1_OK = 0;  // 1 once the raster descriptor is complete on disk

    std::string nomim1;  // model path
    std::string nomdir;  // the model folder's path, where the results go
    Model model;         // once opened
};

// The twelve lines of the start-up banner, as printed.
std::string banner_text();

// Opens the raw raster `f1` (path s.nomim1, descriptor `nomdescr1`) as the
// model, measures its raw range, completes a descriptor that is being created
// (`new_descriptor`, null when the descriptor was read), reports the raw
// range and asks the unit of the samples.
void raster_lecture(OpeningState& s, FileHandle f1, const std::string& nomdescr1, OutputFile* new_descriptor);

// Opens the ASCII grid `f1` (path s.nomim1) as the model, its progress shown;
// values that do not fit the memory budget are kept in a scratch file in the
// model folder.
void ascii_lecture(OpeningState& s, FileHandle f1);

#endif
