// The image data of a PNG compressed in parts, each on its own, so that
// every core can compress one (as pigz does): a part is a run of whole rows,
// filtered (png_filter.h) and deflated without reference to any other part,
// ending on a full flush (the last part: the end of the stream). The parts
// one after the other, behind the zlib header and followed by the Adler-32
// of all the filtered rows (combined from the parts' own), are the zlib
// stream of the image.
#ifndef GDAL_PNG_PARTS_H
#define GDAL_PNG_PARTS_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <zlib.h>

#include "gdal/png_filter.h"

// How the rows are stored. Measured on contour images of real relief
// (bench/png_choices, the README's benchmarks): no filter gave the smallest
// files of the five fixed filters in 8 and 16 bits (a contour image is runs
// of background, which the predictions only break up), and deflate level 1,
// the fastest, files within 10 % of those GDAL's PNG driver wrote at level 2.
inline constexpr PngFilter png_row_filter = PngFilter::none;
inline constexpr int png_deflate_level = 1;

// The filtered bytes of a part, about: large enough that starting afresh
// costs little in size, small enough that an image has parts for every core.
inline constexpr size_t png_part_bytes = size_t{256} << 10;

// The rows of a part of an image whose rows take `row_bytes` bytes: a part
// holds one row at least.
inline int32_t png_part_rows(size_t row_bytes)
{
    return static_cast<int32_t>(std::clamp<size_t>(png_part_bytes / (row_bytes + 1), 1, INT32_MAX));
}

// The two bytes of a zlib stream's header for a stream deflated at `level`.
std::array<unsigned char, 2> zlib_header(int level);

// A part once compressed.
struct PackedPart {
    std::vector<unsigned char> bytes;  // raw deflate, ending on a full flush, or finished for the last part
    uint32_t adler = 1;                // Adler-32 of its filtered rows
    uint64_t filtered_size = 0;        // how many those are
    uint32_t crc = 0;                  // CRC-32 of `bytes`, for the chunk that holds them
};

// Compresses parts and takes them apart again, for one thread at a time.
// zlib's failures (no memory, data that is no part) throw std::runtime_error.
class PartCodec {
public:
    // For rows of `row_bytes` bytes, pixels of `pixel_bytes`, parts of at
    // most `part_rows` rows.
    PartCodec(size_t row_bytes, int pixel_bytes, int32_t part_rows, PngFilter filter = png_row_filter,
              int level = png_deflate_level, int strategy = Z_DEFAULT_STRATEGY);
    ~PartCodec();
    PartCodec(const PartCodec&) = delete;
    PartCodec& operator=(const PartCodec&) = delete;

    // The `count` rows at `rows` (as the PNG holds them) as a part; `last`
    // for the image's last part.
    void pack(const unsigned char* rows, int32_t count, bool last, PackedPart& part);

    // The `count` rows of the part `bytes` back into `rows`.
    void unpack(const unsigned char* bytes, size_t size, int32_t count, unsigned char* rows);

    // The memory a codec holds, about (zlib's states and the buffers).
    static uint64_t bytes_for(size_t row_bytes, int32_t part_rows);

private:
    size_t row_bytes_;
    int pixel_bytes_;
    PngFilter filter_;
    z_stream deflater_{};
    z_stream inflater_{};
    std::vector<unsigned char> filtered_;
    std::vector<unsigned char> packed_;
};

#endif
