// The plan of levels of a run, as both front-ends agree it with the user.
#ifndef RUN_PLAN_H
#define RUN_PLAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "contours/levels.h"

// Glossary of the plan:
//   dmin_alt    minimum altitude in meters: the first level lies here
//   first_GT    gray tone of the first level, 0 or 1; the next levels count up
//   int_hypso   hypsometric interval in meters, the step from level to level
//   dmax_alt    maximum altitude in meters
//   num_CL      number of levels (contour lines), at most max_levels; 0 or
//               fewer: none
//   table_unit  unit of the gray-tone table: 0 meters with decimals, 1 meters,
//               2 decimeters, 3 centimeters, 4 millimeters (whole values; in
//               the altitudes' unit when it is not the meter), or
//               table_unit_exact (result_writers.h)
//   listed      a fixed list of altitudes, when the plan is one (the command
//               line's --levels): then the levels, ascending, and num_CL their
//               number
//   unit        the altitudes' unit as the result's legend names it
struct Plan {
    double dmin_alt = 0;
    int first_GT = 0;
    double int_hypso = 0;
    double dmax_alt = 0;
    int num_CL = 0;
    int table_unit = 0;
    std::vector<double> listed;
    std::string unit = "m";
};

// The number of levels from dmin_alt to dmax_alt every int_hypso (see
// count_levels), and whether a run may trace that many: at most max_levels.
inline int64_t plan_level_count(const Plan& plan) { return count_levels(plan.dmin_alt, plan.int_hypso, plan.dmax_alt); }
inline bool within_level_bound(int64_t count) { return count <= max_levels; }

// The levels of the plan over a model whose largest altitude is max_dyn.
inline std::vector<Level> plan_levels(const Plan& plan, double max_dyn)
{
    if (!plan.listed.empty()) return listed_levels(plan.listed, plan.first_GT, max_dyn);
    return level_sequence(plan.dmin_alt, plan.int_hypso, plan.first_GT, plan.num_CL, max_dyn);
}

#endif
