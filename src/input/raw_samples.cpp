// The samples of raw rasters: decoding, range and conversion to meters.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "input/raw_samples.h"

#include "shared/run_error.h"

namespace {

// Samples are stored least significant byte first, whatever the host order.
inline uint16_t little_endian_16(const unsigned char* b)
{
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline int32_t little_endian_32(const unsigned char* b)
{
    const uint32_t u = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
    return static_cast<int32_t>(u);  // two's complement
}

// Decodes one row of bytes into row cells, widening the range to its samples.
// One loop per sample width, without branches, so that the compiler can keep
// it tight: this runs once per cell of models of hundreds of millions of cells.
template <int Width>
void decode_row(const unsigned char* bytes, int32_t column_count, double* row, RawRange& range)
{
    int32_t lo = range.mind;
    int32_t hi = range.maxd;
    for (int32_t j = 0; j < column_count; ++j) {
        const int32_t sample = Width == 2 ? int32_t{little_endian_16(bytes + 2 * j)} : little_endian_32(bytes + 4 * j);
        row[j] = static_cast<double>(sample);  // exact: every int32 is a double
        lo = std::min(lo, sample);
        hi = std::max(hi, sample);
    }
    range = RawRange{lo, hi};
}

// The smallest and largest of count samples. On a little-endian host a sample
// is loaded whole, so that the compiler makes vector code of the loop.
template <int Width>
void widen_range(const unsigned char* bytes, size_t count, RawRange& range)
{
    using Sample = std::conditional_t<Width == 2, uint16_t, int32_t>;
    int32_t lo = range.mind;
    int32_t hi = range.maxd;
    for (size_t j = 0; j < count; ++j) {
        Sample sample;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&sample, bytes + Width * j, Width);
        else
            sample = static_cast<Sample>(Width == 2 ? little_endian_16(bytes + 2 * j) : little_endian_32(bytes + 4 * j));
        lo = std::min(lo, int32_t{sample});
        hi = std::max(hi, int32_t{sample});
    }
    range = RawRange{lo, hi};
}

}  // namespace

int sample_width(int sample_kind)
{
    if (sample_kind == 0) return 2;
    if (sample_kind == 1) return 4;
    throw std::invalid_argument("unknown raw sample type " + std::to_string(sample_kind));
}

int32_t first_raw_sample(const unsigned char* bytes, int sample_kind)
{
    return sample_width(sample_kind) == 2 ? int32_t{little_endian_16(bytes)} : little_endian_32(bytes);
}

void decode_raw_row(const unsigned char* bytes, int32_t column_count, int sample_kind, double* row, RawRange& range)
{
    if (sample_width(sample_kind) == 2)
        decode_row<2>(bytes, column_count, row, range);
    else
        decode_row<4>(bytes, column_count, row, range);
}

void widen_raw_range(const unsigned char* bytes, size_t count, int sample_kind, RawRange& range)
{
    if (sample_width(sample_kind) == 2)
        widen_range<2>(bytes, count, range);
    else
        widen_range<4>(bytes, count, range);
}

void check_file_holds_samples(int64_t held, const std::string& path, int32_t row_count, int32_t column_count, int sample_kind)
{
    // Both sizes are positive int32 values and the width is at most 4, so the
    // count stays below 2^64 in unsigned arithmetic (it may exceed 2^63).
    const uint64_t width = static_cast<uint64_t>(sample_width(sample_kind));
    const uint64_t needed = static_cast<uint64_t>(row_count) * static_cast<uint64_t>(column_count) * width;
    if (held >= 0 && static_cast<uint64_t>(held) < needed)
        throw RunError(path + " holds " + std::to_string(held) + " bytes; " + std::to_string(row_count) + " lines x " +
                       std::to_string(column_count) + " columns of " + std::to_string(width) + "-byte samples need " +
                       std::to_string(needed) + " bytes");
}

void scale_row(double* row, int32_t column_count, double factor)
{
    if (factor == 1) return;
    const long double extended = factor;
    for (int32_t j = 0; j < column_count; ++j)
        row[j] = static_cast<double>(static_cast<long double>(row[j]) * extended);  // extended, then rounded
}

void convert_row_to_meters(double* row, int32_t column_count, int unit)
{
    if (unit < 0 || unit > 3) throw std::invalid_argument("unknown unit " + std::to_string(unit));
    scale_row(row, column_count, unit_factors[unit]);
}
