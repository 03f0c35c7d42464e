// The arithmetic of a contour plan. Every intermediate result is formed in
// long double (64-bit significand on x86-64) and only then stored: rounded to a
// double when it becomes an altitude, truncated toward zero when it becomes an
// integer. Stored plans and tables depend on these exact roundings.
#include "shared/levels.h"

#include <cmath>
#include <limits>

// Stored plans and gray-tone tables hold the roundings of a 64-bit
// significand; a long double of another width (a plain double on MSVC, a
// 113-bit quad on AArch64 Linux) would give other levels and other table
// lines without a word. Such a platform needs a 64-bit-significand type of
// its own here (for example a software extended type) before it can build.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the level arithmetic needs long double with a 64-bit significand (x87 extended precision); "
              "see the note above this check for a platform without it");

namespace {

// Truncates a long double toward zero into an int64, keeping the sign of a
// value beyond the range (saturation). A NaN has no sign worth keeping and
// gives 0.
int64_t truncate_saturated(long double value)
{
    if (std::isnan(value)) return 0;
    // Both bounds are exact in a 64-bit significand.
    constexpr long double upper = 9223372036854775807.0L;   // 2^63 - 1
    constexpr long double lower = -9223372036854775808.0L;  // -2^63
    if (value >= upper) return std::numeric_limits<int64_t>::max();
    if (value <= lower) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);  // conversion truncates toward zero
}

}  // namespace

int64_t count_levels(double lowest_level, double interval, double highest_level)
{
    // A zero interval has no quotient; the caller never asks, but a plan
    // without levels is the harmless answer.
    if (interval == 0.0) return 0;

    const long double difference = static_cast<long double>(highest_level) - lowest_level;
    // The difference is rounded to a double, as plans always counted it; one
    // too large for a double (a plan from -1e308 to 1e308) is kept as it is
    // rather than counted as infinitely many levels.
    const auto alti_dif = static_cast<double>(difference);
    const long double quotient = (std::isinf(alti_dif) ? difference : static_cast<long double>(alti_dif)) / interval;
    const int64_t whole_steps = truncate_saturated(quotient);
    // One level more than whole steps, unless the count is already saturated.
    if (whole_steps == std::numeric_limits<int64_t>::max() || whole_steps == std::numeric_limits<int64_t>::min())
        return whole_steps;
    return whole_steps + 1;
}

std::vector<Level> level_sequence(double lowest_level, double interval, int first_tone, int level_count, double highest)
{
    std::vector<Level> levels;
    if (level_count < 1) return levels;
    levels.reserve(static_cast<size_t>(level_count));

    int tone = first_tone - 1;
    double alti = static_cast<double>(static_cast<long double>(lowest_level) - interval);
    for (int k = 1; k <= level_count; ++k) {
        ++tone;
        // Repeated addition, rounded to double at every level.
        alti = static_cast<double>(static_cast<long double>(alti) + interval);
        const bool top = (alti == highest);
        levels.push_back(Level{tone, alti, top});
        // The top level is not traced, and every later level comes half an
        // interval lower than planned.
        if (top) alti = static_cast<double>(static_cast<long double>(alti) - static_cast<long double>(interval) * 0.5L);
    }
    return levels;
}

std::vector<Level> listed_levels(const std::vector<double>& altitudes, int first_tone, double highest)
{
    std::vector<Level> levels;
    int tone = first_tone;
    for (const double alti : altitudes) levels.push_back(Level{tone++, alti, alti == highest});
    return levels;
}

int64_t table_altitude(double alti, int table_unit)
{
    // Unit codes 1 to 4: meters, decimeters, centimeters, millimeters. The
    // table never asks for another code here; any other one counts as meters.
    long double factor = 1.0L;
    switch (table_unit) {
    case 2: factor = 10.0L; break;
    case 3: factor = 100.0L; break;
    case 4: factor = 1000.0L; break;
    default: break;
    }
    return truncate_saturated(static_cast<long double>(alti) * factor);
}
