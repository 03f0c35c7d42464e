// How a run cuts its rows into stripes, one per thread, and what a stripe
// keeps for the repair of its seam (see stripes.h).
#ifndef CONTOURS_STRIPE_OPTIONS_H
#define CONTOURS_STRIPE_OPTIONS_H

#include <cstdint>
#include <thread>

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

#endif
