// What the engines need of a plan, worked out once for every engine of a run.
#ifndef CONTOURS_PREPARED_PLAN_H
#define CONTOURS_PREPARED_PLAN_H

#include <vector>

#include "shared/levels.h"
#include "contours/sorted_levels.h"

struct PreparedPlan {
    // The levels of a plan of `level_count` levels whose tones count up from
    // `first_tone` (levels may be null: none), over a model whose largest
    // altitude is `highest_altitude`.
    // `wide_tones`: the result's tones take two bytes (a plan of more than
    // 250 levels), else one.
    PreparedPlan(const std::vector<Level>* levels, int first_tone, int level_count, double highest_altitude,
                 bool wide_tones = false);

    SortedLevels sorted;          // the traced levels
    int first_tone = 0;           // the corner and isolated-pixel passes handle
    int level_count = 0;          // first_tone .. first_tone + level_count - 2
    bool wide_tones = false;
    bool has_top_level = false;   // a level of the plan equals the highest altitude: its tone fills the summits
    int top_tone = 0;             // tone of the last top level
    double highest_altitude = 0;  // of the model
};

#endif
