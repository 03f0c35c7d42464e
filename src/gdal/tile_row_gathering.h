// The rows of one level of a tiled image (the image itself, or one of its
// overviews), gathered by tile row (tile_size rows of the level) as they
// arrive: in any order, from several threads, some of them again.
//
// A tile row is handed out to be written once every one of its rows has
// come, so that each tile is compressed once, whole. Rows that come again
// for a tile row already handed out (the repairs of the seams, at the end of
// a run) are held apart, with those that come after them for the same tile
// row: the tile row is written again once all its rows have come again, or
// when the rows held pass a budget (the tile row held the longest), or at
// the end of the image, its other rows then read back from the file. Only
// the rows a tile row holds take memory, from a pool of rows the level
// reuses.
#ifndef GDAL_TILE_ROW_GATHERING_H
#define GDAL_TILE_ROW_GATHERING_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The side of a tile, in pixels.
inline constexpr int32_t tile_size = 512;

// The rows of one tile row on their way to the file.
struct TileRow {
    int32_t index = 0;   // of the tile row in its level
    int32_t height = 0;  // rows of the level it holds (tile_size but at the end of the level)
    bool again = false;  // written before: the rows that did not come are read back before it is written again
    std::vector<std::unique_ptr<unsigned char[]>> rows;  // height rows, null where none came
    int32_t arrived = 0;                                 // rows not null
    // The rows that came, from the tile row's first: the overview above is
    // computed again over them.
    int32_t first_changed = 0;
    int32_t end_changed = 0;
};

class TileRowGathering {
public:
    TileRowGathering(int32_t width, int32_t height, int tone_bytes, uint64_t again_budget);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    size_t row_bytes() const { return row_bytes_; }
    int32_t tile_rows() const { return static_cast<int32_t>(state_.size()); }

    // Rows first .. first + count - 1 of one tile row, row k at rows + k *
    // stride. When that tile row was not handed out yet they are kept, and
    // true is returned, with `complete` set to the tile row if they complete
    // it (its first writing); false, with nothing done, when it was.
    bool take_new(int32_t first, int32_t count, size_t stride, const unsigned char* rows,
                  std::unique_ptr<TileRow>& complete);

    // The same rows of a tile row handed out before: held to be written
    // again. Returns the tile rows to write again now: this one when all
    // its rows have come again; those held the longest while the rows held
    // pass `again_budget` bytes (but the last one). The rows that come again
    // are taken one call at a time, in the order they come.
    std::vector<std::unique_ptr<TileRow>> take_again(int32_t first, int32_t count, size_t stride,
                                                     const unsigned char* rows);

    // The tile rows held to be written again (at the end of the image).
    std::vector<std::unique_ptr<TileRow>> release_held();

    // Gives memory to every row of `tile_row` that did not come: the rows to
    // read back from the file.
    void add_missing_rows(TileRow& tile_row);

    // Waits until the first writing of tile row `index` has ended (a tile
    // row written again must land after it).
    void wait_written(int32_t index);
    // The first writing of tile row `index` has ended.
    void mark_written(int32_t index);
    // Whether every tile row has been written once.
    bool all_written() const;

    // The rows of a tile row written, back to the pool.
    void give_back(std::unique_ptr<TileRow> tile_row);

    // Memory of the rows the level holds, in its tile rows and its pool.
    uint64_t bytes_held() const;

private:
    enum class State : unsigned char { gathering, writing, written };
    std::unique_ptr<unsigned char[]> new_row();  // under mutex_
    void copy_rows(TileRow& tile_row, int32_t first, int32_t count, size_t stride, const unsigned char* rows);

    int32_t width_;
    int32_t height_;
    size_t row_bytes_;
    mutable std::mutex mutex_;
    std::condition_variable written_;
    std::vector<State> state_;                           // by tile row
    std::map<int32_t, std::unique_ptr<TileRow>> gathering_;  // tile rows in progress, by index
    uint64_t again_budget_;
    std::deque<std::unique_ptr<TileRow>> held_;          // rows come again, the oldest first
    uint64_t held_rows_ = 0;
    std::vector<std::unique_ptr<unsigned char[]>> free_rows_;
    uint64_t rows_made_ = 0;
};

#endif
