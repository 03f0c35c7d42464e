// Writes a large benchmark model from a real ASCII grid resampled up: a raw
// 32-bit raster in whole meters with its descriptor, and the same values as an
// ASCII grid for other tools.
//
// Usage: make_big_model IN.asc FACTOR OUT_STEM
//   writes OUT_STEM_m4.raw, OUT_STEM_m4.txt and OUT_STEM.asc
//
// Or, for models larger than memory, row by row:
// make_big_model --raw16 IN.asc ROWS COLUMNS OUT_STEM
//   writes OUT_STEM_m2.raw and OUT_STEM_m2.txt: the grid resampled to ROWS x
//   COLUMNS cells, as unsigned 16-bit samples in whole meters plus 11000 (so
//   that the deepest sea stays above 0)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_models.h"
#include "reference/whole_grid_readers.h"

namespace {

FlatModel load(const char* path)
{
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) {
        std::perror(path);
        std::exit(1);
    }
    AsciiModel m = read_ascii_grid(f, path, [](int32_t) {});
    std::fclose(f);
    FlatModel flat;
    flat.rows = m.row_count;
    flat.cols = m.column_count;
    for (int32_t i = 0; i < m.row_count; ++i)
        for (int32_t j = 0; j < m.column_count; ++j) flat.cells.push_back(m.altitude_grid[i][j]);
    return flat;
}

// Bilinear value of the grid at the fractional position (y, x).
double sample_at(const FlatModel& in, double y, double x)
{
    const int64_t i0 = std::min<int64_t>(static_cast<int64_t>(y), in.rows - 2);
    const int64_t j0 = std::min<int64_t>(static_cast<int64_t>(x), in.cols - 2);
    const double fi = y - static_cast<double>(i0), fj = x - static_cast<double>(j0);
    const double top = in.at(i0, j0) * (1 - fj) + in.at(i0, j0 + 1) * fj;
    const double bottom = in.at(i0 + 1, j0) * (1 - fj) + in.at(i0 + 1, j0 + 1) * fj;
    return top * (1 - fi) + bottom * fi;
}

int write_raw16(const char* source, int32_t rows, int32_t cols, const std::string& stem)
{
    const FlatModel in = load(source);
    std::FILE* raw = std::fopen((stem + "_m2.raw").c_str(), "wb");
    if (raw == nullptr) {
        std::perror(stem.c_str());
        return 1;
    }
    std::vector<unsigned char> row(static_cast<size_t>(cols) * 2);
    long lo = 65535, hi = 0;
    for (int32_t i = 0; i < rows; ++i) {
        const double y = static_cast<double>(i) * (in.rows - 1) / std::max(1, rows - 1);
        for (int32_t j = 0; j < cols; ++j) {
            const double x = static_cast<double>(j) * (in.cols - 1) / std::max(1, cols - 1);
            const long v = std::clamp(std::lround(sample_at(in, y, x)) + 11000, 0L, 65535L);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            row[2 * static_cast<size_t>(j)] = static_cast<unsigned char>(v & 0xFF);
            row[2 * static_cast<size_t>(j) + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (std::fwrite(row.data(), 1, row.size(), raw) != row.size()) {
            std::perror(stem.c_str());
            return 1;
        }
    }
    if (std::fclose(raw) != 0) {
        std::perror(stem.c_str());
        return 1;
    }
    std::FILE* txt = std::fopen((stem + "_m2.txt").c_str(), "w");
    std::fprintf(txt, "%d\n%d\n2\n%ld\n%ld\n1000\n", rows, cols, lo, hi);
    std::fclose(txt);
    std::printf("%d lines x %d columns (%lld cells), %ld .. %ld\n", rows, cols,
                static_cast<long long>(rows) * cols, lo, hi);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::string(argv[1]) == "--raw16")
        return write_raw16(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IN.asc FACTOR OUT_STEM\n       %s --raw16 IN.asc ROWS COLUMNS OUT_STEM\n",
                     argv[0], argv[0]);
        return 2;
    }
    const FlatModel big = upsample_bilinear(load(argv[1]), std::atoi(argv[2]));
    const std::string stem = argv[3];

    std::FILE* raw = std::fopen((stem + "_m4.raw").c_str(), "wb");
    std::FILE* asc = std::fopen((stem + ".asc").c_str(), "w");
    if (raw == nullptr || asc == nullptr) {
        std::perror(stem.c_str());
        return 1;
    }
    std::fprintf(asc, "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 1000\n", big.cols, big.rows);
    long long lo = 0, hi = 0;
    for (size_t k = 0; k < big.cells.size(); ++k) {
        const long long v = std::llround(big.cells[k]);
        if (k == 0 || v < lo) lo = v;
        if (k == 0 || v > hi) hi = v;
        const uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(v));
        const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
        std::fwrite(bytes, 1, 4, raw);
        std::fprintf(asc, (k + 1) % static_cast<size_t>(big.cols) == 0 ? "%lld\n" : "%lld ", v);
    }
    std::fclose(raw);
    std::fclose(asc);
    std::FILE* txt = std::fopen((stem + "_m4.txt").c_str(), "w");
    std::fprintf(txt, "%d\n%d\n4\n%lld\n%lld\n1000\n", big.rows, big.cols, lo, hi);
    std::fclose(txt);
    std::printf("%d lines x %d columns (%lld cells), %lld .. %lld m\n", big.rows, big.cols,
                static_cast<long long>(big.cells.size()), lo, hi);
    return 0;
}
