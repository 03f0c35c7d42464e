// Memory and time of the row engine on a model far larger than memory would
// hold as grids: the rows of an ASCII grid enlarged FACTOR times are made on
// the fly, extracted in stripes on THREADS threads, and each finished row is
// kept only as a hash.
//
//   row_engine_memory_bench GRID.asc FACTOR THREADS...
//
// For each thread count, prints the time, the repairs and a digest of the
// result (the same digest on every thread count, or "MISMATCH" and status 1);
// then the peak resident memory of the process, which holds the source grid,
// the engines' rows and one hash per row, never a grid of the model's size.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shared/levels.h"
#include "contours/stripes.h"
#include "reference/grid.h"
#include "shared/run_error.h"
#include "reference/whole_grid_readers.h"

namespace {

// Rows of the source grid enlarged `factor` times by bilinear resampling,
// made when read.
class EnlargedSource final : public AltitudeSource {
public:
    EnlargedSource(AsciiModel& model, int32_t factor)
        : model_(model), factor_(factor), row_count(model.row_count * factor), column_count(model.column_count * factor)
    {
    }
    AltitudeRow read_row(int32_t i, std::span<double> buffer) const override
    {
        int32_t i0 = 0;
        double wi = 0;
        position(i, model_.row_count, i0, wi);
        const int32_t i1 = std::min(i0 + 1, model_.row_count - 1);
        for (int32_t j = 0; j < column_count; ++j) {
            int32_t j0 = 0;
            double wj = 0;
            position(j, model_.column_count, j0, wj);
            const int32_t j1 = std::min(j0 + 1, model_.column_count - 1);
            const double top = model_.altitude_grid[i0][j0] * (1 - wj) + model_.altitude_grid[i0][j1] * wj;
            const double bottom = model_.altitude_grid[i1][j0] * (1 - wj) + model_.altitude_grid[i1][j1] * wj;
            buffer[static_cast<size_t>(j)] = top * (1 - wi) + bottom * wi;
        }
        return buffer;
    }

private:
    void position(int32_t t, int32_t n, int32_t& lower, double& weight) const
    {
        const double y = std::min(static_cast<double>(t) / factor_, static_cast<double>(n - 1));
        lower = std::min(static_cast<int32_t>(y), n - 1);
        weight = y - lower;
    }

    AsciiModel& model_;
    int32_t factor_;

public:
    const int32_t row_count;
    const int32_t column_count;
};

// One FNV-1a hash per row; a row written again replaces its hash.
class HashingSink final : public ResultRowSink {
public:
    explicit HashingSink(int32_t row_count) : hashes_(static_cast<size_t>(row_count), 0) {}
    void write_row(int32_t i, ToneRow row) override
    {
        uint64_t h = 1469598103934665603ull;
        for (unsigned char v : row) h = (h ^ v) * 1099511628211ull;
        hashes_[static_cast<size_t>(i)] = h;
    }
    uint64_t digest() const
    {
        uint64_t h = 1469598103934665603ull;
        for (uint64_t row : hashes_) h = (h ^ row) * 1099511628211ull;
        return h;
    }

private:
    std::vector<uint64_t> hashes_;
};

int run(int argc, char** argv)
{
    if (argc < 4) {
        std::printf("usage: row_engine_memory_bench GRID.asc FACTOR THREADS...\n");
        return 2;
    }
    const int32_t factor = std::atoi(argv[2]);
    if (factor < 1) {
        std::printf("FACTOR must be at least 1\n");
        return 2;
    }
    AsciiModel model = read_ascii_grid_file(argv[1]);

    // The enlarged model keeps the source's range; 250 levels from the
    // minimum, the last half an interval under the maximum.
    double lowest = model.altitude_grid[0][0];
    double highest = lowest;
    for (int32_t i = 0; i < model.row_count; ++i)
        for (int32_t j = 0; j < model.column_count; ++j) {
            lowest = std::min(lowest, model.altitude_grid[i][j]);
            highest = std::max(highest, model.altitude_grid[i][j]);
        }
    const double interval = (highest - lowest) / 249.5;
    const int level_count = static_cast<int>(count_levels(lowest, interval, highest));
    const std::vector<Level> levels = level_sequence(lowest, interval, 1, level_count, highest);
    const PreparedPlan plan(&levels, 1, level_count, highest);

    const EnlargedSource source(model, factor);
    std::printf("model %d x %d (%lld cells), %d levels\n", source.row_count, source.column_count,
                static_cast<long long>(source.row_count) * source.column_count, level_count);
    uint64_t first_digest = 0;
    for (int a = 3; a < argc; ++a) {
        StripeOptions options;
        options.threads = static_cast<unsigned>(std::atoi(argv[a]));
        HashingSink sink(source.row_count);
        const auto start = std::chrono::steady_clock::now();
        const StripeStats stats = extract_in_stripes(plan, source.row_count, source.column_count, source, sink, options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%u thread(s): %.2f s, %d stripes, %lld rows repaired, digest %016llx\n", options.threads, seconds,
                    stats.stripes, static_cast<long long>(stats.repaired_rows),
                    static_cast<unsigned long long>(sink.digest()));
        if (a == 3) first_digest = sink.digest();
        if (sink.digest() != first_digest) {
            std::printf("MISMATCH\n");
            return 1;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MiB (source grid %.1f MiB)\n", usage.ru_maxrss / 1024.0,
                static_cast<double>(model.row_count) * model.column_count * sizeof(double) / (1024.0 * 1024.0));
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
