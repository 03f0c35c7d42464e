// The plan of levels of a run, as both front-ends agree it with the user.
//
// Where the levels lie is one of two small types, each of which gives the
// levels over a model: levels every interval from a first one (the
// dialogue's plans, the command line's -i), or a listed set of altitudes
// (the command line's --levels). The rest of the plan is the same for both.
#ifndef RUN_PLAN_H
#define RUN_PLAN_H

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "shared/levels.h"

// Levels every `interval` from `first` up to `last` (in the altitudes' unit);
// `count` of them, as count_levels gives it.
struct IntervalLevels {
    double first = 0;
    double interval = 0;
    double last = 0;

    // The number of levels from first to last (see count_levels).
    int64_t count() const { return count_levels(first, interval, last); }
    std::vector<Level> over(int first_tone, int count, double max_altitude) const
    {
        return level_sequence(first, interval, first_tone, count, max_altitude);
    }
};

// Levels at listed altitudes, ascending, each once.
struct ListedLevels {
    std::vector<double> altitudes;

    std::vector<Level> over(int first_tone, int, double max_altitude) const
    {
        return listed_levels(altitudes, first_tone, max_altitude);
    }
};

struct Plan {
    std::variant<IntervalLevels, ListedLevels> placed;
    int level_count = 0;  // the levels traced; 0 or fewer: none
    int first_tone = 0;   // of the first level, 0 or 1; the next levels count up
    // Unit of the table: 0 with six decimals, 1 whole units, 2 tenths, 3
    // hundredths, 4 thousandths, or table_unit_exact (result_writers.h).
    int table_unit = 0;
    std::string unit = "m";  // of the altitudes, as the legend names it
};

// Whether a run may trace that many levels in tones of one byte.
inline bool within_level_bound(int64_t count) { return count <= max_levels; }

// The levels of the plan over a model whose largest altitude is
// `max_altitude`, in plan order.
inline std::vector<Level> plan_levels(const Plan& plan, double max_altitude)
{
    return std::visit([&](const auto& placed) { return placed.over(plan.first_tone, plan.level_count, max_altitude); },
                      plan.placed);
}

#endif
