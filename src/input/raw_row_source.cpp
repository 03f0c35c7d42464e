#include "input/raw_row_source.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

#include "input/model_size.h"
#include "platform/platform.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"
#include "input/row_blocks.h"

namespace {

thread_local RowBlock<unsigned char> last_block;

std::atomic<uint64_t> sources_made{0};

}  // namespace

RawRowSource::RawRowSource(FileHandle f1, std::string path, int32_t row_count, int32_t column_count, int sample_kind)
    : RowSource(row_count, column_count), f1_(std::move(f1)), path_(std::move(path)), itype_(sample_kind), serial_(++sources_made)
{
    const int width = sample_width(sample_kind);
    if (row_count <= 0 || column_count <= 0) check_model_size(row_count, column_count, path_);  // refuses at once
    check_file_holds_samples(platform::regular_length(platform::descriptor_of(f1_.get())), path_, row_count, column_count,
                             sample_kind);
    check_model_size(row_count, column_count, path_);
    row_bytes_ = static_cast<size_t>(column_count) * static_cast<size_t>(width);
}

int32_t RawRowSource::read_rows(int32_t first, int32_t count, unsigned char* bytes) const
{
    const size_t wanted = row_bytes_ * static_cast<size_t>(count);
    size_t got = 0;
    const platform::Status read = platform::read_at(platform::descriptor_of(f1_.get()), bytes, wanted,
                                                    static_cast<uint64_t>(first) * row_bytes_, got);
    if (!read)
        throw RunError("read error on " + path_ + " in line " + std::to_string(first + 1) + ": " + read.reason());
    const auto whole = static_cast<int32_t>(got / row_bytes_);
    if (whole == 0 && count > 0) throw_shortened(first);
    return whole;
}

void RawRowSource::read_bytes(int32_t first, int32_t count, unsigned char* bytes) const
{
    const int32_t whole = read_rows(first, count, bytes);
    if (whole < count) throw_shortened(first + whole);
}

void RawRowSource::throw_shortened(int32_t line) const
{
    throw RunError(path_ + " ends in line " + std::to_string(line + 1) +
                   " (counting from 1): the file was shortened while it was read");
}

RawRange RawRowSource::measure_raw_range(unsigned threads)
{
    // The rows are shared out in contiguous parts, one per thread, each read
    // in blocks; the range of the model is the range of the parts' ranges.
    const int32_t block = std::min(rows_per_block(row_bytes_), row_count());
    const auto parts = static_cast<size_t>(std::clamp<int64_t>(row_count() / block, 1, std::max(threads, 1u)));
    std::vector<RawRange> ranges(parts, RawRange{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()});
    run_in_parallel(parts, [&](size_t part) {
        const auto first_row = static_cast<int32_t>(static_cast<int64_t>(row_count()) * part / parts);
        const auto end_row = static_cast<int32_t>(static_cast<int64_t>(row_count()) * (part + 1) / parts);
        std::vector<unsigned char> bytes(row_bytes_ * static_cast<size_t>(block));
        for (int32_t first = first_row; first < end_row; first += block) {
            const int32_t count = std::min(block, end_row - first);
            read_bytes(first, count, bytes.data());
            widen_raw_range(bytes.data(), static_cast<size_t>(count) * static_cast<size_t>(column_count()), itype_,
                            ranges[part]);
        }
    });
    raw_range_ = ranges.front();
    for (const RawRange& part : ranges)
        raw_range_ = RawRange{std::min(raw_range_.mind, part.mind), std::max(raw_range_.maxd, part.maxd)};
    measured_ = true;
    return raw_range_;
}

void RawRowSource::set_unit(int unit)
{
    double probe = 0;
    convert_row_to_meters(&probe, 1, unit);  // refuses an unknown unit now rather than on every row
    factor_ = unit_factors[unit];
}

void RawRowSource::set_factor(double factor)
{
    if (!(factor > 0)) throw std::invalid_argument("a factor of samples must be above 0");
    factor_ = factor;
}

AltitudeRange RawRowSource::range() const
{
    if (!measured_) throw std::logic_error("RawRowSource::range before measure_raw_range");
    // The conversion keeps the order of values, so the converted extremes are
    // the extremes of the converted values.
    double ends[2] = {static_cast<double>(raw_range_.mind), static_cast<double>(raw_range_.maxd)};
    scale_row(ends, 2, factor_);
    return AltitudeRange{ends[0], ends[1]};
}

std::span<const double> RawRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    const unsigned char* row = last_block.row(serial_, i, row_count(), row_bytes_,
                                              [this](int32_t first, int32_t count, unsigned char* bytes) {
                                                  return read_rows(first, count, bytes);  // at least row i, or it throws
                                              });
    RawRange ignored{};
    decode_raw_row(row, column_count(), itype_, buffer.data(), ignored);
    scale_row(buffer.data(), column_count(), factor_);
    return buffer.first(static_cast<size_t>(column_count()));
}

uint64_t RawRowSource::bytes_held(unsigned reading_threads) const
{
    // A block of rows_per_block rows, or one row when a row is larger.
    return uint64_t{reading_threads} * std::max<uint64_t>(row_bytes_, uint64_t{256} << 10);
}
