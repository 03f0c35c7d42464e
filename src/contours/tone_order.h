// Which tone a cell on several levels takes: that of the kept level that
// comes last in plan order (the later level wins the tone transfer).
//
// A cell's kept levels are bits of its mask words, bit b of word w standing
// for the sorted level w * 64 + b. In a rising plan the last level in plan
// order is the highest kept one, the highest set bit; in a falling plan the
// lowest, the lowest set bit: one bit scan. Only a plan of levels in neither
// order looks up the plan rank of every kept level.
#ifndef CONTOURS_TONE_ORDER_H
#define CONTOURS_TONE_ORDER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "contours/sorted_levels.h"

// Largest plan rank among the levels first_level + b of the bits b of
// `mask`, or -1 for an empty mask.
inline int32_t last_rank_in(const SortedLevels& levels, uint64_t mask, int32_t first_level)
{
    int32_t last_rank = -1;
    for (; mask != 0; mask &= mask - 1)
        last_rank = std::max(last_rank, levels.plan_rank[static_cast<size_t>(first_level + __builtin_ctzll(mask))]);
    return last_rank;
}

// Tone of the kept level that comes last in plan order among the levels of
// mask word w, whose bits are `mask`, or -1 when it keeps none.
inline int last_tone_in_word(const SortedLevels& levels, uint64_t mask, int32_t w)
{
    if (mask == 0) return -1;
    switch (levels.order) {
    case PlanOrder::rising:
        return levels.tone_at[static_cast<size_t>(w * 64 + 63 - __builtin_clzll(mask))];
    case PlanOrder::falling:
        return levels.tone_at[static_cast<size_t>(w * 64 + __builtin_ctzll(mask))];
    case PlanOrder::mixed:
        break;
    }
    const int32_t rank = last_rank_in(levels, mask, w * 64);
    return levels.tone_of_rank[static_cast<size_t>(rank)];
}

// The same among words w0..w1 of a cell's mask (word w at cell[w * stride]).
inline int last_tone(const SortedLevels& levels, const uint64_t* cell, size_t stride, int32_t w0, int32_t w1)
{
    const auto word = [&](int32_t w) { return cell[static_cast<size_t>(w) * stride]; };
    switch (levels.order) {
    case PlanOrder::rising:
        for (int32_t w = w1; w >= w0; --w)
            if (word(w) != 0) return levels.tone_at[static_cast<size_t>(w * 64 + 63 - __builtin_clzll(word(w)))];
        return -1;
    case PlanOrder::falling:
        for (int32_t w = w0; w <= w1; ++w)
            if (word(w) != 0) return levels.tone_at[static_cast<size_t>(w * 64 + __builtin_ctzll(word(w)))];
        return -1;
    case PlanOrder::mixed:
        break;
    }
    int32_t last_rank = -1;
    for (int32_t w = w0; w <= w1; ++w) last_rank = std::max(last_rank, last_rank_in(levels, word(w), w * 64));
    return last_rank < 0 ? -1 : levels.tone_of_rank[static_cast<size_t>(last_rank)];
}

#endif
