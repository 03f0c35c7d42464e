// The dialogue: the program run without arguments, asking its questions on
// the console. It gathers the answers and hands them to the run (run/).
//
//   opening    the banner, the model (opened by run/model), its size, the
//              result's name and image type (the files created by
//              run/results)
//   treatment  the plan, then the rest of the run (run/run)
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
//   first_GT, num_CL  the first gray tone and the number of levels (a plan's
//                     first_tone and level_count, run/plan.h)
#ifndef DIALOGUE_ISOLINES_TRACE_4_H
#define DIALOGUE_ISOLINES_TRACE_4_H

#include "output/image_format.h"
#include "run/extraction.h"
#include "run/model.h"
#include "run/results.h"

// What the opening hands on: the model, and the result files created empty
// under temporary names.
struct OpenedRun {
    Model model;
    Results results;
    ImageFormat format;  // the image type: raw or bmp
};

// Runs the whole program: opening dialogue, contour extraction with
// `engine`, final key. Returns the exit status: 0 for a normal end and the
// Exit choice, 1 for every end caused by a failure (its message printed on
// standard error).
int isolines_trace_4(const ExtractionEngine& engine = extract_on_every_core);

// Phases.
OpenedRun opening();
void treatment(OpenedRun& run, const ExtractionEngine& engine);

#endif
