// What the engines need of a plan, worked out once for every engine of a run.
#ifndef CONTOURS_PREPARED_PLAN_H
#define CONTOURS_PREPARED_PLAN_H

#include <vector>

#include "contours/levels.h"
#include "contours/row_cleaning.h"
#include "contours/sorted_levels.h"

struct PreparedPlan {
    // The levels of a plan of `level_count` levels whose tones count up from
    // `first_tone` (levels may be null: none), over a model whose largest
    // altitude is `highest_altitude`.
    PreparedPlan(const std::vector<Level>* levels, int first_tone, int level_count, double highest_altitude);

    SortedLevels sorted;          // the traced levels
    HandledTones cleaned_tones;   // the tones of the corner and isolated-pixel passes
    bool has_top_level = false;   // a level of the plan equals the highest altitude: its tone fills the summits
    int top_tone = 0;             // tone of the last top level
    double highest_altitude = 0;  // of the model
};

#endif
