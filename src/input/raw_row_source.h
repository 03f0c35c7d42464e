// A raw raster model read from its file at row offsets.
#ifndef INPUT_RAW_ROW_SOURCE_H
#define INPUT_RAW_ROW_SOURCE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "shared/file_handle.h"
#include "input/raw_samples.h"
#include "input/row_source.h"

class RawRowSource final : public RowSource {
public:
    // Takes over the open model `f1` (closed with the source). The file must
    // hold row_count x column_count samples of the width of `sample_kind`: a short file,
    // and an empty or impossible size, are refused at once (RunError).
    RawRowSource(FileHandle f1, std::string path, int32_t row_count, int32_t column_count, int sample_kind);

    // First pass over the whole file, on up to `threads` threads: the true
    // smallest and largest sample.
    RawRange measure_raw_range(unsigned threads = 1);

    // Sets the unit of the samples (0 meters, 1 decimeters, 2 centimeters,
    // 3 millimeters, as convert_row_to_meters) for the rows served from now
    // on. Needs the raw range measured.
    void set_unit(int unit);

    // The same for any factor above 0 (altitude per unit of the samples).
    void set_factor(double factor);

    bool range_known() const override { return measured_; }
    AltitudeRange range() const override;
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;
    uint64_t bytes_held(unsigned reading_threads) const override;

private:
    // Reads up to `count` rows from row `first`; returns the rows read whole,
    // fewer only where the file ends (none: RunError).
    int32_t read_rows(int32_t first, int32_t count, unsigned char* bytes) const;
    // Reads all `count` rows from row `first`, or throws RunError.
    void read_bytes(int32_t first, int32_t count, unsigned char* bytes) const;
    [[noreturn]] void throw_shortened(int32_t line) const;

    FileHandle f1_;
    std::string path_;
    int itype_;
    size_t row_bytes_;
    RawRange raw_range_{};
    bool measured_ = false;
    double factor_ = 1;
    uint64_t serial_;  // tells this source's rows from another's in a thread's last block
};

#endif
