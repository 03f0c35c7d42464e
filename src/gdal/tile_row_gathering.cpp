#include "gdal/tile_row_gathering.h"

#include <algorithm>
#include <cstring>

TileRowGathering::TileRowGathering(int32_t width, int32_t height, int tone_bytes, uint64_t again_budget)
    : width_(width),
      height_(height),
      row_bytes_(static_cast<size_t>(width) * static_cast<size_t>(tone_bytes)),
      state_(static_cast<size_t>((height + tile_size - 1) / tile_size), State::gathering),
      again_budget_(again_budget)
{
}

std::unique_ptr<unsigned char[]> TileRowGathering::new_row()
{
    if (!free_rows_.empty()) {
        std::unique_ptr<unsigned char[]> row = std::move(free_rows_.back());
        free_rows_.pop_back();
        return row;
    }
    ++rows_made_;
    return std::make_unique_for_overwrite<unsigned char[]>(row_bytes_);
}

// Copies the rows into the tile row, taking memory for those that had none.
void TileRowGathering::copy_rows(TileRow& tile_row, int32_t first, int32_t count, size_t stride,
                                 const unsigned char* rows)
{
    const int32_t from = first - tile_row.index * tile_size;
    for (int32_t k = 0; k < count; ++k) {
        std::unique_ptr<unsigned char[]>& row = tile_row.rows[static_cast<size_t>(from + k)];
        if (!row) {
            row = new_row();
            ++tile_row.arrived;
        }
        std::memcpy(row.get(), rows + static_cast<size_t>(k) * stride, row_bytes_);
    }
    tile_row.first_changed = std::min(tile_row.first_changed, from);
    tile_row.end_changed = std::max(tile_row.end_changed, from + count);
}

namespace {

std::unique_ptr<TileRow> empty_tile_row(int32_t index, int32_t level_height, bool again)
{
    auto tile_row = std::make_unique<TileRow>();
    tile_row->index = index;
    tile_row->height = std::min(tile_size, level_height - index * tile_size);
    tile_row->again = again;
    tile_row->rows.resize(static_cast<size_t>(tile_row->height));
    tile_row->first_changed = tile_row->height;
    tile_row->end_changed = 0;
    return tile_row;
}

}  // namespace

bool TileRowGathering::take_new(int32_t first, int32_t count, size_t stride, const unsigned char* rows,
                                std::unique_ptr<TileRow>& complete)
{
    const int32_t index = first / tile_size;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (state_[static_cast<size_t>(index)] != State::gathering) return false;
    std::unique_ptr<TileRow>& tile_row = gathering_[index];
    if (!tile_row) tile_row = empty_tile_row(index, height_, false);
    copy_rows(*tile_row, first, count, stride, rows);
    if (tile_row->arrived == tile_row->height) {
        state_[static_cast<size_t>(index)] = State::writing;
        complete = std::move(tile_row);
        gathering_.erase(index);
    }
    return true;
}

std::vector<std::unique_ptr<TileRow>> TileRowGathering::take_again(int32_t first, int32_t count, size_t stride,
                                                                   const unsigned char* rows)
{
    const int32_t index = first / tile_size;
    const std::lock_guard<std::mutex> lock(mutex_);
    auto held = std::find_if(held_.begin(), held_.end(), [&](const auto& tile_row) { return tile_row->index == index; });
    if (held == held_.end()) held = held_.insert(held_.end(), empty_tile_row(index, height_, true));
    const int32_t before = (*held)->arrived;
    copy_rows(**held, first, count, stride, rows);
    held_rows_ += static_cast<uint64_t>((*held)->arrived - before);
    std::vector<std::unique_ptr<TileRow>> to_write;
    const auto hand_out = [&](std::deque<std::unique_ptr<TileRow>>::iterator at) {
        held_rows_ -= static_cast<uint64_t>((*at)->arrived);
        to_write.push_back(std::move(*at));
        held_.erase(at);
    };
    if ((*held)->arrived == (*held)->height) hand_out(held);
    while (held_.size() > 1 && held_rows_ * row_bytes_ > again_budget_) hand_out(held_.begin());
    return to_write;
}

std::vector<std::unique_ptr<TileRow>> TileRowGathering::release_held()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::unique_ptr<TileRow>> held;
    for (std::unique_ptr<TileRow>& tile_row : held_) held.push_back(std::move(tile_row));
    held_.clear();
    held_rows_ = 0;
    return held;
}

void TileRowGathering::add_missing_rows(TileRow& tile_row)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::unique_ptr<unsigned char[]>& row : tile_row.rows)
        if (!row) row = new_row();
}

void TileRowGathering::wait_written(int32_t index)
{
    std::unique_lock<std::mutex> lock(mutex_);
    written_.wait(lock, [&] { return state_[static_cast<size_t>(index)] == State::written; });
}

void TileRowGathering::mark_written(int32_t index)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        state_[static_cast<size_t>(index)] = State::written;
    }
    written_.notify_all();
}

bool TileRowGathering::all_written() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::all_of(state_.begin(), state_.end(), [](State s) { return s == State::written; });
}

void TileRowGathering::give_back(std::unique_ptr<TileRow> tile_row)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::unique_ptr<unsigned char[]>& row : tile_row->rows)
        if (row) free_rows_.push_back(std::move(row));
}

uint64_t TileRowGathering::bytes_held() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return rows_made_ * row_bytes_;
}
