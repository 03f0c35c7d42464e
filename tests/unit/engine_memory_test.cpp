// The memory estimate of the row engine, which shares a run's memory out
// among stripes, against what an engine really allocates: the operator new
// of this test program counts the bytes held by the thread that asks.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "model_builders.h"
#include "contours/engine_memory.h"
#include "contours/row_engine.h"

#if defined(__GLIBC__)
#include <malloc.h>

#include <cstdlib>

namespace {

// Bytes held by allocations of the counting thread, and their peak.
struct HeldBytes {
    bool counting = false;
    uint64_t now = 0;
    uint64_t peak = 0;
};
thread_local HeldBytes held;

void* obtain(size_t size) noexcept
{
    void* p = std::malloc(size > 0 ? size : 1);
    if (p != nullptr && held.counting) {
        held.now += malloc_usable_size(p);
        held.peak = std::max(held.peak, held.now);
    }
    return p;
}

void release(void* p) noexcept
{
    if (p != nullptr && held.counting) held.now -= std::min<uint64_t>(held.now, malloc_usable_size(p));
    std::free(p);
}

void* obtain_or_throw(size_t size)
{
    void* p = obtain(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

// Every form without alignment, so that no block is taken by one allocator
// and given back to another (libraries ask for nothrow blocks too).
void* operator new(size_t size) { return obtain_or_throw(size); }
void* operator new[](size_t size) { return obtain_or_throw(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return obtain(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return obtain(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {

using namespace test_models;

class NoSink final : public ResultRowSink {
public:
    void write_row(int32_t, ToneRow) override {}
};

// A wide model with every level of a full plan: the engine (with the row of
// altitudes its run reads into) holds at most its estimate, and not far
// below it, so that stripes are counted neither short nor wastefully; a
// saved state holds at most its own estimate.
TEST(EngineMemory, AnEngineHoldsWhatItsEstimateCounts)
{
    const int32_t columns = 20000;
    const Model m = smooth_model(24, columns, 5);
    for (const int levels : {250, 60, 1}) {
        const Plan p = plan_of(levels, m.min_alt, m.max_alt, true, 1, m.max_alt);
        const PreparedPlan plan(&p.levels, p.first_GT, p.num_CL, p.max_dyn);
        NoSink sink;
        held = HeldBytes{true, 0, 0};
        uint64_t state_bytes = 0;
        {
            RowEngine engine(plan, m.nb_lig1, m.nb_col1, sink, 4);
            std::vector<double> buffer(static_cast<size_t>(columns));
            while (engine.next_input() < m.nb_lig1) {
                const int32_t k = engine.next_input();
                std::copy(m.grid[k], m.grid[k] + columns, buffer.begin());
                engine.push(AltitudeRow(buffer.data(), buffer.size()));
                held.counting = false;  // a state apart, as a stripe keeps them
                EngineState state;
                engine.save_state(state);
                EXPECT_EQ(state.bytes(), engine.state_bytes());
                state_bytes = std::max(state_bytes, state.bytes());
                held.counting = true;
            }
            engine.flush();
        }
        held.counting = false;
        const int32_t traced = plan.sorted.count;
        const uint64_t estimate = row_engine_fixed_bytes + uint64_t{columns} * row_engine_bytes_per_column(traced);
        const uint64_t engine_peak = held.peak;
        EXPECT_LE(engine_peak, estimate) << levels << " levels";
        EXPECT_GE(engine_peak, estimate * 9 / 10) << levels << " levels";
        EXPECT_LE(state_bytes, uint64_t{columns} * engine_state_bytes_per_column(traced)) << levels << " levels";
        EXPECT_GE(state_bytes, uint64_t{columns} * 3) << levels << " levels";  // the cleaned rows at least
    }
}

}  // namespace
#endif
