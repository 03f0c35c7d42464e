// Contour extraction engines: from the altitude grid and the levels of a plan to
// the cleaned result grid.
//
// Every engine gives the same bytes: for each traced level, in plan order, the
// cells at or below the level that touch a higher cell through a side, thinned
// to one pixel, take the level's tone (a later level overwrites an earlier one);
// then spurs, corners and isolated pixels are cleaned away and the summit cells
// take the tone of the top level.
#ifndef REFERENCE_EXTRACTION_H
#define REFERENCE_EXTRACTION_H

#include <cstdint>
#include <vector>

#include "shared/levels.h"

struct ExtractionInput {
    double** altitude_grid;                    // altitudes in meters, row_count rows of column_count
    int32_t row_count;
    int32_t column_count;
    const std::vector<Level>* levels;  // from level_sequence
    int first_tone;                      // tone of the first level
    int level_count;                        // number of levels of the plan (may be 0 or negative)
    double highest;                    // largest altitude of altitude_grid
};

// Pass-by-pass engine: clear rather than fast, the reference for every other
// engine. Fills result_grid (row_count rows of column_count) completely, in tones of type
// Tone: unsigned char (background 255; a plan of up to 250 levels) or
// uint16_t (background 65535; plans of up to 65,534 levels).
template <typename Tone>
void extract_contours_reference(const ExtractionInput& in, Tone** result_grid);

// Same result as extract_contours_reference, in one sweep for all levels.
template <typename Tone>
void extract_contours_fast(const ExtractionInput& in, Tone** result_grid);

#endif
