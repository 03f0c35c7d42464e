#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "../platform.h"
#include "../run_error.h"
#include "row_source.h"

namespace {

// Rows read at once by the range pass: about a mebibyte.
int32_t rows_per_block(size_t row_bytes)
{
    return static_cast<int32_t>(std::max<size_t>(1, (size_t{1} << 20) / row_bytes));
}

}  // namespace

RawRowSource::RawRowSource(std::FILE* f1, std::string path, int32_t nb_lig1, int32_t nb_col1, int itype)
    : RowSource(nb_lig1, nb_col1), f1_(f1), path_(std::move(path)), itype_(itype)
{
    try {
        const int width = sample_width(itype);
        if (nb_lig1 <= 0 || nb_col1 <= 0) check_model_size(nb_lig1, nb_col1, path_);  // refuses at once
        check_file_holds_samples(platform::regular_length(platform::descriptor_of(f1_)), path_, nb_lig1, nb_col1, itype);
        check_model_size(nb_lig1, nb_col1, path_);
        row_bytes_ = static_cast<size_t>(nb_col1) * static_cast<size_t>(width);
    } catch (...) {
        std::fclose(f1_);
        throw;
    }
}

RawRowSource::~RawRowSource() { std::fclose(f1_); }

void RawRowSource::read_bytes(int32_t first, int32_t count, unsigned char* bytes) const
{
    const size_t wanted = row_bytes_ * static_cast<size_t>(count);
    const int64_t got = platform::read_at(platform::descriptor_of(f1_), bytes, wanted, static_cast<uint64_t>(first) * row_bytes_);
    if (got < 0)
        throw RunError("read error on " + path_ + " in line " + std::to_string(first + 1) + ": " +
                       std::strerror(errno));
    if (static_cast<size_t>(got) < wanted) {
        const int32_t line = first + static_cast<int32_t>(static_cast<size_t>(got) / row_bytes_);
        throw RunError(path_ + " ends in line " + std::to_string(line + 1) +
                       " (counting from 1): the file was shortened while it was read");
    }
}

RawRange RawRowSource::measure_raw_range()
{
    const int32_t block = std::min(rows_per_block(row_bytes_), nb_lig1());
    std::vector<unsigned char> bytes(row_bytes_ * static_cast<size_t>(block));
    std::vector<double> scratch(static_cast<size_t>(nb_col1()));
    for (int32_t first = 0; first < nb_lig1(); first += block) {
        const int32_t count = std::min(block, nb_lig1() - first);
        read_bytes(first, count, bytes.data());
        // The range starts from the first sample, so that any model, all
        // negative or all very high, reports its true extremes.
        if (first == 0) raw_range_ = RawRange{first_raw_sample(bytes.data(), itype_), first_raw_sample(bytes.data(), itype_)};
        for (int32_t r = 0; r < count; ++r)
            decode_raw_row(bytes.data() + static_cast<size_t>(r) * row_bytes_, nb_col1(), itype_, scratch.data(),
                           raw_range_);
    }
    measured_ = true;
    return raw_range_;
}

void RawRowSource::set_unit(int unit)
{
    double probe = 0;
    convert_row_to_meters(&probe, 1, unit);  // refuses an unknown unit now rather than on every row
    unit_ = unit;
}

AltitudeRange RawRowSource::range() const
{
    if (!measured_) throw std::logic_error("RawRowSource::range before measure_raw_range");
    // The conversion keeps the order of values, so the converted extremes are
    // the extremes of the converted values.
    double ends[2] = {static_cast<double>(raw_range_.mind), static_cast<double>(raw_range_.maxd)};
    convert_row_to_meters(ends, 2, unit_);
    return AltitudeRange{ends[0], ends[1]};
}

std::span<const double> RawRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    // One scratch row per thread: several threads may read at once.
    thread_local std::vector<unsigned char> bytes;
    bytes.resize(row_bytes_);
    read_bytes(i, 1, bytes.data());
    RawRange ignored{};
    decode_raw_row(bytes.data(), nb_col1(), itype_, buffer.data(), ignored);
    convert_row_to_meters(buffer.data(), nb_col1(), unit_);
    return buffer.first(static_cast<size_t>(nb_col1()));
}
