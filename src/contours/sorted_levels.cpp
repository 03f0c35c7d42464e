#include "contours/sorted_levels.h"

#include <algorithm>
#include <limits>

// Levels of equal altitude trace the same cells, so their order among
// themselves is free: it is chosen to follow the plan's direction.
SortedLevels sort_traced_levels(const std::vector<Level>* levels)
{
    struct Traced {
        double altitude;
        int32_t rank;
        uint16_t tone;
    };
    std::vector<Traced> traced;
    if (levels != nullptr) {
        for (const Level& level : *levels) {
            if (!level.top && level.altitude == level.altitude) {
                traced.push_back({level.altitude, static_cast<int32_t>(traced.size()), static_cast<uint16_t>(level.tone)});
            }
        }
    }
    const bool falls = !traced.empty() && traced.back().altitude < traced.front().altitude;
    std::sort(traced.begin(), traced.end(), [falls](const Traced& a, const Traced& b) {
        if (a.altitude != b.altitude) return a.altitude < b.altitude;
        return falls ? a.rank > b.rank : a.rank < b.rank;
    });

    SortedLevels sorted;
    sorted.count = static_cast<int32_t>(traced.size());
    sorted.words = mask_words(sorted.count);
    sorted.padded_bounds.assign(2, -std::numeric_limits<double>::infinity());
    sorted.plan_rank.resize(traced.size());
    sorted.tone_at.resize(traced.size());
    sorted.tone_of_rank.resize(traced.size());
    bool rising = true;
    bool falling = true;
    for (size_t r = 0; r < traced.size(); ++r) {
        sorted.padded_bounds.push_back(traced[r].altitude);
        sorted.plan_rank[r] = traced[r].rank;
        sorted.tone_at[r] = traced[r].tone;
        sorted.tone_of_rank[traced[r].rank] = traced[r].tone;
        rising &= traced[r].rank == static_cast<int32_t>(r);
        falling &= traced[r].rank == static_cast<int32_t>(traced.size() - 1 - r);
    }
    while (sorted.search_step * 2 <= sorted.count) sorted.search_step *= 2;
    const size_t entries = std::max(static_cast<size_t>(sorted.search_step) * 2, traced.size() + 2) + 2;
    sorted.padded_bounds.resize(entries, std::numeric_limits<double>::infinity());
    sorted.order = rising ? PlanOrder::rising : (falling ? PlanOrder::falling : PlanOrder::mixed);
    if (sorted.count >= 2 && traced.back().altitude > traced.front().altitude) {
        sorted.lowest = traced.front().altitude;
        sorted.per_meter = (sorted.count - 1) / (traced.back().altitude - traced.front().altitude);
    }
    return sorted;
}
