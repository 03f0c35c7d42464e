// The two halves of the one-sweep contour engine, open to tests on their own.
//
// extract_contours_fast (extraction.h) is trace_levels_fast, then
// clean_contours_fast, then the summit fill on the rows that the sweep found
// holding a summit cell.
#ifndef CONTOURS_FAST_ENGINE_H
#define CONTOURS_FAST_ENGINE_H

#include <cstdint>
#include <vector>

#include "extraction.h"

// What the tracing sweep leaves for the summit fill.
struct FastTraceResult {
    int flag = 0;                        // 1 when a level of the plan is the top level
    int final_GT = 0;                    // tone of the last top level (when flag is 1)
    std::vector<unsigned char> summit_rows;  // per row: 1 when a cell equals max_dyn (only when flag is 1)
};

// Traces every level of the plan into tab3 in one top-to-bottom sweep: tab3
// ends as the level loop leaves it (255 background, each traced level's thinned
// line in its tone, a later level overwriting an earlier one), before cleaning.
// Needs nb_lig1 >= 1 and nb_col1 >= 1.
FastTraceResult trace_levels_fast(const ExtractionInput& in, unsigned char** tab3);

// The spur pass (one in-place scan), then the corner pass and the
// isolated-pixel pass, each in one scan for all the tones first_GT ..
// first_GT + num_CL - 2 together (the last tone of the plan is handled by
// neither; num_CL <= 1 handles none).
void clean_contours_fast(unsigned char** tab3, int32_t nb_lig1, int32_t nb_col1, int first_GT, int num_CL);

#endif
