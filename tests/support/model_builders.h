// Models, plans and grid comparisons shared by the tests of the contour
// engines.
#ifndef TESTS_SUPPORT_MODEL_BUILDERS_H
#define TESTS_SUPPORT_MODEL_BUILDERS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "shared/levels.h"
#include "reference/grid.h"
#include "reference/whole_grid_readers.h"
#include "shared/rows.h"

namespace test_models {

// An altitude grid with its size and its largest altitude.
struct Model {
    Grid<double> grid;
    int32_t row_count = 0;
    int32_t column_count = 0;
    double min_alt = 0;
    double max_alt = 0;
};

// The range of the cells with data (std::min and std::max keep their first
// argument against a NaN).
inline void measure_range(Model& m)
{
    m.min_alt = std::numeric_limits<double>::infinity();
    m.max_alt = -std::numeric_limits<double>::infinity();
    for (int32_t i = 0; i < m.row_count; ++i)
        for (int32_t j = 0; j < m.column_count; ++j) {
            m.min_alt = std::min(m.min_alt, m.grid[i][j]);
            m.max_alt = std::max(m.max_alt, m.grid[i][j]);
        }
}

inline Model model(int32_t row_count, int32_t column_count, const std::function<double(int32_t, int32_t)>& altitude)
{
    Model m;
    m.row_count = row_count;
    m.column_count = column_count;
    m.grid = make_grid<double>(column_count, row_count, "test model");
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j) m.grid[i][j] = altitude(i, j);
    measure_range(m);
    return m;
}

// Rows copied into the reader's buffer, as a file reader gives them.
class CopyingSource final : public AltitudeSource {
public:
    explicit CopyingSource(const Model& m) : m_(m) {}
    AltitudeRow read_row(int32_t i, std::span<double> buffer) const override
    {
        std::copy(m_.grid[i], m_.grid[i] + m_.column_count, buffer.begin());
        return buffer;
    }

private:
    const Model& m_;
};

// The real crop of the Himalaya and the Bay of Bengal in tests/data/models
// (120 x 160 cells).
inline Model himalaya()
{
    AsciiModel ascii = read_ascii_grid_file(std::string(ISOLINES_TEST_DATA) + "/models/himalaya.asc");
    Model m;
    m.row_count = ascii.row_count;
    m.column_count = ascii.column_count;
    m.grid = std::move(ascii.altitude_grid);
    measure_range(m);
    return m;
}

// Sums of sines and cones: long smooth slopes, ridges and pits.
inline Model smooth_model(int32_t row_count, int32_t column_count, uint64_t seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    struct Wave { double a, fy, fx, phase; };
    struct Cone { double h, y, x, slope; };
    std::vector<Wave> waves;
    std::vector<Cone> cones;
    for (int k = 0; k < 4; ++k) waves.push_back({200 * u(gen), 0.3 * u(gen), 0.3 * u(gen), 6.3 * u(gen)});
    for (int k = 0; k < 3; ++k)
        cones.push_back({(u(gen) < 0.5 ? -1 : 1) * 600 * u(gen), row_count * u(gen), column_count * u(gen), 20 + 40 * u(gen)});
    return model(row_count, column_count, [&](int32_t i, int32_t j) {
        double z = 1000;
        for (const Wave& w : waves) z += w.a * std::sin(w.fy * i + w.fx * j + w.phase);
        for (const Cone& c : cones) z += c.h * std::max(0.0, 1 - std::hypot(i - c.y, j - c.x) * c.slope / 600);
        return z;
    });
}

// Independent random altitudes: a boundary at nearly every cell and level.
inline Model rough_model(int32_t row_count, int32_t column_count, uint64_t seed, double low, double high)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(low, high);
    return model(row_count, column_count, [&](int32_t, int32_t) { return u(gen); });
}

// Whole altitudes with plateaus: a smooth surface rounded to steps of `step`,
// so that many cells equal a level exactly.
inline Model terraced_model(int32_t row_count, int32_t column_count, uint64_t seed, double step)
{
    Model smooth = smooth_model(row_count, column_count, seed);
    return model(row_count, column_count, [&](int32_t i, int32_t j) { return step * std::floor(smooth.grid[i][j] / 50); });
}

// Where cells without data (NaN altitudes) are put into a model.
enum class Gaps { single_cells, block, whole_rows, whole_columns, borders, all_but_one };

inline const char* name_of(Gaps shape)
{
    switch (shape) {
    case Gaps::single_cells: return "single cells";
    case Gaps::block: return "a block";
    case Gaps::whole_rows: return "whole rows";
    case Gaps::whole_columns: return "whole columns";
    case Gaps::borders: return "the borders";
    case Gaps::all_but_one: return "all but one cell";
    }
    return "?";
}

constexpr Gaps every_gap_shape[] = {Gaps::single_cells, Gaps::block,   Gaps::whole_rows,
                                    Gaps::whole_columns, Gaps::borders, Gaps::all_but_one};

// The model with gaps of one shape, its range measured over the data left.
inline Model with_gaps(const Model& m, Gaps shape, uint64_t seed)
{
    std::mt19937_64 gen(seed);
    const int32_t row = static_cast<int32_t>(gen() % static_cast<uint64_t>(m.row_count));
    const int32_t col = static_cast<int32_t>(gen() % static_cast<uint64_t>(m.column_count));
    const auto is_gap = [&](int32_t i, int32_t j) {
        switch (shape) {
        case Gaps::single_cells: return gen() % 7 == 0;
        case Gaps::block: return std::abs(i - row) <= m.row_count / 5 && std::abs(j - col) <= m.column_count / 4;
        case Gaps::whole_rows: return i == row || i == m.row_count / 2;
        case Gaps::whole_columns: return j == col || j == 0;
        case Gaps::borders: return i == 0 || j == 0 || i == m.row_count - 1 || j == m.column_count - 1 || (i == 1 && j < col);
        case Gaps::all_but_one: return i != row || j != col;
        }
        return false;
    };
    return model(m.row_count, m.column_count, [&](int32_t i, int32_t j) {
        return is_gap(i, j) ? std::numeric_limits<double>::quiet_NaN() : m.grid[i][j];
    });
}

// A plan the way the program builds it.
struct Plan {
    std::vector<Level> levels;
    int first_tone = 1;
    int level_count = 0;
    double highest = 0;
};

inline Plan plan(double lowest_level, double interval, double highest_level, int first_tone, double highest)
{
    Plan p;
    p.first_tone = first_tone;
    p.level_count = static_cast<int>(count_levels(lowest_level, interval, highest_level));
    p.highest = highest;
    p.levels = level_sequence(lowest_level, interval, first_tone, p.level_count, highest);
    return p;
}

// A plan of exactly `count` levels spread over [low, high] (high > low),
// rising when `rising`, else from high down to low.
inline Plan plan_of(int count, double low, double high, bool rising, int first_tone, double highest)
{
    const double interval = (high - low) / (count - 0.5);
    Plan p = rising ? plan(low, interval, high, first_tone, highest) : plan(high, -interval, low, first_tone, highest);
    EXPECT_EQ(p.level_count, count);
    return p;
}

// First differing cell of two grids of tones (of one byte or two), or "" when
// they agree; `lines` counts the cells that are not background (the largest
// tone) in the expected grid.
template <typename Tone>
std::string first_difference(Tone** expected, Tone** actual, int32_t row_count, int32_t column_count, int64_t& lines)
{
    lines = 0;
    std::string difference;
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j) {
            lines += expected[i][j] != std::numeric_limits<Tone>::max();
            if (difference.empty() && expected[i][j] != actual[i][j])
                difference = "cell (" + std::to_string(i) + ", " + std::to_string(j) + "): expected " +
                             std::to_string(expected[i][j]) + ", got " + std::to_string(actual[i][j]);
        }
    return difference;
}

}  // namespace test_models

#endif
