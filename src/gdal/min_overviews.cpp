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

// Tones are read and written through memcpy: the rows are bytes.
template <typename Tone>
Tone tone_at(const unsigned char* row, int32_t x)
{
    Tone tone;
    std::memcpy(&tone, row + static_cast<size_t>(x) * sizeof(Tone), sizeof(Tone));
    return tone;
}

template <typename Tone>
void reduce_tones(const unsigned char* upper, const unsigned char* lower, int32_t width, unsigned char* reduced)
{
    const int32_t out_width = (width + 1) / 2;
    for (int32_t x = 0; x < out_width; ++x) {
        const int32_t left = 2 * x, right = std::min(2 * x + 1, width - 1);
        const Tone smallest = std::min({tone_at<Tone>(upper, left), tone_at<Tone>(upper, right),
                                        tone_at<Tone>(lower, left), tone_at<Tone>(lower, right)});
        std::memcpy(reduced + static_cast<size_t>(x) * sizeof(Tone), &smallest, sizeof(Tone));
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
