// The thinning of a cell at every level of a mask word at once: whether the
// neighbour code of each level is a clearing code (cell_codes.h), decided for
// the 64 levels of a word by one set of word operations instead of one code
// per level.
//
// The masks are those of the sweep (sweep_rows.h): word w of cell j of a row
// is at w * columns + j, so the words of the cell's neighbours at the same
// levels are at at - 1 and at + 1 of its own row and of the rows above and
// below.
#ifndef CONTOURS_BIT_SLICED_CLEARING_H
#define CONTOURS_BIT_SLICED_CLEARING_H

#include <bit>
#include <cstddef>
#include <cstdint>

#include "contours/cell_codes.h"

// The clearing codes are exactly the codes of two neighbours that touch each
// other, or of three neighbours of which at least two pairs touch (two
// neighbours touch when they are side by side around the cell, or when they
// are two sides at a right angle, like N and E). This form lets one set of
// word operations decide 64 levels at once: bit r of the result is set when
// the code formed by bit r of the eight neighbour words is a clearing code.
//
// W is the cell examined just before, so it is known last: both answers
// (without W, with W) are worked out from the seven other neighbours first,
// and W only picks one of them.
constexpr uint64_t clearing_levels(uint64_t nw, uint64_t n, uint64_t ne, uint64_t e, uint64_t se, uint64_t s,
                                   uint64_t sw, uint64_t w)
{
    // How many of the seven are present, bit-sliced (ones + 2 twos + 4 fours).
    const uint64_t sum_a = nw ^ n ^ ne, carry_a = (nw & n) | (ne & (nw ^ n));
    const uint64_t sum_b = e ^ se ^ s, carry_b = (e & se) | (s & (e ^ se));
    const uint64_t ones = sum_a ^ sum_b ^ sw, carry_c = (sum_a & sum_b) | (sw & (sum_a ^ sum_b));
    const uint64_t twos = carry_a ^ carry_b ^ carry_c;
    const uint64_t fours = (carry_a & carry_b) | (carry_c & (carry_a ^ carry_b));
    const uint64_t exactly_one = ones & ~twos & ~fours;
    const uint64_t exactly_two = ~ones & twos & ~fours;
    const uint64_t exactly_three = ones & twos & ~fours;
    // Touching pairs among the seven: at least one, at least two.
    const uint64_t pairs[8] = {nw & n, n & ne, ne & e, e & se, se & s, s & sw, n & e, e & s};
    uint64_t one_pair = 0, two_pairs = 0;
    for (uint64_t pair : pairs) {
        two_pairs |= one_pair & pair;
        one_pair |= pair;
    }
    // The neighbours that W touches: NW, SW (side by side), N, S (right angles).
    const uint64_t w_touches_one = nw | sw | n | s;
    const uint64_t w_touches_two = ((nw | sw) & (n | s)) | (nw & sw) | (n & s);
    const uint64_t without_w = (exactly_two & one_pair) | (exactly_three & two_pairs);
    const uint64_t with_w = (exactly_one & w_touches_one) | (exactly_two & ((one_pair & w_touches_one) | w_touches_two));
    return (w & with_w) | (~w & without_w);
}

constexpr bool clearing_levels_match_the_codes()
{
    for (int code = 0; code < 256; ++code) {
        const auto bit = [code](int b) { return static_cast<uint64_t>((code & b) != 0); };
        const bool cleared = clearing_levels(bit(NB_NW), bit(NB_N), bit(NB_NE), bit(NB_E), bit(NB_SE), bit(NB_S),
                                             bit(NB_SW), bit(NB_W)) == 1;
        if (cleared != clearing_table[code]) return false;
    }
    return true;
}
static_assert(clearing_levels_match_the_codes(), "the word form of the clearing codes must match the list");

// Thins the inner cell whose mask word is here[at] at the 64 levels of that
// word, here, up and down being the masks of its row and of the rows above
// and below. NW, N, NE and W must hold their thinned levels, E, SE, S and SW
// their boundary levels.
inline void thin_word(uint64_t* here, const uint64_t* up, const uint64_t* down, size_t at)
{
    here[at] &= ~clearing_levels(up[at - 1], up[at], up[at + 1], here[at + 1], down[at + 1], down[at], down[at - 1],
                                 here[at - 1]);
}

// The same for a cell on a single level, bit `bit` of here[at] (the only bit
// set there), the most common case: the same bit of the eight neighbours,
// rotated to bits 0..7 in the order of the neighbour code, forms that code,
// looked up in the list. Returns whether the cell was cleared.
inline bool thin_single_level(uint64_t* here, const uint64_t* up, const uint64_t* down, size_t at, int32_t bit)
{
    const uint64_t own = here[at];
    const uint64_t gathered = (up[at - 1] & own) | std::rotl(up[at] & own, 1) | std::rotl(up[at + 1] & own, 2) |
                              std::rotl(here[at + 1] & own, 3) | std::rotl(down[at + 1] & own, 4) |
                              std::rotl(down[at] & own, 5) | std::rotl(down[at - 1] & own, 6) |
                              std::rotl(here[at - 1] & own, 7);
    const bool cleared = clearing_table[std::rotr(gathered, bit) & 255];
    here[at] = cleared ? 0 : own;
    return cleared;
}

#endif
