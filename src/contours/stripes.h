// The row engine on several threads: the rows of a model are cut into
// stripes, one per thread, each computed at the same time from a guess of the
// state it inherits from the stripe above, then repaired.
//
// The state a run carries from one row to the next is only the last finished
// row of each stage (EngineState). A stripe starts as the top of a model does
// (its first row neither thinned nor cleaned). Once the stripe above is right,
// its engine goes on into this stripe from the true state, row by row,
// rewriting the rows, until its state equals the one this stripe's own run had
// after the same row: from there on the stripe's rows were already right.
// The result is the same on any number of threads.
//
// Parts of a model cost unequal work, so a thread whose stripe is done cuts
// the stripe with the most rows left in two and runs the lower part as a new
// stripe (with its lead), while the owner stops at the cut: one more seam,
// repaired like the others.
//
// How far a repair must go: the thinned masks agree again after a row or
// two, but the spur pass eats an open line from its upper end down, so a
// stripe that starts inside such a line is wrong until the line ends. So a
// stripe's own run starts some rows above its first row (lead_rows), which
// settles most guesses before they count. And states that agree once agree
// for good, so they are compared at checkpoints only, spaced wider and wider:
// a stripe keeps a few dozen states, and a repair goes at most about a
// quarter further than needed.
#ifndef CONTOURS_STRIPES_H
#define CONTOURS_STRIPES_H

#include <cstdint>
#include <span>

#include "contours/band_links.h"
#include "contours/row_engine.h"
#include "contours/stripe_options.h"

// What the repairs did.
struct StripeStats {
    int32_t stripes = 0;
    int64_t repaired_rows = 0;       // rows written again from the true state, all stripes
    int32_t longest_repair = 0;      // in rows
    int32_t recomputed_stripes = 0;  // stripes whose states met at no checkpoint: redone whole
};

// The whole extraction of a model of `rows` x `columns` cells, read from
// `altitudes`: every row of the result reaches `result` at least once, and
// last with its right contents.
StripeStats extract_in_stripes(const PreparedPlan& plan, int32_t rows, int32_t columns,
                               const AltitudeSource& altitudes, ResultRowSink& result, const StripeOptions& options = {});

// The same extraction shared by the processes `links` joins: this one traces
// its band of rows (band_links.h) and the repairs go down from band to band.
// Every process's rows reach `result`, the one result of them all.
StripeStats extract_band_in_stripes(const PreparedPlan& plan, int32_t rows, int32_t columns,
                                    const AltitudeSource& altitudes, ResultRowSink& result,
                                    const StripeOptions& options, BandLinks& links);

#endif
