// The upkeep of a row's masks that walks only the words its runs wrote: clearing
// them for the row that reuses the masks, and saving them as the state a
// stripe carries.
#include "contours/sweep_rows.h"

#include <limits>

SweepMasks::SweepMasks(size_t cells, size_t words_per_cell)
{
    const size_t words = cells * words_per_cell;
    levels.assign(words, 0);
    written.assign(words <= std::numeric_limits<uint32_t>::max() ? cells : 0, 0);
}

void SweepMasks::clear()
{
    if (written_count > written.size()) {
        std::fill(levels.begin(), levels.end(), 0);
    } else {
        uint64_t* words = levels.data();
        for (size_t k = 0; k < written_count; ++k) words[written[k]] = 0;
    }
    written_count = 0;
}

void SweepMasks::save(std::vector<uint64_t>& out) const
{
    out.clear();
    if (written_count > written.size()) {
        out = levels;
        return;
    }
    out.reserve(written_count);
    for (size_t k = 0; k < written_count; ++k) out.push_back(levels[written[k]]);
}

size_t SweepMasks::saved_words() const { return written_count > written.size() ? levels.size() : written_count; }
