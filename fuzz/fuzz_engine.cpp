// Fuzz target: the row engine in stripes against the pass-by-pass engine, on
// a small model and a plan the program could make, read from the bytes.
//
// Layout of the input (missing bytes count as 0):
//   0  rows - 1 (mod 40)            1  columns - 1 (mod 40)
//   2  bit 0: first tone (0 or 1); bits 2-3: threads - 1
//   3  levels - 1 (mod 250); 255: a plan without levels. In tones of two
//      bytes: levels - 251 (mod 100), a plan of 251 to 350 levels (the
//      reference's time grows with the levels)
//   4  lowest level, in half meters (signed)
//   5  interval, in half meters (signed, never 0); in tones of two bytes in
//      eighths of a meter, so that the tones above 254 fall on the altitudes
//   6  stripes: bits 0-4 lead rows, bits 5-7 the smallest stripe (8 rows up)
//   7  repair states: bits 0-2 how many are kept (1 to 8), bit 3 on a budget of
//      a few hundred bytes, so that stripes are also recomputed whole; bit 4
//      tones of two bytes (those of plans of more than 250 levels)
//   8  how many cells each byte of altitude stands for along a row (1 to 4:
//      flat runs make plateaus)
//   9+ altitudes in half meters (signed), row by row; -128 is a cell without
//      data. Past the end of the input the last altitude repeats.
//
// Every result the two engines give must agree byte for byte, in tones of one
// byte or of two, and every row must reach the sink.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "reference/extraction.h"
#include "shared/levels.h"
#include "contours/stripes.h"
#include "fuzz_input.h"
#include "reference/grid.h"

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t at(size_t k) const { return k < size_ ? data_[k] : 0; }
    size_t size() const { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
};

class GridSource final : public AltitudeSource {
public:
    explicit GridSource(const Grid<double>& grid, int32_t column_count) : grid_(grid), column_count_(column_count) {}
    AltitudeRow read_row(int32_t i, std::span<double> buffer) const override
    {
        std::copy(grid_[i], grid_[i] + column_count_, buffer.begin());
        return buffer.first(static_cast<size_t>(column_count_));
    }

private:
    const Grid<double>& grid_;
    int32_t column_count_;
};

// The rows as last written, and how many times each was.
class RowsSink final : public ResultRowSink {
public:
    explicit RowsSink(int32_t row_count) : rows(static_cast<size_t>(row_count)), writes(static_cast<size_t>(row_count), 0) {}
    void write_row(int32_t i, ToneRow row) override
    {
        rows[static_cast<size_t>(i)].assign(row.begin(), row.end());
        ++writes[static_cast<size_t>(i)];
    }

    std::vector<std::vector<unsigned char>> rows;
    std::vector<int> writes;
};

// Every row reached the sink, with the bytes of the reference's row in tones
// of type Tone.
template <typename Tone>
void check_against_reference(const ExtractionInput& input, const RowsSink& sink)
{
    Grid<Tone> expected = make_grid<Tone>(input.column_count, input.row_count, "expected");
    extract_contours_reference(input, expected.rows());
    const size_t row_bytes = static_cast<size_t>(input.column_count) * sizeof(Tone);
    for (int32_t i = 0; i < input.row_count; ++i) {
        FUZZ_CHECK(sink.writes[static_cast<size_t>(i)] > 0);
        const std::vector<unsigned char>& row = sink.rows[static_cast<size_t>(i)];
        FUZZ_CHECK(row.size() == row_bytes);
        FUZZ_CHECK(std::memcmp(row.data(), expected[i], row_bytes) == 0);
    }
}

constexpr size_t first_altitude = 9;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes in(data, size);
    const int32_t row_count = 1 + in.at(0) % 40;
    const int32_t column_count = 1 + in.at(1) % 40;
    const int first_tone = in.at(2) & 1;
    const unsigned threads = 1 + ((in.at(2) >> 2) & 3);
    const bool wide_tones = (in.at(7) & 16) != 0;
    const int level_count = wide_tones ? 251 + in.at(3) % 100 : in.at(3) == 255 ? 0 : 1 + in.at(3) % 250;
    const double lowest_level = static_cast<int8_t>(in.at(4)) * 0.5;
    const double interval = (in.at(5) == 0 ? 1 : static_cast<int8_t>(in.at(5))) * (wide_tones ? 0.125 : 0.5);
    const int32_t cells_per_byte = 1 + in.at(8) % 4;

    Grid<double> model = make_grid<double>(column_count, row_count, "fuzz model");
    double highest = -std::numeric_limits<double>::infinity();
    size_t next = first_altitude;
    int8_t altitude = 0;
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j) {
            if (j % cells_per_byte == 0 && next < in.size()) altitude = static_cast<int8_t>(in.at(next++));
            const double value = altitude == -128 ? std::numeric_limits<double>::quiet_NaN() : altitude * 0.5;
            model[i][j] = value;
            if (value == value) highest = std::max(highest, value);
        }
    if (highest == -std::numeric_limits<double>::infinity()) return 0;  // no data at all: refused before any plan

    const std::vector<Level> levels = level_sequence(lowest_level, interval, first_tone, level_count, highest);

    StripeOptions options;
    options.threads = threads;
    options.lead_rows = in.at(6) & 31;
    options.min_stripe_rows = 8 + 8 * (in.at(6) >> 5);
    options.checkpoints = 1 + (in.at(7) & 7);
    if ((in.at(7) & 8) != 0) options.state_bytes = 300;
    const PreparedPlan plan(&levels, first_tone, level_count, highest, wide_tones);
    const GridSource source(model, column_count);
    RowsSink sink(row_count);
    extract_in_stripes(plan, row_count, column_count, source, sink, options);

    const ExtractionInput input{model.rows(), row_count, column_count, &levels, first_tone, level_count, highest};
    if (wide_tones)
        check_against_reference<uint16_t>(input, sink);
    else
        check_against_reference<unsigned char>(input, sink);
    return 0;
}
