// The sink of .png and .tif results, through the GDAL module: the engine's
// rows come in any order, from several threads, and a repaired row comes
// again with new contents; the image file holds each row's last contents, as
// several threads reading it back at once find.
#ifdef ISOLINES_WITH_GDAL

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "gdal/gdal_formats.h"
#include "output/palette.h"
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

// Writes every row in a shuffled order, half of them from each of two
// threads; a row is never written by both threads at once.
void write_all_rows(ResultRowSink& sink, int32_t row_count, int32_t column_count, bool junk, unsigned seed,
                    int tone_bytes)
{
    std::vector<int32_t> order(static_cast<size_t>(row_count));
    for (int32_t i = 0; i < row_count; ++i) order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    const auto write_part = [&](size_t from, size_t to) {
        std::vector<unsigned char> row(static_cast<size_t>(column_count) * static_cast<size_t>(tone_bytes));
        for (size_t k = from; k < to; ++k) {
            for (int32_t j = 0; j < column_count; ++j) {
                const int value = tone(order[k], j, junk, tone_bytes);
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

TEST_F(GdalImageSinkTest, RowsInAnyOrderAndWrittenAgainGiveTheirLastContents)
{
    const struct {
        GdalFormat format;
        bool gray;
        int32_t row_count, column_count;  // narrow: many rows in a block of the scratch file; wide: one
        int tone_bytes;
    } cases[] = {
        {GdalFormat::geotiff, true, 300, 37, 1},
        {GdalFormat::geotiff, false, 40, 9000, 1},
        {GdalFormat::geotiff, true, 4000, 9000, 1},  // beyond the cache: rows written again once on the disk
        {GdalFormat::png, false, 300, 37, 1},
        {GdalFormat::png, true, 40, 9000, 1},
        {GdalFormat::geotiff, false, 700, 600, 2},  // with overviews
        {GdalFormat::png, false, 300, 37, 2},
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
            write_all_rows(*sink, c.row_count, c.column_count, true, 1, c.tone_bytes);
            write_all_rows(*sink, c.row_count, c.column_count, false, 2, c.tone_bytes);
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
    }
}

}  // namespace

#endif
