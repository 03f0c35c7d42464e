#include <cstring>
#include <vector>

#include "IMAGE.h"
#include "platform/platform.h"
#include "shared/run_error.h"
#include "output/row_sink.h"

void FileRowSink::put(const void* bytes, size_t size, uint64_t offset) const
{
    const platform::Status written = platform::write_at(fd_, bytes, size, offset);
    if (!written) throw RunError("cannot write " + path_ + ": " + written.reason());
    // The disk writes the rows while the engine computes the next ones,
    // rather than all of them at the sync once the image is complete.
    if (unsynced_.fetch_add(size) + size >= writeback_step) {
        unsynced_ = 0;
        platform::start_writeback(fd_);
    }
}

void FileRowSink::set_length(uint64_t length) const
{
    const platform::Status set = platform::set_length(fd_, length);
    if (!set) throw RunError("cannot write " + path_ + ": " + set.reason());
}

void FileRowSink::settle()
{
    const platform::Status synced = platform::sync_descriptor(fd_);
    if (!synced) throw RunError("cannot write " + path_ + ": " + synced.reason());
}

RawResultSink::RawResultSink(int fd, std::string path, int32_t row_count, int32_t column_count)
    : FileRowSink(fd, std::move(path), row_count, column_count)
{
    set_length(static_cast<uint64_t>(row_count) * static_cast<uint64_t>(column_count));
}

void RawResultSink::write_row(int32_t i, std::span<const unsigned char> row)
{
    put(row.data(), static_cast<size_t>(column_count_), static_cast<uint64_t>(i) * static_cast<uint64_t>(column_count_));
}

void RawResultSink::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    put(rows, width * static_cast<size_t>(count), static_cast<uint64_t>(first) * width);
}

BitmapSink::BitmapSink(int fd, std::string path, int32_t row_count, int32_t column_count, const Color32* palette)
    : FileRowSink(fd, std::move(path), row_count, column_count)
{
    std::vector<unsigned char> head;
    if (!EnteteBMP(column_count, row_count, palette == nullptr ? 0 : 1, palette, head))
        throw RunError("cannot write " + path_ + ": a bitmap of " + std::to_string(row_count) + " lines x " +
                       std::to_string(column_count) + " columns exceeds the size a BMP file can describe; " +
                       "choose the raster result instead");
    // The file gets its whole length first: the fill bytes at the end of each
    // stored row then already read as 0, and each row is one write.
    set_length(head.size() + static_cast<uint64_t>(row_count) * LongueurLigneBMP(column_count, 0));
    put(head.data(), head.size(), 0);
}

void BitmapSink::write_row(int32_t i, std::span<const unsigned char> row)
{
    put(row.data(), static_cast<size_t>(column_count_), PositionLigneBMP(column_count_, row_count_, 0, i));
}

void BitmapSink::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    const uint64_t stride = LongueurLigneBMP(column_count_, 0);
    const auto bytes = static_cast<size_t>(stride) * static_cast<size_t>(count);
    thread_local std::vector<unsigned char> stored;
    stored.assign(bytes, 0);  // the padding of each row is 0
    // Row first + count - 1 comes first in the file, row first last.
    for (int32_t k = 0; k < count; ++k)
        std::memcpy(stored.data() + static_cast<size_t>(count - 1 - k) * stride, rows + static_cast<size_t>(k) * width,
                    width);
    put(stored.data(), bytes, PositionLigneBMP(column_count_, row_count_, 0, first + count - 1));
}
