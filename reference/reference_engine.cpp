// Pass-by-pass contour engine: each level is marked, bounded, thinned and
// written into the result grid in its own passes, then the result is cleaned.
// It is written for clarity and kept as the reference that every faster engine
// must match byte for byte.
#include "reference/reference_engine.h"

#include <cmath>

#include "reference/grid.h"

namespace {

constexpr unsigned char marked = 1;

// Interior scans run from row 1 while i < nb_lig1 - 1 and from column 1 while
// j < nb_col1 - 1; sizes below 3 leave these ranges empty.

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
// border of the grid (never examined, never changed). dtab1 may be null: a
// model without gaps.
bool at_data_edge(double** dtab1, int32_t i, int32_t j)
{
    if (dtab1 == nullptr) return false;
    for (int32_t di = -1; di <= 1; ++di)
        for (int32_t dj = -1; dj <= 1; ++dj)
            if (std::isnan(dtab1[i + di][j + dj])) return true;
    return false;
}

// Runs one scan per tone for the tones first_GT .. first_GT + num_CL - 2.
template <typename Scan>
void for_each_cleaned_tone(int first_GT, int num_CL, Scan scan)
{
    int tone = first_GT - 1;
    for (int k = 1; k < num_CL; ++k) {
        ++tone;
        scan(tone);
    }
}

}  // namespace

template <typename T>
void fill_grid(T** grid, int32_t nb_lig1, int32_t nb_col1, std::type_identity_t<T> value)
{
    for (int32_t i = 0; i < nb_lig1; ++i)
        for (int32_t j = 0; j < nb_col1; ++j) grid[i][j] = value;
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

void threshold_pass(double** dtab1, unsigned char** tab1, int32_t nb_lig1, int32_t nb_col1, double alti)
{
    for (int32_t i = 0; i < nb_lig1; ++i)
        for (int32_t j = 0; j < nb_col1; ++j)
            if (dtab1[i][j] <= alti)
                tab1[i][j] = marked;
            else if (std::isnan(dtab1[i][j]))
                tab1[i][j] = no_altitude;
}

void boundary_pass(unsigned char** tab1, unsigned char** tab2, int32_t nb_lig1, int32_t nb_col1)
{
    for (int32_t i = 0; i < nb_lig1; ++i) {
        for (int32_t j = 0; j < nb_col1; ++j) {
            if (tab1[i][j] != marked) continue;
            int ico = 0;  // side neighbours inside the grid that lie above the level
            if (i >= 1 && tab1[i - 1][j] == background) ++ico;
            if (j <= nb_col1 - 2 && tab1[i][j + 1] == background) ++ico;
            if (i <= nb_lig1 - 2 && tab1[i + 1][j] == background) ++ico;
            if (j >= 1 && tab1[i][j - 1] == background) ++ico;
            if (ico > 0) tab2[i][j] = marked;
        }
    }
}

void thinning_pass(unsigned char** tab2, int32_t nb_lig1, int32_t nb_col1, double** dtab1)
{
    for (int32_t i = 1; i < nb_lig1 - 1; ++i) {
        for (int32_t j = 1; j < nb_col1 - 1; ++j) {
            const int val = tab2[i][j];
            if (val != marked || at_data_edge(dtab1, i, j)) continue;
            if (is_clearing_code(neighbour_code(tab2, i, j, val))) tab2[i][j] = background;
        }
    }
}

template <typename Tone>
void tone_transfer(unsigned char** tab2, Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int tone)
{
    const auto tone_value = static_cast<Tone>(tone);
    for (int32_t i = 0; i < nb_lig1; ++i)
        for (int32_t j = 0; j < nb_col1; ++j)
            if (tab2[i][j] == marked) tab3[i][j] = tone_value;
}

template <typename Tone>
void spur_pass(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, double** dtab1)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < nb_lig1 - 1; ++i) {
        for (int32_t j = 1; j < nb_col1 - 1; ++j) {
            const int val = tab3[i][j];
            if (val == background || at_data_edge(dtab1, i, j)) continue;
            if (count_equal_neighbours(tab3, i, j, val) == 1) tab3[i][j] = background;
        }
    }
}

template <typename Tone>
void corner_scan(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int tone, double** dtab1)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < nb_lig1 - 1; ++i) {
        for (int32_t j = 1; j < nb_col1 - 1; ++j) {
            const int val = tab3[i][j];
            if (val != tone || at_data_edge(dtab1, i, j)) continue;
            if (is_corner_code(neighbour_code(tab3, i, j, tone))) tab3[i][j] = background;
        }
    }
}

template <typename Tone>
void isolated_pixel_scan(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int tone, double** dtab1)
{
    constexpr Tone background = background_of_grid<Tone>;
    for (int32_t i = 1; i < nb_lig1 - 1; ++i) {
        for (int32_t j = 1; j < nb_col1 - 1; ++j) {
            const int val = tab3[i][j];
            if (val != tone || at_data_edge(dtab1, i, j)) continue;
            if (count_equal_neighbours(tab3, i, j, background) == 8) tab3[i][j] = background;
        }
    }
}

template <typename Tone>
void corner_pass(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int first_GT, int num_CL, double** dtab1)
{
    for_each_cleaned_tone(first_GT, num_CL, [&](int tone) { corner_scan(tab3, nb_lig1, nb_col1, tone, dtab1); });
}

template <typename Tone>
void isolated_pixel_pass(Tone** tab3, int32_t nb_lig1, int32_t nb_col1, int first_GT, int num_CL, double** dtab1)
{
    for_each_cleaned_tone(first_GT, num_CL, [&](int tone) { isolated_pixel_scan(tab3, nb_lig1, nb_col1, tone, dtab1); });
}

template <typename Tone>
void summit_fill(double** dtab1, Tone** tab3, int32_t nb_lig1, int32_t nb_col1, double max_dyn, int flag,
                 int final_GT)
{
    if (flag != 1) return;
    const auto tone_value = static_cast<Tone>(final_GT);
    for (int32_t i = 0; i < nb_lig1; ++i)
        for (int32_t j = 0; j < nb_col1; ++j)
            if (dtab1[i][j] == max_dyn) tab3[i][j] = tone_value;
}

template <typename Tone>
void extract_contours_reference(const ExtractionInput& in, Tone** tab3)
{
    const int32_t nb_lig1 = in.nb_lig1;
    const int32_t nb_col1 = in.nb_col1;
    // An empty grid has nothing to fill (and no work grid can be made for it).
    if (nb_lig1 <= 0 || nb_col1 <= 0) return;

    Grid<unsigned char> tab1 = make_grid<unsigned char>(nb_col1, nb_lig1, "work grid tab1");
    Grid<unsigned char> tab2 = make_grid<unsigned char>(nb_col1, nb_lig1, "work grid tab2");

    fill_grid(tab3, nb_lig1, nb_col1, background_of_grid<Tone>);
    int flag = 0;
    int final_GT = 0;

    // Level loop: each level in plan order traces its line into tab3.
    if (in.levels != nullptr) {
        for (const Level& level : *in.levels) {
            fill_grid(tab1.rows(), nb_lig1, nb_col1, background);
            if (level.top) {
                // The top level is not traced; its tone fills the summits later.
                flag = 1;
                final_GT = level.tone;
                continue;
            }
            threshold_pass(in.dtab1, tab1.rows(), nb_lig1, nb_col1, level.alti);
            fill_grid(tab2.rows(), nb_lig1, nb_col1, background);
            boundary_pass(tab1.rows(), tab2.rows(), nb_lig1, nb_col1);
            thinning_pass(tab2.rows(), nb_lig1, nb_col1, in.dtab1);
            tone_transfer(tab2.rows(), tab3, nb_lig1, nb_col1, level.tone);
        }
    }

    // Cleaning, in this fixed order.
    spur_pass(tab3, nb_lig1, nb_col1, in.dtab1);
    corner_pass(tab3, nb_lig1, nb_col1, in.first_GT, in.num_CL, in.dtab1);
    isolated_pixel_pass(tab3, nb_lig1, nb_col1, in.first_GT, in.num_CL, in.dtab1);
    summit_fill(in.dtab1, tab3, nb_lig1, nb_col1, in.max_dyn, flag, final_GT);
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
