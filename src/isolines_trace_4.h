// The program state shared by every phase of a run, and the run itself.
#ifndef ISOLINES_TRACE_4_H
#define ISOLINES_TRACE_4_H

#include <cstdint>
#include <memory>
#include <string>

#include "grid.h"
#include "input/row_source.h"
#include "output_file.h"
#include "result_set.h"

struct ProgramState {
    // Model geometry and raw-value statistics.
    int32_t nb_lig1 = 0;   // lines of the model and of every grid
    int32_t nb_col1 = 0;   // columns
    int32_t val = 0;       // bytes per raw sample, from the descriptor
    int32_t mind = 0;      // smallest raw sample of a raster model
    int32_t maxd = 0;      // largest raw sample of a raster model
    int32_t pix_size = 0;  // pixel size in whole meters (0: not yet given)
    double dsizepix = 0;   // pixel size in meters

    // Choices of the opening dialogue.
    int32_t type_dem = 0;       // 0 raw raster, 1 ASCII grid
    int32_t itype = 0;          // 0 16-bit samples, 1 32-bit samples
    int32_t type_image = 0;     // 0 raw image with descriptor, 1 bitmap
    uint8_t descr_dem1_OK = 0;  // 1 once the raster descriptor is complete on disk

    // Altitude range of dtab1, in meters.
    double min_dyn = 10000000;
    double max_dyn = 0;

    std::unique_ptr<RowSource> rows;  // the model's metric altitudes, row by row

    std::string nomim1;  // model path
    std::string nomim2;  // result image path
    std::string nomtab;  // gray-tone table path

    // Extraction engine: the fast one, or the pass-by-pass reference (kept for
    // comparisons and benchmarks).
    bool reference_engine = false;

    // The lock of the result, held from its name until the end of the run
    // (declared first so that it is given up after the files are gone).
    std::unique_ptr<ResultLock> result_lock;

    // Result files, under temporary names until the run has completed them.
    std::unique_ptr<OutputFile> ftab;  // gray-tone table
    std::unique_ptr<OutputFile> f2;    // result image (raw result, or the bitmap's reserved name)
    std::unique_ptr<OutputFile> f2d;   // result descriptor (raw result)
};

// Runs the whole program: opening dialogue, contour extraction, final key.
// Returns the exit status: 0 for a normal end and the Exit choice, 1 for every
// end caused by a failure (its message printed on standard error).
// `reference_engine` selects the pass-by-pass extraction engine.
int isolines_trace_4(bool reference_engine = false);

// Phases.
void opening(ProgramState& s);
void treatment(ProgramState& s);

#endif
