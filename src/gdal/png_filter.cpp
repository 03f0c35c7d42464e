#include "gdal/png_filter.h"

#include <cstdlib>
#include <cstring>

namespace {

unsigned char paeth_predictor(int left, int above, int above_left)
{
    const int p = left + above - above_left;
    const int to_left = std::abs(p - left), to_above = std::abs(p - above), to_corner = std::abs(p - above_left);
    if (to_left <= to_above && to_left <= to_corner) return static_cast<unsigned char>(left);
    return static_cast<unsigned char>(to_above <= to_corner ? above : above_left);
}

// The prediction of byte k of a row from the bytes before it (`row`, the
// row itself as stored) and the row above (`above`, null for none).
unsigned char predicted(PngFilter filter, const unsigned char* row, const unsigned char* above, size_t k, size_t bpp)
{
    const int left = k >= bpp ? row[k - bpp] : 0;
    const int up = above != nullptr ? above[k] : 0;
    const int corner = above != nullptr && k >= bpp ? above[k - bpp] : 0;
    switch (filter) {
    case PngFilter::none: return 0;
    case PngFilter::sub: return static_cast<unsigned char>(left);
    case PngFilter::up: return static_cast<unsigned char>(up);
    case PngFilter::average: return static_cast<unsigned char>((left + up) / 2);
    case PngFilter::paeth: return paeth_predictor(left, up, corner);
    }
    return 0;
}

}  // namespace

void filter_rows(const unsigned char* rows, int32_t count, size_t row_bytes, int pixel_bytes, PngFilter filter,
                 unsigned char* filtered)
{
    const auto bpp = static_cast<size_t>(pixel_bytes);
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* row = rows + static_cast<size_t>(i) * row_bytes;
        const unsigned char* above = i > 0 ? row - row_bytes : nullptr;
        unsigned char* out = filtered + static_cast<size_t>(i) * (row_bytes + 1);
        PngFilter f = filter;
        if (above == nullptr && f != PngFilter::none) f = f == PngFilter::up ? PngFilter::none : PngFilter::sub;
        out[0] = static_cast<unsigned char>(f);
        ++out;
        // The two filters used for whole images, as plain loops the compiler
        // makes vector code of; the others byte by byte.
        if (f == PngFilter::none) {
            std::memcpy(out, row, row_bytes);
        } else if (f == PngFilter::up) {
            for (size_t k = 0; k < row_bytes; ++k) out[k] = static_cast<unsigned char>(row[k] - above[k]);
        } else if (f == PngFilter::sub) {
            for (size_t k = 0; k < row_bytes; ++k) out[k] = static_cast<unsigned char>(row[k] - (k >= bpp ? row[k - bpp] : 0));
        } else {
            for (size_t k = 0; k < row_bytes; ++k)
                out[k] = static_cast<unsigned char>(row[k] - predicted(f, row, above, k, bpp));
        }
    }
}

bool unfilter_rows(const unsigned char* filtered, int32_t count, size_t row_bytes, int pixel_bytes,
                   unsigned char* rows)
{
    const auto bpp = static_cast<size_t>(pixel_bytes);
    for (int32_t i = 0; i < count; ++i) {
        const unsigned char* in = filtered + static_cast<size_t>(i) * (row_bytes + 1);
        if (in[0] > static_cast<unsigned char>(PngFilter::paeth)) return false;
        const auto f = static_cast<PngFilter>(in[0]);
        ++in;
        unsigned char* row = rows + static_cast<size_t>(i) * row_bytes;
        const unsigned char* above = i > 0 ? row - row_bytes : nullptr;
        // Byte by byte, each prediction from the bytes already restored.
        for (size_t k = 0; k < row_bytes; ++k) row[k] = static_cast<unsigned char>(in[k] + predicted(f, row, above, k, bpp));
    }
    return true;
}
