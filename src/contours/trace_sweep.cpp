// The one-sweep tracing of every level, fed one row of altitudes at a time:
// the composition of the level lookup (level_lookup.h), the rows it keeps
// (sweep_rows.h), the thinning of a mask word (bit_sliced_clearing.h) and the
// tone order (tone_order.h), in the order the rows become ready.
//
// Besides the sorted levels, only row buffers are used: four rows of runs and
// masks (rows i - 1 .. i + 2 around the row i being thinned).
#include "contours/trace_sweep.h"

#include <algorithm>
#include <array>

#include "contours/bit_sliced_clearing.h"
#include "contours/level_lookup.h"
#include "shared/levels.h"
#include "contours/sweep_rows.h"
#include "contours/tone_order.h"

namespace {

template <typename Key, typename Tone>
class TraceSweep final : public TraceStage<Tone> {
public:
    TraceSweep(const SortedLevels& levels, int32_t rows, int32_t columns, int32_t first_row)
        : levels_(levels), rows_(rows), columns_(columns), first_row_(first_row),
          first_fed_(first_row > 0 ? first_row - 1 : 0), fed_(first_fed_), traced_(first_row), runs_found_(first_row),
          no_row_(static_cast<size_t>(columns), 0)
    {
        const auto cells = static_cast<size_t>(columns_);
        for (SweepRow<Key>& row : sweep_) row = SweepRow<Key>(cells);
        for (SweepMasks& row : masks_) row = SweepMasks(cells, static_cast<size_t>(levels.words));
    }

    // Row i is thinned against the boundary of row i + 1, whose runs need the
    // altitudes of row i + 2: the runs of a row are found as soon as the row
    // below it is pushed (those of the last row, when the row above it is
    // traced).
    void push(AltitudeRow altitudes) override
    {
        const int32_t k = fed_++;
        SweepRow<Key>& cur = row(k);
        const Key* above = k > first_fed_ ? row(k - 1).lo.data() : no_row_.data();
        // The list of cells on a boundary is free until the row's runs are found.
        find_levels_below(levels_, altitudes.data(), above, cur.lo.data(), cur.on_line.data(), cur.gaps, columns_);
        if (k - 1 >= first_row_) find_runs_of(k - 1);
    }

    bool trace_next(Tone* out) override
    {
        const int32_t i = traced_;
        if (i >= rows_ || (fed_ < i + 3 && fed_ < rows_)) return false;
        if (runs_found_ == rows_ - 1 && fed_ == rows_ && i + 2 >= rows_) find_runs_of(rows_ - 1);
        thin_and_transfer(i, out);
        if (i > first_row_) masks(i - 1).clear();  // its masks take row i + 2
        ++traced_;
        return true;
    }

    int32_t next_row() const override { return traced_; }

    void save_state(std::vector<uint64_t>& out) const override
    {
        out.clear();
        if (traced_ > first_row_) masks(traced_ - 1).save(out);
    }

    GapColumns last_gaps() const override { return row(fed_ - 1).gaps; }

    size_t state_words() const override { return traced_ > first_row_ ? masks(traced_ - 1).saved_words() : 0; }

private:
    SweepRow<Key>& row(int32_t i) { return sweep_[static_cast<size_t>(i) & 3]; }
    const SweepRow<Key>& row(int32_t i) const { return sweep_[static_cast<size_t>(i) & 3]; }
    // Only rows from first_row_ on have masks.
    SweepMasks& masks(int32_t i) { return masks_[static_cast<size_t>(i) % 3]; }
    const SweepMasks& masks(int32_t i) const { return masks_[static_cast<size_t>(i) % 3]; }

    // The runs of row i, its list of boundary cells and their masks.
    void find_runs_of(int32_t i)
    {
        SweepRow<Key>& cur = row(i);
        const Key* above = i > 0 ? row(i - 1).lo.data() : no_row_.data();
        const Key* below = i + 1 < rows_ ? row(i + 1).lo.data() : no_row_.data();
        find_runs(cur, above, below, columns_);
        write_runs(cur, masks(i), columns_);
        runs_found_ = i + 1;
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
            // One level (most boundary cells).
            const size_t at = static_cast<size_t>(lo >> 6) * stride + static_cast<size_t>(j);
            out[j] = thin_single_level(here, up, down, at, lo & 63) ? background : static_cast<Tone>(tone_at[lo]);
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
        const int tone = last_tone(levels_, masks(i).levels.data() + j, static_cast<size_t>(columns_), w0, w1);
        if (tone >= 0) out[j] = static_cast<Tone>(tone);
    }

    // Thins the inner cell j of a row at its levels lo .. hi - 1, all of each
    // mask word at once, and returns its tone (-1 when it keeps no level).
    int thin_several(uint64_t* here, const uint64_t* up, const uint64_t* down, size_t stride, int32_t j, int32_t lo,
                     int32_t hi) const
    {
        const int32_t w0 = lo >> 6;
        const int32_t w1 = (hi - 1) >> 6;
        const auto at = [&](int32_t w) { return static_cast<size_t>(w) * stride + static_cast<size_t>(j); };
        for (int32_t w = w0; w <= w1; ++w) thin_word(here, up, down, at(w));
        return w0 == w1 ? last_tone_in_word(levels_, here[at(w0)], w0) : last_tone(levels_, here + j, stride, w0, w1);
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
