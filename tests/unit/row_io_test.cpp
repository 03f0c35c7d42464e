// Row sources (raw raster, stored ASCII grid) and row sinks (raw result,
// bitmap) against the whole-grid readers and writers they stand in for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "IMAGE.h"
#include "output/row_sink.h"
#include "shared/run_error.h"
#include "temp_folder.h"
#include "input/ascii_reader.h"
#include "input/measuring_row_source.h"
#include "input/raster_pass_source.h"
#include "input/raw_row_source.h"
#include "input/raw_samples.h"
#include "input/row_source.h"
#include "input/stored_row_source.h"
#include "reference/whole_grid_readers.h"
#include "run/extraction.h"
#include "shared/run_in_parallel.h"

namespace {

using Bytes = std::vector<unsigned char>;

void append_sample(Bytes& bytes, int32_t v, int sample_kind)
{
    const auto u = static_cast<uint32_t>(v);
    for (int k = 0; k < (sample_kind == 0 ? 2 : 4); ++k) bytes.push_back(static_cast<unsigned char>(u >> (8 * k)));
}

// Samples that cover the extremes of each width and, for 32 bits, negatives.
std::vector<int32_t> samples_for(int sample_kind, size_t count)
{
    std::mt19937 rng(7 + sample_kind);
    std::vector<int32_t> v = sample_kind == 0 ? std::vector<int32_t>{0, 65535, 1, 3, 35, 9}
                                        : std::vector<int32_t>{INT32_MIN, INT32_MAX, -1, -3, -35, -9, 0};
    while (v.size() < count)
        v.push_back(sample_kind == 0 ? static_cast<int32_t>(rng() % 65536) : static_cast<int32_t>(rng() % 2000001) - 1000000);
    return v;
}


class RowSourceTest : public TempFolderTest {};

// Rows served by the raw source, in any order and for every unit, equal the
// whole grid read and converted; its range equals the converted grid's range.
TEST_F(RowSourceTest, RawRowsAndRangeEqualTheConvertedGridForEveryWidthAndUnit)
{
    const int32_t row_count = 6, column_count = 5;
    for (int sample_kind : {0, 1}) {
        Bytes bytes;
        for (int32_t v : samples_for(sample_kind, row_count * column_count)) append_sample(bytes, v, sample_kind);
        append_sample(bytes, 12345, sample_kind);  // beyond the promised samples: ignored
        const std::string path = write_file("m.raw", bytes);
        for (int unit = 0; unit < 4; ++unit) {
            SCOPED_TRACE("sample_kind " + std::to_string(sample_kind) + ", unit " + std::to_string(unit));
            RawRange expected_raw{};
            std::FILE* f = std::fopen(path.c_str(), "rb");
            Grid<double> grid = read_raw_samples(f, path, row_count, column_count, sample_kind, expected_raw);
            std::fclose(f);
            convert_to_meters(grid.rows(), row_count, column_count, unit);

            RawRowSource source(FileHandle(std::fopen(path.c_str(), "rb")), path, row_count, column_count, sample_kind);
            const RawRange raw = source.measure_raw_range();
            EXPECT_EQ(raw.mind, expected_raw.mind);
            EXPECT_EQ(raw.maxd, expected_raw.maxd);
            source.set_unit(unit);

            double lo = grid[0][0], hi = grid[0][0];
            std::vector<double> buffer(column_count);
            for (int32_t i = row_count - 1; i >= 0; --i) {
                const std::span<const double> row = source.read_row(i, buffer);
                ASSERT_EQ(row.size(), static_cast<size_t>(column_count));
                for (int32_t j = 0; j < column_count; ++j) {
                    EXPECT_EQ(row[j], grid[i][j]) << "row " << i << " column " << j;
                    lo = std::min(lo, grid[i][j]);
                    hi = std::max(hi, grid[i][j]);
                }
            }
            EXPECT_EQ(source.range().lowest, lo);
            EXPECT_EQ(source.range().highest, hi);
        }
    }
}

// A model of several blocks of rows: its range is the same on any number of
// threads, wherever the extremes lie; rows read alternately from two sources
// on one thread each come from their own file.
TEST_F(RowSourceTest, RangeOnSeveralThreadsAndRowsOfTwoSourcesInTurn)
{
    const int32_t row_count = 300, column_count = 600;  // 720,000 bytes: several blocks
    for (const int32_t extreme_row : {0, 150, row_count - 1}) {
        Bytes bytes;
        for (int32_t i = 0; i < row_count; ++i)
            for (int32_t j = 0; j < column_count; ++j) {
                const bool extreme = i == extreme_row && j >= column_count - 2;
                append_sample(bytes, extreme ? (j % 2 == 0 ? -777777 : 888888) : (i * 7 + j) % 1000, 1);
            }
        const std::string path = write_file("big.raw", bytes);
        for (unsigned threads : {1u, 2u, 3u}) {
            RawRowSource source(FileHandle(std::fopen(path.c_str(), "rb")), path, row_count, column_count, 1);
            const RawRange range = source.measure_raw_range(threads);
            EXPECT_EQ(range.mind, -777777) << "extremes in row " << extreme_row << ", " << threads << " threads";
            EXPECT_EQ(range.maxd, 888888) << "extremes in row " << extreme_row << ", " << threads << " threads";
        }
    }

    Bytes first, second;
    for (int32_t k = 0; k < row_count * column_count; ++k) {
        append_sample(first, k % 1000, 1);
        append_sample(second, -(k % 1000), 1);
    }
    const std::string first_path = write_file("first.raw", first), second_path = write_file("second.raw", second);
    RawRowSource a(FileHandle(std::fopen(first_path.c_str(), "rb")), first_path, row_count, column_count, 1);
    RawRowSource b(FileHandle(std::fopen(second_path.c_str(), "rb")), second_path, row_count, column_count, 1);
    a.measure_raw_range();
    b.measure_raw_range();
    std::vector<double> buffer(column_count);
    for (int32_t i : {0, 1, 2, 40, 39, 299}) {
        const double expected = (static_cast<int64_t>(i) * column_count + 5) % 1000;
        EXPECT_EQ(a.read_row(i, buffer)[5], expected) << "row " << i;
        EXPECT_EQ(b.read_row(i, buffer)[5], -expected) << "row " << i;
    }
}

// The metric range is taken as the raw range converted: that needs a
// conversion that never puts two samples in the opposite order.
TEST(UnitConversion, NeverReversesTheOrderOfTwoSamples)
{
    std::vector<int32_t> raw = samples_for(1, 200000);
    for (int32_t k = -2000; k <= 2000; ++k) raw.push_back(k);
    std::sort(raw.begin(), raw.end());
    for (int unit = 0; unit < 4; ++unit) {
        std::vector<double> row(raw.begin(), raw.end());
        convert_row_to_meters(row.data(), static_cast<int32_t>(row.size()), unit);
        EXPECT_TRUE(std::is_sorted(row.begin(), row.end())) << "unit " << unit;
    }
}

TEST_F(RowSourceTest, RawFileTooShortIsRefusedAtOnceAndOneShortenedLaterNamesTheLine)
{
    Bytes bytes;
    for (int32_t k = 0; k < 12; ++k) append_sample(bytes, k, 0);
    const std::string path = write_file("m_m2.raw", bytes);
    try {
        RawRowSource too_big(FileHandle(std::fopen(path.c_str(), "rb")), path, 4, 4, 0);
        ADD_FAILURE() << "a file of 12 samples was taken for 16";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("holds 24 bytes"), std::string::npos) << e.what();
    }

    RawRowSource source(FileHandle(std::fopen(path.c_str(), "rb")), path, 3, 4, 0);
    source.measure_raw_range();
    ASSERT_EQ(truncate(path.c_str(), 10), 0);
    std::vector<double> buffer(4);
    source.read_row(0, buffer);
    try {
        source.read_row(2, buffer);
        ADD_FAILURE() << "a row past the end of the shortened file was served";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("ends in line 3"), std::string::npos) << e.what();
    }
}

// An ASCII grid kept in memory or spilled to a scratch file serves the rows
// and the range of the whole-grid reader; the scratch file is never visible.
// Cells without data (the first one among them) are served as NaN and kept
// out of the range, which counts them.
TEST_F(RowSourceTest, AsciiRowsInMemoryOrSpilledEqualTheWholeGrid)
{
    std::string text = "ncols 7\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 12.5\nNODATA_value -9999\nnan ";
    std::mt19937 rng(3);
    for (int k = 1; k < 35; ++k)
        text += rng() % 6 == 0 ? "-9999 " : std::to_string(static_cast<int>(rng() % 20000) - 10000) + ".25 ";
    const std::string path = write_text_file("g.asc", text);

    std::FILE* f = std::fopen(path.c_str(), "r");
    const AsciiModel grid = read_ascii_grid(f, path, {});
    std::fclose(f);

    for (size_t budget : {stored_rows_budget, size_t{0}}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        AsciiGridSize header;
        f = std::fopen(path.c_str(), "r");
        auto source = read_ascii_source(f, path, folder(), budget, {}, header);
        std::fclose(f);
        EXPECT_EQ(source->spilled(), budget == 0);
#ifndef _WIN32
        // Windows keeps the name of a file deleted on close until it is closed.
        EXPECT_EQ(file_count(), 1u) << "only the grid itself is in the folder";
#endif
        EXPECT_EQ(header.cell_size, 12.5);
        double lo = INFINITY, hi = -INFINITY;
        int64_t no_data_cells = 0;
        std::vector<double> buffer(7);
        for (int32_t i : {4, 0, 3, 1, 2}) {
            const std::span<const double> row = source->read_row(i, buffer);
            for (int32_t j = 0; j < 7; ++j) {
                if (std::isnan(grid.altitude_grid[i][j])) {
                    EXPECT_TRUE(std::isnan(row[j])) << "row " << i << " column " << j;
                    ++no_data_cells;
                    continue;
                }
                EXPECT_EQ(row[j], grid.altitude_grid[i][j]) << "row " << i << " column " << j;
                lo = std::min(lo, row[j]);
                hi = std::max(hi, row[j]);
            }
        }
        EXPECT_EQ(source->range().lowest, lo);
        EXPECT_EQ(source->range().highest, hi);
        EXPECT_GT(no_data_cells, 1);
        EXPECT_EQ(source->range().no_data_cells, no_data_cells);
        source.reset();
        EXPECT_EQ(file_count(), 1u) << "the spill file is gone with its source";
    }
}

// Four threads reading rows at random from both kinds of source at once get
// exactly the rows a single reader gets.
TEST_F(RowSourceTest, SeveralThreadsReadTheSameRowsAsOne)
{
    const int32_t row_count = 300, column_count = 33;
    Bytes bytes;
    for (int32_t v : samples_for(1, row_count * column_count)) append_sample(bytes, v, 1);
    const std::string path = write_file("t_m4.raw", bytes);
    RawRowSource raw(FileHandle(std::fopen(path.c_str(), "rb")), path, row_count, column_count, 1);
    raw.measure_raw_range();
    raw.set_unit(2);
    // The raw rows with cells without data, as a raster read through GDAL
    // serves them; kept in a scratch file, and read again from the raster.
    class GappyRaster final : public RasterRowSource {
    public:
        explicit GappyRaster(const RowSource& rows) : rows_(rows)
        {
            row_count_ = rows.row_count();
            column_count_ = rows.column_count();
        }
        std::span<const double> read_row(int32_t i, std::span<double> buffer) const override
        {
            const auto row = rows_.read_row(i, buffer);
            std::copy(row.begin(), row.end(), buffer.begin());
            for (int32_t j = 0; j < column_count_; ++j)
                if ((i * column_count_ + j) % 97 == 0) buffer[static_cast<size_t>(j)] = std::nan("");
            return buffer.first(static_cast<size_t>(column_count_));
        }
        void bound_cache(unsigned) const override {}

    private:
        const RowSource& rows_;
    };
    const GappyRaster gappy(raw);
    StoredRowSource spilled(row_count, column_count, folder(), 0);
    std::vector<double> buffer(column_count);
    for (int32_t i = 0; i < row_count; ++i) spilled.append_row(gappy.read_row(i, buffer).data());
    spilled.finish();
    // The range pass reports its rows from both readers: the most reported is every row.
    std::atomic<int32_t> rows_seen{0};
    RasterPassSource reread(std::make_unique<GappyRaster>(raw), 1.0, 2);
    EXPECT_FALSE(reread.range_known());
    reread.measure_range([&](int32_t i) {
        int32_t seen = rows_seen.load();
        while (seen < i + 1 && !rows_seen.compare_exchange_weak(seen, i + 1)) {
        }
    });
    EXPECT_EQ(rows_seen.load(), row_count);
    EXPECT_EQ(reread.range().lowest, spilled.range().lowest);
    EXPECT_EQ(reread.range().highest, spilled.range().highest);
    EXPECT_EQ(reread.range().no_data_cells, spilled.range().no_data_cells);
    EXPECT_EQ(reread.range().no_data_cells, (row_count * column_count + 96) / 97);

    for (const RowSource* source : {static_cast<const RowSource*>(&raw), static_cast<const RowSource*>(&spilled),
                                    static_cast<const RowSource*>(&reread)}) {
        std::vector<std::vector<double>> expected(row_count);
        for (int32_t i = 0; i < row_count; ++i) {
            const auto row = source->read_row(i, buffer);
            expected[i].assign(row.begin(), row.end());
        }
        std::vector<int> mismatches(4, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                std::mt19937 rng(t);
                std::vector<double> own(column_count);
                for (int k = 0; k < 2000; ++k) {
                    const auto i = static_cast<int32_t>(rng() % row_count);
                    const auto row = source->read_row(i, own);
                    const auto same = [](double a, double b) { return a == b || (a != a && b != b); };
                    if (!std::equal(row.begin(), row.end(), expected[i].begin(), same)) ++mismatches[t];
                }
            });
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(std::accumulate(mismatches.begin(), mismatches.end(), 0), 0);
    }
}

// The first pass over a raster reads every row once on every reader, in
// runs of whole blocks, and reports the first bad row in row order, however
// the readers share the rows out.
TEST_F(RowSourceTest, FirstPassReadsEachRowOnceAndReportsTheFirstBadRow)
{
    class CountedRaster final : public RasterRowSource {
    public:
        CountedRaster(std::vector<std::atomic<int>>& reads, std::vector<int32_t> bad) : reads_(reads), bad_(std::move(bad))
        {
            row_count_ = static_cast<int32_t>(reads.size());
            column_count_ = 4096;  // 8 rows read at once: runs of 14 rows
            block_rows_ = 7;
        }
        std::span<const double> read_row(int32_t i, std::span<double> buffer) const override
        {
            ++reads_[static_cast<size_t>(i)];
            // The reader of the first bad row comes to it last.
            if (i == 44 && !bad_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (std::find(bad_.begin(), bad_.end(), i) != bad_.end()) throw RunError("bad row " + std::to_string(i));
            std::fill(buffer.begin(), buffer.begin() + column_count_, i % 50 == 0 ? std::nan("") : 1000.0 - i);
            return buffer.first(static_cast<size_t>(column_count_));
        }
        void bound_cache(unsigned) const override {}

    private:
        std::vector<std::atomic<int>>& reads_;
        std::vector<int32_t> bad_;
    };
    const int32_t row_count = 400;
    for (unsigned readers : {1u, 3u}) {
        SCOPED_TRACE(std::to_string(readers) + " readers");
        std::vector<std::atomic<int>> reads(row_count);
        RasterPassSource whole(std::make_unique<CountedRaster>(reads, std::vector<int32_t>{}), 1.0, readers);
        whole.measure_range([](int32_t) {});
        EXPECT_TRUE(std::all_of(reads.begin(), reads.end(), [](const std::atomic<int>& n) { return n == 1; }));
        EXPECT_EQ(whole.range().lowest, 1000.0 - 399);
        EXPECT_EQ(whole.range().highest, 999);
        EXPECT_EQ(whole.range().no_data_cells, 8 * 4096);
        for (int round = 0; round < 5; ++round) {
            RasterPassSource failing(std::make_unique<CountedRaster>(reads, std::vector<int32_t>{380, 333, 45}), 1.0,
                                     readers);
            try {
                failing.measure_range([](int32_t) {});
                ADD_FAILURE() << "bad rows were read as good ones";
            } catch (const RunError& e) {
                EXPECT_STREQ(e.what(), "bad row 45");
            }
        }
    }
}

// The blocks of a tiled raster that GDAL keeps in its cache while each
// thread reads its rows are GDAL's share of the memory: a model 30,000
// columns wide in tiles of 256 x 256 (31 MB a thread) is traced on both
// threads, as far as the memory available holds them and the engines.
TEST(RasterReaders, AModelsBlocksInGdalsCacheLeaveTheEngineItsBound)
{
    class TiledRaster final : public RasterRowSource {
    public:
        TiledRaster()
        {
            row_count_ = 20000;
            column_count_ = 30000;
            block_rows_ = 256;
            cache_bytes_per_reader_ = uint64_t{2} * 118 * 256 * 256 * 2;
        }
        std::span<const double> read_row(int32_t, std::span<double> buffer) const override { return buffer; }
        void bound_cache(unsigned) const override {}
    };
    chosen_engine_threads() = 2;
    const struct {
        uint64_t available;
        unsigned threads;
    } cases[] = {{UINT64_MAX, 2}, {uint64_t{200} << 20, 2}, {uint64_t{100} << 20, 1}};
    for (const auto& c : cases) {
        const MeasuringRowSource model(std::make_unique<RasterPassSource>(std::make_unique<TiledRaster>(), 1.0, 2));
        const StripeOptions options = stripes_for(model, 250, 1, 0, c.available);
        EXPECT_EQ(options.threads, c.threads) << c.available;
    }
    chosen_engine_threads() = 0;
}

// The range measured as the rows are read, by several threads in runs that
// overlap, in any order, some rows many times (as stripes, their leads and
// their repairs read them), is the range of one pass in row order: each row
// counted once, and of extremes 0 and -0 the first met. It is known once
// every row was read, not before.
TEST_F(RowSourceTest, RangeMeasuredAsRowsAreReadIsTheRangeOfOnePass)
{
    const int32_t row_count = 240, column_count = 9;
    struct Case {
        const char* name;
        double (*altitude)(int32_t i, int32_t j);
    };
    const Case cases[] = {
        {"gaps, a row without data", [](int32_t i, int32_t j) {
             return i == 17 || (i * 7 + j) % 23 == 0 ? std::nan("") : std::sin(i * 0.3 + j) * 900 + i;
         }},
        {"lowest 0, first met as -0",
         [](int32_t i, int32_t j) { return i == 5 && j == 2 ? -0.0 : i >= 100 && j == 3 ? 0.0 : 1.0 + i + j; }},
        {"highest 0, first met as 0",
         [](int32_t i, int32_t j) { return i == 30 ? 0.0 : i > 100 && j == 4 ? -0.0 : -1.0 - i * j; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto stored = [&] {
            auto rows = std::make_unique<StoredRowSource>(row_count, column_count, folder(), stored_rows_budget);
            std::vector<double> row(column_count);
            for (int32_t i = 0; i < row_count; ++i) {
                for (int32_t j = 0; j < column_count; ++j) row[static_cast<size_t>(j)] = c.altitude(i, j);
                rows->append_row(row.data());
            }
            rows->finish();
            return rows;
        };
        const AltitudeRange one_pass = stored()->range();
        const MeasuringRowSource measuring(stored());

        // The lower half first, from here (so that the later of two zeros
        // comes first); then four threads, each a run of rows overlapping
        // the next one's, read backwards and again in a shuffled order. Row 0
        // is left out.
        std::vector<double> buffer(column_count);
        for (int32_t i = row_count - 1; i >= row_count / 2; --i) measuring.read_row(i, buffer);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                std::vector<int32_t> run;
                for (int32_t i = std::max(1, t * 60 - 20); i < std::min(row_count, (t + 1) * 60 + 5); ++i)
                    run.push_back(i);
                std::vector<double> buffer(column_count);
                for (auto i = run.rbegin(); i != run.rend(); ++i) measuring.read_row(*i, buffer);
                std::shuffle(run.begin(), run.end(), std::mt19937(t));
                for (int32_t i : run) measuring.read_row(i, buffer);
            });
        for (auto& thread : threads) thread.join();
        EXPECT_FALSE(measuring.range_known());
        EXPECT_THROW(measuring.range(), std::logic_error);

        measuring.read_row(0, buffer);
        ASSERT_TRUE(measuring.range_known());
        const AltitudeRange measured = measuring.range();
        EXPECT_EQ(measured.lowest, one_pass.lowest);
        EXPECT_EQ(std::signbit(measured.lowest), std::signbit(one_pass.lowest));
        EXPECT_EQ(measured.highest, one_pass.highest);
        EXPECT_EQ(std::signbit(measured.highest), std::signbit(one_pass.highest));
        EXPECT_EQ(measured.no_data_cells, one_pass.no_data_cells);
    }
}

// ---- Sinks ----

class RowSinkTest : public TempFolderTest {
protected:
    // Writes the rows through a sink made on a new file, in the given order
    // (each row first with wrong contents, then right, when `rewrite`), from
    // `threads` threads; returns the file's bytes.
    template <typename Sink>
    Bytes write_through_sink(const std::vector<Bytes>& rows, int32_t column_count, std::vector<int32_t> order,
                             bool rewrite, int threads)
    {
        const std::string path = path_of("sink.out");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        {
            Sink sink(fileno(f), path, static_cast<int32_t>(rows.size()), column_count);
            const Bytes wrong(static_cast<size_t>(column_count), 77);
            std::vector<std::thread> workers;
            for (int t = 0; t < threads; ++t)
                workers.emplace_back([&, t] {
                    for (size_t k = static_cast<size_t>(t); k < order.size(); k += static_cast<size_t>(threads)) {
                        if (rewrite) sink.write_row(order[k], wrong);
                        sink.write_row(order[k], rows[static_cast<size_t>(order[k])]);
                    }
                });
            for (auto& worker : workers) worker.join();
        }
        std::fclose(f);
        return read_bytes(path);
    }

    // The rows handed over in consecutive batches of 1, 3, 2, 1, 3 ... rows,
    // the batches in a shuffled order.
    template <typename Sink>
    Bytes write_in_batches(const std::vector<Bytes>& rows, int32_t column_count, std::mt19937& rng)
    {
        const auto row_count = static_cast<int32_t>(rows.size());
        std::vector<std::pair<int32_t, int32_t>> batches;  // first row, count
        for (int32_t first = 0, k = 0; first < row_count; ++k) {
            const int32_t count = std::min(row_count - first, std::array{1, 3, 2}[static_cast<size_t>(k % 3)]);
            batches.emplace_back(first, count);
            first += count;
        }
        std::shuffle(batches.begin(), batches.end(), rng);
        const std::string path = path_of("batches.out");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        {
            Sink sink(fileno(f), path, row_count, column_count);
            for (const auto& [first, count] : batches) {
                Bytes joined;
                for (int32_t i = first; i < first + count; ++i)
                    joined.insert(joined.end(), rows[static_cast<size_t>(i)].begin(), rows[static_cast<size_t>(i)].end());
                sink.write_rows(first, count, static_cast<size_t>(column_count), joined.data());
            }
        }
        std::fclose(f);
        return read_bytes(path);
    }
};

// For every row padding (widths 1 to 9) and a few heights, rows given in any
// order, again, from several threads, or in batches make the very bytes of
// SauveBMP and of the rows laid one after another.
TEST_F(RowSinkTest, BitmapAndRawFilesHoldTheBytesOfTheWholeGridWriters)
{
    std::mt19937 rng(11);
    for (int32_t column_count = 1; column_count <= 9; ++column_count) {
        for (int32_t row_count : {1, 2, 7}) {
            SCOPED_TRACE(std::to_string(row_count) + " x " + std::to_string(column_count));
            std::vector<Bytes> rows(static_cast<size_t>(row_count), Bytes(static_cast<size_t>(column_count)));
            std::vector<unsigned char*> pointers;
            Bytes concatenated;
            for (Bytes& row : rows) {
                for (unsigned char& cell : row) cell = static_cast<unsigned char>(rng() % 256);
                pointers.push_back(row.data());
                concatenated.insert(concatenated.end(), row.begin(), row.end());
            }
            ASSERT_EQ(SauveBMP(path_of("whole.bmp").c_str(), pointers.data(), column_count, row_count, 0, nullptr), 0);
            const Bytes whole_bitmap = read_bytes(path_of("whole.bmp"));

            std::vector<int32_t> order(static_cast<size_t>(row_count));
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), rng);
            for (bool rewrite : {false, true}) {
                for (int threads : {1, 3}) {
                    EXPECT_EQ(write_through_sink<BitmapSink>(rows, column_count, order, rewrite, threads), whole_bitmap);
                    EXPECT_EQ(write_through_sink<RawResultSink>(rows, column_count, order, rewrite, threads), concatenated);
                }
            }
            EXPECT_EQ(write_in_batches<BitmapSink>(rows, column_count, rng), whole_bitmap);
            EXPECT_EQ(write_in_batches<RawResultSink>(rows, column_count, rng), concatenated);
        }
    }
}

TEST_F(RowSinkTest, BitmapBeyondWhatItsHeaderCanDescribeIsRefusedNamingTheFile)
{
    std::FILE* f = std::fopen(path_of("big.bmp").c_str(), "wb");
    try {
        BitmapSink sink(fileno(f), "big.bmp", 70000, 70000);
        ADD_FAILURE() << "a bitmap of 4.9 G pixels was begun";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot write big.bmp: a bitmap of 70000 lines"), std::string::npos)
            << e.what();
    }
    std::fclose(f);
    EXPECT_TRUE(read_bytes(path_of("big.bmp")).empty());
}

TEST_F(RowSinkTest, FailedWriteIsReportedNamingTheFile)
{
    std::FILE* f = std::fopen(write_file("r.raw", Bytes{}).c_str(), "rb");  // not open for writing
    try {
        RawResultSink sink(fileno(f), "r.raw", 2, 3);
        sink.write_row(0, Bytes(3, 1));
        ADD_FAILURE() << "a write through a read-only descriptor passed";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot write r.raw: ", 0), 0u) << e.what();
    }
    std::fclose(f);
}

}  // namespace
