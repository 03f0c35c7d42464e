#include "input/measuring_row_source.h"

#include <iterator>
#include <stdexcept>
#include <utility>

MeasuringRowSource::MeasuringRowSource(std::unique_ptr<RowSource> rows)
    : RowSource(rows->row_count(), rows->column_count()), rows_(std::move(rows)), end_counted_(row_count())
{
}

bool MeasuringRowSource::count_row(int32_t i) const
{
    const std::lock_guard<std::mutex> lock(counting_);
    if (taken_ || i < first_counted_ || i >= end_counted_) return false;
    const auto next = counted_.upper_bound(i);  // the first run that starts below i, if any, is just before
    const auto previous = next == counted_.begin() ? counted_.end() : std::prev(next);
    if (previous != counted_.end() && i < previous->second) return false;
    const bool joins_previous = previous != counted_.end() && previous->second == i;
    const bool joins_next = next != counted_.end() && next->first == i + 1;
    if (joins_previous && joins_next) {
        previous->second = next->second;
        counted_.erase(next);
    } else if (joins_previous) {
        previous->second = i + 1;
    } else if (joins_next) {
        const int32_t end = next->second;
        counted_.erase(next);
        counted_.emplace(i, end);
    } else {
        counted_.emplace(i, i + 1);
    }
    return true;
}

std::span<const double> MeasuringRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    const std::span<const double> row = rows_->read_row(i, buffer);
    if (count_row(i)) {
        // Measured outside the lock: the threads measure their rows at once.
        RowsRange one;
        one.add_row(i, row.data(), column_count());
        const std::lock_guard<std::mutex> lock(counting_);
        measured_.merge(one);
        ++rows_measured_;
    }
    return row;
}

bool MeasuringRowSource::range_known() const
{
    const std::lock_guard<std::mutex> lock(counting_);
    return taken_ || rows_measured_ == row_count();
}

void MeasuringRowSource::count_only(int32_t first, int32_t end) const
{
    const std::lock_guard<std::mutex> lock(counting_);
    first_counted_ = first;
    end_counted_ = end;
}

RowsRange MeasuringRowSource::counted() const
{
    const std::lock_guard<std::mutex> lock(counting_);
    return measured_;
}

void MeasuringRowSource::take_range(const RowsRange& all) const
{
    const std::lock_guard<std::mutex> lock(counting_);
    measured_ = all;
    taken_ = true;
}

AltitudeRange MeasuringRowSource::range() const
{
    if (!range_known()) throw std::logic_error("the range of a model measured as it is read, asked before every row was");
    const std::lock_guard<std::mutex> lock(counting_);
    return measured_.range;
}
