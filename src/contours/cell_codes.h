// The values every contour engine agrees on: the background tone, the bits of
// a neighbour code and the codes that take a cell off a thinned line.
#ifndef CONTOURS_CELL_CODES_H
#define CONTOURS_CELL_CODES_H

#include <array>

#include "shared/levels.h"

// Tone of a cell on no line in a result of one-byte tones and in the work
// grids of bytes.
constexpr unsigned char background = background_tone<unsigned char>;

// Bit values of the eight neighbours in a neighbour code, clockwise from the
// upper left; the row above is row i - 1.
enum NeighbourBit : int {
    NB_NW = 1,
    NB_N = 2,
    NB_NE = 4,
    NB_E = 8,
    NB_SE = 16,
    NB_S = 32,
    NB_SW = 64,
    NB_W = 128,
};

// The 32 neighbour codes (of the boundary of one level) that take a cell off
// the thinned line.
constexpr std::array<int, 32> clearing_codes = {
    // Two neighbours that touch each other: a corner and a side next to it.
    NB_NW | NB_N, NB_N | NB_NE, NB_NE | NB_E, NB_E | NB_SE, NB_SE | NB_S, NB_S | NB_SW, NB_SW | NB_W, NB_W | NB_NW,
    // Three neighbours in a row around the cell.
    NB_NW | NB_N | NB_W, NB_N | NB_NE | NB_E, NB_E | NB_SE | NB_S, NB_S | NB_SW | NB_W,
    NB_NW | NB_N | NB_NE, NB_NE | NB_E | NB_SE, NB_SE | NB_S | NB_SW, NB_SW | NB_W | NB_NW,
    // Two sides at a right angle: the inner cell of a staircase.
    NB_N | NB_E, NB_E | NB_S, NB_S | NB_W, NB_W | NB_N,
    // Such a right angle with one corner neighbour outside it.
    NB_N | NB_E | NB_SE, NB_N | NB_SW | NB_W, NB_E | NB_S | NB_SW, NB_NW | NB_N | NB_E,
    NB_NW | NB_S | NB_W, NB_NE | NB_E | NB_S, NB_N | NB_NE | NB_W, NB_SE | NB_S | NB_W,
    // Three sides.
    NB_N | NB_E | NB_S, NB_E | NB_S | NB_W, NB_N | NB_S | NB_W, NB_N | NB_E | NB_W,
};

// clearing_table[code] is true for the clearing codes.
constexpr std::array<bool, 256> clearing_table = [] {
    std::array<bool, 256> table{};
    for (int code : clearing_codes) table[code] = true;
    return table;
}();

// Corners of an L made only of its two orthogonal arms (the corner pass).
constexpr bool is_corner_code(int code)
{
    return code == (NB_N | NB_E) || code == (NB_E | NB_S) || code == (NB_S | NB_W) || code == (NB_N | NB_W);
}

#endif
