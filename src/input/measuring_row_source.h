// Rows of a model whose range is not known yet, served as they are while the
// range is measured from them: the model is read once, its range known once
// every row was read (by the tracing, which reads them all).
#ifndef INPUT_MEASURING_ROW_SOURCE_H
#define INPUT_MEASURING_ROW_SOURCE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "input/row_source.h"
#include "input/rows_range.h"

class MeasuringRowSource final : public RowSource {
public:
    // Serves the rows of `rows`, whose own range is never asked for.
    explicit MeasuringRowSource(std::unique_ptr<RowSource> rows);

    // Each row is counted once, by the thread that reads it first, however
    // often it is read again (the stripes' leads and repairs).
    std::span<const double> read_row(int32_t i, std::span<double> buffer) const override;

    bool range_known() const override;
    // The range of every row; a logic error before every row was read.
    AltitudeRange range() const override;

    // A run shared by several processes, each tracing a band of rows, measures
    // the range band by band: this one counts only rows first .. end - 1 (set
    // before any row is read), and its range is known once it takes the
    // range of every band, merged.
    void count_only(int32_t first, int32_t end) const;
    RowsRange counted() const;
    void take_range(const RowsRange& all) const;

    uint64_t bytes_held(unsigned reading_threads) const override { return rows_->bytes_held(reading_threads); }
    uint64_t library_bytes(unsigned reading_threads) const override { return rows_->library_bytes(reading_threads); }
    unsigned max_readers() const override { return rows_->max_readers(); }

private:
    // Whether row i is counted now for the first time.
    bool count_row(int32_t i) const;

    std::unique_ptr<RowSource> rows_;
    mutable std::mutex counting_;
    // The rows counted, as runs of rows [first, end) by their first row: a
    // few per stripe, since each stripe reads its rows in order.
    mutable std::map<int32_t, int32_t> counted_;
    mutable RowsRange measured_;
    mutable int64_t rows_measured_ = 0;
    mutable int32_t first_counted_ = 0;
    mutable int32_t end_counted_;
    mutable bool taken_ = false;  // the range of every band taken
};

#endif
