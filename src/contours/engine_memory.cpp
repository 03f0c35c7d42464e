// How a run's memory budget is shared out among the engine's stripes.
#include "contours/engine_memory.h"

#include <algorithm>

EngineMemory fit_engine_memory(int64_t columns, int32_t traced_levels, int tone_bytes, unsigned threads,
                               uint64_t budget)
{
    const auto width = static_cast<uint64_t>(std::max<int64_t>(columns, 1));
    const uint64_t engine = row_engine_fixed_bytes + width * row_engine_bytes_per_column(traced_levels, tone_bytes);
    const uint64_t state = width * engine_state_bytes_per_column(traced_levels, tone_bytes);
    threads = std::max(threads, 1u);
    // The peak comes while the stripes run: every engine alive, the states
    // kept by every stripe but the first. The repairs hold less: the bottom
    // stripe's engine is gone, and the row and the state a repair reads and
    // compares are smaller than an engine (whose three rows of masks alone
    // outweigh a state).
    const auto need = [&](uint64_t stripes) { return stripes * engine + (stripes - 1) * state; };
    EngineMemory fit;
    for (unsigned stripes = 2 * threads; stripes > 1; --stripes)
        if (need(stripes) <= budget) {
            fit.stripes = stripes;
            break;
        }
    fit.threads = std::min(threads, fit.stripes);
    fit.state_bytes = fit.stripes > 1 ? (budget - fit.stripes * engine) / (fit.stripes - 1) : 0;
    fit.bytes = fit.stripes * engine + (fit.stripes - 1) * fit.state_bytes;
    return fit;
}

StripeOptions stripes_within(int64_t columns, int32_t traced_levels, int tone_bytes, unsigned threads,
                             uint64_t held_bytes, uint64_t memory_available)
{
    const uint64_t rest = run_program_bytes + held_bytes;
    const uint64_t limit = std::min(run_memory_bound(columns), memory_available);
    const EngineMemory fit = fit_engine_memory(columns, traced_levels, tone_bytes, threads, limit > rest ? limit - rest : 0);
    StripeOptions options;
    options.threads = fit.threads;
    options.max_stripes = fit.stripes;
    options.state_bytes = fit.state_bytes;
    return options;
}

