// The samples of a raw raster: little-endian integers (sample_kind 0: unsigned
// 16-bit, sample_kind 1: signed 32-bit), decoded, measured and converted to meters.
#ifndef INPUT_RAW_SAMPLES_H
#define INPUT_RAW_SAMPLES_H

#include <cstddef>
#include <cstdint>
#include <string>

struct RawRange {
    int32_t mind;  // smallest raw sample
    int32_t maxd;  // largest raw sample
};

// Bytes per raw sample: 2 for sample_kind 0, 4 for sample_kind 1 (std::invalid_argument
// otherwise).
int sample_width(int sample_kind);

// The first sample of a row of raw bytes, as an integer.
int32_t first_raw_sample(const unsigned char* bytes, int sample_kind);

// Decodes column_count samples into `row`, each stored exactly as its integer
// value, and widens `range` to them.
void decode_raw_row(const unsigned char* bytes, int32_t column_count, int sample_kind, double* row, RawRange& range);

// Widens `range` to `count` samples of the width of sample_kind, without decoding
// them: the range pass over a raw model.
void widen_raw_range(const unsigned char* bytes, size_t count, int sample_kind, RawRange& range);

// Refuses a file of `held` bytes (-1: unknown, not checked) too short for
// row_count x column_count samples, with a RunError giving both sizes.
void check_file_holds_samples(int64_t held, const std::string& path, int32_t row_count, int32_t column_count, int sample_kind);

// Meters per unit of the samples, by unit: meters, decimeters, centimeters,
// millimeters (the doubles nearest to a tenth, a hundredth and a thousandth).
inline constexpr double unit_factors[] = {1.0, 0.1, 0.01, 0.001};

// Scales raw values in place by `factor` (above 0): the value times the
// factor, the product in extended precision rounded to a double; a factor of
// 1 keeps them. A positive factor never reverses the order of two values, so
// the scaled range is the raw range scaled.
void scale_row(double* row, int32_t column_count, double factor);

// Converts raw values to meters in place: unit 0 meters (kept), 1 decimeters,
// 2 centimeters, 3 millimeters (scale_row by unit_factors[unit]).
void convert_row_to_meters(double* row, int32_t column_count, int unit);

#endif
