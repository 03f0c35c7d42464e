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
#include "contours/sorted_levels.h"
#include "shared/rows.h"

// The tracing stage of one run over the rows first_row .. rows - 1.
//
// Rows of altitudes are pushed in order, starting with row first_row - 1 when
// first_row > 0 (its altitudes bound the cells of first_row). Row first_row is
// traced as the top row of the grid is: not thinned. When first_row > 0 that
// is a guess of the true state (the row's boundary before thinning), which a
// stripe of rows starts from. A cell at the edge of the data (data_edge.h) is
// not thinned either.
template <typename Tone>
class TraceStage {
public:
    virtual ~TraceStage() = default;

    // Altitudes of the next row (one per column).
    virtual void push(AltitudeRow altitudes) = 0;

    // Traces the next row into out (a tone per column, background elsewhere) when
    // the rows it needs have been pushed; returns false when it cannot yet.
    virtual bool trace_next(Tone* out) = 0;

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

// The stage for results of tones of type Tone (uint8_t or uint16_t: see
// background_tone in levels.h).
template <typename Tone>
std::unique_ptr<TraceStage<Tone>> make_trace_stage(const SortedLevels& levels, int32_t rows, int32_t columns,
                                             int32_t first_row);

#endif
