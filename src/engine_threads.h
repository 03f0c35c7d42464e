// How many threads the contour engine of a run uses: one per core. The memory
// check of a model counts the engine's rows on each of them.
#ifndef ENGINE_THREADS_H
#define ENGINE_THREADS_H

#include <algorithm>
#include <thread>

inline unsigned engine_threads() { return std::max(1u, std::thread::hardware_concurrency()); }

#endif
