// Refusal of model sizes that cannot be held, before anything is allocated.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "input/model_size.h"

#include "contours/engine_memory.h"
#include "shared/levels.h"
#include "input/stored_row_source.h"
#include "platform/memory_limits.h"
#include "shared/run_error.h"

namespace {

// A run keeps, besides its rows: the values of an ASCII grid kept in memory,
// the blocks of the range pass and of the scratch file, the program itself.
constexpr uint64_t run_fixed_bytes = stored_rows_budget + (uint64_t{24} << 20);

// And per column the contour engine on one stripe, the least a run does (more
// stripes and threads only where they fit: run_stripe_options): the few rows
// each of its stages keeps and the row of altitudes it reads, for a plan of
// `level_count` levels (at least max_levels, the most a model's check before
// any plan assumes), with a block of the model's rows (8 bytes a value at
// most). The same estimate shares the engine's memory out among stripes.
uint64_t run_bytes_per_column(int level_count)
{
    const int levels = std::max(level_count, max_levels);
    return row_engine_bytes_per_column(levels, tone_bytes_for(levels)) + sizeof(double);
}

// Refuses a run of `level_count` levels on column_count columns that needs more
// memory than is available; `what` says what needs it.
void check_run_memory(int64_t column_count, int level_count, const std::string& what)
{
    const uint64_t needed = run_memory_needed(column_count, level_count);
    const MemoryLimit available = memory_available();
    if (needed > available.bytes)
        throw RunError(what + ": a run on " + std::to_string(column_count) + " columns needs " + std::to_string(needed) +
                       " bytes (" + std::to_string(run_bytes_per_column(level_count)) + " per column, and " +
                       std::to_string(run_fixed_bytes + row_engine_fixed_bytes) + "), more than the " +
                       std::to_string(available.bytes) + " bytes of " + available.what);
}

}  // namespace

std::string size_text(int64_t row_count, int64_t column_count)
{
    return "the model size " + std::to_string(row_count) + " lines x " + std::to_string(column_count) + " columns";
}

void check_model_shape(int64_t row_count, int64_t column_count, const std::string& path)
{
    if (row_count < 0 || column_count < 0)
        throw RunError(path + ": " + size_text(row_count, column_count) + " is negative");
    if (row_count == 0 || column_count == 0) throw RunError(path + ": " + size_text(row_count, column_count) + " is empty");
    constexpr int64_t most = std::numeric_limits<int32_t>::max();
    if (row_count > most || column_count > most)
        throw RunError(path + ": " + size_text(row_count, column_count) + " is too large (at most " + std::to_string(most) +
                       " lines and columns)");
}

uint64_t run_memory_needed(int64_t column_count, int level_count)
{
    // At most 2^31 columns, so the product stays far below 2^64 (below 2^43
    // bytes per column at 65,534 levels).
    return run_fixed_bytes + row_engine_fixed_bytes + static_cast<uint64_t>(column_count) * run_bytes_per_column(level_count);
}

void check_model_size(int64_t row_count, int64_t column_count, const std::string& path)
{
    check_model_shape(row_count, column_count, path);
    check_run_memory(column_count, max_levels,
                     path + ": " + size_text(row_count, column_count) + " is too large for the memory available");
}

void check_plan_memory(int64_t column_count, int level_count, const std::string& path)
{
    if (level_count > max_levels)
        check_run_memory(column_count, level_count,
                         path + ": a plan of " + std::to_string(level_count) + " levels is too large for the memory available");
}
