// The rows that flow through a run: altitudes from the model to the contour
// engine, tones from the engine to the result. The row sources (input/), the
// engine (contours/) and the sinks (output/) meet only here.
#ifndef SHARED_ROWS_H
#define SHARED_ROWS_H

#include <cstddef>
#include <cstdint>
#include <span>

// One row of altitudes in meters (NaN: a cell without data), with its width.
using AltitudeRow = std::span<const double>;

// One row of result tones as bytes: a byte a tone (255: background), or two
// in the machine's order for plans of more than 250 levels (65535:
// background).
using ToneRow = std::span<const unsigned char>;

// Rows of altitudes by row number, read from several threads at once.
class AltitudeSource {
public:
    // Row i (all its altitudes): in `buffer` (of one row), or in memory of
    // the source's own that stays valid until the source is gone.
    virtual AltitudeRow read_row(int32_t i, std::span<double> buffer) const = 0;

protected:
    ~AltitudeSource() = default;
};

// Where finished result rows go, by row number. Rows may come out of order,
// from several threads at once (never the same row at the same time), and a
// row may come again with new contents, which replace the old ones.
class ResultRowSink {
public:
    virtual void write_row(int32_t i, ToneRow row) = 0;

    // Rows first .. first + count - 1, each of `width` bytes, one after the
    // other in `rows`: one by one unless the sink can do better (a file sink
    // writes them at once).
    virtual void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
    {
        for (int32_t k = 0; k < count; ++k) write_row(first + k, ToneRow(rows + static_cast<size_t>(k) * width, width));
    }

    // The memory the sink holds while rows come (a result gathered in
    // memory), which the engine's share of a run's memory leaves room for.
    virtual uint64_t bytes_held() const { return 0; }

    // Makes the rows written so far final where the other processes of a
    // shared run write (on the disk, for a file they all write): a row
    // another process writes again after this replaces them.
    virtual void settle() {}

protected:
    ~ResultRowSink() = default;
};

#endif
