// What the sweep keeps of each row, and its upkeep: where each cell's
// boundary levels lie among the sorted levels (a run [lo, hi)), which cells
// are on a boundary, and those levels as bit masks.
//
// Most cells lie on no line, so a row is handled by its boundary cells only:
// the list of the cells on a boundary is what the thinning walks, and the
// list of the mask words written is what clears a row's masks for reuse and
// saves them as the state carried to the rows below, rather than every word
// of the row.
#ifndef CONTOURS_SWEEP_ROWS_H
#define CONTOURS_SWEEP_ROWS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Per row of the sweep: where its cells lie among the levels.
//
// Key is the type of a sorted position: one byte for plans of up to 254
// traced levels (every plan the program makes), so that the run ends of a
// row are worked out 16 cells at a time; 32 bits beyond.
template <typename Key>
struct SweepRow {
    std::vector<Key> lo;           // first boundary level (sorted position) of each cell
    std::vector<Key> hi;           // one past its last boundary level; hi == lo: on no boundary
    std::vector<int32_t> on_line;  // the columns whose run [lo, hi) is not empty, in order
    int32_t on_line_count = 0;
    // The columns without data, in order: grown only when a row has some
    // (most models have none), so that it costs no memory otherwise.
    std::vector<int32_t> gaps;

    explicit SweepRow(size_t cells = 0) : lo(cells, 0), hi(cells, 0), on_line(cells, 0) {}
};

// Per row of the sweep: the boundary levels of each cell as a mask, once
// thinned the kept ones. Word w of the mask of cell j is at w * columns + j,
// so that neighbouring cells share cache lines. Words outside a cell's run
// are 0.
struct SweepMasks {
    std::vector<uint64_t> levels;
    // The words of `levels` that may not be 0: the first written_count, or
    // any word when more were written than the list holds (one per cell; none
    // for a row of 2^32 words or more, which a 32-bit index cannot reach).
    std::vector<uint32_t> written;
    size_t written_count = 0;

    // The masks of a row of `cells` cells, of `words_per_cell` words each, all 0.
    explicit SweepMasks(size_t cells = 0, size_t words_per_cell = 0);

    // Sets the masks back to 0, on the words written only.
    void clear();

    // The words written, in the order written (every word when the list
    // could not hold them). Two rows over the same altitudes wrote the same
    // words (they depend on altitudes only), and the words not written are 0
    // in both.
    void save(std::vector<uint64_t>& out) const;

    // The number of words save gives.
    size_t saved_words() const;
};

// Bits n-1 .. 0 set (n from 0 to 64).
inline uint64_t low_bits(int32_t n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

// The bits of the run [lo, hi) that fall in mask word w.
inline uint64_t run_bits(int32_t lo, int32_t hi, int32_t w)
{
    const int32_t base = w * 64;
    const int32_t from = std::clamp(lo - base, 0, 64);
    const int32_t to = std::clamp(hi - base, 0, 64);
    return low_bits(to) & ~low_bits(from);
}

// hi of the inner cells 1 .. last - 1 of a row from the lo of the row and of
// the rows above and below (a plain loop, which the compiler makes vector code
// of).
template <typename Key>
void find_run_ends(const Key* __restrict above, const Key* __restrict lo, const Key* __restrict below,
                   Key* __restrict hi, int32_t last)
{
    for (int32_t j = 1; j < last; ++j)
        hi[j] = std::max(std::max(std::max(above[j], below[j]), std::max(lo[j - 1], lo[j + 1])), lo[j]);
}

// The run [lo, hi) of every cell of a row of `columns` cells whose lo is
// known, hi being the largest lo of its side neighbours inside the grid (never
// below its own lo; above and below give the lo of the rows above and below,
// all 0 for a row outside the grid), and the list of the cells on a boundary.
// A cell without data is on no boundary.
template <typename Key>
void find_runs(SweepRow<Key>& row, const Key* above, const Key* below, int32_t columns)
{
    const Key* lo = row.lo.data();
    Key* hi = row.hi.data();
    const int32_t last = columns - 1;
    find_run_ends(above, lo, below, hi, last);
    hi[0] = std::max(std::max(above[0], below[0]), std::max(last > 0 ? lo[1] : Key{0}, lo[0]));
    if (last > 0) hi[last] = std::max(std::max(above[last], below[last]), std::max(lo[last - 1], lo[last]));
    for (const int32_t j : row.gaps) hi[j] = 0;  // on no boundary

    int32_t* on_line = row.on_line.data();
    int32_t count = 0;
    for (int32_t j = 0; j <= last; ++j) {
        on_line[count] = j;
        count += lo[j] < hi[j];
    }
    row.on_line_count = count;
}

// Writes the run of every boundary cell of `row` into its masks (all 0
// before), listing the words written.
template <typename Key>
void write_runs(const SweepRow<Key>& row, SweepMasks& mask, int32_t columns)
{
    const Key* lo = row.lo.data();
    const Key* hi = row.hi.data();
    const int32_t* on_line = row.on_line.data();
    uint64_t* levels = mask.levels.data();
    uint32_t* written = mask.written.data();
    const size_t room = mask.written.size();
    size_t written_count = 0;
    const int32_t count = row.on_line_count;
    const auto stride = static_cast<size_t>(columns);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t j = on_line[k];
        const int32_t w0 = lo[j] >> 6;
        const int32_t w1 = (hi[j] - 1) >> 6;
        if (w0 == w1 && written_count < room) {  // the usual case: a run within one word
            const size_t at = static_cast<size_t>(w0) * stride + static_cast<size_t>(j);
            levels[at] = (~uint64_t{0} >> (64 - (hi[j] - lo[j]))) << (lo[j] & 63);
            written[written_count++] = static_cast<uint32_t>(at);
            continue;
        }
        for (int32_t w = w0; w <= w1; ++w) {
            const size_t at = static_cast<size_t>(w) * stride + static_cast<size_t>(j);
            levels[at] = run_bits(lo[j], hi[j], w);
            if (written_count < room) written[written_count] = static_cast<uint32_t>(at);
            ++written_count;
        }
    }
    mask.written_count = written_count;
}

#endif
