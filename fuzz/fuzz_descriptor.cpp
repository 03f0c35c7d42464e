// Fuzz target: a raster descriptor read by read_descriptor, and a raw raster
// read by read_raw_samples.
//
// Input layout:
//   byte 0      flags: bit 0 the sample width (0: 16-bit, 1: 32-bit); bit 1
//               the sizes are full 32-bit values (else 16-bit, sign included)
//   bytes 1-4   lines, little-endian (only bytes 1-2 without bit 1)
//   bytes 5-8   columns, likewise (only bytes 5-6)
//   byte 9      length L of the descriptor text
//   then        L bytes of descriptor text, then the raw file's bytes.
// Shorter inputs are read as a descriptor alone.
//
// No size cap in the harness: the raw file is an in-memory file of its true
// length, so the reader's own check of the file size against the promised
// samples is what must keep it from allocating more than the file can fill.
// A failure of that check shows as an out-of-memory report.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "shared/run_error.h"
#include "input/descriptor.h"
#include "input/raw_samples.h"
#include "reference/whole_grid_readers.h"

namespace {

constexpr size_t kHeaderBytes = 10;

int32_t little_endian(const uint8_t* b, int bytes)
{
    if (bytes == 2) return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
    return static_cast<int32_t>(uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) |
                                (uint32_t{b[3]} << 24));
}

void fuzz_descriptor(const uint8_t* text, size_t size)
{
    std::FILE* descriptor_file = stream_of(text, size);
    if (descriptor_file == nullptr) return;
    constexpr int32_t untouched = 0x5A5A5A5A;
    int32_t v[6] = {untouched, untouched, untouched, untouched, untouched, untouched};
    int32_t* const values[6] = {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]};
    const int n = read_descriptor(descriptor_file, values);
    std::fclose(descriptor_file);
    FUZZ_CHECK(n >= 0 && n <= 6);
    // The values not read keep their previous content.
    for (int k = n; k < 6; ++k) FUZZ_CHECK(v[k] == untouched);
}

// Every cell must hold its sample decoded from the file, and the range must
// be the true range of the samples.
void check_samples(const Grid<double>& altitude_grid, const uint8_t* raw, int32_t row_count, int32_t column_count, int sample_kind,
                   const RawRange& range)
{
    const int width = sample_kind == 0 ? 2 : 4;
    int32_t lowest = INT32_MAX, highest = INT32_MIN;
    size_t at = 0;
    for (int32_t i = 0; i < row_count; ++i) {
        for (int32_t j = 0; j < column_count; ++j, at += static_cast<size_t>(width)) {
            const int32_t sample = width == 2 ? int32_t{static_cast<uint16_t>(raw[at] | (raw[at + 1] << 8))}
                                              : little_endian(raw + at, 4);
            FUZZ_CHECK(altitude_grid[i][j] == static_cast<double>(sample));
            if (sample < lowest) lowest = sample;
            if (sample > highest) highest = sample;
        }
    }
    FUZZ_CHECK(range.mind == lowest && range.maxd == highest);
}

void fuzz_raw_samples(const uint8_t* data, size_t size)
{
    const bool wide_sizes = (data[0] & 2) != 0;
    const int sample_kind = data[0] & 1;
    const int32_t row_count = little_endian(data + 1, wide_sizes ? 4 : 2);
    const int32_t column_count = little_endian(data + 5, wide_sizes ? 4 : 2);
    const size_t text_bytes = std::min<size_t>(data[9], size - kHeaderBytes);
    const uint8_t* raw = data + kHeaderBytes + text_bytes;
    const size_t raw_bytes = size - kHeaderBytes - text_bytes;

    fuzz_descriptor(data + kHeaderBytes, text_bytes);

    std::FILE* f1 = stream_of(raw, raw_bytes);
    if (f1 == nullptr) return;
    RawRange range{0, 0};
    try {
        const Grid<double> altitude_grid = read_raw_samples(f1, "fuzz_m2.raw", row_count, column_count, sample_kind, range);
        // Accepted: the sizes were positive and the file held every sample.
        FUZZ_CHECK(row_count > 0 && column_count > 0 && altitude_grid);
        FUZZ_CHECK(static_cast<uint64_t>(row_count) * static_cast<uint64_t>(column_count) * (sample_kind == 0 ? 2 : 4) <=
                   raw_bytes);
        check_samples(altitude_grid, raw, row_count, column_count, sample_kind, range);
    } catch (const RunError&) {
        // Refused with a message: empty, negative or too large a size, or a short file.
    }
    std::fclose(f1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        fuzz_descriptor(data, size);
    else
        fuzz_raw_samples(data, size);
    return 0;
}
