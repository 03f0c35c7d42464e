// Where the rows of the result go, one by one, as the extraction finishes them.
//
//   RawResultSink  the raw 8-bit image: row i at byte i x column_count
//   BitmapSink     the 8-bit bitmap: header and palette first, row i at its
//                  offset in the bottom-up file, padded to 4 bytes
//
// Both write into a file already open for writing (the result's temporary
// file), set its final length at once and put each row at its own offset, so
// rows may come in any order and from several threads at once; neither holds
// nothing of the rows. Every row must be written at least once; a row
// written again (a repaired stripe) replaces its earlier contents.
#ifndef OUTPUT_ROW_SINK_H
#define OUTPUT_ROW_SINK_H

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "IMAGE.h"
#include "shared/rows.h"

// The engine's result rows (row 0 is the top line, column_count gray tones each),
// owned through this base. A failed write throws RunError naming the file.
class RowSink : public ResultRowSink {
public:
    virtual ~RowSink() = default;
};

// Shared by both sinks: the file, its name for messages, the result's size.
class FileRowSink : public RowSink {
protected:
    FileRowSink(int fd, std::string path, int32_t row_count, int32_t column_count)
        : fd_(fd), path_(std::move(path)), row_count_(row_count), column_count_(column_count) {}

public:
    void settle() override;

protected:
    // Writes bytes at an offset, or throws RunError("cannot write <path>: ...").
    void put(const void* bytes, size_t size, uint64_t offset) const;
    void set_length(uint64_t length) const;

    // Bytes written between two starts of the file's writeback.
    static constexpr uint64_t writeback_step = uint64_t{4} << 20;

    int fd_;
    std::string path_;
    mutable std::atomic<uint64_t> unsynced_{0};  // written since the last start
    int32_t row_count_;
    int32_t column_count_;
};

class RawResultSink final : public FileRowSink {
public:
    // `fd`: open for writing; `path`: the name to give in messages.
    RawResultSink(int fd, std::string path, int32_t row_count, int32_t column_count);
    void write_row(int32_t i, std::span<const unsigned char> row) override;
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
};

class BitmapSink final : public FileRowSink {
public:
    // Writes the header and the palette at once: `palette` (256 entries), or
    // the gray ramp when it is null. A size that a bitmap cannot describe (a
    // file beyond 4 GiB - 1 bytes) is refused with a RunError naming `path`
    // and suggesting the raw result.
    BitmapSink(int fd, std::string path, int32_t row_count, int32_t column_count, const Color32* palette = nullptr);
    void write_row(int32_t i, std::span<const unsigned char> row) override;
    // The rows lie bottom-up in the file, each padded: they are laid out in
    // the file's order in a buffer of the thread's, then written at once.
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
};

#endif
