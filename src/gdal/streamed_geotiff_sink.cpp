#include "gdal/streamed_geotiff_sink.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <mutex>
#include <vector>

#include "gdal/geotiff_tile_file.h"
#include "gdal/image_completeness.h"
#include "gdal/min_overviews.h"
#include "gdal/tile_row_gathering.h"
#include "gdal/write_failure.h"

namespace {

// The rows that come again that the image holds before it writes their
// tile rows again, reading back the others (an overview holds half as
// much): the repairs of a run's seams, a few dozen rows each, are written
// again once, at the end.
constexpr uint64_t again_budget = uint64_t{16} << 20;

class StreamedGeoTiffSink final : public GdalImageSink {
public:
    StreamedGeoTiffSink(const GdalImage& image, ImageFileAccess& file, TileShare* share);
    // The share hands this no more rows once it is gone.
    ~StreamedGeoTiffSink() override
    {
        if (share_ != nullptr) share_->drop_rows();
    }
    void write_row(int32_t i, ToneRow row) override { write_rows(i, 1, row.size(), row.data()); }
    void write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows) override;
    void settle() override
    {
        if (share_ != nullptr) share_->settle();
    }
    void write_image(const std::function<void(double)>& on_progress) override;
    uint64_t bytes_held() const override;

private:
    // The process that writes tile row `index` of level `level`.
    int owner(size_t level, int32_t index) const
    {
        return share_ == nullptr ? 0 : share_->owner_of_row(int64_t{index} * tile_size * factors_[level]);
    }
    int me() const { return share_ == nullptr ? 0 : share_->process(); }
    // Rows of one tile row: gathered here, or sent to their owner.
    void add_rows(size_t level, int32_t first, int32_t count, size_t stride, const unsigned char* rows);
    void gather_rows(size_t level, int32_t first, int32_t count, size_t stride, const unsigned char* rows);
    // The tile rows of `level` held to be written again.
    void write_held_again(size_t level);
    void write_tile_row(size_t level, std::unique_ptr<TileRow> tile_row);
    void reduce_into_overview(size_t level, const TileRow& tile_row);
    // Runs `step`; a failure it throws is kept, so that every later call
    // throws it at once rather than write on.
    template <typename Step>
    void guarded(const Step& step);

    GdalImage image_;
    TileShare* share_;
    std::vector<int> factors_;  // of each level: 1 for the image, then each overview's
    std::vector<std::unique_ptr<TileRowGathering>> levels_;  // the image, then each overview
    std::unique_ptr<GeoTiffTileFile> file_;
    // Rows that come again are taken and written one call at a time, in the
    // order they come (a tile row written again by one thread would
    // otherwise race a later one); the overview rows they recompute come
    // again too, on the same thread.
    std::recursive_mutex again_;
    mutable std::mutex failure_mutex_;
    std::exception_ptr failure_;
};

StreamedGeoTiffSink::StreamedGeoTiffSink(const GdalImage& image, ImageFileAccess& file, TileShare* share)
    : image_(image), share_(share)
{
    const std::vector<int> factors = overview_factors(image.row_count, image.column_count);
    factors_.push_back(1);
    factors_.insert(factors_.end(), factors.begin(), factors.end());
    levels_.push_back(
        std::make_unique<TileRowGathering>(image.column_count, image.row_count, image.tone_bytes, again_budget));
    for (int factor : factors)
        levels_.push_back(std::make_unique<TileRowGathering>((image.column_count + factor - 1) / factor,
                                                             (image.row_count + factor - 1) / factor, image.tone_bytes,
                                                             again_budget / 2));
    // The tile rows another process owns count as written here.
    for (size_t level = 0; level < levels_.size(); ++level)
        for (int32_t index = 0; index < levels_[level]->tile_rows(); ++index)
            if (owner(level, index) != me()) levels_[level]->mark_written(index);
    file_ = create_geotiff_tile_file(image_, factors, file, share);
    if (share_ != nullptr)
        share_->start_taking([this](uint32_t level, int32_t first, int32_t count, size_t width, const unsigned char* rows) {
            guarded([&] { add_rows(level, first, count, width, rows); });
        });
}

template <typename Step>
void StreamedGeoTiffSink::guarded(const Step& step)
{
    {
        const std::lock_guard<std::mutex> lock(failure_mutex_);
        if (failure_) std::rethrow_exception(failure_);
    }
    try {
        step();
    } catch (...) {
        const std::lock_guard<std::mutex> lock(failure_mutex_);
        if (!failure_) failure_ = std::current_exception();
        throw;
    }
}

void StreamedGeoTiffSink::write_rows(int32_t first, int32_t count, size_t width, const unsigned char* rows)
{
    guarded([&] { add_rows(0, first, count, width, rows); });
}

void StreamedGeoTiffSink::add_rows(size_t level, int32_t first, int32_t count, size_t stride, const unsigned char* rows)
{
    while (count > 0) {
        const int32_t part = std::min(count, tile_size - first % tile_size);  // within one tile row
        const int to = owner(level, first / tile_size);
        if (to == me()) {
            gather_rows(level, first, part, stride, rows);
        } else {
            const size_t width = levels_[level]->row_bytes();
            for (int32_t k = 0; k < part; k += stride == width ? part : 1)
                share_->send_rows(to, static_cast<uint32_t>(level), first + k, stride == width ? part : 1, width,
                                  rows + static_cast<size_t>(k) * stride);
        }
        first += part;
        count -= part;
        rows += static_cast<size_t>(part) * stride;
    }
}

// Rows of one tile row this process owns.
void StreamedGeoTiffSink::gather_rows(size_t level, int32_t first, int32_t part, size_t stride, const unsigned char* rows)
{
    TileRowGathering& gathering = *levels_[level];
    std::unique_ptr<TileRow> complete;
    if (gathering.take_new(first, part, stride, rows, complete)) {
        if (complete) write_tile_row(level, std::move(complete));
    } else {
        const std::lock_guard<std::recursive_mutex> one_at_a_time(again_);
        for (std::unique_ptr<TileRow>& tile_row : gathering.take_again(first, part, stride, rows))
            write_tile_row(level, std::move(tile_row));
    }
}

void StreamedGeoTiffSink::write_tile_row(size_t level, std::unique_ptr<TileRow> tile_row)
{
    TileRowGathering& gathering = *levels_[level];
    const int32_t index = tile_row->index;
    const bool again = tile_row->again;
    try {
        if (again) {
            // The file must hold the first writing before it is read back.
            gathering.wait_written(index);
            std::vector<bool> missing(static_cast<size_t>(tile_row->height));
            for (size_t y = 0; y < missing.size(); ++y) missing[y] = !tile_row->rows[y];
            if (std::find(missing.begin(), missing.end(), true) != missing.end()) {
                gathering.add_missing_rows(*tile_row);
                file_->read_tile_row(level, *tile_row, missing);
            }
        }
        file_->write_tile_row(level, *tile_row);
        if (level + 1 < levels_.size()) reduce_into_overview(level, *tile_row);
    } catch (...) {
        // Nobody may wait for a writing that failed.
        if (!again) gathering.mark_written(index);
        throw;
    }
    if (!again) gathering.mark_written(index);
    gathering.give_back(std::move(tile_row));
}

// The rows of the overview above over the rows of `tile_row` that came:
// each from a pair of rows (a tile row holds whole pairs, but the last of a
// level of odd height, which stands for its pair).
void StreamedGeoTiffSink::reduce_into_overview(size_t level, const TileRow& tile_row)
{
    std::vector<unsigned char> reduced(levels_[level + 1]->row_bytes());
    const int32_t first = tile_row.index * (tile_size / 2);
    for (int32_t y = tile_row.first_changed / 2; y < (tile_row.end_changed + 1) / 2; ++y) {
        const unsigned char* upper = tile_row.rows[static_cast<size_t>(2 * y)].get();
        const unsigned char* lower = tile_row.rows[static_cast<size_t>(std::min(2 * y + 1, tile_row.height - 1))].get();
        reduce_rows_by_min(upper, lower, levels_[level]->width(), image_.tone_bytes, reduced.data());
        add_rows(level + 1, first + y, 1, reduced.size(), reduced.data());
    }
}

void StreamedGeoTiffSink::write_image(const std::function<void(double)>& on_progress)
{
    guarded([&] {
        // The tile rows held to be written again, from the image up: each
        // brings rows again to the overview above. A level's turn comes once
        // every process has sent its rows of that level (its turn over the
        // level below ended) and their owners have taken them.
        for (size_t level = 0; level < levels_.size(); ++level) {
            if (share_ != nullptr) {
                share_->settle();
                share_->wait_for_all();
            }
            write_held_again(level);
        }
        for (const auto& level : levels_)
            if (!level->all_written())
                throw RunError("cannot write " + image_.shown_path + ": rows of the image never came");
        if (share_ != nullptr) share_->stop_taking();
        file_->close();
        // The file must end as its format ends: what GDAL made, then the tiles
        // and their index.
        if (me() == 0 && !ends_whole(image_))
            throw write_failure(image_.shown_path, "the file is incomplete (the disk may be full)", 0);
    });
    on_progress(1.0);
}

void StreamedGeoTiffSink::write_held_again(size_t level)
{
    const std::lock_guard<std::recursive_mutex> one_at_a_time(again_);
    for (std::unique_ptr<TileRow>& tile_row : levels_[level]->release_held()) write_tile_row(level, std::move(tile_row));
}

uint64_t StreamedGeoTiffSink::bytes_held() const
{
    uint64_t bytes = 0;
    for (const auto& level : levels_) bytes += level->bytes_held();
    return bytes;
}

}  // namespace

std::unique_ptr<GdalImageSink> open_streamed_geotiff_sink(const GdalImage& image, ImageFileAccess& file,
                                                          TileShare* share)
{
    return std::make_unique<StreamedGeoTiffSink>(image, file, share);
}
