// The whole-grid raw raster reader of the reference, and its conversion of a
// grid to meters.
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
#include "shared/run_error.h"
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
Grid<double> read_file(const std::string& path, int32_t row_count, int32_t column_count, int sample_kind, RawRange& range)
{
    std::FILE* f1 = std::fopen(path.c_str(), "rb");
    if (f1 == nullptr) throw std::runtime_error("cannot open " + path);
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f1};
    return read_raw_samples(f1, path, row_count, column_count, sample_kind, range);
}

std::string error_of_reading(const std::string& path, int32_t row_count, int32_t column_count, int sample_kind)
{
    RawRange range{};
    try {
        read_file(path, row_count, column_count, sample_kind, range);
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
