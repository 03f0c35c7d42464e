// A tilted plane crossed by contour lines, and the gaps of several shapes cut
// into it: away from a gap, the picture of the plane with gaps must be the
// picture without them (a line that meets a gap is not eaten from there).
#ifndef TESTS_SUPPORT_GAP_PLANE_H
#define TESTS_SUPPORT_GAP_PLANE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gap_plane {

constexpr int32_t rows = 200;
constexpr int32_t cols = 300;

// Rises to the east and a little to the south: lines every 100 m run from the
// top border to the bottom one, about 14 columns apart.
inline double altitude(int32_t r, int32_t c) { return c * 7.3 + r * 1.9 + 0.37; }

struct GapShape {
    const char* name;
    bool (*is_gap)(int32_t r, int32_t c);
};

// Cells without data scattered at about one cell in 400, the same on every machine.
inline bool scattered(int32_t r, int32_t c)
{
    const uint32_t h = (static_cast<uint32_t>(r) * 2654435761u) ^ (static_cast<uint32_t>(c) * 40503u + 12345u);
    return (h * 2246822519u >> 7) % 400 == 0;
}

inline const std::vector<GapShape>& shapes()
{
    static const std::vector<GapShape> table = {
        {"a block of 10 x 100", [](int32_t r, int32_t c) { return r >= 95 && r < 105 && c >= 100 && c < 200; }},
        {"one cell", [](int32_t r, int32_t c) { return r == 120 && c == 146; }},
        {"a row", [](int32_t r, int32_t) { return r == 60; }},
        {"a column", [](int32_t, int32_t c) { return c == 77; }},
        {"a block on the border", [](int32_t r, int32_t c) { return r >= 170 && c >= 250; }},
        {"scattered cells", scattered},
    };
    return table;
}

// Whether cell (r, c) lies farther than `distance` cells (in rows or columns)
// from every gap of the shape.
inline bool far_from_gaps(const GapShape& shape, int32_t r, int32_t c, int32_t distance)
{
    for (int32_t i = r - distance; i <= r + distance; ++i)
        for (int32_t j = c - distance; j <= c + distance; ++j)
            if (i >= 0 && j >= 0 && i < rows && j < cols && shape.is_gap(i, j)) return false;
    return true;
}

// The picture of the plane with gaps (row-major) against the picture without:
// the first pixel farther than two cells from a gap that differs ("" when
// none), and how many line pixels of the gapless picture lie near a gap (so
// that a case can check that lines meet its gaps).
struct Comparison {
    std::string difference;
    int64_t lines_near_gaps = 0;
};

inline Comparison compare_away_from_gaps(const GapShape& shape, const std::vector<unsigned char>& gapless,
                                         const std::vector<unsigned char>& gapped)
{
    Comparison result;
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) {
            const size_t at = static_cast<size_t>(r) * cols + static_cast<size_t>(c);
            if (!far_from_gaps(shape, r, c, 2)) {
                result.lines_near_gaps += gapless[at] != 255;
                continue;
            }
            if (result.difference.empty() && gapless[at] != gapped[at])
                result.difference = "pixel (" + std::to_string(r) + ", " + std::to_string(c) + "): " +
                                    std::to_string(gapless[at]) + " without gaps, " + std::to_string(gapped[at]) +
                                    " with them";
        }
    return result;
}

// The plane as an ASCII grid, gaps written as the NODATA_value -9999 (no
// gaps when shape is null).
inline std::string ascii_grid(const GapShape* shape)
{
    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner 500000\nyllcorner 3994000\ncellsize 30\nNODATA_value -9999\n";
    char value[32];
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            if (shape != nullptr && shape->is_gap(r, c))
                text += "-9999 ";
            else {
                std::snprintf(value, sizeof value, "%.2f ", altitude(r, c));
                text += value;
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace gap_plane

#endif
