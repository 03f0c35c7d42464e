// How many threads and stripes the contour engine of a run uses, and how much
// of the run's memory it may take. The memory check of a model counts the
// engine's rows on each thread.
#ifndef ENGINE_THREADS_H
#define ENGINE_THREADS_H

#include <algorithm>
#include <cstdint>
#include <thread>

#include "contours/stripes.h"
#include "input/row_source.h"
#include "memory_limits.h"

inline unsigned engine_threads() { return std::max(1u, std::thread::hardware_concurrency()); }

// What a run may hold at its peak, whatever its number of rows: 64 MiB and
// 64 bytes per column.
inline uint64_t run_memory_bound(int64_t nb_col1)
{
    return (uint64_t{64} << 20) + 64 * static_cast<uint64_t>(std::max<int64_t>(nb_col1, 0));
}

// What a run holds besides its engine and its model source, with a margin:
// the program and its libraries (about 4 MiB resident measured), the console,
// the levels and the result table, the threads' stacks.
inline constexpr uint64_t run_program_bytes = uint64_t{8} << 20;

// The stripe options of a run on `threads` threads, for a model of nb_col1
// columns traced at `traced_levels` levels, whose source holds source_bytes
// while the engine reads it: the engine takes what the memory bound leaves,
// and never more than the memory available leaves.
inline StripeOptions stripes_within(int64_t nb_col1, int32_t traced_levels, unsigned threads, uint64_t source_bytes,
                                    uint64_t memory_available)
{
    const uint64_t rest = run_program_bytes + source_bytes;
    const uint64_t limit = std::min(run_memory_bound(nb_col1), memory_available);
    const EngineMemory fit = fit_engine_memory(nb_col1, traced_levels, threads, limit > rest ? limit - rest : 0);
    StripeOptions options;
    options.threads = fit.threads;
    options.max_stripes = fit.stripes;
    options.state_bytes = fit.state_bytes;
    return options;
}

// The stripe options of a run of the plan over the rows of `source`, on every
// core, within the memory bound and the memory available.
inline StripeOptions run_stripe_options(const PreparedPlan& plan, const RowSource& source)
{
    const unsigned threads = engine_threads();
    return stripes_within(source.nb_col1(), plan.sorted.count, threads, source.bytes_held(threads),
                          memory_available().bytes);
}

#endif
