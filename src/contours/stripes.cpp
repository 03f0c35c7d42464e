// Stripes of rows on several threads, each guessed, then repaired in order
// from the top.
#include "contours/stripes.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "contours/band_links.h"
#include "shared/run_in_parallel.h"

namespace {

template <typename Tone>
struct Stripe {
    Stripe(int32_t first, int32_t end) : first(first), end(end), finished(first) {}

    int32_t first;  // result rows first .. end - 1
    // While the stripe's own run goes, a thread out of work may move its end
    // up (and take the rows after it): `end` and the rows the run has
    // finished are read and written under `bounds`.
    std::mutex bounds;
    int32_t end;
    int32_t finished;
    std::unique_ptr<RowEngine<Tone>> engine;
    // The states of the stripe's own run after the pushed rows states_from +
    // offset, states_from being the row after which the engine of the stripe
    // above stops.
    int32_t states_from = 0;
    std::vector<int32_t> offsets;
    std::vector<EngineState> states;
};

// The checkpoints: every row for the first eight, then each a quarter
// further than the one before.
int32_t next_checkpoint(int32_t offset) { return offset < 8 ? offset + 1 : offset + offset / 4; }

// The stripe's own run, from a guess a few rows above its first row (the top
// stripe from the top of the model, which is no guess).
template <typename Tone>
void run_stripe(Stripe<Tone>& stripe, const PreparedPlan& plan, int32_t rows, int32_t columns,
                const AltitudeSource& source, ResultRowSink& sink, const StripeOptions& options)
{
    const int32_t start = std::max(stripe.first - std::max(options.lead_rows, 0), 0);
    stripe.engine = std::make_unique<RowEngine<Tone>>(plan, rows, columns, sink, start);
    {
        const std::lock_guard<std::mutex> hold(stripe.bounds);  // a thread out of work may move the end
        stripe.engine->set_written_rows(stripe.first, stripe.end);
    }
    stripe.states_from = stripe.first - 1 + RowEngine<Tone>::finish_lag;
    const auto kept = static_cast<size_t>(std::max(options.checkpoints, 1));
    uint64_t kept_bytes = 0;
    int32_t checkpoint = 0;
    std::vector<double> buffer(static_cast<size_t>(columns));
    for (;;) {
        {
            const std::lock_guard<std::mutex> hold(stripe.bounds);
            stripe.finished = std::max(stripe.engine->rows_finished(), stripe.first);
            if (stripe.finished >= stripe.end) break;
        }
        const int32_t k = stripe.engine->next_input();
        stripe.engine->push(source.read_row(k, buffer));
        if (stripe.first > 0 && k == stripe.states_from + checkpoint && stripe.states.size() < kept &&
            stripe.engine->state_bytes() <= options.state_bytes - kept_bytes) {
            stripe.offsets.push_back(checkpoint);
            stripe.states.emplace_back();
            stripe.engine->save_state(stripe.states.back());
            kept_bytes = std::min(kept_bytes + stripe.states.back().bytes(), options.state_bytes);
            checkpoint = next_checkpoint(checkpoint);
        }
    }
    stripe.engine->flush();
    // The engine of the bottom stripe is no other stripe's truth: it goes now
    // (no thread moves the end of a finished stripe).
    const std::lock_guard<std::mutex> hold(stripe.bounds);
    if (stripe.end == rows) stripe.engine.reset();
}

// Takes `truth`, the engine of the stripe above in its true state after the
// rows of that stripe, on into `stripe` until its state meets the stripe's
// own at a checkpoint (true), or through all its rows (false): either way
// the rows of `stripe` that differ are written again.
template <typename Tone>
bool repair(const Stripe<Tone>& stripe, RowEngine<Tone>& truth, const AltitudeSource& source, int32_t columns,
            StripeStats& stats)
{
    truth.set_written_rows(stripe.first, stripe.end);
    std::vector<double> buffer(static_cast<size_t>(columns));
    EngineState state;
    bool met = false;
    size_t checkpoint = 0;
    while (truth.rows_finished() < stripe.end) {
        const int32_t at = truth.next_input() - 1 - stripe.states_from;
        if (checkpoint < stripe.offsets.size() && at == stripe.offsets[checkpoint]) {
            truth.save_state(state);
            if (state == stripe.states[checkpoint]) {
                met = true;
                break;
            }
            ++checkpoint;
        }
        truth.push(source.read_row(truth.next_input(), buffer));
    }
    truth.flush();
    const int32_t repaired = std::max(truth.rows_finished() - stripe.first, 0);
    stats.repaired_rows += repaired;
    stats.longest_repair = std::max(stats.longest_repair, repaired);
    if (!met) ++stats.recomputed_stripes;
    return met;
}

using Rows = std::pair<int32_t, int32_t>;  // rows first .. second - 1

// Every stripe keeps at least 8 rows: a stripe needs more than finish_lag
// rows, so that the run of the stripe above it stops before the last row of
// the model and can still go on into it.
constexpr int32_t thinnest = 8;
static_assert(thinnest > RowEngine<uint8_t>::finish_lag && thinnest > RowEngine<uint16_t>::finish_lag);

// The rows first .. end - 1 cut in `count` parts: the first `extra` rows
// taller than the others, which share the rest evenly.
std::vector<Rows> parts_of(int32_t first, int32_t end, int32_t count, int64_t extra)
{
    std::vector<Rows> parts;
    const int64_t shared = end - first - extra;
    const auto cut = [&](int32_t k) { return static_cast<int32_t>(k == 0 ? first : first + extra + shared * k / count); };
    for (int32_t s = 0; s < count; ++s) parts.emplace_back(cut(s), s + 1 == count ? end : cut(s + 1));
    return parts;
}

// The rows first .. end - 1 in at most `most` parts of `min_rows` or more, of
// equal work: every part but the top one of the model runs the lead rows
// above it, so that one is that much taller. No part is thinner than a
// stripe may be.
std::vector<Rows> cut_rows(int32_t first, int32_t end, int64_t most, int32_t min_rows, int32_t lead_rows)
{
    const int32_t rows = end - first;
    const auto count = static_cast<int32_t>(
        std::clamp<int64_t>(rows / std::max(min_rows, thinnest), 1, std::max<int64_t>(most, 1)));
    const int64_t lead = first == 0 && count > 1 ? std::max(lead_rows, 0) : 0;
    std::vector<Rows> parts = parts_of(first, end, count, std::min<int64_t>(lead, rows));
    for (const Rows& part : parts)
        if (part.second - part.first < thinnest) return parts_of(first, end, count, 0);
    return parts;
}

// The stripes of a run. Parts of a model cost unequal work (dense lines in
// one, open sea in another), so a thread whose stripe is done takes the
// lower part of the stripe with the most rows left: the cut shares those rows
// so that both threads end together, the new stripe also running its lead.
template <typename Tone>
class StripeBoard {
public:
    StripeBoard(const std::vector<Rows>& initial, const StripeOptions& options)
        : lead_(std::max(options.lead_rows, 0)),
          smallest_part_(std::max(options.min_stripe_rows / 2, thinnest)),
          most_(std::max<size_t>(options.max_stripes > 0 ? options.max_stripes : 2 * std::max(options.threads, 1u),
                                 initial.size()))
    {
        for (const Rows& r : initial) stripes_.emplace_back(r.first, r.second);
    }

    Stripe<Tone>& initial(size_t k) { return stripes_[k]; }

    // A new stripe cut from the stripe with the most rows left, or null when
    // none has enough left to be worth the lead and the repair of a new seam.
    Stripe<Tone>* split_largest()
    {
        const std::lock_guard<std::mutex> hold(board_);
        if (stripes_.size() >= most_) return nullptr;
        Stripe<Tone>* victim = nullptr;
        int32_t most_left = 0;
        for (Stripe<Tone>& stripe : stripes_) {
            const std::lock_guard<std::mutex> bounds(stripe.bounds);
            if (stripe.end - stripe.finished > most_left) {
                most_left = stripe.end - stripe.finished;
                victim = &stripe;
            }
        }
        if (victim == nullptr) return nullptr;
        const std::lock_guard<std::mutex> bounds(victim->bounds);
        // The victim keeps `kept` of the rows it has left, the new stripe
        // runs its lead and the others. The victim finishes at most one row
        // per row it pushes, so it stops exactly at the cut.
        const int32_t left = victim->end - victim->finished;
        const int32_t kept = (left + lead_) / 2;
        if (left - kept < smallest_part_ || kept < smallest_part_) return nullptr;
        const int32_t cut = victim->finished + kept;
        Stripe<Tone>& taken = stripes_.emplace_back(cut, victim->end);
        victim->end = cut;
        return &taken;
    }

    // The stripes in row order, once all are done.
    std::vector<Stripe<Tone>*> in_order()
    {
        std::vector<Stripe<Tone>*> order;
        for (Stripe<Tone>& stripe : stripes_) order.push_back(&stripe);
        std::sort(order.begin(), order.end(), [](const Stripe<Tone>* a, const Stripe<Tone>* b) { return a->first < b->first; });
        return order;
    }

private:
    int32_t lead_;
    int32_t smallest_part_;  // rows of the thinner part of a split, at least
    size_t most_;            // stripes, at most
    std::mutex board_;
    std::deque<Stripe<Tone>> stripes_;  // grows at the end only: references stay valid
};

// The checkpoints of a stripe, for the process that repairs it.
template <typename Tone>
StripeCheckpoints checkpoints_of(const Stripe<Tone>& stripe)
{
    return {stripe.first, stripe.end, stripe.states_from, stripe.offsets, stripe.states};
}

// Takes `truth`, true after the rows of this process's band, on into the
// bands below, until its state meets the own state of one of their stripes.
template <typename Tone>
void repair_bands_below(std::unique_ptr<RowEngine<Tone>> truth, int32_t rows, int32_t columns,
                        const AltitudeSource& altitudes, const StripeOptions& options, BandLinks& links,
                        StripeStats& stats)
{
    for (int below = links.band() + 1; truth != nullptr && below < links.bands(); ++below) {
        const BandRows band = band_rows(rows, below, links.bands(), options.lead_rows);
        if (band.first == band.end) break;  // the bands after an empty one are empty
        int32_t met = -1;
        for (size_t s = 0; met < 0; ++s) {
            const std::optional<StripeCheckpoints> checkpoints = links.stripe_of(below, s);
            if (!checkpoints) break;
            Stripe<Tone> stripe(checkpoints->first, checkpoints->end);
            stripe.states_from = checkpoints->states_from;
            stripe.offsets = checkpoints->offsets;
            stripe.states = checkpoints->states;
            if (repair(stripe, *truth, altitudes, columns, stats)) met = static_cast<int32_t>(s);
        }
        links.hand_truth(below, met);
        if (met >= 0) return;
    }
}

// The rows of `band` in stripes on every thread of this process, then the
// repairs from the top: of the whole model (no links), or of this band once
// the truth comes down to it from the band above.
template <typename Tone>
StripeStats extract_with(const PreparedPlan& plan, int32_t rows, int32_t columns, const AltitudeSource& altitudes,
                         ResultRowSink& result, const StripeOptions& options, BandRows band, BandLinks* links)
{
    StripeStats stats;
    if (band.first >= band.end) return stats;
    const std::vector<Rows> initial =
        cut_rows(band.first, band.end, std::max(options.threads, 1u), options.min_stripe_rows, options.lead_rows);
    StripeBoard<Tone> board(initial, options);

    // One stripe per thread, the first on this one; then each thread takes
    // part of the stripes still running, while that pays.
    run_in_parallel(initial.size(), [&](size_t k) {
        run_stripe(board.initial(k), plan, rows, columns, altitudes, result, options);
        while (Stripe<Tone>* more = board.split_largest())
            run_stripe(*more, plan, rows, columns, altitudes, result, options);
    });

    // Repairs, top to bottom: each needs the true state after the stripe above.
    const std::vector<Stripe<Tone>*> stripes = board.in_order();
    stats.stripes = static_cast<int32_t>(stripes.size());
    size_t next = 0;
    if (band.first > 0) {
        const int32_t met = links->wait_for_truth([&](size_t k) -> std::optional<StripeCheckpoints> {
            if (k >= stripes.size()) return std::nullopt;
            return checkpoints_of(*stripes[k]);
        });
        if (met < 0) return stats;  // the band above repaired this whole band
        next = static_cast<size_t>(met);
    }
    std::unique_ptr<RowEngine<Tone>> truth = std::move(stripes[next]->engine);
    for (++next; next < stripes.size(); ++next) {
        Stripe<Tone>& stripe = *stripes[next];
        if (repair(stripe, *truth, altitudes, columns, stats))
            truth = std::move(stripe.engine);  // null for the bottom stripe, the last one repaired
        else
            stripe.engine.reset();
    }
    if (links != nullptr) repair_bands_below(std::move(truth), rows, columns, altitudes, options, *links, stats);
    return stats;
}

}  // namespace

BandRows band_rows(int32_t rows, int band, int bands, int32_t lead_rows)
{
    const std::vector<Rows> parts = cut_rows(0, rows, bands, 16, lead_rows);
    if (band >= static_cast<int>(parts.size())) return {rows, rows};
    return {parts[static_cast<size_t>(band)].first, parts[static_cast<size_t>(band)].second};
}

StripeStats extract_in_stripes(const PreparedPlan& plan, int32_t rows, int32_t columns,
                               const AltitudeSource& altitudes, ResultRowSink& result, const StripeOptions& options)
{
    if (rows <= 0 || columns <= 0) return {};
    if (plan.wide_tones)
        return extract_with<uint16_t>(plan, rows, columns, altitudes, result, options, {0, rows}, nullptr);
    return extract_with<uint8_t>(plan, rows, columns, altitudes, result, options, {0, rows}, nullptr);
}

StripeStats extract_band_in_stripes(const PreparedPlan& plan, int32_t rows, int32_t columns,
                                    const AltitudeSource& altitudes, ResultRowSink& result,
                                    const StripeOptions& options, BandLinks& links)
{
    if (rows <= 0 || columns <= 0) return {};
    const BandRows band = band_rows(rows, links.band(), links.bands(), options.lead_rows);
    if (plan.wide_tones) return extract_with<uint16_t>(plan, rows, columns, altitudes, result, options, band, &links);
    return extract_with<uint8_t>(plan, rows, columns, altitudes, result, options, band, &links);
}
