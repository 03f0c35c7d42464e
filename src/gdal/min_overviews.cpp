#include "gdal/min_overviews.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

std::vector<int> overview_factors(int32_t row_count, int32_t column_count)
{
    std::vector<int> factors;
    const int32_t largest = std::max(row_count, column_count);
    if (largest <= 512) return factors;
    for (int factor = 2; largest / factor >= 256 && factor < (1 << 20); factor *= 2) factors.push_back(factor);
    return factors;
}

namespace {

// The smaller of the two rows first, tone by tone, then the smaller of each
// pair, a stretch of the rows at a time: plain loops over arrays, which the
// compiler turns into vector instructions (a pixel at a time, with the edge
// of an odd width tested in the loop, took 5 % of a run's time).
template <typename Tone>
void reduce_tones(const unsigned char* upper, const unsigned char* lower, int32_t width, unsigned char* reduced)
{
    constexpr size_t stretch = 2048;  // tones, an even number
    Tone above[stretch], below[stretch], pairs[stretch / 2];
    const auto count = static_cast<size_t>(width);
    for (size_t first = 0; first < count; first += stretch) {
        const size_t n = std::min(stretch, count - first);
        std::memcpy(above, upper + first * sizeof(Tone), n * sizeof(Tone));
        std::memcpy(below, lower + first * sizeof(Tone), n * sizeof(Tone));
        for (size_t x = 0; x < n; ++x) above[x] = std::min(above[x], below[x]);
        for (size_t x = 0; x < n / 2; ++x) pairs[x] = std::min(above[2 * x], above[2 * x + 1]);
        if (n % 2 == 1) pairs[n / 2] = above[n - 1];  // the last pixel of an odd width
        std::memcpy(reduced + first / 2 * sizeof(Tone), pairs, (n + 1) / 2 * sizeof(Tone));
    }
}

}  // namespace

void reduce_rows_by_min(const unsigned char* upper, const unsigned char* lower, int32_t width, int tone_bytes,
                        unsigned char* reduced)
{
    if (tone_bytes == 2)
        reduce_tones<uint16_t>(upper, lower, width, reduced);
    else
        reduce_tones<uint8_t>(upper, lower, width, reduced);
}
