// Writes a large benchmark model from a real ASCII grid resampled up: a raw
// 32-bit raster in whole meters with its descriptor, and the same values as an
// ASCII grid for other tools.
//
// Usage: make_big_model IN.asc FACTOR OUT_STEM
//   writes OUT_STEM_m4.raw, OUT_STEM_m4.txt and OUT_STEM.asc
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_models.h"
#include "input/model_readers.h"

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
    flat.rows = m.nb_lig1;
    flat.cols = m.nb_col1;
    for (int32_t i = 0; i < m.nb_lig1; ++i)
        for (int32_t j = 0; j < m.nb_col1; ++j) flat.cells.push_back(m.dtab1[i][j]);
    return flat;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IN.asc FACTOR OUT_STEM\n", argv[0]);
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
