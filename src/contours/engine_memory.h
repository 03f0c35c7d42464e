// The memory of the contour engine: what one engine holds per column, and
// how a run shares its memory budget out among stripes. Apart from the engine
// itself, so that the checks of a model's size need none of its headers.
#ifndef CONTOURS_ENGINE_MEMORY_H
#define CONTOURS_ENGINE_MEMORY_H

#include <algorithm>
#include <cstdint>

#include "contours/stripe_options.h"

// The memory of one engine, for a plan of `traced_levels` traced levels whose
// result tones take `tone_bytes` bytes (tone_bytes_for): a fixed part (the batch of
// finished rows) and per column of the model what its stages hold (see
// above) with the row of altitudes a run reads into. Not counted: the lists
// of cells without data and of summit cells, which grow only in rows that
// have some, and the two rows marking the edge of the data (in the tracing
// and the cleaning), made only once a gap is met. Tests check it against what
// an engine allocates.
uint64_t row_engine_bytes_per_column(int32_t traced_levels, int tone_bytes);
inline constexpr uint64_t row_engine_fixed_bytes = (uint64_t{256} << 10) + (uint64_t{64} << 10);

// The most an EngineState holds per column: every mask word written, and the
// three cleaned rows.
uint64_t engine_state_bytes_per_column(int32_t traced_levels, int tone_bytes);


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

EngineMemory fit_engine_memory(int64_t columns, int32_t traced_levels, int tone_bytes, unsigned threads,
                               uint64_t budget);

// What a run may hold at its peak, whatever its number of rows: 64 MiB and
// 64 bytes per column.
inline uint64_t run_memory_bound(int64_t columns)
{
    return (uint64_t{64} << 20) + 64 * static_cast<uint64_t>(std::max<int64_t>(columns, 0));
}

// What a run holds besides its engine and its model source, with a margin:
// the program and its libraries (about 4 MiB resident measured), the console,
// the levels and the result table, the threads' stacks.
inline constexpr uint64_t run_program_bytes = uint64_t{8} << 20;

// The stripe options of a run on `threads` threads, for a model `columns`
// wide traced at `traced_levels` levels into tones of `tone_bytes`, whose
// source and result (a result gathered in memory) hold held_bytes while the
// engine runs: the engine takes what the memory bound leaves, and never more
// than the memory available leaves.
StripeOptions stripes_within(int64_t columns, int32_t traced_levels, int tone_bytes, unsigned threads,
                             uint64_t held_bytes, uint64_t memory_available);

#endif
