// The engine's memory: how a run's budget is shared out among stripes, and
// the estimate of one engine against what it really allocates (the operator
// new of this test program counts the bytes held by the thread that asks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <new>
#include <vector>

#include "model_builders.h"
#include "contours/engine_memory.h"
#include "contours/row_engine.h"

namespace {

// The engine takes what the memory bound (64 MiB and 64 bytes per column)
// leaves besides the program and the model's blocks: as many stripes as fit,
// each but the first with room for one repair state at least; a model too
// wide for two stripes runs as one on one thread.
TEST(EngineStripes, AsManyStripesAsTheMemoryBoundHolds)
{
    struct Case {
        int64_t columns;
        unsigned threads;
        uint64_t available;
        unsigned stripes;  // expected
        unsigned used_threads;
    };
    const uint64_t no_limit = UINT64_MAX;
    const Case cases[] = {
        {1, 2, no_limit, 4, 2},
        {1000, 1, no_limit, 2, 1},
        {1000, 2, no_limit, 4, 2},
        {30000, 8, no_limit, 10, 8},
        {100000, 2, no_limit, 3, 2},
        {100000, 2, uint64_t{48} << 20, 2, 2},  // the memory available bounds it below the bound
        {100000, 2, uint64_t{40} << 20, 1, 1},
        {200000, 2, no_limit, 2, 2},
        {300000, 2, no_limit, 1, 1},  // too wide for two stripes
        {600000, 2, no_limit, 1, 1},
        {INT32_MAX, 8, no_limit, 1, 1},
        {1000, 2, 0, 1, 1},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.columns) + " columns, " + std::to_string(c.threads) + " threads";
        // A raw 16-bit model: a block of 256 KiB or a row per thread.
        const uint64_t source = c.threads * std::max<uint64_t>(2 * uint64_t(c.columns), 256 << 10);
        const StripeOptions options = stripes_within(c.columns, 250, 1, c.threads, source, c.available);
        EXPECT_EQ(options.max_stripes, c.stripes) << what;
        EXPECT_EQ(options.threads, c.used_threads) << what;
        const uint64_t budget = std::min(run_memory_bound(c.columns), c.available);
        const uint64_t rest = std::min(budget, run_program_bytes + source);
        const EngineMemory fit = fit_engine_memory(c.columns, 250, 1, c.threads, budget - rest);
        if (fit.stripes > 1) {
            EXPECT_LE(fit.bytes + run_program_bytes + source, budget) << what;
            EXPECT_GE(options.state_bytes, uint64_t(c.columns) * engine_state_bytes_per_column(250, 1)) << what;
        } else {
            EXPECT_EQ(options.state_bytes, 0u) << what;
        }
    }
}

}  // namespace

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

// The most an engine holds (with the row of altitudes its run reads into)
// and the largest state it saves, for tones of type Tone.
template <typename Tone>
std::pair<uint64_t, uint64_t> engine_peak_and_state(const PreparedPlan& plan, const Model& m)
{
    NoSink sink;
    held = HeldBytes{true, 0, 0};
    uint64_t state_bytes = 0;
    {
        RowEngine<Tone> engine(plan, m.row_count, m.column_count, sink, 4);
        std::vector<double> buffer(static_cast<size_t>(m.column_count));
        while (engine.next_input() < m.row_count) {
            const int32_t k = engine.next_input();
            std::copy(m.grid[k], m.grid[k] + m.column_count, buffer.begin());
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
    return {held.peak, state_bytes};
}

// A wide model with every level of a plan traced, of one-byte tones up to a
// full plan and of two-byte tones beyond: the engine holds at most its
// estimate, and not far below it, so that stripes are counted neither short
// nor wastefully; a saved state holds at most its own estimate.
TEST(EngineMemory, AnEngineHoldsWhatItsEstimateCounts)
{
    const int32_t columns = 20000;
    const Model m = smooth_model(24, columns, 5);
    for (const int levels : {250, 60, 1, 251, 1000}) {
        const Plan p = plan_of(levels, m.min_alt, m.max_alt, true, 1, m.max_alt);
        const int tone_bytes = tone_bytes_for(levels);
        const PreparedPlan plan(&p.levels, p.first_tone, p.level_count, p.highest, tone_bytes == 2);
        const auto [engine_peak, state_bytes] =
            tone_bytes == 2 ? engine_peak_and_state<uint16_t>(plan, m) : engine_peak_and_state<uint8_t>(plan, m);
        const int32_t traced = plan.sorted.count;
        const uint64_t estimate =
            row_engine_fixed_bytes + uint64_t{columns} * row_engine_bytes_per_column(traced, tone_bytes);
        EXPECT_LE(engine_peak, estimate) << levels << " levels";
        EXPECT_GE(engine_peak, estimate * 9 / 10) << levels << " levels";
        EXPECT_LE(state_bytes, uint64_t{columns} * engine_state_bytes_per_column(traced, tone_bytes))
            << levels << " levels";
        EXPECT_GE(state_bytes, uint64_t{columns} * 3 * tone_bytes) << levels << " levels";  // the cleaned rows at least
    }
}

}  // namespace
#endif
