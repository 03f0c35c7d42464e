// A run shared by several processes, each tracing a band of the model's rows
// in stripes of its own (stripes.h): how the true state goes down from band to
// band.
//
// The repairs run top to bottom, as on one process. The process holding the
// true engine (at first the top band's) repairs its own stripes, then goes on
// into the band below with the checkpoints of that band's stripes, which it
// asks for: where its state meets a stripe's own, that stripe's engine is
// true from there, and the truth is handed to the band's process, which goes
// on from that stripe. Should it meet none of them, the holder has repaired
// the whole band and goes on into the next one. The rows a holder repairs
// below its own band go to the result as its own do: every process writes to
// the one result.
#ifndef CONTOURS_BAND_LINKS_H
#define CONTOURS_BAND_LINKS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "contours/row_engine.h"

// A stripe as its repair by another process needs it: its rows and the
// states its own run kept (see stripes.h).
struct StripeCheckpoints {
    int32_t first = 0;
    int32_t end = 0;
    int32_t states_from = 0;
    std::vector<int32_t> offsets;
    std::vector<EngineState> states;
};

// The rows first .. end - 1 of band `band` of `bands` over `rows` rows: as
// even as the stripes' own cut, the top band taller by the lead rows that
// every other band runs above its first row. A model of too few rows for
// every band gives the last ones none (first == end).
struct BandRows {
    int32_t first = 0;
    int32_t end = 0;
};
BandRows band_rows(int32_t rows, int band, int bands, int32_t lead_rows);

class BandLinks {
public:
    virtual ~BandLinks() = default;

    // This process's band and the number of bands.
    virtual int band() const = 0;
    virtual int bands() const = 0;

    // Waits until the truth comes down to this band, answering meanwhile the
    // holder's requests for its stripes with `describe(k)`: the checkpoints
    // of its stripe k (in row order), none past its last. Returns the index
    // of the stripe whose own engine is true after its rows, or -1 when the
    // holder repaired the whole band.
    virtual int32_t wait_for_truth(
        const std::function<std::optional<StripeCheckpoints>(size_t k)>& describe) = 0;

    // The checkpoints of stripe k of band `below` (a band below this one),
    // asked of its process; none past its last stripe. The stripes are
    // asked for one at a time, from the top, while the repair goes on: it
    // usually meets the first one's own state.
    virtual std::optional<StripeCheckpoints> stripe_of(int below, size_t k) = 0;

    // Tells band `below` that its stripe `stripe` is true (-1: its whole band
    // was repaired here).
    virtual void hand_truth(int below, int32_t stripe) = 0;
};

#endif
