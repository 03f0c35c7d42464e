// The one-sweep tracing of every level, fed one row of altitudes at a time.
//
// Besides the sorted levels, only row buffers are used: four rows of runs and
// masks (rows i - 1 .. i + 2 around the row i being thinned).
#include "contours/trace_sweep.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "contours/cell_codes.h"
#include "contours/row_cleaning.h"

namespace {

// Short names of the neighbour bits for the word form of the clearing codes.
constexpr int bit_nw = NB_NW, bit_n = NB_N, bit_ne = NB_NE, bit_e = NB_E, bit_se = NB_SE, bit_s = NB_S,
              bit_sw = NB_SW, bit_w = NB_W;

// "Levels below" an altitude x: the number of traced levels lying strictly
// below x, that is the sorted position where the levels that x is at or below
// start. The answer h has bound[h] < x <= bound[h + 1].
//
// A cell without data (a NaN altitude) is at or below no level, and as a
// neighbour it is above none, like a position outside the grid. It is given
// the answer 0, so that it raises the run end of no neighbour, and its own
// run is emptied once the run ends of its row are known.

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
        const bool cleared = clearing_levels(bit(bit_nw), bit(bit_n), bit(bit_ne), bit(bit_e), bit(bit_se), bit(bit_s),
                                             bit(bit_sw), bit(bit_w)) == 1;
        if (cleared != clearing_table[code]) return false;
    }
    return true;
}
static_assert(clearing_levels_match_the_codes(), "the word form of the clearing codes must match the list");

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

template <typename Key, typename Tone>
class TraceSweep final : public TraceStage<Tone> {
public:
    TraceSweep(const SortedLevels& levels, int32_t rows, int32_t columns, int32_t first_row)
        : levels_(levels), rows_(rows), columns_(columns), first_row_(first_row),
          first_fed_(first_row > 0 ? first_row - 1 : 0), fed_(first_fed_), traced_(first_row), runs_found_(first_row),
          no_row_(static_cast<size_t>(columns), 0)
    {
        const auto cells = static_cast<size_t>(columns_);
        for (SweepRow<Key>& row : sweep_) {
            row.lo.assign(cells, 0);
            row.hi.assign(cells, 0);
            row.on_line.assign(cells, 0);
        }
        const size_t words = cells * static_cast<size_t>(levels.words);
        for (SweepMasks& row : masks_) {
            row.levels.assign(words, 0);
            row.written.assign(words <= std::numeric_limits<uint32_t>::max() ? cells : 0, 0);
        }
    }

    // Row i is thinned against the boundary of row i + 1, whose runs need the
    // altitudes of row i + 2: the runs of a row are found as soon as the row
    // below it is pushed (those of the last row, when the row above it is
    // traced).
    void push(AltitudeRow altitudes) override
    {
        const int32_t k = fed_++;
        find_levels_below(k, altitudes.data());
        if (k - 1 >= first_row_) find_runs(k - 1);
    }

    bool trace_next(Tone* out) override
    {
        const int32_t i = traced_;
        if (i >= rows_ || (fed_ < i + 3 && fed_ < rows_)) return false;
        if (runs_found_ == rows_ - 1 && fed_ == rows_ && i + 2 >= rows_) find_runs(rows_ - 1);
        thin_and_transfer(i, out);
        if (i > first_row_) clear_masks(i - 1);  // its masks take row i + 2
        ++traced_;
        return true;
    }

    int32_t next_row() const override { return traced_; }

    void save_state(std::vector<uint64_t>& out) const override
    {
        out.clear();
        if (traced_ == first_row_) return;
        const SweepMasks& last = masks_[static_cast<size_t>(traced_ - 1) % 3];
        // Both runs wrote the same words (they depend on altitudes only); the
        // words not written are 0 in both.
        if (last.written_count > last.written.size()) {
            out = last.levels;
            return;
        }
        out.reserve(last.written_count);
        for (size_t k = 0; k < last.written_count; ++k) out.push_back(last.levels[last.written[k]]);
    }

    GapColumns last_gaps() const override { return row(fed_ - 1).gaps; }

    size_t state_words() const override
    {
        if (traced_ == first_row_) return 0;
        const SweepMasks& last = masks_[static_cast<size_t>(traced_ - 1) % 3];
        return last.written_count > last.written.size() ? last.levels.size() : last.written_count;
    }

private:
    SweepRow<Key>& row(int32_t i) { return sweep_[static_cast<size_t>(i) & 3]; }
    const SweepRow<Key>& row(int32_t i) const { return sweep_[static_cast<size_t>(i) & 3]; }
    // Only rows from first_row_ on have masks.
    SweepMasks& masks(int32_t i) { return masks_[static_cast<size_t>(i) % 3]; }

    // lo of every cell of row i.
    void find_levels_below(int32_t i, const double* alt)
    {
        SweepRow<Key>& cur = row(i);
        Key* lo = cur.lo.data();
        const double* bound = levels_.bound();
        const LevelGuess guess(levels_);
        // A first answer for every cell, checked at once (so that the cells of
        // a row do not wait for each other); the few it does not settle are
        // listed, then searched. For evenly spaced levels (a plan's) the guess
        // from the altitude is right for nearly every cell and needs two
        // bounds to check; otherwise the answer of the cell above, moved by
        // one position, is right on smooth ground.
        int32_t* unsettled = cur.on_line.data();  // free until find_runs(i)
        int32_t count = 0;
        if (guess.per_meter > 0) {
            for (int32_t j = 0; j < columns_; ++j) {
                const double x = alt[j];
                const int32_t h = guess(x);
                lo[j] = static_cast<Key>(h);
                unsettled[count] = j;
                count += !is_levels_below(x, bound, h);
            }
        } else {
            const Key* above = i > first_fed_ ? row(i - 1).lo.data() : no_row_.data();
            for (int32_t j = 0; j < columns_; ++j) {
                const double x = alt[j];
                bool settled;
                lo[j] = static_cast<Key>(step_towards(x, bound, above[j], settled));
                unsettled[count] = j;
                count += !settled;
            }
        }
        cur.gaps.clear();
        for (int32_t k = 0; k < count; ++k) {
            const int32_t j = unsettled[k];
            const double x = alt[j];
            if (x != x) {
                lo[j] = 0;
                cur.gaps.push_back(j);
                continue;
            }
            // Off by one from the guess (an altitude on a level), or steep
            // ground where the cell above lies more than a level away: the
            // guess moved by one position, checked, else a search.
            bool settled;
            const int32_t near = step_towards(x, bound, guess(x), settled);
            lo[j] = static_cast<Key>(settled ? near : search_levels_below(x, bound, levels_.search_step));
        }
    }

    // The run [lo, hi) of every cell of row i, hi being the largest lo of its
    // side neighbours inside the grid (never below its own lo); the list of
    // the cells on a boundary; and their boundary levels as masks.
    void find_runs(int32_t i)
    {
        SweepRow<Key>& cur = row(i);
        const Key* above = i > 0 ? row(i - 1).lo.data() : no_row_.data();
        const Key* below = i + 1 < rows_ ? row(i + 1).lo.data() : no_row_.data();
        const Key* lo = cur.lo.data();
        Key* hi = cur.hi.data();
        const int32_t last = columns_ - 1;
        find_run_ends(above, lo, below, hi, last);
        hi[0] = std::max(std::max(above[0], below[0]), std::max(last > 0 ? lo[1] : Key{0}, lo[0]));
        if (last > 0) hi[last] = std::max(std::max(above[last], below[last]), std::max(lo[last - 1], lo[last]));
        for (const int32_t j : cur.gaps) hi[j] = 0;  // on no boundary

        int32_t* on_line = cur.on_line.data();
        int32_t count = 0;
        for (int32_t j = 0; j <= last; ++j) {
            on_line[count] = j;
            count += lo[j] < hi[j];
        }
        cur.on_line_count = count;

        SweepMasks& mask = masks(i);
        uint64_t* levels = mask.levels.data();
        uint32_t* written = mask.written.data();
        const size_t room = mask.written.size();
        size_t written_count = 0;
        const auto stride = static_cast<size_t>(columns_);
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
        runs_found_ = i + 1;
    }

    // Sets the masks of row i back to 0, on its boundary cells only.
    void clear_masks(int32_t i)
    {
        SweepMasks& cur = masks(i);
        if (cur.written_count > cur.written.size()) {
            std::fill(cur.levels.begin(), cur.levels.end(), 0);
            return;
        }
        uint64_t* levels = cur.levels.data();
        for (size_t k = 0; k < cur.written_count; ++k) levels[cur.written[k]] = 0;
    }

    // Thins the boundary cells of row i at all their levels, in place and in
    // column order, then writes each cell's tone into the row out. When a cell is
    // examined, NW, N, NE and W hold their thinned levels, E, SE, S and SW
    // their boundary levels. Cells of the first and last row and column keep
    // all their levels.
    void thin_and_transfer(int32_t i, Tone* out)
    {
        constexpr Tone background = background_tone<Tone>;
        std::fill_n(out, static_cast<size_t>(columns_), background);
        SweepRow<Key>& cur = row(i);
        const int32_t* on_line = cur.on_line.data();
        int32_t first = 0;
        int32_t end = cur.on_line_count;
        if (i == first_row_ || i + 1 == rows_) {
            for (int32_t k = first; k < end; ++k) transfer(i, on_line[k], out);
            return;
        }
        // The cells of the first and last column are at the ends of the list.
        if (first < end && on_line[first] == 0) transfer(i, on_line[first++], out);
        if (first < end && on_line[end - 1] == columns_ - 1) transfer(i, on_line[--end], out);
        // Cells at the edge of the data are not thinned, as if on the border.
        const unsigned char* data_edge = mark_data_edge_of(i) ? edge_.data() : nullptr;

        const auto stride = static_cast<size_t>(columns_);
        uint64_t* here = masks(i).levels.data();
        const uint64_t* up = masks(i - 1).levels.data();
        const uint64_t* down = masks(i + 1).levels.data();
        const Key* lo_row = cur.lo.data();
        const Key* hi_row = cur.hi.data();
        const uint16_t* tone_at = levels_.tone_at.data();
        for (int32_t k = first; k < end; ++k) {
            const int32_t j = on_line[k];
            if (data_edge != nullptr && data_edge[j] != 0) {
                transfer(i, j, out);
                continue;
            }
            const int32_t lo = lo_row[j];
            const int32_t hi = hi_row[j];
            if (hi - lo != 1) {
                const int tone = thin_several(here, up, down, stride, j, lo, hi);
                if (tone >= 0) out[j] = static_cast<Tone>(tone);
                continue;
            }
            // One level (most boundary cells): the cell's mask is the single
            // bit r; the same bit of the eight neighbours, rotated to bits 0..7
            // in the order of the neighbour code, forms that code.
            const size_t at = static_cast<size_t>(lo >> 6) * stride + static_cast<size_t>(j);
            const uint64_t own = here[at];
            const uint64_t gathered = (up[at - 1] & own) | std::rotl(up[at] & own, 1) | std::rotl(up[at + 1] & own, 2) |
                                      std::rotl(here[at + 1] & own, 3) | std::rotl(down[at + 1] & own, 4) |
                                      std::rotl(down[at] & own, 5) | std::rotl(down[at - 1] & own, 6) |
                                      std::rotl(here[at - 1] & own, 7);
            const bool cleared = clearing_table[std::rotr(gathered, lo & 63) & 255];
            here[at] = cleared ? 0 : own;
            out[j] = cleared ? background : static_cast<Tone>(tone_at[lo]);
        }
    }

    // Marks the edge of the data in row i into edge_ (made at the first gap
    // met); false when no gap lies next to the row.
    bool mark_data_edge_of(int32_t i)
    {
        const GapColumns above = row(i - 1).gaps, here = row(i).gaps, below = row(i + 1).gaps;
        if (above.empty() && here.empty() && below.empty()) return false;
        edge_.resize(static_cast<size_t>(columns_));
        return mark_data_edge(above, here, below, edge_.data(), columns_);
    }

    // Tone transfer of a cell that is never thinned.
    void transfer(int32_t i, int32_t j, Tone* out)
    {
        const SweepRow<Key>& cur = row(i);
        const int32_t w0 = cur.lo[j] >> 6;
        const int32_t w1 = (cur.hi[j] - 1) >> 6;
        const int tone = last_tone(masks(i).levels.data() + j, static_cast<size_t>(columns_), w0, w1);
        if (tone >= 0) out[j] = static_cast<Tone>(tone);
    }

    // Thins the inner cell j of a row at its levels lo .. hi - 1, all of each
    // mask word at once, and returns its tone (-1 when it keeps no level).
    int thin_several(uint64_t* here, const uint64_t* up, const uint64_t* down, size_t stride, int32_t j, int32_t lo,
                     int32_t hi) const
    {
        const int32_t w0 = lo >> 6;
        const int32_t w1 = (hi - 1) >> 6;
        for (int32_t w = w0; w <= w1; ++w) {
            const size_t at = static_cast<size_t>(w) * stride + static_cast<size_t>(j);
            here[at] &= ~clearing_levels(up[at - 1], up[at], up[at + 1], here[at + 1], down[at + 1], down[at],
                                         down[at - 1], here[at - 1]);
        }
        return w0 == w1 ? last_tone_in_word(here[static_cast<size_t>(w0) * stride + static_cast<size_t>(j)], w0)
                        : last_tone(here + j, stride, w0, w1);
    }

    // The same for a run within word w, whose mask word is `mask`.
    int last_tone_in_word(uint64_t mask, int32_t w) const
    {
        if (mask == 0) return -1;
        switch (levels_.order) {
        case PlanOrder::rising:
            return levels_.tone_at[static_cast<size_t>(w * 64 + 63 - __builtin_clzll(mask))];
        case PlanOrder::falling:
            return levels_.tone_at[static_cast<size_t>(w * 64 + __builtin_ctzll(mask))];
        case PlanOrder::mixed:
            break;
        }
        const int32_t rank = last_rank_in(mask, w * 64);
        return levels_.tone_of_rank[static_cast<size_t>(rank)];
    }

    // Tone of the kept level that comes last in plan order among words w0..w1
    // of a cell's mask (word w at cell[w * stride]), or -1 when it keeps none.
    int last_tone(const uint64_t* cell, size_t stride, int32_t w0, int32_t w1) const
    {
        const auto word = [&](int32_t w) { return cell[static_cast<size_t>(w) * stride]; };
        switch (levels_.order) {
        case PlanOrder::rising:
            for (int32_t w = w1; w >= w0; --w)
                if (word(w) != 0) return levels_.tone_at[static_cast<size_t>(w * 64 + 63 - __builtin_clzll(word(w)))];
            return -1;
        case PlanOrder::falling:
            for (int32_t w = w0; w <= w1; ++w)
                if (word(w) != 0) return levels_.tone_at[static_cast<size_t>(w * 64 + __builtin_ctzll(word(w)))];
            return -1;
        case PlanOrder::mixed:
            break;
        }
        int32_t last_rank = -1;
        for (int32_t w = w0; w <= w1; ++w) last_rank = std::max(last_rank, last_rank_in(word(w), w * 64));
        return last_rank < 0 ? -1 : levels_.tone_of_rank[static_cast<size_t>(last_rank)];
    }

    // Largest plan rank among the levels first_level + b of the bits b of
    // `mask`, or -1 for an empty mask.
    int32_t last_rank_in(uint64_t mask, int32_t first_level) const
    {
        int32_t last_rank = -1;
        for (; mask != 0; mask &= mask - 1)
            last_rank = std::max(last_rank, levels_.plan_rank[static_cast<size_t>(first_level + __builtin_ctzll(mask))]);
        return last_rank;
    }

    const SortedLevels& levels_;
    int32_t rows_;
    int32_t columns_;
    int32_t first_row_;  // traced without thinning
    int32_t first_fed_;  // first row of altitudes pushed
    int32_t fed_;        // next row of altitudes to push
    int32_t traced_;     // next row to trace
    int32_t runs_found_; // next row whose runs are to be found
    std::vector<Key> no_row_;   // stands for a missing row of neighbours
    std::vector<unsigned char> edge_;     // the edge of the data in the row thinned (once a gap is met)
    std::array<SweepRow<Key>, 4> sweep_;   // rows i - 1 .. i + 2 of the sweep, by i mod 4
    // The masks of rows i - 1 .. i + 1, by i mod 3: when the runs of row
    // i + 2 are found, row i has been traced and the masks of row i - 1
    // are free.
    std::array<SweepMasks, 3> masks_;
};


}  // namespace

template <typename Tone>
std::unique_ptr<TraceStage<Tone>> make_trace_stage(const SortedLevels& levels, int32_t rows, int32_t columns,
                                                   int32_t first_row)
{
    // Up to 254 traced levels (every plan the program makes) a sorted
    // position fits one byte, so that the run ends of a row are worked out 16
    // cells at a time; 32 bits beyond.
    if (sorted_position_bytes(levels.count) == 1)
        return std::make_unique<TraceSweep<uint8_t, Tone>>(levels, rows, columns, first_row);
    return std::make_unique<TraceSweep<int32_t, Tone>>(levels, rows, columns, first_row);
}

template std::unique_ptr<TraceStage<uint8_t>> make_trace_stage<uint8_t>(const SortedLevels&, int32_t, int32_t, int32_t);
template std::unique_ptr<TraceStage<uint16_t>> make_trace_stage<uint16_t>(const SortedLevels&, int32_t, int32_t,
                                                                           int32_t);
