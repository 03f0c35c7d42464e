// How many threads the contour engine of a run uses: one per core. The memory
// check of a model counts the engine's rows on each of them.
#ifndef ENGINE_THREADS_H
#define ENGINE_THREADS_H

#include <algorithm>
#include <cstdint>
#include <thread>

inline unsigned engine_threads() { return std::max(1u, std::thread::hardware_concurrency()); }

// Stripes at most for a model of nb_col1 columns on `threads` threads: twice
// the threads (a thread whose stripe is done takes part of another's), fewer
// when the added stripes would hold more than 32 MiB of rows and repair
// states (about 512 bytes per column each): a very wide model keeps to one
// stripe per thread.
inline unsigned engine_stripes(int64_t nb_col1, unsigned threads)
{
    constexpr uint64_t added_budget = uint64_t{32} << 20;
    constexpr uint64_t bytes_per_column = 512;
    const uint64_t added = added_budget / (static_cast<uint64_t>(std::max<int64_t>(nb_col1, 1)) * bytes_per_column);
    return threads + static_cast<unsigned>(std::min<uint64_t>(threads, added));
}

#endif
