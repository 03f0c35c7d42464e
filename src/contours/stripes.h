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
#include <thread>

#include "row_engine.h"

// Rows of altitudes by row number, read from several threads at once.
class AltitudeSource {
public:
    // Row i (nb_col1 altitudes): in `buffer`, or in memory of the source's
    // own that stays valid until the source is gone.
    virtual AltitudeRow read_row(int32_t i, std::span<double> buffer) const = 0;

protected:
    ~AltitudeSource() = default;
};

struct StripeOptions {
    unsigned threads = std::thread::hardware_concurrency();  // one stripe each; 0 counts as 1
    int32_t min_stripe_rows = 128;  // a model cut in fewer stripes rather than thinner ones (at least 8)
    // Rows a stripe's run starts above its first row, so that its guess has
    // settled by then: on real relief with 250 levels, 64 rows leave nothing
    // to repair where 16 left 151 rows (open lines eaten from their upper end).
    int32_t lead_rows = 64;
    int32_t checkpoints = 48;       // states a stripe keeps of its own run (at least 1)
    // And the bytes those states may take: a state is kept while the
    // stripe's states stay within them (none when the first would not fit:
    // the stripe is then redone whole by its repair).
    uint64_t state_bytes = UINT64_MAX;
    // Stripes at most, counting those cut from running stripes by threads
    // that ran out of work (never fewer than one per thread); 0: twice the
    // threads.
    unsigned max_stripes = 0;
};

// What the repairs did.
struct StripeStats {
    int32_t stripes = 0;
    int64_t repaired_rows = 0;       // rows written again from the true state, all stripes
    int32_t longest_repair = 0;      // in rows
    int32_t recomputed_stripes = 0;  // stripes whose states met at no checkpoint: redone whole
};

// How the engine of a run shares a memory budget: the most stripes whose
// engines fit, all alive until the repairs at the end (but the bottom one's),
// every stripe but the first with room for one repair state at least (they
// share what is left); at most twice the threads. A model too wide for two
// stripes runs as one, on one thread.
struct EngineMemory {
    unsigned threads = 1;
    unsigned stripes = 1;                  // for StripeOptions::max_stripes
    uint64_t state_bytes = 0;              // for StripeOptions::state_bytes
    uint64_t bytes = 0;                    // the engines and the states, at most
};

EngineMemory fit_engine_memory(int64_t nb_col1, int32_t traced_levels, unsigned threads, uint64_t budget);

// The whole extraction of a model of nb_lig1 x nb_col1 cells: every result row
// reaches the sink at least once, and last with its right contents.
StripeStats extract_in_stripes(const PreparedPlan& plan, int32_t nb_lig1, int32_t nb_col1,
                               const AltitudeSource& source, ResultRowSink& sink, const StripeOptions& options = {});

#endif
