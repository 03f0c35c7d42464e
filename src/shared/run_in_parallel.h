// Runs count independent tasks at once, one per thread, the first on the
// calling thread; and how many threads a run uses.
#ifndef SHARED_RUN_IN_PARALLEL_H
#define SHARED_RUN_IN_PARALLEL_H

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

// The threads a run works on: one per core, unless the run was told how
// many (the command line's --threads).
inline unsigned& chosen_engine_threads()
{
    static unsigned chosen = 0;  // 0: one per core
    return chosen;
}
inline unsigned engine_threads()
{
    return chosen_engine_threads() > 0 ? chosen_engine_threads() : std::max(1u, std::thread::hardware_concurrency());
}

// Calls task(k) for k = 0 .. count - 1, each on a thread of its own except
// task 0, which runs here; a task whose thread cannot be started runs here
// after task 0. Returns once all are done; the first failure (in task order)
// is then thrown again.
template <typename Task>
void run_in_parallel(size_t count, const Task& task)
{
    std::vector<std::exception_ptr> failures(count);
    const auto run = [&](size_t k) {
        try {
            task(k);
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(count);  // no allocation once threads run
    std::vector<size_t> here = {0};
    here.reserve(count);
    for (size_t k = 1; k < count; ++k) {
        try {
            threads.emplace_back(run, k);
        } catch (const std::system_error&) {
            here.push_back(k);
        }
    }
    for (size_t k : here) run(k);
    for (std::thread& thread : threads) thread.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

#endif
