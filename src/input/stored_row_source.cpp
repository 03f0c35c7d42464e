#include "input/stored_row_source.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "shared/private_names.h"
#include "platform/platform.h"
#include "shared/run_error.h"

namespace {

// Rows waiting to be written to the scratch file are written once they reach
// this many bytes.
constexpr size_t kPendingBytes = size_t{1} << 20;

}  // namespace

StoredRowSource::StoredRowSource(int32_t row_count, int32_t column_count, const std::string& folder, size_t memory_budget)
    : RowSource(row_count, column_count), scratch_name_("a scratch file in " + (folder.empty() ? std::string("the current folder") : folder))
{
    const uint64_t bytes = static_cast<uint64_t>(row_count) * static_cast<uint64_t>(column_count) * sizeof(double);
    if (bytes <= memory_budget) {
        memory_.reserve(static_cast<size_t>(row_count) * static_cast<size_t>(column_count));
        return;
    }
    // A name of this process, like its temporary files, so that a run killed
    // before the name is removed leaves nothing a later run keeps.
    platform::Status created;
    do {
        created = platform::create_unnamed(folder + private_name(".scratch"), scratch_fd_);
    } while (created.already_exists());
    if (!created)
        throw RunError("cannot create " + scratch_name_ + " for the " + std::to_string(bytes) +
                       " bytes of the model's values: " + created.reason());
}

StoredRowSource::~StoredRowSource() { platform::close_descriptor(scratch_fd_); }

void StoredRowSource::append_row(const double* row)
{
    if (rows_given_ >= row_count()) throw std::logic_error("StoredRowSource: more rows than the model holds");
    if (rows_given_ == 0)
        range_ = AltitudeRange{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0};
    widen_range(range_, row, column_count());
    memory_.insert(memory_.end(), row, row + column_count());
    ++rows_given_;
    if (spilled() && memory_.size() * sizeof(double) >= kPendingBytes) flush_pending();
}

void StoredRowSource::flush_pending()
{
    const size_t bytes = memory_.size() * sizeof(double);
    const platform::Status written = platform::write_at(scratch_fd_, memory_.data(), bytes, written_bytes_);
    if (!written) throw RunError("cannot write " + scratch_name_ + " (the model's values): " + written.reason());
    written_bytes_ += bytes;
    memory_.clear();
}

void StoredRowSource::finish()
{
    if (rows_given_ != row_count()) throw std::logic_error("StoredRowSource: rows missing");
    if (spilled()) {
        flush_pending();
        memory_.shrink_to_fit();
    }
}

std::span<const double> StoredRowSource::read_row(int32_t i, std::span<double> buffer) const
{
    const size_t cells = static_cast<size_t>(column_count());
    const size_t start = static_cast<size_t>(i) * cells;
    if (!spilled()) return std::span<const double>(memory_.data() + start, cells);
    size_t got = 0;
    const platform::Status read =
        platform::read_at(scratch_fd_, buffer.data(), cells * sizeof(double), start * sizeof(double), got);
    if (!read || got != cells * sizeof(double))
        throw RunError("cannot read back " + scratch_name_ + " (the model's values): " +
                       (!read ? read.reason() : "the file is shorter than what was written"));
    return buffer.first(cells);
}

void check_model_has_data(const RowSource& rows, const std::string& path)
{
    const int64_t cells = int64_t{rows.row_count()} * rows.column_count();
    if (rows.range().no_data_cells >= cells)
        throw RunError(path + ": all " + std::to_string(cells) +
                       " cells of the model are without data: there is no altitude to trace");
}

std::unique_ptr<StoredRowSource> read_ascii_source(std::FILE* f1, const std::string& path, const std::string& folder,
                                                   size_t memory_budget,
                                                   const std::function<void(int32_t)>& on_progress,
                                                   AsciiGridSize& header)
{
    std::unique_ptr<StoredRowSource> source;
    const auto make_store = [&](const AsciiGridSize& size) {
        source = std::make_unique<StoredRowSource>(size.row_count, size.column_count, folder, memory_budget);
    };
    header = read_ascii_rows(f1, path, on_progress, make_store,
                             [&](int32_t, const double* row) { source->append_row(row); });
    source->finish();
    return source;
}
