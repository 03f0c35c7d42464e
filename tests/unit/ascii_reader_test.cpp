// ASCII grid reader: header keywords, body values, errors and chunked reading.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "shared/run_error.h"
#include "input/ascii_reader.h"
#include "reference/whole_grid_readers.h"

namespace {

namespace fs = std::filesystem;

class AsciiReaderTest : public TempFolderTest {
protected:
    std::string write_text(const std::string& text, const std::string& name = "dem.asc")
    {
        return write_text_file(name, text);
    }

    AsciiModel read(const std::string& text, std::vector<int32_t>* progress = nullptr)
    {
        const std::string path = write_text(text);
        std::FILE* f1 = std::fopen(path.c_str(), "r");
        EXPECT_NE(f1, nullptr);
        try {
            AsciiModel model = read_ascii_grid(f1, path, [progress](int32_t i) {
                if (progress != nullptr) progress->push_back(i);
            });
            std::fclose(f1);
            return model;
        } catch (...) {
            std::fclose(f1);
            throw;
        }
    }

    // The message of the refusal, without the path that starts it.
    std::string error_of(const std::string& text)
    {
        try {
            read(text);
        } catch (const RunError& e) {
            const std::string path = (dir_ / "dem.asc").string();
            const std::string m = e.what();
            if (m.rfind(path + ": ", 0) != 0) return "(message does not start with the path) " + m;
            return m.substr(path.size() + 2);
        }
        return "(accepted)";
    }
};

const char* const usual_header =
    "ncols         3\n"
    "nrows         2\n"
    "xllcorner     0.0\n"
    "yllcorner     0.0\n"
    "cellsize      30\n"
    "NODATA_value  -9999\n";

std::vector<double> cells_of(const AsciiModel& m)
{
    std::vector<double> cells;
    for (int32_t i = 0; i < m.row_count; ++i)
        for (int32_t j = 0; j < m.column_count; ++j) cells.push_back(m.altitude_grid[i][j]);
    return cells;
}

// The cells as text, "-" for a cell without data (NaN).
std::string shown(const AsciiModel& m)
{
    std::string text;
    for (double v : cells_of(m)) {
        char cell[32];
        std::snprintf(cell, sizeof cell, "%.17g", v);
        if (!text.empty()) text.push_back(' ');
        text.append(std::isnan(v) ? "-" : cell);
    }
    return text;
}

// ---- Header ----

TEST_F(AsciiReaderTest, UsualHeaderAndBodyReadIntoRowsInFileOrder)
{
    const AsciiModel m = read(std::string(usual_header) + "1.5 2 -9999\n4e2 +5 -6.25\n");
    EXPECT_EQ(m.column_count, 3);
    EXPECT_EQ(m.row_count, 2);
    EXPECT_EQ(m.cell_size, 30.0);
    EXPECT_EQ(shown(m), "1.5 2 - 400 5 -6.25");
    EXPECT_EQ(m.no_data_cells, 1);
}

TEST_F(AsciiReaderTest, HeaderVariantsReadTheSame)
{
    const std::vector<double> body{1, 2, 3, 4, 5, 6};
    const char* const headers[] = {
        // without nodata_value
        "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\n",
        // centers instead of corners
        "ncols 3\nnrows 2\nxllcenter 15\nyllcenter 15\ncellsize 30\nnodata_value -9999\n",
        // mixed case, any order, several pairs on one line, tabs and blanks
        "CellSize\t30 NROWS 2\tnCols 3\r\nXLLCORNER 0 YllCorner -5.5e3 NoData_Value -1\n",
        // dx with dy
        "ncols 3 nrows 2 xllcorner 0 yllcorner 0 dx 30 dy 25\n",
        // dx without dy
        "ncols 3 nrows 2 xllcorner 0 yllcorner 0 dx 30\n",
    };
    for (const char* header : headers) {
        const AsciiModel m = read(std::string(header) + "1 2 3\n4 5 6\n");
        EXPECT_EQ(m.column_count, 3) << header;
        EXPECT_EQ(m.row_count, 2) << header;
        EXPECT_EQ(m.cell_size, 30.0) << header;
        EXPECT_EQ(cells_of(m), body) << header;
    }
    EXPECT_EQ(read("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 12.5 7").cell_size, 12.5);
}

// The top-left corner and cell sizes as GDAL gives them for the same grid
// (GDAL's own reading is compared in the command-line tests); besides, what
// GDAL does not place: a corner on one axis and a centre on the other, each
// axis by its own keyword, and a cell size of 0, which places nothing.
TEST_F(AsciiReaderTest, HeaderPositionGivesTheGeotransform)
{
    using Transform = std::array<double, 6>;
    const struct {
        const char* position;
        bool present;
        Transform geotransform;
    } cases[] = {
        {"xllcorner 1000.5 yllcorner 2000.25 cellsize 30", true, {1000.5, 30, 0, 2060.25, 0, -30}},
        {"xllcenter 1000.5 yllcenter 2000.25 cellsize 30", true, {985.5, 30, 0, 2045.25, 0, -30}},
        {"xllcorner 1000.5 yllcorner 2000.25 dx 30 dy 20", true, {1000.5, 30, 0, 2040.25, 0, -20}},
        {"xllcorner 1000.5 yllcorner 2000.25 dx 30 dy -20", true, {1000.5, 30, 0, 1960.25, 0, 20}},
        {"xllcorner 1000.5 yllcorner 2000.25 dx 30", true, {1000.5, 30, 0, 2060.25, 0, -30}},
        {"xllcenter 0.1 yllcenter 0.7 dx 0.3 dy 0.2", true,
         {0.1 - 0.5 * 0.3, 0.3, 0, 0.7 - 0.5 * 0.2 + 2 * 0.2, 0, -0.2}},
        {"xllcorner 10 yllcenter 20 cellsize 2", true, {10, 2, 0, 23, 0, -2}},
        {"xllcorner 10 yllcorner 20 cellsize 0", false, {0, 1, 0, 0, 0, 1}},
        {"xllcorner 10 yllcorner 20 dx 2 dy 0", false, {0, 1, 0, 0, 0, 1}},
        {"xllcorner 10 yllcorner 20 cellsize 1e308", false, {0, 1, 0, 0, 0, 1}},
    };
    for (const auto& c : cases) {
        const AsciiModel m = read(std::string("ncols 3 nrows 2 ") + c.position + "\n1 2 3\n4 5 6\n");
        EXPECT_EQ(m.georeference.present, c.present) << c.position;
        EXPECT_EQ(m.georeference.geotransform, c.geotransform) << c.position;
        EXPECT_EQ(m.georeference.projection_wkt, "") << c.position;
    }
}

TEST_F(AsciiReaderTest, HeaderFaultsAreRefusedNamingTheKeyword)
{
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30 colour 5 1 2 3 4 5 6",
         "unknown keyword 'colour' in the header (known: ncols, nrows, xllcorner or xllcenter, yllcorner or "
         "yllcenter, cellsize or dx (with an optional dy), nodata_value)"},
        {"nrows 2 xllcorner 0 yllcorner 0 cellsize 30 1 2 3 4 5 6", "the header lacks ncols"},
        {"ncols 3 xllcorner 0 yllcorner 0 cellsize 30 1 2 3 4 5 6", "the header lacks nrows"},
        {"ncols 3 nrows 2 yllcorner 0 cellsize 30 1 2 3 4 5 6", "the header lacks xllcorner (or xllcenter)"},
        {"ncols 3 nrows 2 xllcorner 0 cellsize 30 1 2 3 4 5 6", "the header lacks yllcorner (or yllcenter)"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 1 2 3 4 5 6", "the header lacks cellsize (or dx)"},
        {"", "the header lacks ncols"},
        {"ncols 3 nrows 2 NCOLS 3 xllcorner 0 yllcorner 0 cellsize 30 1 2 3 4 5 6", "the header gives ncols twice"},
        {"ncols 3 nrows 2 xllcorner 0 xllcenter 0 yllcorner 0 cellsize 30 1 2 3 4 5 6",
         "the header gives both xllcorner and xllcenter"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30 dx 30 1 2 3 4 5 6",
         "the header gives both cellsize and dx"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30 dy 30 1 2 3 4 5 6", "the header gives dy without dx"},
        {"ncols abc nrows 2 xllcorner 0 yllcorner 0 cellsize 30 1 2 3 4 5 6",
         "the value of ncols, 'abc', is not a whole number"},
        {"ncols 3 nrows 2.5 xllcorner 0 yllcorner 0 cellsize 30 1 2 3 4 5 6",
         "the value of nrows, '2.5', is not a whole number"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize thirty 1 2 3 4 5 6",
         "the value of cellsize, 'thirty', is not a finite number"},
        {"ncols 3 nrows 2 xllcorner west yllcorner 0 cellsize 30 1 2 3 4 5 6",
         "the value of xllcorner, 'west', is not a finite number"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 dx -30 1 2 3 4 5 6", "the cell size dx '-30' is negative"},
        {"ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize", "the file ends after the keyword cellsize, without its value"},
        {"ncols 0 nrows 2 xllcorner 0 yllcorner 0 cellsize 30 1", "the model size 2 lines x 0 columns is empty"},
        {"ncols 3 nrows -2 xllcorner 0 yllcorner 0 cellsize 30 1", "the model size -2 lines x 3 columns is negative"},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.text), c.message) << c.text;
}

// ---- Body ----

TEST_F(AsciiReaderTest, BodyValuesThatAreNotFiniteNumbersAreRefusedNamingTheCell)
{
    const std::string header = "ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30\n";
    const char* const not_numbers[] = {"abc", "1.5x", "+-1", "1e", "--2", "1,5,0", "1.5,0", "1,5.0", ","};
    for (const char* bad : not_numbers)
        EXPECT_EQ(error_of(header + "1 2 3\n4 5 " + bad + "\n"),
                  std::string("row 2, column 3 (counting from 1) holds '") + bad + "', which is not a number");
    const char* const not_finite[] = {"inf", "-Infinity", "1e999", "-1e400", "1,0e999"};
    for (const char* bad : not_finite)
        EXPECT_EQ(error_of(header + "1 " + bad + " 3\n4 5 6\n"),
                  std::string("row 1, column 2 (counting from 1) holds '") + bad + "', which is not a finite number");
}

TEST_F(AsciiReaderTest, NoDataCellsAndDecimalCommas)
{
    // Cells equal to nodata_value, and nan cells with or without it, have no
    // data; a decimal comma reads as the point.
    const std::string size = "ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30 ";
    struct Case {
        std::string text;
        const char* cells;
        int64_t no_data_cells;
    };
    const Case cases[] = {
        {size + "NODATA_value -9999 -9999 -9999.0 -9998.9 0 nan 1", "- - -9998.8999999999996 0 - 1", 3},
        {size + "NODATA_value nan nan 2 -nan 4 NaN 6", "- 2 - 4 - 6", 3},
        {size + "-9999 2 nan 4 5 6", "-9999 2 - 4 5 6", 1},
        {size + "NODATA_value 0 1 2 3 4 5 6", "1 2 3 4 5 6", 0},
        {size + "NODATA_value -9999,0 ,500E+02 0,100000E+06 -0,25 -9999 +1,5 7", "50 100000 -0.25 - 1.5 7", 1},
    };
    for (const Case& c : cases) {
        const AsciiModel m = read(c.text);
        EXPECT_EQ(shown(m), c.cells) << c.text;
        EXPECT_EQ(m.no_data_cells, c.no_data_cells) << c.text;
    }
    EXPECT_EQ(read("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 0,5 1").cell_size, 0.5);
    EXPECT_EQ(error_of(size + "NODATA_value -inf 1 2 3 4 5 6"),
              "the value of nodata_value, '-inf', is not a finite number");
}

TEST_F(AsciiReaderTest, FileEndingEarlyNamesTheFirstMissingCell)
{
    const std::string header = "ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30\n";
    EXPECT_EQ(error_of(header + "1 2 3\n4\n"),
              "the file ends before row 2, column 2 (counting from 1) of the 2 rows x 3 columns its header gives");
    EXPECT_EQ(error_of(header),
              "the file ends before row 1, column 1 (counting from 1) of the 2 rows x 3 columns its header gives");
}

TEST_F(AsciiReaderTest, HeaderPromisingMoreValuesThanTheFileCanHoldIsRefusedAtTheExactBound)
{
    // A file of 100 bytes holds at most 51 values by the rule of one byte and
    // one separator each (plus one): 51 are looked for, 52 refused at once.
    const auto file_of_100_bytes = [](int ncols) {
        std::string text = "ncols " + std::to_string(ncols) + " nrows 1 xllcorner 0 yllcorner 0 cellsize 1\n1";
        return text + std::string(100 - text.size(), ' ');
    };
    EXPECT_EQ(error_of(file_of_100_bytes(51)),
              "the file ends before row 1, column 2 (counting from 1) of the 1 rows x 51 columns its header gives");
    EXPECT_EQ(error_of(file_of_100_bytes(52)),
              "the header promises 1 rows x 52 columns, more values than its 100 bytes can hold");
}

TEST_F(AsciiReaderTest, SeparatorsAndLineEndsCarryNoMeaning)
{
    const std::string header = "ncols 3 nrows 2 xllcorner 0 yllcorner 0 cellsize 30";
    const std::vector<double> expected{1, 2.5, 3, -4, 5, 6};
    const char* const bodies[] = {
        "\n1 2.5 3\n-4 5 6\n",
        "\n1 2.5 3 -4 5 6",              // all on one line, no final line end
        "\r\n1\t2.5\t3\r\n-4\t5\t6\r\n",  // tabs and CRLF
        "\n1   2.5\n3 -4\n\n 5\t \t6  \n",  // rows broken anywhere
    };
    for (const char* body : bodies) EXPECT_EQ(cells_of(read(header + body)), expected) << body;
    // A byte-order mark before the first keyword.
    EXPECT_EQ(cells_of(read("\xEF\xBB\xBF" + header + bodies[0])), expected);
}

TEST_F(AsciiReaderTest, ValuesBeyondTheLastCellAreRefusedNamingTheirLine)
{
    const std::string header = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\n";  // 5 lines
    const std::string beyond = ", a value beyond the 2 rows x 3 columns its header gives";
    EXPECT_EQ(error_of(header + "1 2 3 4\n5 6 7 8\n"), "line 7 holds '7'" + beyond);  // one column too many
    EXPECT_EQ(error_of(header + "1 2 3\n4 5 6\n\n\r\n  x\n"), "line 10 holds 'x'" + beyond);
    EXPECT_EQ(error_of("\xEF\xBB\xBF" + header + "1 2 3 4 5 6 7"), "line 6 holds '7'" + beyond);

    // The line is counted across chunks of the file too.
    std::string text = "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n5\n";
    while (text.size() < 2 * ascii_chunk_bytes) text += "\n";
    const size_t lines = std::count(text.begin(), text.end(), '\n');
    EXPECT_EQ(error_of(text + "6\n"), "line " + std::to_string(lines + 1) + " holds '6', a value beyond the 1 rows x "
                                                                            "1 columns its header gives");
}

TEST_F(AsciiReaderTest, ProgressIsReportedBeforeEveryHundredthRowOnly)
{
    const auto progress_for = [&](int rows) {
        std::string text = "ncols 2 nrows " + std::to_string(rows) + " xllcorner 0 yllcorner 0 cellsize 1\n";
        for (int i = 0; i < rows; ++i) text += "1 2\n";
        std::vector<int32_t> calls;
        read(text, &calls);
        return calls;
    };
    EXPECT_EQ(progress_for(250), (std::vector<int32_t>{100, 200}));
    EXPECT_EQ(progress_for(100), (std::vector<int32_t>{}));
    EXPECT_EQ(progress_for(101), (std::vector<int32_t>{100}));
    EXPECT_EQ(progress_for(99), (std::vector<int32_t>{}));
}

TEST_F(AsciiReaderTest, ValuesAreTheCorrectlyRoundedDoublesOfTheirText)
{
    const std::vector<std::string> texts{
        "0.1", "0.30000000000000004", "1e23", "8.98846567431158e307", "1.7976931348623157e308",
        "2.2250738585072011e-308", "2.2250738585072012e-308", "4.9e-324", "2.4703282292062328e-324",
        "2.4703282292062327e-324", "1e-400", "9007199254740993", "123456789012345678901234567890",
        "1.00000000000000011102230246251565404236316680908203125",  // halfway: to even
        "1.00000000000000011102230246251565404236316680908203126", "7.038531e-26", "-0", "+3.25", ".5", "5.",
        "1E5", "-4291.5000", "0.000001", "3.14159265358979323846264338327950288",
    };
    std::string text = "ncols " + std::to_string(texts.size()) + " nrows 1 xllcorner 0 yllcorner 0 cellsize 1\n";
    for (const std::string& t : texts) text += t + " ";
    const AsciiModel m = read(text);
    for (size_t j = 0; j < texts.size(); ++j) {
        const double expected = std::strtod(texts[j].c_str(), nullptr);
        const double got = m.altitude_grid[0][j];
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << texts[j] << " read as " << got;
    }
}

// ---- Chunked reading ----

TEST_F(AsciiReaderTest, LargeGridReadsEveryCellAcrossChunkBoundaries)
{
    constexpr int32_t rows = 400;
    constexpr int32_t cols = 300;  // 120000 values of about 20 characters: over 2 MiB
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> altitude(-11000.0, 9000.0);
    std::vector<double> values(size_t{rows} * cols);
    for (double& v : values) v = altitude(random);

    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n";
    // A value must straddle the end of the first chunk: pad the header until it does.
    std::string body;
    char cell[40];
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < cols; ++j) {
            std::snprintf(cell, sizeof cell, "%.17g ", values[static_cast<size_t>(i) * cols + j]);
            body += cell;
        }
        body += "\n";
    }
    const auto straddles = [&](const std::string& t) {
        const char before = t[ascii_chunk_bytes - 1];
        const char after = t[ascii_chunk_bytes];
        return before != ' ' && before != '\n' && after != ' ' && after != '\n';
    };
    while (!straddles(text + body)) text += " ";
    text += body;
    ASSERT_GT(text.size(), 2 * ascii_chunk_bytes);

    const AsciiModel m = read(text);
    ASSERT_EQ(m.row_count, rows);
    ASSERT_EQ(m.column_count, cols);
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < cols; ++j)
            ASSERT_EQ(m.altitude_grid[i][j], values[static_cast<size_t>(i) * cols + j]) << "row " << i << " column " << j;
}

TEST_F(AsciiReaderTest, TokenLongerThanAChunkIsRefused)
{
    std::string text = "ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1\n1";
    text += std::string(ascii_chunk_bytes + 10, '0');
    const std::string message = error_of(text);
    EXPECT_EQ(message.rfind("a token longer than " + std::to_string(ascii_chunk_bytes) + " bytes begins with '1000", 0),
              0u)
        << message.substr(0, 200);
}

}  // namespace
