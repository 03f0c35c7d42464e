// Pass-by-pass contour engine: each level is marked, bounded, thinned and
// written into the result grid in its own passes, then the result is cleaned.
// It is written for clarity and kept as the reference that every faster engine
// must match byte for byte.
#include "reference/reference_engine.h"

#include <cmath>

#include "reference/grid.h"

namespace {

constexpr unsigned char marked = 1;

// Interior scans run from row 1 while i < row_count - 1 and from column 1 while
// j < column_count - 1; sizes below 3 leave these ranges empty.

// Number of the eight neighbours of interior cell (i, j) whose value equals ref.
template <typename Tone>
int count_equal_neighbours(Tone** grid, int32_t i, int32_t j, int ref)
{
    int count = 0;
    for (int32_t di = -1; di <= 1; ++di)
        for (int32_t dj = -1; dj <= 1; ++dj)
            if ((di != 0 || dj != 0) && grid[i + di][j + dj] == ref) ++count;
    return count;
}

// Whether interior cell (i, j) has a cell without data among its eight
// neighbours: the edge of the data, which the interior scans treat as the
// border of the grid (never examined, never changed). altitude_grid may be null: a
// model without gaps.
bool at_data_edge(double** altitude_grid, int32_t i, int32_t j)
{
    if (altitude_grid == nullptr) return false;
    for (int32_t di = -1; di <= 1; ++di)
        for (int32_t dj = -1; dj <= 1; ++dj)
            if (std::isnan(altitude_grid[i + di][j + dj])) return true;
    return false;
}

// Runs one scan per tone for the tones first_tone .. first_tone + level_count - 2.
template <typename Scan>
void for_each_cleaned_tone(int first_tone, int level_count, Scan scan)
{
    int tone = first_tone - 1;
    for (int k = 1; k < level_count; ++k) {
        ++tone;
        scan(tone);
    }
}

}  // namespace

template <typename T>
void fill_grid(T** grid, int32_t row_count, int32_t column_count, std::type_identity_t<T> value)
{
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j) grid[i][j] = value;
}

template <typename T>
int neighbour_code(T** grid, int32_t i, int32_t j, int ref)
{
    int code = 0;
    if (grid[i - 1][j - 1] == ref) code += NB_NW;
    if (grid[i - 1][j] == ref) code += NB_N;
    if (grid[i - 1][j + 1] == ref) code += NB_NE;
    if (grid[i][j + 1] == ref) code += NB_E;
    if (grid[i + 1][j + 1] == ref) code += NB_SE;
    if (grid[i + 1][j] == ref) code += NB_S;
    if (grid[i + 1][j - 1] == ref) code += NB_SW;
    if (grid[i][j - 1] == ref) code += NB_W;
    return code;
}

bool is_clearing_code(int code) { return code >= 0 && code < 256 && clearing_table[code]; }

void threshold_pass(double** altitude_grid, unsigned char** tab1, int32_t row_count, int32_t column_count, double alti)
{
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j)
            if (altitude_grid[i][j] <= alti)
                tab1[i][j] = marked;
            else if (std::isnan(altitude_grid[i][j]))
                tab1[i][j] = no_altitude;
}

void boundary_pass(unsigned char** tab1, unsigned char** tab2, int32_t row_count, int32_t column_count)
{
    for (int32_t i = 0; i < row_count; ++i) {
        for (int32_t j = 0; j < column_count; ++j) {
            if (tab1[i][j] != marked) continue;
            int ico = 0;  // side neighbours inside the grid that lie above the level
            if (i >= 1 && tab1[i - 1][j] == background) ++ico;
            if (j <= column_count - 2 && tab1[i][j + 1] == background) ++ico;
            if (i <= row_count - 2 && tab1[i + 1][j] == background) ++ico;
            if (j >= 1 && tab1[i][j - 1] == background) ++ico;
            if (ico > 0) tab2[i][j] = marked;
        }
    }
}

void thinning_pass(unsigned char** tab2, int32_t row_count, int32_t column_count, double** altitude_grid)
{
    for (int32_t i = 1; i < row_count - 1; ++i) {
        for (int32_t j = 1; j < column_count - 1; ++j) {
            const int val = tab2[i][j];
            if (val != marked || at_data_edge(altitude_grid, i, j)) continue;
            if (is_clearing_code(neighbour_code(tab2, i, j, val))) tab2[i][j] = background;
        }
    }
}

template <typename Tone>
void tone_transfer(unsigned char** tab2, Tone** result_grid, int32_t row_count, int32_t column_count, int tone)
{
    const auto tone_value = static_cast<Tone>(tone);
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j)
            if (tab2[i][j] == marked) result_grid[i][j] = tone_value;
}

template <typename Tone>
void spur_pass(Tone** result_grid, int32_t row_count, int32_t column_count, double** altitude_grid)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < row_count - 1; ++i) {
        for (int32_t j = 1; j < column_count - 1; ++j) {
            const int val = result_grid[i][j];
            if (val == background || at_data_edge(altitude_grid, i, j)) continue;
            if (count_equal_neighbours(result_grid, i, j, val) == 1) result_grid[i][j] = background;
        }
    }
}

template <typename Tone>
void corner_scan(Tone** result_grid, int32_t row_count, int32_t column_count, int tone, double** altitude_grid)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < row_count - 1; ++i) {
        for (int32_t j = 1; j < column_count - 1; ++j) {
            const int val = result_grid[i][j];
            if (val != tone || at_data_edge(altitude_grid, i, j)) continue;
            if (is_corner_code(neighbour_code(result_grid, i, j, tone))) result_grid[i][j] = background;
        }
    }
}

template <typename Tone>
void isolated_pixel_scan(Tone** result_grid, int32_t row_count, int32_t column_count, int tone, double** altitude_grid)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < row_count - 1; ++i) {
        for (int32_t j = 1; j < column_count - 1; ++j) {
            const int val = result_grid[i][j];
            if (val != tone || at_data_edge(altitude_grid, i, j)) continue;
            if (count_equal_neighbours(result_grid, i, j, background) == 8) result_grid[i][j] = background;
        }
    }
}

template <typename Tone>
void corner_pass(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count, double** altitude_grid)
{
    for_each_cleaned_tone(first_tone, level_count, [&](int tone) { corner_scan(result_grid, row_count, column_count, tone, altitude_grid); });
}

template <typename Tone>
void isolated_pixel_pass(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count, double** altitude_grid)
{
    for_each_cleaned_tone(first_tone, level_count, [&](int tone) { isolated_pixel_scan(result_grid, row_count, column_count, tone, altitude_grid); });
}

template <typename Tone>
void summit_fill(double** altitude_grid, Tone** result_grid, int32_t row_count, int32_t column_count, double highest, int flag,
                 int final_GT)
{
    if (flag != 1) return;
    const auto tone_value = static_cast<Tone>(final_GT);
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j)
            if (altitude_grid[i][j] == highest) result_grid[i][j] = tone_value;
}

template <typename Tone>
void extract_contours_reference(const ExtractionInput& in, Tone** result_grid)
{
    const int32_t row_count = in.row_count;
    const int32_t column_count = in.column_count;
    // An empty grid has nothing to fill (and no work grid can be made for it).
    if (row_count <= 0 || column_count <= 0) return;

    Grid<unsigned char> tab1 = make_grid<unsigned char>(column_count, row_count, "work grid tab1");
    Grid<unsigned char> tab2 = make_grid<unsigned char>(column_count, row_count, "work grid tab2");

    fill_grid(result_grid, row_count, column_count, background_of_grid<Tone>);
    int flag = 0;
    int final_GT = 0;

    // Level loop: each level in plan order traces its line into result_grid.
    if (in.levels != nullptr) {
        for (const Level& level : *in.levels) {
            fill_grid(tab1.rows(), row_count, column_count, background);
            if (level.top) {
                // The top level is not traced; its tone fills the summits later.
                flag = 1;
                final_GT = level.tone;
                continue;
            }
            threshold_pass(in.altitude_grid, tab1.rows(), row_count, column_count, level.altitude);
            fill_grid(tab2.rows(), row_count, column_count, background);
            boundary_pass(tab1.rows(), tab2.rows(), row_count, column_count);
            thinning_pass(tab2.rows(), row_count, column_count, in.altitude_grid);
            tone_transfer(tab2.rows(), result_grid, row_count, column_count, level.tone);
        }
    }

    // Cleaning, in this fixed order.
    spur_pass(result_grid, row_count, column_count, in.altitude_grid);
    corner_pass(result_grid, row_count, column_count, in.first_tone, in.level_count, in.altitude_grid);
    isolated_pixel_pass(result_grid, row_count, column_count, in.first_tone, in.level_count, in.altitude_grid);
    summit_fill(in.altitude_grid, result_grid, row_count, column_count, in.highest, flag, final_GT);
}

// The grids of tones of one byte (plans of up to 250 levels) and of two.
template void fill_grid(unsigned char**, int32_t, int32_t, unsigned char);
template int neighbour_code(unsigned char**, int32_t, int32_t, int);
template void tone_transfer(unsigned char**, unsigned char**, int32_t, int32_t, int);
template void spur_pass(unsigned char**, int32_t, int32_t, double**);
template void corner_scan(unsigned char**, int32_t, int32_t, int, double**);
template void isolated_pixel_scan(unsigned char**, int32_t, int32_t, int, double**);
template void corner_pass(unsigned char**, int32_t, int32_t, int, int, double**);
template void isolated_pixel_pass(unsigned char**, int32_t, int32_t, int, int, double**);
template void summit_fill(double**, unsigned char**, int32_t, int32_t, double, int, int);
template void extract_contours_reference(const ExtractionInput&, unsigned char**);

template void fill_grid(uint16_t**, int32_t, int32_t, uint16_t);
template int neighbour_code(uint16_t**, int32_t, int32_t, int);
template void tone_transfer(unsigned char**, uint16_t**, int32_t, int32_t, int);
template void spur_pass(uint16_t**, int32_t, int32_t, double**);
template void corner_scan(uint16_t**, int32_t, int32_t, int, double**);
template void isolated_pixel_scan(uint16_t**, int32_t, int32_t, int, double**);
template void corner_pass(uint16_t**, int32_t, int32_t, int, int, double**);
template void isolated_pixel_pass(uint16_t**, int32_t, int32_t, int, int, double**);
template void summit_fill(double**, uint16_t**, int32_t, int32_t, double, int, int);
template void extract_contours_reference(const ExtractionInput&, uint16_t**);
