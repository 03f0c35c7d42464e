// Where the altitudes of a row lie among the sorted levels: for each cell,
// "levels below" its altitude x, the number of traced levels lying strictly
// below x, that is the sorted position where the levels that x is at or below
// start. The answer h has bound[h] < x <= bound[h + 1].
//
// Why guess first and halve only rarely: a plan's levels are evenly spaced, so
// the altitude alone gives the answer, or one off, for nearly every cell; for
// other levels the answer of the cell above, moved by one position, is right
// on smooth ground. Each first answer is checked against two bounds without a
// branch, so that the cells of a row do not wait for each other, and only the
// few it does not settle are searched by halving steps.
//
// A cell without data (a NaN altitude) is at or below no level, and as a
// neighbour it is above none, like a position outside the grid. It is given
// the answer 0, so that it raises the run end of no neighbour, and its own
// run is emptied once the run ends of its row are known.
#ifndef CONTOURS_LEVEL_LOOKUP_H
#define CONTOURS_LEVEL_LOOKUP_H

#include <cstdint>
#include <vector>

#include "contours/sorted_levels.h"

// The answer for a nearby cell, h, moved by one position up or down without a
// branch: right for nearly every cell of a smooth model. `settled` is false
// when the answer lies further away (or x is NaN) and must be searched.
inline int32_t step_towards(double x, const double* bound, int32_t h, bool& settled)
{
    const bool up = x > bound[h + 1];
    const bool down = x <= bound[h];
    settled = !(up & (x > bound[h + 2])) & !(down & (x <= bound[h - 1])) & (x == x);
    return h + up - down;
}

// Whether h is the answer for x (never for a NaN x).
inline bool is_levels_below(double x, const double* bound, int32_t h) { return (bound[h] < x) & (x <= bound[h + 1]); }

// The answer guessed from the altitude alone, for evenly spaced levels (see
// SortedLevels): right or one off for nearly every x. Without a branch, and
// kept apart from the levels, so that a loop over a row holds it in registers.
struct LevelGuess {
    explicit LevelGuess(const SortedLevels& levels)
        : lowest(levels.lowest), per_meter(levels.per_meter), count(levels.count)
    {
    }

    int32_t operator()(double x) const
    {
        double guess = 1 + (x - lowest) * per_meter;  // NaN for a NaN x, or inf * 0 with extreme levels
        guess = guess >= 0 ? guess : 0;
        guess = guess < count ? guess : count;
        return static_cast<int32_t>(guess);
    }

    double lowest;
    double per_meter;
    double count;
};

// Finds the answer by halving steps, without a branch (the bounds are padded
// with +inf up to a power of two, `search_step` being half of it); x is not NaN.
inline int32_t search_levels_below(double x, const double* bound, int32_t search_step)
{
    int32_t h = 0;
    for (int32_t step = search_step; step > 0; step >>= 1) h += (bound[h + step] < x) ? step : 0;
    return h;
}

// Sets lo[j] to the answer for the altitude alt[j] of every column j of a row
// of `columns` cells, and lists the columns without data in `gaps`. `above`
// holds the answers of the row above (of any row when there is none: they are
// only first answers, used when the levels are not evenly spaced); `unsettled`
// is room for a column per cell, overwritten. Key is the type of a sorted
// position (see sorted_position_bytes).
template <typename Key>
void find_levels_below(const SortedLevels& levels, const double* alt, const Key* above, Key* lo, int32_t* unsettled,
                       std::vector<int32_t>& gaps, int32_t columns)
{
    const double* bound = levels.bound();
    const LevelGuess guess(levels);
    // A first answer for every cell, checked at once; the few it does not
    // settle are listed, then searched.
    int32_t count = 0;
    if (guess.per_meter > 0) {
        for (int32_t j = 0; j < columns; ++j) {
            const double x = alt[j];
            const int32_t h = guess(x);
            lo[j] = static_cast<Key>(h);
            unsettled[count] = j;
            count += !is_levels_below(x, bound, h);
        }
    } else {
        for (int32_t j = 0; j < columns; ++j) {
            const double x = alt[j];
            bool settled;
            lo[j] = static_cast<Key>(step_towards(x, bound, above[j], settled));
            unsettled[count] = j;
            count += !settled;
        }
    }
    gaps.clear();
    for (int32_t k = 0; k < count; ++k) {
        const int32_t j = unsettled[k];
        const double x = alt[j];
        if (x != x) {
            lo[j] = 0;
            gaps.push_back(j);
            continue;
        }
        // Off by one from the guess (an altitude on a level), or steep
        // ground where the cell above lies more than a level away: the
        // guess moved by one position, checked, else a search.
        bool settled;
        const int32_t near = step_towards(x, bound, guess(x), settled);
        lo[j] = static_cast<Key>(settled ? near : search_levels_below(x, bound, levels.search_step));
    }
}

#endif
