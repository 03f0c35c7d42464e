// Models for benchmarks: a real grid resampled up to a realistic size.
#ifndef BENCH_MODELS_H
#define BENCH_MODELS_H

#include <algorithm>
#include <cstdint>
#include <vector>

// A model held as one block of rows, row 0 first.
struct FlatModel {
    int32_t rows = 0;
    int32_t cols = 0;
    std::vector<double> cells;
    double at(int64_t i, int64_t j) const { return cells[static_cast<size_t>(i * cols + j)]; }
};

// Bilinear resampling by `factor` in each direction: output cell (i, j) takes
// the value at input position (i / factor, j / factor), so the output has
// (rows - 1) * factor + 1 rows and likewise columns.
inline FlatModel upsample_bilinear(const FlatModel& in, int factor)
{
    FlatModel out;
    out.rows = (in.rows - 1) * factor + 1;
    out.cols = (in.cols - 1) * factor + 1;
    out.cells.resize(static_cast<size_t>(out.rows) * static_cast<size_t>(out.cols));
    for (int64_t i = 0; i < out.rows; ++i) {
        const int64_t i0 = std::min<int64_t>(i / factor, in.rows - 2 < 0 ? 0 : in.rows - 2);
        const double fi = static_cast<double>(i - i0 * factor) / factor;
        const int64_t i1 = std::min<int64_t>(i0 + 1, in.rows - 1);
        for (int64_t j = 0; j < out.cols; ++j) {
            const int64_t j0 = std::min<int64_t>(j / factor, in.cols - 2 < 0 ? 0 : in.cols - 2);
            const double fj = static_cast<double>(j - j0 * factor) / factor;
            const int64_t j1 = std::min<int64_t>(j0 + 1, in.cols - 1);
            const double top = in.at(i0, j0) * (1 - fj) + in.at(i0, j1) * fj;
            const double bottom = in.at(i1, j0) * (1 - fj) + in.at(i1, j1) * fj;
            out.cells[static_cast<size_t>(i * out.cols + j)] = top * (1 - fi) + bottom * fi;
        }
    }
    return out;
}

#endif
