// The passes of the pass-by-pass contour engine, one plain function each, so
// that every pass can be checked on its own.
//
// Grids are row-pointer grids of row_count rows of column_count cells. Every pass
// visits rows top to bottom and each row left to right, and writes its changes
// into the grid at once: a cell changed earlier in a pass is seen changed by
// every cell examined after it. Passes that look at all eight neighbours
// examine only the interior (rows 1 to row_count - 2, columns 1 to column_count - 2);
// a grid with fewer than three rows or columns has no interior.
//
// The edge of the data is treated as the edge of the grid: those passes take
// the altitudes altitude_grid and skip an interior cell that has a cell without data
// among its eight neighbours, as they skip a border cell. altitude_grid may be null
// for a model without gaps.
//
// The work grids tab1 and tab2 are grids of bytes: 1 marks a cell, 255 is
// their background. result_grid holds the tones of the levels, of type Tone: one
// byte (background 255), or two for plans of more than 250 levels
// (background 65535); the passes on it are the same for both.
//
// A cell without data (a NaN altitude) has no altitude: it is at or below no
// level, and as a neighbour it lies above none, like a position outside the
// grid. tab1 marks it no_altitude so that the boundary pass can tell it from
// a cell above the level.
#ifndef REFERENCE_REFERENCE_ENGINE_H
#define REFERENCE_REFERENCE_ENGINE_H

#include <cstdint>
#include <type_traits>

#include "contours/cell_codes.h"
#include "reference/extraction.h"

// The background of a grid of cells of type T: its largest value.
template <typename T>
inline constexpr T background_of_grid = static_cast<T>(background_of(sizeof(T)));

// Sets every cell of the grid to value.
template <typename T>
void fill_grid(T** grid, int32_t row_count, int32_t column_count, std::type_identity_t<T> value);

// Sum of the bit values of the eight neighbours of interior cell (i, j) whose
// value equals ref.
template <typename T>
int neighbour_code(T** grid, int32_t i, int32_t j, int ref);

// True for the 32 neighbour codes that remove a cell from a boundary line.
bool is_clearing_code(int code);

// Value of a cell without data in tab1.
constexpr unsigned char no_altitude = 0;

// tab1 becomes 1 on every cell whose altitude is at or below alti and
// no_altitude on every cell without data; the other cells keep their value
// (255 after a reset).
void threshold_pass(double** altitude_grid, unsigned char** tab1, int32_t row_count, int32_t column_count, double alti);

// tab2 becomes 1 on every cell marked 1 in tab1 that has at least one side
// neighbour inside the grid holding 255 in tab1; positions outside the grid and
// cells without data do not count, so no line runs along the edge of the grid
// or of a gap in the data.
void boundary_pass(unsigned char** tab1, unsigned char** tab2, int32_t row_count, int32_t column_count);

// Thins the boundary in tab2 to one pixel, in place: an interior cell at 1
// whose neighbour code (reference 1) is a clearing code becomes 255.
void thinning_pass(unsigned char** tab2, int32_t row_count, int32_t column_count, double** altitude_grid = nullptr);

// result_grid takes the low 8 (or 16) bits of tone on every cell at 1 in tab2; the
// other cells keep what they hold, so a later level overwrites an earlier one.
template <typename Tone>
void tone_transfer(unsigned char** tab2, Tone** result_grid, int32_t row_count, int32_t column_count, int tone);

// Spur pass, all tones in one interior scan: a non-background cell with
// exactly one neighbour of its own value becomes background.
template <typename Tone>
void spur_pass(Tone** result_grid, int32_t row_count, int32_t column_count, double** altitude_grid = nullptr);

// One interior scan of the corner pass for one tone: a cell of that tone whose
// neighbours of the same tone are exactly two sides at a right angle (codes 10,
// 40, 160, 130) becomes background.
template <typename Tone>
void corner_scan(Tone** result_grid, int32_t row_count, int32_t column_count, int tone, double** altitude_grid = nullptr);

// One interior scan of the isolated-pixel pass for one tone: a cell of that
// tone whose eight neighbours are all background becomes background.
template <typename Tone>
void isolated_pixel_scan(Tone** result_grid, int32_t row_count, int32_t column_count, int tone, double** altitude_grid = nullptr);

// The corner and isolated-pixel passes run one scan per tone for the tones
// first_tone to first_tone + level_count - 2: level_count - 1 tones, so the last tone of the
// plan is never handled, and a plan of 1 level or fewer makes no scan.
template <typename Tone>
void corner_pass(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count, double** altitude_grid = nullptr);
template <typename Tone>
void isolated_pixel_pass(Tone** result_grid, int32_t row_count, int32_t column_count, int first_tone, int level_count,
                         double** altitude_grid = nullptr);

// When flag is 1, every cell (border included) whose altitude equals highest
// exactly takes the low 8 (or 16) bits of final_GT; when flag is 0 nothing
// changes.
template <typename Tone>
void summit_fill(double** altitude_grid, Tone** result_grid, int32_t row_count, int32_t column_count, double highest, int flag,
                 int final_GT);

#endif
