// The row engine on whole grids, with its halves open to tests on their own.
//
// extract_contours_fast (extraction.h) feeds the rows of altitude_grid to the row
// engine in stripes on every core and writes the finished rows into result_grid.
// Every function takes tones of one byte (unsigned char) or two (uint16_t),
// as the row engine does.
#ifndef REFERENCE_GRID_ENGINE_H
#define REFERENCE_GRID_ENGINE_H

#include <cstdint>

#include "reference/extraction.h"
#include "contours/stripes.h"

// The whole extraction with the given stripe options (threads and all).
template <typename Tone>
StripeStats extract_contours_fast(const ExtractionInput& in, Tone** result_grid, const StripeOptions& options);

// Traces every level of the plan into result_grid in one top-to-bottom sweep: result_grid
// ends as the level loop leaves it (background, each traced level's thinned
// line in its tone, a later level overwriting an earlier one), before cleaning.
template <typename Tone>
void trace_levels_fast(const ExtractionInput& in, Tone** result_grid);

// The spur pass, then the corner pass and the isolated-pixel pass, each in one
// scan for all the tones first_tone .. first_tone + level_count - 2 together (the last
// tone of the plan is handled by neither; level_count <= 1 handles none), in place.
template <typename Tone>
void clean_contours_fast(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count);

#endif
