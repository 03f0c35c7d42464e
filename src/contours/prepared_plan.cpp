#include "contours/prepared_plan.h"

namespace {

// The top level of a plan, when it has one: the last level marked top.
void find_top_level(const std::vector<Level>* levels, bool& has_top_level, int& top_tone)
{
    if (levels == nullptr) return;
    for (const Level& level : *levels)
        if (level.top) {
            has_top_level = true;
            top_tone = level.tone;
        }
}

}  // namespace

PreparedPlan::PreparedPlan(const std::vector<Level>* levels, int first_tone, int level_count, double highest_altitude,
                           bool wide_tones)
    : sorted(sort_traced_levels(levels)), first_tone(first_tone), level_count(level_count), wide_tones(wide_tones),
      highest_altitude(highest_altitude)
{
    find_top_level(levels, has_top_level, top_tone);
}
