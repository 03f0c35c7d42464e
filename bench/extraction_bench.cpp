// Time of the contour extraction: the pass-by-pass engine against the row
// engine on one thread and in stripes on two, on an ASCII grid resampled to a
// larger size.
//
//   extraction_bench GRID.asc [FACTOR [FAST_RUNS [REFERENCE_RUNS]]]
//
// The grid is enlarged FACTOR times in each direction (default 4) by bilinear
// resampling, and traced with a plan of 250 levels from its minimum to just
// under its maximum. The row engine runs FAST_RUNS times (default 5) on one
// thread and as often on two, the runs alternating so that other work on the
// machine weighs on both alike; the pass-by-pass engine runs REFERENCE_RUNS
// times (default 1; 0 skips it, to time the row engine alone). Every result
// must agree byte for byte ("MISMATCH" and status 1 otherwise). Prints the
// median times and their ratios.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "reference/extraction.h"
#include "reference/grid_engine.h"
#include "shared/levels.h"
#include "reference/grid.h"
#include "shared/run_error.h"
#include "reference/whole_grid_readers.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Processor time of the whole process, all threads (std::clock counts them all
// on POSIX systems).
double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Model {
    Grid<double> grid;
    int32_t row_count = 0;
    int32_t column_count = 0;
};

Model load(const std::string& path)
{
    AsciiModel ascii = read_ascii_grid_file(path);
    Model m;
    m.row_count = ascii.row_count;
    m.column_count = ascii.column_count;
    m.grid = std::move(ascii.altitude_grid);
    return m;
}

// Source position of target line (or column) t when a size of n is enlarged
// `factor` times: the lower source index and the weight of the next one.
void source_position(int64_t t, int32_t factor, int32_t n, int32_t& lower, double& weight)
{
    const double y = std::min(static_cast<double>(t) / factor, static_cast<double>(n - 1));
    lower = std::min(static_cast<int32_t>(y), n - 1);
    weight = y - lower;
}

// Bilinear enlargement by `factor` in each direction.
Model enlarge(const Model& source, int32_t factor)
{
    Model m;
    m.row_count = source.row_count * factor;
    m.column_count = source.column_count * factor;
    m.grid = make_grid<double>(m.column_count, m.row_count, "enlarged model");
    for (int32_t i = 0; i < m.row_count; ++i) {
        int32_t i0 = 0;
        double wi = 0;
        source_position(i, factor, source.row_count, i0, wi);
        const int32_t i1 = std::min(i0 + 1, source.row_count - 1);
        for (int32_t j = 0; j < m.column_count; ++j) {
            int32_t j0 = 0;
            double wj = 0;
            source_position(j, factor, source.column_count, j0, wj);
            const int32_t j1 = std::min(j0 + 1, source.column_count - 1);
            const double top = source.grid[i0][j0] * (1 - wj) + source.grid[i0][j1] * wj;
            const double bottom = source.grid[i1][j0] * (1 - wj) + source.grid[i1][j1] * wj;
            m.grid[i][j] = top * (1 - wi) + bottom * wi;
        }
    }
    return m;
}

bool same_bytes(unsigned char** a, unsigned char** b, const Model& m)
{
    for (int32_t i = 0; i < m.row_count; ++i)
        if (!std::equal(a[i], a[i] + m.column_count, b[i])) return false;
    return true;
}

int run(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: extraction_bench GRID.asc [FACTOR [FAST_RUNS [REFERENCE_RUNS]]]\n");
        return 2;
    }
    const int32_t factor = argc > 2 ? std::atoi(argv[2]) : 4;
    const int fast_runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const int reference_runs = argc > 4 ? std::atoi(argv[4]) : 1;
    if (factor < 1 || fast_runs < 1 || reference_runs < 0) {
        std::printf("FACTOR and FAST_RUNS must be at least 1, REFERENCE_RUNS at least 0\n");
        return 2;
    }

    const Model source = load(argv[1]);
    const Model m = enlarge(source, factor);
    double lowest = m.grid[0][0];
    double highest = m.grid[0][0];
    for (int32_t i = 0; i < m.row_count; ++i)
        for (int32_t j = 0; j < m.column_count; ++j) {
            lowest = std::min(lowest, m.grid[i][j]);
            highest = std::max(highest, m.grid[i][j]);
        }

    // 250 levels from the minimum, the last one half an interval under the maximum.
    const double interval = (highest - lowest) / 249.5;
    const int level_count = static_cast<int>(count_levels(lowest, interval, highest));
    const std::vector<Level> levels = level_sequence(lowest, interval, 1, level_count, highest);
    const ExtractionInput in{m.grid.rows(), m.row_count, m.column_count, &levels, 1, level_count, highest};
    std::printf("grid %d x %d (%lld cells), %d levels from %.3f by %.6f\n", m.row_count, m.column_count,
                static_cast<long long>(m.row_count) * m.column_count, level_count, lowest, interval);

    Grid<unsigned char> reference = make_grid<unsigned char>(m.column_count, m.row_count, "reference result");
    Grid<unsigned char> one = make_grid<unsigned char>(m.column_count, m.row_count, "one-thread result");
    Grid<unsigned char> two = make_grid<unsigned char>(m.column_count, m.row_count, "two-thread result");
    StripeOptions one_thread;
    one_thread.threads = 1;
    StripeOptions two_threads;
    two_threads.threads = 2;

    std::vector<double> one_times, one_cpu_times, two_times, two_cpu_times, trace_times, clean_times, reference_times;
    StripeStats stats;
    for (int r = 0; r < fast_runs; ++r) {
        Clock::time_point start = Clock::now();
        double cpu_start = cpu_seconds();
        extract_contours_fast(in, one.rows(), one_thread);
        one_cpu_times.push_back(cpu_seconds() - cpu_start);
        one_times.push_back(seconds_since(start));
        start = Clock::now();
        cpu_start = cpu_seconds();
        stats = extract_contours_fast(in, two.rows(), two_threads);
        two_cpu_times.push_back(cpu_seconds() - cpu_start);
        two_times.push_back(seconds_since(start));
    }
    // The two halves of the row engine on whole grids (the summit fill, a
    // few rows at most, is left out).
    Grid<unsigned char> halves = make_grid<unsigned char>(m.column_count, m.row_count, "phase result");
    for (int r = 0; r < fast_runs; ++r) {
        Clock::time_point start = Clock::now();
        trace_levels_fast(in, halves.rows());
        trace_times.push_back(seconds_since(start));
        start = Clock::now();
        clean_contours_fast(halves.rows(), m.row_count, m.column_count, 1, level_count);
        clean_times.push_back(seconds_since(start));
    }
    for (int r = 0; r < reference_runs; ++r) {
        const Clock::time_point start = Clock::now();
        extract_contours_reference(in, reference.rows());
        reference_times.push_back(seconds_since(start));
    }

    const bool against_reference = reference_runs > 0;
    if (!same_bytes(one.rows(), two.rows(), m) || (against_reference && !same_bytes(one.rows(), reference.rows(), m))) {
        std::printf("MISMATCH\n");
        return 1;
    }
    int64_t line_cells = 0;
    for (int32_t i = 0; i < m.row_count; ++i)
        for (int32_t j = 0; j < m.column_count; ++j) line_cells += one[i][j] != 255;

    const double reference_median = against_reference ? median(reference_times) : 0.0;
    const double one_median = median(one_times);
    const double two_median = median(two_times);
    std::printf("results identical (%lld line cells)%s\n", static_cast<long long>(line_cells),
                against_reference ? "" : ", one and two threads (reference skipped)");
    if (against_reference)
        std::printf("reference engine:      median %.3f s over %d run(s)\n", reference_median, reference_runs);
    std::printf("row engine, 1 thread:  median %.4f s over %d run(s) (tracing %.4f s, cleaning %.4f s)\n", one_median,
                fast_runs, median(trace_times), median(clean_times));
    std::printf("row engine, 2 threads: median %.4f s over %d run(s) (%d stripes, %lld rows repaired, longest %d)\n",
                two_median, fast_runs, stats.stripes, static_cast<long long>(stats.repaired_rows),
                stats.longest_repair);
    if (against_reference)
        std::printf("ratios:                reference / 1 thread %.1f, reference / 2 threads %.1f (of the medians)\n",
                    reference_median / one_median, reference_median / two_median);
    std::printf("ratio:                 1 thread / 2 threads %.2f (of the medians)\n", one_median / two_median);
    // About 1 and 2 when every thread had a core to itself; less when other
    // work on the machine took them.
    std::printf("processor time / wall time: 1 thread %.2f, 2 threads %.2f (of the medians)\n",
                median(one_cpu_times) / one_median, median(two_cpu_times) / two_median);
    // Every run, so that the spread caused by other work on the machine shows.
    const auto print_runs = [](const char* what, const std::vector<double>& times) {
        std::printf("%s", what);
        for (double t : times) std::printf(" %.4f", t);
        std::printf("\n");
    };
    if (against_reference) print_runs("reference runs (s):   ", reference_times);
    print_runs("1-thread runs (s):    ", one_times);
    print_runs("2-thread runs (s):    ", two_times);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const RunError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
