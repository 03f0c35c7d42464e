// Stripes of rows on several threads, each guessed, then repaired in order
// from the top.
#include "contours/stripes.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

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
// own at a checkpoint; returns the engine in the true state after the rows of
// `stripe`.
template <typename Tone>
std::unique_ptr<RowEngine<Tone>> repair(Stripe<Tone>& stripe, std::unique_ptr<RowEngine<Tone>> truth,
                                        const AltitudeSource& source, int32_t columns, StripeStats& stats)
{
    truth->set_written_rows(stripe.first, stripe.end);
    std::vector<double> buffer(static_cast<size_t>(columns));
    EngineState state;
    bool met = false;
    size_t checkpoint = 0;
    while (truth->rows_finished() < stripe.end) {
        const int32_t at = truth->next_input() - 1 - stripe.states_from;
        if (checkpoint < stripe.offsets.size() && at == stripe.offsets[checkpoint]) {
            truth->save_state(state);
            if (state == stripe.states[checkpoint]) {
                met = true;
                break;
            }
            ++checkpoint;
        }
        truth->push(source.read_row(truth->next_input(), buffer));
    }
    truth->flush();
    const int32_t repaired = std::max(truth->rows_finished() - stripe.first, 0);
    stats.repaired_rows += repaired;
    stats.longest_repair = std::max(stats.longest_repair, repaired);
    if (!met) {
        ++stats.recomputed_stripes;
        stripe.engine.reset();
        return truth;
    }
    return std::move(stripe.engine);  // null for the bottom stripe, the last one repaired
}

using Rows = std::pair<int32_t, int32_t>;  // rows first .. second - 1

// Every stripe keeps at least 8 rows: a stripe needs more than finish_lag
// rows, so that the run of the stripe above it stops before the last row of
// the model and can still go on into it.
constexpr int32_t thinnest = 8;
static_assert(thinnest > RowEngine<uint8_t>::finish_lag && thinnest > RowEngine<uint16_t>::finish_lag);

// The rows of count stripes: the first `extra` rows taller than the others,
// which share the rest evenly.
std::vector<Rows> stripes_of(int32_t rows, int32_t count, int64_t extra)
{
    std::vector<Rows> stripes;
    const int64_t shared = rows - extra;
    const auto cut = [&](int32_t k) { return static_cast<int32_t>(k == 0 ? 0 : extra + shared * k / count); };
    for (int32_t s = 0; s < count; ++s) stripes.emplace_back(cut(s), s + 1 == count ? rows : cut(s + 1));
    return stripes;
}

// Stripes no thinner than the minimum, at most one per thread, of equal work:
// every stripe but the first also runs the lead rows above it, so the first
// is that much taller.
std::vector<Rows> cut_stripes(int32_t rows, const StripeOptions& options)
{
    const int32_t min_rows = std::max(options.min_stripe_rows, thinnest);
    const int64_t threads = std::max(options.threads, 1u);
    const auto count = static_cast<int32_t>(std::clamp<int64_t>(rows / min_rows, 1, threads));
    const int64_t lead = count > 1 ? std::max(options.lead_rows, 0) : 0;
    std::vector<Rows> stripes = stripes_of(rows, count, std::min<int64_t>(lead, rows));
    for (const Rows& stripe : stripes)
        if (stripe.second - stripe.first < thinnest) return stripes_of(rows, count, 0);
    return stripes;
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

template <typename Tone>
StripeStats extract_with(const PreparedPlan& plan, int32_t rows, int32_t columns, const AltitudeSource& altitudes,
                         ResultRowSink& result, const StripeOptions& options)
{
    StripeStats stats;
    const std::vector<Rows> initial = cut_stripes(rows, options);
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
    std::unique_ptr<RowEngine<Tone>> truth = std::move(stripes.front()->engine);
    for (size_t s = 1; s < stripes.size(); ++s) truth = repair(*stripes[s], std::move(truth), altitudes, columns, stats);
    return stats;
}

}  // namespace

StripeStats extract_in_stripes(const PreparedPlan& plan, int32_t rows, int32_t columns,
                               const AltitudeSource& altitudes, ResultRowSink& result, const StripeOptions& options)
{
    if (rows <= 0 || columns <= 0) return {};
    if (plan.wide_tones) return extract_with<uint16_t>(plan, rows, columns, altitudes, result, options);
    return extract_with<uint8_t>(plan, rows, columns, altitudes, result, options);
}
