// The levels of a contour plan, as plain values.
#ifndef SHARED_LEVELS_H
#define SHARED_LEVELS_H

#include <cstdint>
#include <limits>
#include <vector>

// The tone of a cell on no line (and of a cell without data) in a result of
// tones of type Tone: one byte (every plan of up to max_levels levels, the
// dialogue's), or two for plans of more levels. It is the largest value of
// the type, 255 or 65535, so that the tones of the levels, counting up from 0
// or 1, stay below it.
template <typename Tone>
inline constexpr Tone background_tone = std::numeric_limits<Tone>::max();

// The most levels a plan of one-byte tones may have (the dialogue's plans,
// and results in formats of 8 bits): their tones, counting up from 0 or 1,
// stay below the background tone 255.
inline constexpr int max_levels = 250;

// The most levels of a plan of two-byte tones: counting up from 0 or 1, they
// stay below the background tone 65535.
inline constexpr int max_wide_levels = background_tone<uint16_t> - 1;

// The bytes of a result's tones for a plan of that many levels: one up to
// max_levels, so that such a plan keeps its 8-bit result, else two.
inline constexpr int tone_bytes_for(int64_t level_count) { return level_count > max_levels ? 2 : 1; }

// The background tone of a result of tones of that many bytes: the largest.
inline constexpr int background_of(int tone_bytes)
{
    return tone_bytes == 2 ? background_tone<uint16_t> : background_tone<uint8_t>;
}

// One level of the plan, in plan order.
struct Level {
    int tone;     // gray tone written into the result grid for this level
    double altitude;  // shown in the progress line and the table
    bool top;     // equals the model's maximum exactly: not traced, its tone fills the summits
};

// Number of levels of a plan: trunc((highest_level - lowest_level) / interval) + 1, the
// difference rounded to a double (kept in extended precision when it is too
// large for one), the quotient formed in extended precision and truncated
// toward zero. A quotient beyond the range of int64 keeps its sign and
// saturates. interval must not be 0.
int64_t count_levels(double lowest_level, double interval, double highest_level);

// The levels of a plan of level_count levels (none when level_count < 1), with the
// altitude of each one obtained by repeated addition of the interval, the top
// level marked, and every later level shifted down by half an interval.
std::vector<Level> level_sequence(double lowest_level, double interval, int first_tone, int level_count, double highest);

// The levels of a fixed list of altitudes, in the order given, their tones
// counting up from first_tone; a level equal to highest is the top level (its
// tone fills the summits).
std::vector<Level> listed_levels(const std::vector<double>& altitudes, int first_tone, double highest);

// The altitude of a table line in the table unit (1 meters, 2 decimeters,
// 3 centimeters, 4 millimeters): alti times 1, 10, 100 or 1000, the product in
// extended precision, truncated toward zero.
int64_t table_altitude(double alti, int table_unit);

#endif
