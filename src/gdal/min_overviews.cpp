#include "gdal/min_overviews.h"

#include <algorithm>
#include <cstddef>

std::vector<int> overview_factors(int32_t row_count, int32_t column_count)
{
    std::vector<int> factors;
    const int32_t largest = std::max(row_count, column_count);
    if (largest <= 512) return factors;
    for (int factor = 2; largest / factor >= 256 && factor < (1 << 20); factor *= 2) factors.push_back(factor);
    return factors;
}

namespace {

template <typename Tone>
bool reduce_tones_by_min(GDALRasterBandH full, GDALRasterBandH reduced)
{
    constexpr GDALDataType type = sizeof(Tone) == 2 ? GDT_UInt16 : GDT_Byte;
    const int width = GDALGetRasterBandXSize(full), height = GDALGetRasterBandYSize(full);
    const int out_width = GDALGetRasterBandXSize(reduced), out_height = GDALGetRasterBandYSize(reduced);
    std::vector<Tone> two_rows(2 * static_cast<size_t>(width)), row(static_cast<size_t>(out_width));
    for (int y = 0; y < out_height; ++y) {
        const int first = std::min(2 * y, height - 1);
        const int count = std::min(2, height - first);
        if (GDALRasterIO(full, GF_Read, 0, first, width, count, two_rows.data(), width, count, type, 0, 0) !=
            CE_None)
            return false;
        // The last row of an odd height stands for the pair it ends.
        if (count == 1) std::copy(two_rows.begin(), two_rows.begin() + width, two_rows.begin() + width);
        for (int x = 0; x < out_width; ++x) {
            const int left = std::min(2 * x, width - 1), right = std::min(2 * x + 1, width - 1);
            row[static_cast<size_t>(x)] = std::min({two_rows[static_cast<size_t>(left)], two_rows[static_cast<size_t>(right)],
                                                    two_rows[static_cast<size_t>(width + left)],
                                                    two_rows[static_cast<size_t>(width + right)]});
        }
        if (GDALRasterIO(reduced, GF_Write, 0, y, out_width, 1, row.data(), out_width, 1, type, 0, 0) != CE_None)
            return false;
    }
    return true;
}

}  // namespace

bool reduce_by_min(GDALRasterBandH full, GDALRasterBandH reduced, int tone_bytes)
{
    return tone_bytes == 2 ? reduce_tones_by_min<uint16_t>(full, reduced) : reduce_tones_by_min<uint8_t>(full, reduced);
}
