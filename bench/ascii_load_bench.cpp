// Load time of an ASCII grid.
//
//   ascii_load_bench GRID.asc [REPEATS]       loads the grid REPEATS times (5 by
//                                             default) and prints the median
//                                             time, then times one load with an
//                                             fscanf("%lf") loop as a baseline
//   ascii_load_bench --make OUT.asc ROWS COLS writes a synthetic grid
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "shared/run_error.h"
#include "reference/whole_grid_readers.h"

namespace {

using Clock = std::chrono::steady_clock;

void print_usage()
{
    std::printf("usage: ascii_load_bench GRID.asc [REPEATS]\n"
                "       ascii_load_bench --make OUT.asc ROWS COLS\n"
                "The first form loads GRID.asc REPEATS times (default 5) and prints the median load time,\n"
                "then one load by an fscanf(\"%%lf\") loop for comparison. The second writes a synthetic\n"
                "grid of ROWS x COLS values such as 1234.5678.\n");
}

// Writes a grid with a usual six-pair header and values with four decimals,
// varying smoothly with a little noise, as real altitudes do.
int make_grid_file(const char* path, long rows, long cols)
{
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) {
        std::fprintf(stderr, "cannot create %s\n", path);
        return 1;
    }
    std::fprintf(out, "ncols         %ld\nnrows         %ld\nxllcorner     0.0\nyllcorner     0.0\n"
                      "cellsize      30\nNODATA_value  -9999\n", cols, rows);
    uint64_t state = 88172645463325252ull;  // xorshift64
    for (long i = 0; i < rows; ++i) {
        for (long j = 0; j < cols; ++j) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const double value = 1000.0 + 0.3 * static_cast<double>(i + j) + static_cast<double>(state % 10000) / 1e4;
            std::fprintf(out, j + 1 < cols ? "%.4f " : "%.4f\n", value);
        }
    }
    const bool ok = std::fclose(out) == 0;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path);
    return ok ? 0 : 1;
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One load with read_ascii_grid; returns the seconds and a checksum of cells.
double load_with_reader(const char* path, int64_t& cells, double& checksum)
{
    std::FILE* f1 = std::fopen(path, "r");
    if (f1 == nullptr) throw RunError(std::string("cannot open ") + path);
    const auto start = Clock::now();
    const AsciiModel model = read_ascii_grid(f1, path, [](int32_t) {});
    const double elapsed = seconds_since(start);
    std::fclose(f1);
    cells = int64_t{model.row_count} * model.column_count;
    checksum = 0;
    for (int32_t i = 0; i < model.row_count; ++i)
        for (int32_t j = 0; j < model.column_count; ++j) checksum += model.altitude_grid[i][j];
    return elapsed;
}

// The baseline: keyword/value pairs with "%59s %lf" up to the first token that
// starts like a number, then every value with fscanf("%lf") into a double grid.
double load_with_fscanf(const char* path, int64_t& cells, double& checksum)
{
    std::FILE* f1 = std::fopen(path, "r");
    if (f1 == nullptr) throw RunError(std::string("cannot open ") + path);
    const auto start = Clock::now();
    long ncols = 0, nrows = 0;
    char keyword[60];
    for (;;) {
        const long position = std::ftell(f1);
        if (std::fscanf(f1, "%59s", keyword) != 1) break;
        if (std::strchr("0123456789+-.", keyword[0]) != nullptr) {
            std::fseek(f1, position, SEEK_SET);
            break;
        }
        double value = 0;
        if (std::fscanf(f1, "%lf", &value) != 1) break;
        if (strcasecmp(keyword, "ncols") == 0) ncols = static_cast<long>(value);
        if (strcasecmp(keyword, "nrows") == 0) nrows = static_cast<long>(value);
    }
    Grid<double> grid = make_grid<double>(static_cast<int32_t>(ncols), static_cast<int32_t>(nrows), "baseline grid");
    for (long i = 0; i < nrows; ++i)
        for (long j = 0; j < ncols; ++j)
            if (std::fscanf(f1, "%lf", &grid[static_cast<int32_t>(i)][j]) != 1) throw RunError("baseline: short file");
    const double elapsed = seconds_since(start);
    std::fclose(f1);
    cells = int64_t{nrows} * ncols;
    checksum = 0;
    for (long i = 0; i < nrows; ++i)
        for (long j = 0; j < ncols; ++j) checksum += grid[static_cast<int32_t>(i)][j];
    return elapsed;
}

long file_size(const char* path)
{
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return -1;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

int run_bench(const char* path, int repeats)
{
    const double megabytes = static_cast<double>(file_size(path)) / 1e6;
    std::vector<double> times;
    int64_t cells = 0;
    double checksum = 0;
    for (int r = 0; r < repeats; ++r) times.push_back(load_with_reader(path, cells, checksum));
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("file        %s\n", path);
    std::printf("size        %.1f MB\n", megabytes);
    std::printf("cells       %lld\n", static_cast<long long>(cells));
    std::printf("reader      median of %d loads: %.3f s (%.1f MB/s; fastest %.3f s, slowest %.3f s)\n", repeats,
                median, megabytes / median, times.front(), times.back());

    int64_t baseline_cells = 0;
    double baseline_checksum = 0;
    const double baseline = load_with_fscanf(path, baseline_cells, baseline_checksum);
    std::printf("fscanf      one load: %.3f s (%.1f MB/s)\n", baseline, megabytes / baseline);
    std::printf("ratio       fscanf / reader = %.1f\n", baseline / median);
    if (baseline_cells != cells || baseline_checksum != checksum)
        std::printf("warning     the fscanf loop read other values (checksums %.17g and %.17g)\n", baseline_checksum,
                    checksum);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 5 && std::strcmp(argv[1], "--make") == 0)
            return make_grid_file(argv[2], std::atol(argv[3]), std::atol(argv[4]));
        if (argc == 2 || argc == 3) {
            const int repeats = argc == 3 ? std::atoi(argv[2]) : 5;
            if (repeats >= 1) return run_bench(argv[1], repeats);
        }
        print_usage();
        return 2;
    } catch (const RunError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
