// The run and what its phases hand on to each other.
//
//   opening    (input/)     the dialogue and the model: a LoadedModel and the
//                           ResultFiles, created empty under temporary names
//   treatment  (treatment)  the plan (plan/), the gray-tone table, the engine
//                           (contours/) fed from the model's rows, the image
//                           rows written through a sink (output/)
//
// Glossary of the program's own names:
//   nb_lig1, nb_col1  lines (rows) and columns of the model and of the result
//   dtab1             the model's altitudes in meters, here served row by row
//   tab3              the result: a gray tone on contour pixels, 255 elsewhere,
//                     here handed to the image sink row by row
//   pix_size          pixel size in whole meters
//   min_dyn, max_dyn  smallest and largest altitude of the model, in meters
//   type_image        0 raw image with descriptor, 1 bitmap
//   nomim1, nomim2    model path, result image path; nomtab: gray-tone table
//   ftab, f2, f2d     gray-tone table, result image, result descriptor
//   first_GT, num_CL  see plan/plan.h
#ifndef ISOLINES_TRACE_4_H
#define ISOLINES_TRACE_4_H

#include <cstdint>
#include <memory>
#include <string>

#include "input/row_source.h"
#include "output_file.h"
#include "result_set.h"

// What the opening hands on about the model.
struct LoadedModel {
    std::string nomim1;  // named in messages
    int32_t nb_lig1 = 0;
    int32_t nb_col1 = 0;
    int32_t pix_size = 0;
    std::unique_ptr<RowSource> rows;  // dtab1, with its range
};

// The result files of the run, created by the opening, filled and put in
// place by the treatment.
struct ResultFiles {
    int32_t type_image = 0;
    std::string nomim2;
    std::string nomtab;
    // The lock of the result, held from its name until the end of the run
    // (declared before the files so that it is given up after they are gone).
    std::unique_ptr<ResultLock> result_lock;
    std::unique_ptr<OutputFile> ftab;
    std::unique_ptr<OutputFile> f2;   // result image (raw rows or the bitmap)
    std::unique_ptr<OutputFile> f2d;  // result descriptor (raw result only)
};

struct OpenedRun {
    LoadedModel model;
    ResultFiles results;
};

// Runs the whole program: opening dialogue, contour extraction, final key.
// Returns the exit status: 0 for a normal end and the Exit choice, 1 for every
// end caused by a failure (its message printed on standard error).
// `reference_engine` selects the pass-by-pass extraction engine.
int isolines_trace_4(bool reference_engine = false);

// Phases.
OpenedRun opening();
void treatment(const LoadedModel& model, ResultFiles& results, bool reference_engine);

#endif
