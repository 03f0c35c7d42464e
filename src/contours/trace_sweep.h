// Tracing of every level of a plan in one top-to-bottom sweep, fed one row of
// altitudes at a time: the first stage of the row engine.
//
// Why one sweep is enough:
// - Order the traced levels by altitude. A cell of altitude v lies on the
//   boundary of a level a exactly when v <= a and one of its side neighbours
//   inside the grid lies above a. So its boundary levels are the sorted
//   positions from "levels below v" up to (not including) the largest
//   "levels below n" over its side neighbours n: one run [lo, hi) per cell.
//   A cell without data (NaN) lies above no level and is on no boundary.
// - Thinning a cell at one level reads only that level's boundary: the final
//   (thinned) state of NW, N, NE, W and the boundary state of E, SE, S, SW. The
//   levels do not meet, so a bit mask over the sorted levels per cell, kept for
//   the row above and the current row, thins all of them in the same raster
//   order as the level-by-level passes.
// - The later level wins the tone transfer: a cell takes the tone of the kept
//   level that comes last in plan order.
//
// What a traced row depends on besides altitudes is therefore only the
// thinned masks of the row above: the state carried from row to row.
#ifndef CONTOURS_TRACE_SWEEP_H
#define CONTOURS_TRACE_SWEEP_H

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "contours/data_edge.h"
#include "contours/levels.h"
#include "rows.h"


using AltitudeRow = std::span<const double>;

// How the plan order runs along the sorted levels: the same way (a rising
// plan), the other way (a falling plan), or neither.
enum class PlanOrder { rising, falling, mixed };

// The traced levels of a plan ordered by altitude.
struct SortedLevels {
    int32_t count = 0;                        // traced levels (those that can hold a cell)
    int32_t words = 0;                        // 64-bit words of a mask over them
    // -inf, -inf, the altitudes ascending, then +inf: bound(h) is entry h + 1,
    // defined from h = -1 up to at least 2 * search_step and count + 2.
    std::vector<double> padded_bounds;
    const double* bound() const { return padded_bounds.data() + 1; }
    int32_t search_step = 1;                  // half of the smallest power of two above count
    // A first guess of "levels below" x, for levels evenly spaced (as a
    // plan's are): 1 + (x - lowest) * per_meter, clamped to 0 .. count. Only
    // a guess: it is checked against the bounds, and searched past when wrong.
    double lowest = 0;
    double per_meter = 0;
    std::vector<int32_t> plan_rank;           // per sorted position: rank in plan order
    std::vector<unsigned char> tone_at;       // per sorted position: the tone byte
    std::vector<unsigned char> tone_of_rank;  // per plan rank: the tone byte
    PlanOrder order = PlanOrder::mixed;
};

// 64-bit words of a mask over `count` traced levels.
constexpr int32_t mask_words(int32_t count) { return (count > 0 ? count + 63 : 63) / 64; }

// Bytes of a sorted position in the sweep's rows: one up to 254 traced levels
// (every plan the program makes), four beyond.
constexpr int32_t sorted_position_bytes(int32_t count) { return count <= 254 ? 1 : 4; }

// Sorts the levels that are traced: not the top level, and not a level with
// no altitude (NaN), which holds no cell. levels may be null (no levels).
SortedLevels sort_traced_levels(const std::vector<Level>* levels);

// The tracing stage of one run over the rows first_row .. rows - 1.
//
// Rows of altitudes are pushed in order, starting with row first_row - 1 when
// first_row > 0 (its altitudes bound the cells of first_row). Row first_row is
// traced as the top row of the grid is: not thinned. When first_row > 0 that
// is a guess of the true state (the row's boundary before thinning), which a
// stripe of rows starts from. A cell at the edge of the data (data_edge.h) is
// not thinned either.
class TraceStage {
public:
    virtual ~TraceStage() = default;

    // Altitudes of the next row (one per column).
    virtual void push(AltitudeRow altitudes) = 0;

    // Traces the next row into out (a tone per column, background elsewhere) when
    // the rows it needs have been pushed; returns false when it cannot yet.
    virtual bool trace_next(unsigned char* out) = 0;

    // The next row trace_next will give.
    virtual int32_t next_row() const = 0;

    // The thinned masks of the last traced row: all that the rows below
    // depend on besides altitudes. Two runs over the same altitudes that save
    // the same state at the same row trace every later row alike.
    virtual void save_state(std::vector<uint64_t>& out) const = 0;

    // The number of words save_state gives now.
    virtual size_t state_words() const = 0;

    // The columns without data of the row pushed last.
    virtual GapColumns last_gaps() const = 0;
};

std::unique_ptr<TraceStage> make_trace_stage(const SortedLevels& levels, int32_t rows, int32_t columns,
                                             int32_t first_row);

#endif
