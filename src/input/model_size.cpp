// Refusal of model sizes that cannot be held, before any grid is made.
#include <cstdint>
#include <limits>
#include <string>

#include "../huge_pages.h"
#include "../memory_limits.h"
#include "../run_error.h"
#include "model_readers.h"

namespace {

// A run keeps, per cell, the altitude grid (8 bytes) and the result grid
// (1 byte): the least it needs to hold the model at all.
constexpr uint64_t bytes_per_cell = 9;

std::string size_text(int64_t nb_lig1, int64_t nb_col1)
{
    return "the model size " + std::to_string(nb_lig1) + " lines x " + std::to_string(nb_col1) + " columns";
}

}  // namespace

void check_model_size(int64_t nb_lig1, int64_t nb_col1, const std::string& path)
{
    if (nb_lig1 < 0 || nb_col1 < 0)
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is negative");
    if (nb_lig1 == 0 || nb_col1 == 0) throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is empty");
    constexpr int64_t most = std::numeric_limits<int32_t>::max();
    if (nb_lig1 > most || nb_col1 > most)
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is too large (at most " + std::to_string(most) +
                       " lines and columns)");

    // Both factors are below 2^31, so the cell count fits; the byte count may not.
    const uint64_t cells = static_cast<uint64_t>(nb_lig1) * static_cast<uint64_t>(nb_col1);
    uint64_t needed = 0;
    if (__builtin_mul_overflow(cells, bytes_per_cell, &needed))
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is too large: its " + std::to_string(cells) +
                       " cells would need more bytes of memory than can be counted");
    const MemoryLimit available = memory_available();
    if (needed > available.bytes)
        throw RunError(path + ": " + size_text(nb_lig1, nb_col1) + " is too large for the memory available: its " +
                       std::to_string(cells) + " cells need " + std::to_string(needed) + " bytes (" +
                       std::to_string(bytes_per_cell) + " per cell), more than the " +
                       std::to_string(available.bytes) + " bytes of " + available.what);
    prefer_huge_pages_for_grids(needed);
}
