// The processes of a shared run (an MPI job) writing one GeoTIFF together.
// Each tile row of each level (the image and its overviews) has one owner,
// the process whose band holds the tile row's first row of the image: rows
// of it traced or reduced elsewhere are sent to the owner, which gathers,
// compresses and writes the tile row, anywhere past the file's end that it
// reserves. The first process made the file; once every tile is written it
// writes the index of their places. The program implements the share (the
// module knows no MPI) and hands it over with the image.
#ifndef GDAL_TILE_SHARE_H
#define GDAL_TILE_SHARE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TileShare {
public:
    virtual ~TileShare() = default;

    virtual int process() const = 0;
    // The owner of the tile rows that start at row `image_row` of the image.
    virtual int owner_of_row(int64_t image_row) const = 0;

    // Rows first .. first + count - 1 of level `level`, row k at rows + k *
    // width, for the process `to`.
    virtual void send_rows(int to, uint32_t level, int32_t first, int32_t count, size_t width,
                           const unsigned char* rows) = 0;
    using RowsTaker =
        std::function<void(uint32_t level, int32_t first, int32_t count, size_t width, const unsigned char* rows)>;
    // Hands the rows the others send this process to `take`, on a thread of
    // the share's, until stop_taking(). A failure `take` throws is kept: the
    // rows that come after it are dropped.
    virtual void start_taking(RowsTaker take) = 0;
    // Returns once every row this process sent has been taken by its owner.
    virtual void settle() = 0;
    // Returns once every process has called it.
    virtual void wait_for_all() = 0;
    // Rows that come from now on are dropped: `take` is not called again once
    // this returns (a process whose run fails).
    virtual void drop_rows() = 0;
    // Returns once every process has called it (no process sends or
    // reserves any more), then throws the first failure of `take`.
    virtual void stop_taking() = 0;

    // On the first process, before any reservation: the file's first free
    // byte.
    virtual void set_free_space(uint64_t start) = 0;
    // A place for `bytes` bytes in the file that no other reservation takes.
    virtual uint64_t reserve(uint64_t bytes) = 0;

    // `values` of every process, each taken at its largest, onto the first
    // process (the others' are left as they were).
    virtual void largest_onto_first(std::vector<uint64_t>& values) = 0;
};

#endif
