// The traced levels of a plan ordered by altitude: how the sweep finds the
// levels around an altitude (the bounds, a guess from the altitude, a search)
// and which tone a cell takes when it lies on several levels (the plan order).
#ifndef CONTOURS_SORTED_LEVELS_H
#define CONTOURS_SORTED_LEVELS_H

#include <cstdint>
#include <vector>

#include "shared/levels.h"

// How the plan order runs along the sorted levels: the same way (a rising
// plan), the other way (a falling plan), or neither.
enum class PlanOrder { rising, falling, mixed };

// The traced levels of a plan ordered by altitude.
struct SortedLevels {
    int32_t count = 0;                        // traced levels (those that can hold a cell)
    int32_t words = 0;                        // 64-bit words of a mask over them
    // -inf, -inf, the altitudes ascending, then +inf: bound(h) is entry h + 1,
    // defined from h = -1 up to at least 2 * search_step and count + 2.
    std::vector<double> padded_bounds;
    const double* bound() const { return padded_bounds.data() + 1; }
    int32_t search_step = 1;                  // half of the smallest power of two above count
    // A first guess of "levels below" x, for levels evenly spaced (as a
    // plan's are): 1 + (x - lowest) * per_meter, clamped to 0 .. count. Only
    // a guess: it is checked against the bounds, and searched past when wrong.
    double lowest = 0;
    double per_meter = 0;
    std::vector<int32_t> plan_rank;           // per sorted position: rank in plan order
    std::vector<uint16_t> tone_at;       // per sorted position: the tone (its low byte in an 8-bit result)
    std::vector<uint16_t> tone_of_rank;  // per plan rank: the tone
    PlanOrder order = PlanOrder::mixed;
};

// 64-bit words of a mask over `count` traced levels.
constexpr int32_t mask_words(int32_t count) { return (count > 0 ? count + 63 : 63) / 64; }

// Bytes of a sorted position in the sweep's rows: one up to 254 traced levels
// (every plan the program makes), four beyond.
constexpr int32_t sorted_position_bytes(int32_t count) { return count <= 254 ? 1 : 4; }

// Sorts the levels that are traced: not the top level, and not a level with
// no altitude (NaN), which holds no cell. levels may be null (no levels).
SortedLevels sort_traced_levels(const std::vector<Level>* levels);

#endif
