// Rows parsed once (an ASCII grid) and kept, in memory or in a scratch file.
#ifndef INPUT_STORED_ROW_SOURCE_H
#define INPUT_STORED_ROW_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/ascii_reader.h"
#include "input/row_source.h"

class StoredRowSource final : public RowSource {
public:
    // Rows kept in memory while row_count x column_count doubles take at most
    // `memory_budget` bytes; larger models go to a scratch file created in
    // `folder` (a path ending in its separator), which disappears with the
    // source. Rows are appended in order with append_row, then read.
    StoredRowSource(int32_t row_count, int32_t column_count, const std::string& folder, size_t memory_budget);
    ~StoredRowSource() override;

    // Appends the next row (column_count values) and widens the range to it.
    void append_row(const double* row);
    // Ends the appending: every row has been given.
    void finish();
    bool spilled() const { return scratch_fd_ >= 0; }
    // The values kept in memory (a spilled source reads into the caller's row).
    uint64_t bytes_held(unsigned) const override { return memory_.capacity() * sizeof(double); }

    AltitudeRange range() const override { return range_; }
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;

private:
    void flush_pending();

    std::string scratch_name_;     // named in messages
    std::vector<double> memory_;   // every row when in memory; else rows waiting to be written
    int scratch_fd_ = -1;
    uint64_t written_bytes_ = 0;   // bytes already in the scratch file
    int32_t rows_given_ = 0;
    AltitudeRange range_{};
};

// The fixed memory budget for the values of an ASCII grid kept in memory.
inline constexpr size_t stored_rows_budget = size_t{32} << 20;

// Reads an ASCII grid (as read_ascii_grid: same checks, same messages) into a
// StoredRowSource, returning it with what the header gives (cell size,
// georeference) and the count of cells without data in `header`.
std::unique_ptr<StoredRowSource> read_ascii_source(std::FILE* f1, const std::string& path, const std::string& folder,
                                                   size_t memory_budget,
                                                   const std::function<void(int32_t)>& on_progress,
                                                   AsciiGridSize& header);

#endif
