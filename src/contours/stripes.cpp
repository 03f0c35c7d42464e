// Stripes of rows on several threads, each guessed, then repaired in order
// from the top.
#include "stripes.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "../run_in_parallel.h"

namespace {

struct Stripe {
    int32_t first = 0;  // result rows first .. end - 1
    int32_t end = 0;
    std::unique_ptr<RowEngine> engine;
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
void run_stripe(Stripe& stripe, const PreparedPlan& plan, int32_t nb_lig1, int32_t nb_col1,
                const AltitudeSource& source, ResultRowSink& sink, const StripeOptions& options)
{
    const int32_t start = std::max(stripe.first - std::max(options.lead_rows, 0), 0);
    stripe.engine = std::make_unique<RowEngine>(plan, nb_lig1, nb_col1, sink, start);
    stripe.engine->set_written_rows(stripe.first, stripe.end);
    stripe.states_from = stripe.first - 1 + RowEngine::finish_lag;
    const auto kept = static_cast<size_t>(std::max(options.checkpoints, 1));
    int32_t checkpoint = 0;
    std::vector<double> buffer(static_cast<size_t>(nb_col1));
    while (stripe.engine->rows_finished() < stripe.end) {
        const int32_t k = stripe.engine->next_input();
        stripe.engine->push(source.read_row(k, buffer));
        if (stripe.first > 0 && k == stripe.states_from + checkpoint && stripe.states.size() < kept) {
            stripe.offsets.push_back(checkpoint);
            stripe.states.emplace_back();
            stripe.engine->save_state(stripe.states.back());
            checkpoint = next_checkpoint(checkpoint);
        }
    }
}

// Takes `truth`, the engine of the stripe above in its true state after the
// rows of that stripe, on into `stripe` until its state meets the stripe's
// own at a checkpoint; returns the engine in the true state after the rows of
// `stripe`.
std::unique_ptr<RowEngine> repair(Stripe& stripe, std::unique_ptr<RowEngine> truth, const AltitudeSource& source,
                                  int32_t nb_col1, StripeStats& stats)
{
    truth->set_written_rows(stripe.first, stripe.end);
    std::vector<double> buffer(static_cast<size_t>(nb_col1));
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
    const int32_t repaired = std::max(truth->rows_finished() - stripe.first, 0);
    stats.repaired_rows += repaired;
    stats.longest_repair = std::max(stats.longest_repair, repaired);
    if (!met) {
        ++stats.recomputed_stripes;
        return truth;
    }
    return std::move(stripe.engine);
}

// The rows of count stripes: the first `extra` rows taller than the others,
// which share the rest evenly.
std::vector<Stripe> stripes_of(int32_t nb_lig1, int32_t count, int64_t extra)
{
    std::vector<Stripe> stripes(static_cast<size_t>(count));
    const int64_t shared = nb_lig1 - extra;
    for (int32_t s = 0; s < count; ++s) {
        const auto cut = [&](int32_t k) { return static_cast<int32_t>(k == 0 ? 0 : extra + shared * k / count); };
        stripes[static_cast<size_t>(s)].first = cut(s);
        stripes[static_cast<size_t>(s)].end = s + 1 == count ? nb_lig1 : cut(s + 1);
    }
    return stripes;
}

// Stripes no thinner than the minimum, at most one per thread, of equal work:
// every stripe but the first also runs the lead rows above it, so the first
// is that much taller. Every stripe keeps at least 8 rows: a stripe needs
// more than finish_lag rows, so that the run of the stripe above it stops
// before the last row of the model and can still go on into it.
std::vector<Stripe> cut_stripes(int32_t nb_lig1, const StripeOptions& options)
{
    constexpr int32_t thinnest = 8;
    static_assert(thinnest > RowEngine::finish_lag);
    const int32_t min_rows = std::max(options.min_stripe_rows, thinnest);
    const int64_t threads = std::max(options.threads, 1u);
    const auto count = static_cast<int32_t>(std::clamp<int64_t>(nb_lig1 / min_rows, 1, threads));
    const int64_t lead = count > 1 ? std::max(options.lead_rows, 0) : 0;
    std::vector<Stripe> stripes = stripes_of(nb_lig1, count, std::min<int64_t>(lead, nb_lig1));
    for (const Stripe& stripe : stripes)
        if (stripe.end - stripe.first < thinnest) return stripes_of(nb_lig1, count, 0);
    return stripes;
}

}  // namespace

StripeStats extract_in_stripes(const PreparedPlan& plan, int32_t nb_lig1, int32_t nb_col1,
                               const AltitudeSource& source, ResultRowSink& sink, const StripeOptions& options)
{
    StripeStats stats;
    if (nb_lig1 <= 0 || nb_col1 <= 0) return stats;
    std::vector<Stripe> stripes = cut_stripes(nb_lig1, options);
    stats.stripes = static_cast<int32_t>(stripes.size());

    // The stripes below the first on threads of their own, the first on this one.
    run_in_parallel(stripes.size(),
                    [&](size_t s) { run_stripe(stripes[s], plan, nb_lig1, nb_col1, source, sink, options); });

    // Repairs, top to bottom: each needs the true state after the stripe above.
    std::unique_ptr<RowEngine> truth = std::move(stripes.front().engine);
    for (size_t s = 1; s < stripes.size(); ++s) truth = repair(stripes[s], std::move(truth), source, nb_col1, stats);
    return stats;
}
