// The sink of .png and .tif results, through the GDAL module: the engine's
// rows come in any order, from several threads, and a repaired row comes
// again with new contents; the image file holds each row's last contents, as
// several threads reading it back at once find, and a GeoTIFF's overviews
// hold the smallest tones of those contents.
#ifdef ISOLINES_WITH_GDAL

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "gdal/gdal_formats.h"
#include "output/palette.h"
#include "shared/run_error.h"
#include "temp_folder.h"

namespace {

class GdalImageSinkTest : public TempFolderTest {};

// A tone of 8 bits, or of 16 bits beyond 255.
int tone(int32_t i, int32_t j, bool junk, int tone_bytes)
{
    const int largest = tone_bytes == 2 ? 65535 : 255;
    const int value = (i * 7 + j * (tone_bytes == 2 ? 1013 : 13)) % (largest - 4);
    return junk ? largest - value : value;
}

// Writes the rows of `order` in that order, the first half from one thread
// and the rest from another (a row is never written by both at once); a row
// holds junk where `junk` says so.
void write_rows_of(ResultRowSink& sink, const std::vector<int32_t>& order, int32_t column_count,
                   const std::function<bool(int32_t)>& junk, int tone_bytes)
{
    const auto write_part = [&](size_t from, size_t to) {
        std::vector<unsigned char> row(static_cast<size_t>(column_count) * static_cast<size_t>(tone_bytes));
        for (size_t k = from; k < to; ++k) {
            for (int32_t j = 0; j < column_count; ++j) {
                const int value = tone(order[k], j, junk(order[k]), tone_bytes);
                if (tone_bytes == 2) {
                    const auto wide = static_cast<uint16_t>(value);
                    std::memcpy(&row[2 * static_cast<size_t>(j)], &wide, 2);
                } else {
                    row[static_cast<size_t>(j)] = static_cast<unsigned char>(value);
                }
            }
            sink.write_row(order[k], row);
        }
    };
    std::thread other(write_part, 0, order.size() / 2);
    write_part(order.size() / 2, order.size());
    other.join();
}

// The rows around a few seams, top to bottom, as the repairs of stripes
// hand them again: across a third and two thirds of the image, across the
// first tile boundary, and at its end.
std::vector<int32_t> rows_around_seams(int32_t row_count)
{
    std::vector<int32_t> rows;
    for (int32_t seam : {row_count / 3, 512, 2 * row_count / 3, row_count})
        for (int32_t i = std::max(seam - 7, 0); i < std::min(seam + 9, row_count); ++i)
            if (std::find(rows.begin(), rows.end(), i) == rows.end()) rows.push_back(i);
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Reads a whole image, or one of a GeoTIFF's overviews (its directory
// `directory`, from 1), through the module's row source.
std::vector<double> read_whole(const std::string& path, int directory, int32_t& rows, int32_t& columns)
{
    const std::string name = directory == 0 ? path : "GTIFF_DIR:" + std::to_string(directory) + ":" + path;
    const std::unique_ptr<RasterRowSource> source =
        gdal_formats(path).open_source(name, 1, std::nullopt, [](const std::string&) {});
    rows = source->row_count();
    columns = source->column_count();
    std::vector<double> cells(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    for (int32_t i = 0; i < rows; ++i)
        source->read_row(i, std::span<double>(cells).subspan(static_cast<size_t>(i) * static_cast<size_t>(columns),
                                                            static_cast<size_t>(columns)));
    return cells;
}

TEST_F(GdalImageSinkTest, RowsInAnyOrderAndWrittenAgainGiveTheirLastContents)
{
    const struct {
        GdalFormat format;
        bool gray;
        int32_t row_count, column_count;  // narrow: many rows in a block of the scratch file; wide: one
        int tone_bytes;
        bool seams_again;  // only the rows around seams come again (else every row, shuffled)
        int overviews;     // of a GeoTIFF, each half the size of the level above
    } cases[] = {
        {GdalFormat::geotiff, true, 300, 37, 1, false, 0},
        {GdalFormat::geotiff, false, 40, 9000, 1, false, 5},
        {GdalFormat::geotiff, true, 4000, 9000, 1, false, 5},  // more rows again than a GeoTIFF holds back
        {GdalFormat::png, false, 300, 37, 1, false, 0},
        {GdalFormat::png, true, 40, 9000, 1, false, 0},
        {GdalFormat::geotiff, false, 700, 600, 2, false, 1},
        {GdalFormat::png, false, 300, 37, 2, false, 0},
        // Around a tile of 512: tile rows written again, the rows that did
        // not come again read back from the file.
        {GdalFormat::geotiff, true, 511, 513, 1, true, 1},
        {GdalFormat::geotiff, false, 512, 512, 2, true, 0},
        {GdalFormat::geotiff, false, 1537, 1031, 1, true, 2},  // a last tile row of one row
        {GdalFormat::geotiff, true, 1025, 2049, 2, true, 3},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = path_of("image" + std::to_string(n++) + (c.format == GdalFormat::png ? ".png" : ".tif"));
        SCOPED_TRACE(path);
        const std::string scratch = path_of("scratch.tmp");
        write_text_file("scratch.tmp", "");
        const Palette palette = c.gray ? gray_palette(c.tone_bytes) : distinct_palette(1, 400, c.tone_bytes);
        GdalImage image{path, path, c.format, c.row_count, c.column_count, c.tone_bytes, palette, c.gray, Georeference{}};
        {
            const std::unique_ptr<GdalImageSink> sink = gdal_formats(path).open_image_sink(scratch, image);
            std::vector<int32_t> order(static_cast<size_t>(c.row_count));
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), std::mt19937(1));
            const std::vector<int32_t> again = c.seams_again ? rows_around_seams(c.row_count) : order;
            // The rows that come again hold junk the first time.
            const auto junk_first = [&](int32_t i) {
                return !c.seams_again || std::binary_search(again.begin(), again.end(), i);
            };
            write_rows_of(*sink, order, c.column_count, junk_first, c.tone_bytes);
            std::vector<int32_t> second = again;
            if (!c.seams_again) std::shuffle(second.begin(), second.end(), std::mt19937(2));
            write_rows_of(*sink, second, c.column_count, [](int32_t) { return false; }, c.tone_bytes);
            sink->write_image([](double) {});
        }
        std::filesystem::remove(scratch);

        // Read back by three threads at once, each its own rows in a shuffled
        // order (each thread reads through a GDAL dataset of its own).
        const std::unique_ptr<RasterRowSource> written = gdal_formats(path).open_source(path, 1, std::nullopt, [](const std::string&) {});
        ASSERT_EQ(written->row_count(), c.row_count);
        ASSERT_EQ(written->column_count(), c.column_count);
        std::atomic<int> wrong{0};
        const auto read_back = [&](int32_t part) {
            std::vector<int32_t> rows;
            for (int32_t i = part; i < c.row_count; i += 3) rows.push_back(i);
            std::shuffle(rows.begin(), rows.end(), std::mt19937(static_cast<unsigned>(part)));
            std::vector<double> row(static_cast<size_t>(c.column_count));
            for (int32_t i : rows) {
                written->read_row(i, row);
                for (int32_t j = 0; j < c.column_count; ++j)
                    wrong += row[static_cast<size_t>(j)] != tone(i, j, false, c.tone_bytes);
            }
        };
        std::thread second(read_back, 1), third(read_back, 2);
        read_back(0);
        second.join();
        third.join();
        EXPECT_EQ(wrong.load(), 0);

        // Each overview pixel the smallest of the 2 x 2 it covers in the level
        // above (one or two at an odd edge), and no more overviews.
        if (c.format != GdalFormat::geotiff) continue;
        int32_t rows = 0, columns = 0;
        std::vector<double> above = read_whole(path, 0, rows, columns);
        for (int k = 1; k <= c.overviews; ++k) {
            int32_t half_rows = 0, half_columns = 0;
            const std::vector<double> level = read_whole(path, k + 1, half_rows, half_columns);
            ASSERT_EQ(half_rows, (rows + 1) / 2) << "overview " << k;
            ASSERT_EQ(half_columns, (columns + 1) / 2) << "overview " << k;
            int not_smallest = 0;
            for (int32_t y = 0; y < half_rows; ++y)
                for (int32_t x = 0; x < half_columns; ++x) {
                    double smallest = 1e9;
                    for (int32_t i = 2 * y; i < std::min(2 * y + 2, rows); ++i)
                        for (int32_t j = 2 * x; j < std::min(2 * x + 2, columns); ++j)
                            smallest = std::min(smallest, above[static_cast<size_t>(i) * static_cast<size_t>(columns) + static_cast<size_t>(j)]);
                    not_smallest += level[static_cast<size_t>(y) * static_cast<size_t>(half_columns) + static_cast<size_t>(x)] != smallest;
                }
            EXPECT_EQ(not_smallest, 0) << "overview " << k;
            above = level;
            rows = half_rows;
            columns = half_columns;
        }
        EXPECT_THROW(read_whole(path, c.overviews + 2, rows, columns), RunError);
    }
}

}  // namespace

#endif
