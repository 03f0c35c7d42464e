// Raw raster reader, unit conversion and model size checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "counting_blocks.h"
#include "temp_folder.h"
#include "platform/memory_limits.h"
#include "run_error.h"
#include "contours/engine_memory.h"
#include "input/model_size.h"
#include "input/raw_samples.h"
#include "reference/whole_grid_readers.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace fs = std::filesystem;

class RawReaderTest : public TempFolderTest {};

// Reads a whole file as a model and closes it.
Grid<double> read_file(const std::string& path, int32_t nb_lig1, int32_t nb_col1, int itype, RawRange& range)
{
    std::FILE* f1 = std::fopen(path.c_str(), "rb");
    if (f1 == nullptr) throw std::runtime_error("cannot open " + path);
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f1};
    return read_raw_samples(f1, path, nb_lig1, nb_col1, itype, range);
}

std::string error_of_reading(const std::string& path, int32_t nb_lig1, int32_t nb_col1, int itype)
{
    RawRange range{};
    try {
        read_file(path, nb_lig1, nb_col1, itype, range);
    } catch (const RunError& e) {
        return e.what();
    }
    return "(no error)";
}

void append_le32(std::vector<unsigned char>& bytes, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<unsigned char>(u >> (8 * k)));
}

// ---- Decoding ----

TEST_F(RawReaderTest, Decodes16BitSamplesLeastSignificantByteFirst)
{
    const std::string path = write_file("x_m2.raw", {0xFF, 0xFF, 0x10, 0x27, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x34, 0x12});
    RawRange range{};
    const Grid<double> g = read_file(path, 2, 3, 0, range);
    EXPECT_EQ(g[0][0], 65535.0);
    EXPECT_EQ(g[0][1], 10000.0);
    EXPECT_EQ(g[0][2], 0.0);
    EXPECT_EQ(g[1][0], 1.0);
    EXPECT_EQ(g[1][1], 256.0);
    EXPECT_EQ(g[1][2], 4660.0);
    EXPECT_EQ(range.mind, 0);
    EXPECT_EQ(range.maxd, 65535);
}

TEST_F(RawReaderTest, Decodes32BitSamplesAsSignedTwosComplement)
{
    const std::string path = write_file("x_m4.raw", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF,
                                                     0xFF, 0x7F, 0x10, 0x27, 0x00, 0x00});
    RawRange range{};
    const Grid<double> g = read_file(path, 2, 2, 1, range);
    EXPECT_EQ(g[0][0], -1.0);
    EXPECT_EQ(g[0][1], -2147483648.0);
    EXPECT_EQ(g[1][0], 2147483647.0);
    EXPECT_EQ(g[1][1], 10000.0);
    EXPECT_EQ(range.mind, INT32_MIN);
    EXPECT_EQ(range.maxd, INT32_MAX);
}

TEST_F(RawReaderTest, FillsRowsInFileOrderAndIgnoresTrailingBytes)
{
    std::vector<unsigned char> bytes;
    for (int32_t i = 0; i < 5; ++i)
        for (int32_t j = 0; j < 7; ++j) append_le32(bytes, i * 1000 + j);
    append_le32(bytes, -123456);  // beyond the promised samples
    const std::string path = write_file("x_m4.raw", bytes);
    RawRange range{};
    const Grid<double> g = read_file(path, 5, 7, 1, range);
    for (int32_t i = 0; i < 5; ++i)
        for (int32_t j = 0; j < 7; ++j) EXPECT_EQ(g[i][j], i * 1000 + j) << "row " << i << " column " << j;
    EXPECT_EQ(range.mind, 0);
    EXPECT_EQ(range.maxd, 4006);
}

TEST_F(RawReaderTest, RangeIsTheTrueRangeForAllNegativeOrAllHighModels)
{
    std::vector<unsigned char> negative;
    for (int32_t v : {-50, -7, -3000, -12}) append_le32(negative, v);
    RawRange range{};
    read_file(write_file("neg_m4.raw", negative), 2, 2, 1, range);
    EXPECT_EQ(range.mind, -3000);
    EXPECT_EQ(range.maxd, -7);

    std::vector<unsigned char> high;
    for (int32_t v : {20000000, 30000000, 10000001, 25000000}) append_le32(high, v);
    read_file(write_file("high_m4.raw", high), 1, 4, 1, range);
    EXPECT_EQ(range.mind, 10000001);
    EXPECT_EQ(range.maxd, 30000000);
}

// ---- Refusals ----

TEST_F(RawReaderTest, ShortFileIsRefusedWithBothSizesBeforeAnyAllocation)
{
    const std::string path = write_file("x_m2.raw", std::vector<unsigned char>(1000, 0x01));
    CountingBlocks counter;
    EXPECT_EQ(error_of_reading(path, 100, 12, 0),
              path + " holds 1000 bytes; 100 lines x 12 columns of 2-byte samples need 2400 bytes");
    EXPECT_EQ(CountingBlocks::obtained, 0);
}

TEST_F(RawReaderTest, HugePromiseAgainstTinyFileFailsAtOnce)
{
    const std::string path = write_file("x_m2.raw", std::vector<unsigned char>(10, 0x01));
    CountingBlocks counter;
    const std::string message = error_of_reading(path, 100000, 100000, 0);
    EXPECT_NE(message.find("holds 10 bytes"), std::string::npos) << message;
    EXPECT_NE(message.find("need 20000000000 bytes"), std::string::npos) << message;
    EXPECT_EQ(CountingBlocks::obtained, 0);
}

TEST_F(RawReaderTest, EmptyOrNegativeSizesAreRefusedBeforeAnyAllocation)
{
    const std::string path = write_file("x_m4.raw", std::vector<unsigned char>(64, 0x01));
    CountingBlocks counter;
    EXPECT_EQ(error_of_reading(path, 0, 12, 1), path + ": the model size 0 lines x 12 columns is empty");
    EXPECT_EQ(error_of_reading(path, 3, 0, 1), path + ": the model size 3 lines x 0 columns is empty");
    EXPECT_EQ(error_of_reading(path, -3, 4, 1), path + ": the model size -3 lines x 4 columns is negative");
    EXPECT_EQ(CountingBlocks::obtained, 0);
}

TEST_F(RawReaderTest, StreamEndingDuringReadingIsReported)
{
    // A pipe has no size to check first: the short read itself must be caught.
    int ends[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(ends, 64, _O_BINARY), 0);
#else
    ASSERT_EQ(pipe(ends), 0);
#endif
    const unsigned char bytes[] = {1, 0, 2, 0, 3, 0, 4};
    ASSERT_EQ(write(ends[1], bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
    close(ends[1]);
    std::FILE* f1 = fdopen(ends[0], "rb");
    ASSERT_NE(f1, nullptr);
    RawRange range{};
    try {
        read_raw_samples(f1, "pipe_m2.raw", 2, 2, 0, range);
        ADD_FAILURE() << "a stream of 7 bytes was read as 8";
    } catch (const RunError& e) {
        EXPECT_EQ(std::string(e.what()), "pipe_m2.raw ends in line 2 (counting from 1): the line holds 3 of its 4 bytes");
    }
    std::fclose(f1);
}

// ---- Model size ----

TEST(CheckModelSize, RefusesEmptyNegativeAndOverlongSizesNamingTheFile)
{
    const std::string path = "images/dev/x_m4.raw";
    for (const auto check : {check_model_size, check_grid_size}) {
        const auto message = [&](int64_t l, int64_t c) {
            try {
                check(l, c, path);
            } catch (const RunError& e) {
                return std::string(e.what());
            }
            return std::string("(accepted)");
        };
        EXPECT_EQ(message(0, 12), "images/dev/x_m4.raw: the model size 0 lines x 12 columns is empty");
        EXPECT_EQ(message(7, 0), "images/dev/x_m4.raw: the model size 7 lines x 0 columns is empty");
        EXPECT_EQ(message(7, -1), "images/dev/x_m4.raw: the model size 7 lines x -1 columns is negative");
        EXPECT_EQ(message(int64_t{INT32_MAX} + 1, 1),
                  "images/dev/x_m4.raw: the model size 2147483648 lines x 1 columns is too large "
                  "(at most 2147483647 lines and columns)");
        EXPECT_EQ(message(1, 1), "(accepted)");
        EXPECT_EQ(message(5000, 4000), "(accepted)");
    }
    // Held whole, 2^62 cells times 9 bytes does not fit 64 bits.
    try {
        check_grid_size(INT32_MAX, INT32_MAX, path);
        ADD_FAILURE() << "2^62 cells were accepted as a grid";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("more bytes of memory than can be counted"), std::string::npos);
    }
}

TEST(CheckModelSize, AGridIsRefusedBeyondTheMemoryAvailableAtNineBytesPerCell)
{
    const MemoryLimit available = memory_available();
    ASSERT_LT(available.bytes, UINT64_MAX);  // physical memory at least is known
    const int64_t lines = INT32_MAX;
    const int64_t columns = static_cast<int64_t>(available.bytes / 9 / uint64_t(lines)) + 1;  // just beyond
    ASSERT_LE(columns, INT32_MAX);
    try {
        check_grid_size(lines, columns, "big.asc");
        FAIL() << "a model of " << lines * columns * 9 << " bytes was accepted with " << available.bytes << " bytes";
    } catch (const RunError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("big.asc: the model size 2147483647 lines x " + std::to_string(columns) + " columns", 0), 0u)
            << m;
        EXPECT_NE(m.find(std::to_string(lines * columns * 9) + " bytes"), std::string::npos) << m;
        EXPECT_NE(m.find(std::to_string(available.bytes) + " bytes of " + available.what), std::string::npos) << m;
    }
    // A model needing a ninth of the memory available, in cells of 9 bytes, fits.
    EXPECT_NO_THROW(check_grid_size(1, static_cast<int64_t>(std::min<uint64_t>(available.bytes / 81, INT32_MAX)),
                                    "ok.asc"));
}

// A run streams the rows: any number of rows fits, and only a width whose
// rows do not fit the memory available is refused.
TEST(CheckModelSize, ARunIsRefusedOnlyForAWidthBeyondTheMemoryAvailable)
{
    const MemoryLimit available = memory_available();
    ASSERT_LT(available.bytes, UINT64_MAX);
    const uint64_t per_column = run_memory_needed(2) - run_memory_needed(1);
    const uint64_t fixed = run_memory_needed(1) - per_column;
    ASSERT_GT(per_column, 0u);
    EXPECT_LT(run_memory_needed(30000), uint64_t{256} << 20) << "a 30000-column run fits in 256 MiB";
    EXPECT_LT(run_memory_needed(600000), uint64_t{200} << 20) << "so does a 600000-column run";

    EXPECT_NO_THROW(check_model_size(INT32_MAX, 30000, "long.asc"));
    const int64_t beyond = static_cast<int64_t>((available.bytes - fixed) / per_column) + 1;
    if (beyond > INT32_MAX) GTEST_SKIP() << "no width of at most 2^31 - 1 columns exceeds the memory available";
    EXPECT_NO_THROW(check_model_size(1, beyond - 1, "wide.asc"));
    try {
        check_model_size(1, beyond, "wide.asc");
        FAIL() << beyond << " columns accepted";
    } catch (const RunError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("a run on " + std::to_string(beyond) + " columns needs " +
                         std::to_string(run_memory_needed(beyond)) + " bytes"),
                  std::string::npos)
            << m;
        EXPECT_NE(m.find(std::to_string(available.bytes) + " bytes of " + available.what), std::string::npos) << m;
    }
}

// The engine takes what the memory bound (64 MiB and 64 bytes per column)
// leaves besides the program and the model's blocks: as many stripes as fit,
// each but the first with room for one repair state at least; a model too
// wide for two stripes runs as one on one thread.
TEST(EngineStripes, AsManyStripesAsTheMemoryBoundHolds)
{
    struct Case {
        int64_t columns;
        unsigned threads;
        uint64_t available;
        unsigned stripes;  // expected
        unsigned used_threads;
    };
    const uint64_t no_limit = UINT64_MAX;
    const Case cases[] = {
        {1, 2, no_limit, 4, 2},
        {1000, 1, no_limit, 2, 1},
        {1000, 2, no_limit, 4, 2},
        {30000, 8, no_limit, 10, 8},
        {100000, 2, no_limit, 3, 2},
        {100000, 2, uint64_t{48} << 20, 2, 2},  // the memory available bounds it below the bound
        {100000, 2, uint64_t{40} << 20, 1, 1},
        {200000, 2, no_limit, 2, 2},
        {300000, 2, no_limit, 1, 1},  // too wide for two stripes
        {600000, 2, no_limit, 1, 1},
        {INT32_MAX, 8, no_limit, 1, 1},
        {1000, 2, 0, 1, 1},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.columns) + " columns, " + std::to_string(c.threads) + " threads";
        // A raw 16-bit model: a block of 256 KiB or a row per thread.
        const uint64_t source = c.threads * std::max<uint64_t>(2 * uint64_t(c.columns), 256 << 10);
        const StripeOptions options = stripes_within(c.columns, 250, c.threads, source, c.available);
        EXPECT_EQ(options.max_stripes, c.stripes) << what;
        EXPECT_EQ(options.threads, c.used_threads) << what;
        const uint64_t budget = std::min(run_memory_bound(c.columns), c.available);
        const uint64_t rest = std::min(budget, run_program_bytes + source);
        const EngineMemory fit = fit_engine_memory(c.columns, 250, c.threads, budget - rest);
        if (fit.stripes > 1) {
            EXPECT_LE(fit.bytes + run_program_bytes + source, budget) << what;
            EXPECT_GE(options.state_bytes, uint64_t(c.columns) * engine_state_bytes_per_column(250)) << what;
        } else {
            EXPECT_EQ(options.state_bytes, 0u) << what;
        }
    }
}

#ifndef _WIN32
TEST(CgroupMemoryLimit, SmallestLimitOfTheGroupAndTheGroupsAboveIt)
{
    const fs::path root = fs::temp_directory_path() / ("cgroups_" + std::to_string(getpid()));
    const auto limit_file = [&](const std::string& folder, const std::string& file, const std::string& text) {
        fs::create_directories(root / folder);
        std::FILE* f = std::fopen((root / folder / file).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    limit_file("a", "memory.max", "5000000\n");
    limit_file("a/b", "memory.max", "max\n");                 // none of its own: the parent's holds
    limit_file("unified/c", "memory.max", "7000000\n");       // version 2 beside version 1
    limit_file("memory/d", "memory.limit_in_bytes", "9223372036854771712\n");  // version 1, none
    limit_file("memory/d/e", "memory.limit_in_bytes", "3000000\n");
    const std::string r = root.string();
    EXPECT_EQ(cgroup_memory_limit("0::/a/b\n", r), 5000000u);
    EXPECT_EQ(cgroup_memory_limit("0::/c\n", r), 7000000u);
    EXPECT_EQ(cgroup_memory_limit("4:memory:/d\n0::/\n", r), 9223372036854771712u);
    EXPECT_EQ(cgroup_memory_limit("9:name=systemd:/\n4:cpu,memory:/d/e\n0::/a\n", r), 3000000u);
    EXPECT_EQ(cgroup_memory_limit("4:cpu:/d/e\n0::/nowhere\n", r), UINT64_MAX);  // no memory limit anywhere
    EXPECT_EQ(cgroup_memory_limit("garbage", r), UINT64_MAX);
    fs::remove_all(root);
}
#endif

// ---- Conversion to meters ----

TEST(ConvertToMeters, MultipliesByTheNearestDoubleInExtendedPrecision)
{
    double row[] = {3, 35, 9, 65535, -1};
    double* rows[] = {row};
    convert_to_meters(rows, 1, 1, 1);
    EXPECT_EQ(row[0], 0.30000000000000004);
    convert_to_meters(rows, 1, 1, 0);
    EXPECT_EQ(row[0], 0.30000000000000004);  // meters are kept

    double cm[] = {35};
    double mm[] = {9};
    double* cm_rows[] = {cm};
    double* mm_rows[] = {mm};
    convert_to_meters(cm_rows, 1, 1, 2);
    convert_to_meters(mm_rows, 1, 1, 3);
    EXPECT_EQ(cm[0], 0.35000000000000003);
    EXPECT_EQ(mm[0], 0.009000000000000001);

    // The other cells of the first row were not touched by the 1-column calls.
    EXPECT_EQ(row[1], 35.0);
    EXPECT_EQ(row[3], 65535.0);
}

TEST(ConvertToMeters, RoundsTheExtendedProductWhereItDiffersFromTheDoubleProduct)
{
    const double factors[] = {0.1, 0.01, 0.001};
    constexpr int32_t count = 100001;
    for (int unit = 1; unit <= 3; ++unit) {
        const double factor = factors[unit - 1];
        std::vector<double> cells(count);
        for (int32_t s = 0; s < count; ++s) cells[s] = s;
        double* rows[] = {cells.data()};
        convert_to_meters(rows, 1, count, unit);

        int differing = 0;
        for (int32_t s = 0; s < count; ++s) {
            const double extended = static_cast<double>(static_cast<long double>(s) * static_cast<long double>(factor));
            const volatile double plain = static_cast<double>(s) * factor;
            if (extended != plain) ++differing;
            ASSERT_EQ(cells[s], extended) << "sample " << s << " unit " << unit;
        }
        // The check above can tell the two products apart only if they differ somewhere.
        EXPECT_GT(differing, 0) << "unit " << unit;
    }
}

TEST(ConvertToMeters, ConvertsEveryRowOfAGrid)
{
    Grid<double> g = make_grid<double>(3, 2, "test grid");
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j) g[i][j] = 10 * i + j;
    convert_to_meters(g.rows(), 2, 3, 2);
    EXPECT_EQ(g[1][2], static_cast<double>(12.0L * 0.01));
    EXPECT_EQ(g[0][1], 0.01);
    EXPECT_THROW(convert_to_meters(g.rows(), 2, 3, 4), std::invalid_argument);
}

}  // namespace
