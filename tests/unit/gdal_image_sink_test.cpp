// The sink of .png and .tif results, through the GDAL module: the engine's
// rows come in any order, from several threads, and a repaired row comes
// again with new contents; the image file holds each row's last contents, as
// several threads reading it back at once find, as Pillow finds in a PNG,
// and a GeoTIFF's overviews hold the smallest tones of those contents.
#ifdef ISOLINES_WITH_GDAL

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "gdal/gdal_formats.h"
#include "gdal/png_parts.h"
#include "gdal/png_stream_sink.h"
#include "gdal/tile_share.h"
#include "output/palette.h"
#include "platform/platform.h"
#include "run/image_file.h"
#include "shared/run_error.h"
#include "gdal_levels.h"
#include "temp_folder.h"

namespace {

class GdalImageSinkTest : public TempFolderTest {
protected:
    // The image file as a run hands it to the module: created empty, known
    // by its identity.
    std::unique_ptr<ImageFile> image_file(const std::string& name) const
    {
        const std::string path = write_text_file(name, "");
        platform::FileId id;
        EXPECT_TRUE(platform::identify(path, id));
        return std::make_unique<ImageFile>(path, id, path);
    }
};

// A tone of 8 bits, or of 16 bits beyond 255: a pattern, or noise (which
// deflate cannot shrink).
int tone(int32_t i, int32_t j, bool junk, int tone_bytes, bool noise = false)
{
    const int largest = tone_bytes == 2 ? 65535 : 255;
    const int value = noise ? static_cast<int>((uint32_t(i) * 2654435761u ^ uint32_t(j) * 40503u) * 2246822519u >> 16) % largest
                            : (i * 7 + j * (tone_bytes == 2 ? 1013 : 13)) % (largest - 4);
    return junk ? largest - value : value;
}

// Writes the rows `which` selects in a shuffled order, half of them from each
// of two threads (a row is never written by both at once); rows `junk`
// selects get other tones. The first failure of either thread is thrown.
template <typename Which, typename Junk>
void write_rows_of(ResultRowSink& sink, int32_t row_count, int32_t column_count, const Which& which, const Junk& junk,
                   unsigned seed, int tone_bytes, bool noise)
{
    std::vector<int32_t> order;
    for (int32_t i = 0; i < row_count; ++i)
        if (which(i)) order.push_back(i);
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    std::exception_ptr failure;
    const auto write_part = [&](size_t from, size_t to, std::exception_ptr& failed) {
        try {
            std::vector<unsigned char> row(static_cast<size_t>(column_count) * static_cast<size_t>(tone_bytes));
            for (size_t k = from; k < to; ++k) {
                for (int32_t j = 0; j < column_count; ++j) {
                    const int value = tone(order[k], j, junk(order[k]), tone_bytes, noise);
                    if (tone_bytes == 2) {
                        const auto wide = static_cast<uint16_t>(value);
                        std::memcpy(&row[2 * static_cast<size_t>(j)], &wide, 2);
                    } else {
                        row[static_cast<size_t>(j)] = static_cast<unsigned char>(value);
                    }
                }
                sink.write_row(order[k], row);
            }
        } catch (...) {
            failed = std::current_exception();
        }
    };
    std::exception_ptr other_failure;
    std::thread other(write_part, 0, order.size() / 2, std::ref(other_failure));
    write_part(order.size() / 2, order.size(), failure);
    other.join();
    if (failure) std::rethrow_exception(failure);
    if (other_failure) std::rethrow_exception(other_failure);
}

// What Pillow finds in a PNG: its mode and size, its transparent value or
// entry, and the pixels (row after row, as Pillow gives them) in a file.
std::string pillow_reads(const std::string& png, const std::string& pixels)
{
    const std::string script =
        "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "open(sys.argv[2], 'wb').write(im.tobytes()); "
        "print(im.mode, im.size[0], im.size[1], im.info.get('transparency'))";
    const std::string out = pixels + ".txt";
    if (std::system(("/usr/bin/python3 -c \"" + script + "\" '" + png + "' '" + pixels + "' > '" + out + "'").c_str()) != 0)
        return "pillow failed";
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    return line;
}

// The shares of processes that are threads of this one: rows are handed to
// their owner's sink at once, on the sending thread; places come from one
// counter.
class ThreadShares {
public:
    ThreadShares(int processes, int32_t rows) : rows_(rows), all_(processes)
    {
        for (int p = 0; p < processes; ++p) shares_.push_back(std::make_unique<Share>(*this, p));
    }
    TileShare& of(int process) { return *shares_[static_cast<size_t>(process)]; }
    int band_of(int64_t row) const
    {
        return static_cast<int>(std::min<int64_t>(row * static_cast<int64_t>(shares_.size()) / rows_,
                                                  static_cast<int64_t>(shares_.size()) - 1));
    }
    // Runs `body(p)` for every process p on a thread of its own; rethrows
    // the first failure.
    template <typename Body>
    void run_each(const Body& body)
    {
        std::vector<std::exception_ptr> failures(shares_.size());
        std::vector<std::thread> threads;
        for (size_t p = 0; p < shares_.size(); ++p)
            threads.emplace_back([&, p] {
                try {
                    body(static_cast<int>(p));
                } catch (...) {
                    failures[p] = std::current_exception();
                }
            });
        for (std::thread& thread : threads) thread.join();
        for (const std::exception_ptr& failure : failures)
            if (failure) std::rethrow_exception(failure);
    }

private:
    struct Share final : TileShare {
        Share(ThreadShares& all, int process) : all(all), me(process) {}
        int process() const override { return me; }
        int owner_of_row(int64_t image_row) const override { return all.band_of(image_row); }
        void send_rows(int to, uint32_t level, int32_t first, int32_t count, size_t width,
                       const unsigned char* rows) override
        {
            Share& owner = *all.shares_[static_cast<size_t>(to)];
            const std::lock_guard<std::recursive_mutex> hold(owner.taking);
            if (owner.take) owner.take(level, first, count, width, rows);
        }
        void start_taking(RowsTaker taker) override { take = std::move(taker); }
        void settle() override {}
        void wait_for_all() override { all.all_.arrive_and_wait(); }
        void drop_rows() override
        {
            const std::lock_guard<std::recursive_mutex> hold(taking);
            take = nullptr;
        }
        void stop_taking() override { all.all_.arrive_and_wait(); }
        void set_free_space(uint64_t start) override { all.free_ = start; }
        uint64_t reserve(uint64_t bytes) override { return all.free_.fetch_add(bytes + bytes % 2); }
        void largest_onto_first(std::vector<uint64_t>& values) override
        {
            {
                const std::lock_guard<std::mutex> hold(all.largest_lock_);
                all.largest_.resize(values.size());
                for (size_t k = 0; k < values.size(); ++k) all.largest_[k] = std::max(all.largest_[k], values[k]);
            }
            all.all_.arrive_and_wait();
            if (me == 0) values = all.largest_;
        }

        ThreadShares& all;
        int me;
        std::recursive_mutex taking;
        RowsTaker take;
    };

    int64_t rows_;
    std::vector<std::unique_ptr<Share>> shares_;
    std::barrier<> all_;
    std::atomic<uint64_t> free_{0};
    std::mutex largest_lock_;
    std::vector<uint64_t> largest_;
};

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

TEST_F(GdalImageSinkTest, RowsInAnyOrderAndWrittenAgainGiveTheirLastContents)
{
    // A PNG is compressed in parts of a number of rows that depends on its
    // width: images of one part less a row, one part, and one and two parts
    // and a row.
    const int32_t part = png_part_rows(37);
    const struct {
        GdalFormat format;
        bool gray;
        int32_t row_count, column_count;  // narrow: many rows in a block of the scratch file; wide: one
        int tone_bytes;
        int again_every = 1;  // rows i % again_every == 0 come twice, first with other tones
        bool noise = false;   // tones deflate cannot shrink
        bool seams = false;   // only the rows around seams come twice
        int overviews = 0;    // of a GeoTIFF, each half the size of the level above
        int processes = 1;    // sharing a GeoTIFF (ThreadShares)
    } cases[] = {
        {GdalFormat::geotiff, true, 300, 37, 1},
        {GdalFormat::geotiff, false, 40, 9000, 1, 1, false, false, 5},
        {GdalFormat::geotiff, true, 4000, 9000, 1, 1, false, false, 5},  // more rows again than a GeoTIFF holds back
        {GdalFormat::png, false, 300, 37, 1},
        {GdalFormat::png, true, 40, 9000, 1},
        {GdalFormat::geotiff, false, 700, 600, 2, 1, false, false, 1},
        // Around a tile of 512: tile rows written again, the rows that did
        // not come again read back from the file.
        {GdalFormat::geotiff, true, 511, 513, 1, 1, false, true, 1},
        {GdalFormat::geotiff, false, 512, 512, 2, 1, false, true, 0},
        {GdalFormat::geotiff, false, 1537, 1031, 1, 1, false, true, 2},  // a last tile row of one row
        {GdalFormat::geotiff, true, 1025, 2049, 2, 1, true, true, 3},
        // Tile rows of every level owned by another process than the one
        // whose rows complete them or come again; overview rows come again
        // from their owner's level-0 tile rows only as the image ends.
        {GdalFormat::geotiff, false, 1537, 1031, 1, 1, false, true, 2, 3},
        {GdalFormat::geotiff, true, 2100, 1500, 2, 1, false, true, 3, 4},
        {GdalFormat::png, false, 300, 37, 2},
        {GdalFormat::png, false, part - 1, 37, 1, 3},
        {GdalFormat::png, true, part, 37, 1, 5},
        {GdalFormat::png, false, part + 1, 37, 1, 1},
        {GdalFormat::png, true, 2 * part + 1, 37, 1, 2},
        {GdalFormat::png, true, 7, 1, 1},
        {GdalFormat::png, false, 700, 13, 2, 3},
        // Compressed beyond what memory keeps: parts in the scratch file, and
        // taken apart again from there.
        {GdalFormat::png, true, 4200, 4200, 1, 7, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "image" + std::to_string(n++) + (c.format == GdalFormat::png ? ".png" : ".tif");
        const std::string path = path_of(name);
        SCOPED_TRACE(path);
        const std::string scratch = path_of("scratch.tmp");
        write_text_file("scratch.tmp", "");
        const Palette palette = c.gray ? gray_palette(c.tone_bytes) : distinct_palette(1, 400, c.tone_bytes);
        GdalImage image{path, path, c.format, c.row_count, c.column_count, c.tone_bytes, palette, c.gray, Georeference{}};
        const std::vector<int32_t> seams = rows_around_seams(c.row_count);
        const auto again = [&](int32_t i) {
            return c.seams ? std::binary_search(seams.begin(), seams.end(), i) : i % c.again_every == 0;
        };
        if (c.processes == 1) {
            const std::unique_ptr<ImageFile> file = image_file(name);
            const std::unique_ptr<GdalImageSink> sink = gdal_formats(path).open_image_sink(scratch, image, *file, nullptr);
            write_rows_of(*sink, c.row_count, c.column_count, [](int32_t) { return true; }, again, 1, c.tone_bytes, c.noise);
            write_rows_of(*sink, c.row_count, c.column_count, again, [](int32_t) { return false; }, 2, c.tone_bytes,
                          c.noise);
            sink->write_image([](double) {});
        } else {
            // Process p writes the rows of its band, then the rows that come
            // again whose band is p's or (the top rows of a band) the one
            // below p's, as the holder of a seam repairs them.
            ThreadShares shares(c.processes, c.row_count);
            const std::unique_ptr<ImageFile> file = image_file(name);
            platform::FileId id;
            ASSERT_TRUE(platform::identify(path, id));
            std::vector<std::unique_ptr<ImageFile>> files;
            std::vector<std::unique_ptr<GdalImageSink>> sinks;
            for (int p = 0; p < c.processes; ++p) {
                files.push_back(std::make_unique<ImageFile>(path, id, path));
                sinks.push_back(gdal_formats(path).open_image_sink(scratch, image, *files.back(), &shares.of(p)));
            }
            std::barrier traced(c.processes);
            shares.run_each([&](int p) {
                write_rows_of(*sinks[static_cast<size_t>(p)], c.row_count, c.column_count,
                              [&](int32_t i) { return shares.band_of(i) == p; }, again, 1 + p, c.tone_bytes, c.noise);
                traced.arrive_and_wait();
                const auto repaired_here = [&](int32_t i) { return again(i) && shares.band_of(std::max(i - 8, 0)) == p; };
                write_rows_of(*sinks[static_cast<size_t>(p)], c.row_count, c.column_count, repaired_here,
                              [](int32_t) { return false; }, 9 + p, c.tone_bytes, c.noise);
                sinks[static_cast<size_t>(p)]->write_image([](double) {});
            });
        }
        std::filesystem::remove(scratch);

        // Read back by three threads at once, each its own rows (each thread
        // reads through a GDAL dataset of its own); a GeoTIFF's in a shuffled
        // order (a PNG is read from its top again for every row above the last).
        const std::unique_ptr<RasterRowSource> written = gdal_formats(path).open_source(path, 1, std::nullopt, [](const std::string&) {});
        ASSERT_EQ(written->row_count(), c.row_count);
        ASSERT_EQ(written->column_count(), c.column_count);
        std::atomic<int> wrong{0};
        const auto read_back = [&](int32_t part) {
            std::vector<int32_t> rows;
            for (int32_t i = part; i < c.row_count; i += 3) rows.push_back(i);
            if (c.format == GdalFormat::geotiff) std::shuffle(rows.begin(), rows.end(), std::mt19937(static_cast<unsigned>(part)));
            std::vector<double> row(static_cast<size_t>(c.column_count));
            for (int32_t i : rows) {
                written->read_row(i, row);
                for (int32_t j = 0; j < c.column_count; ++j)
                    wrong += row[static_cast<size_t>(j)] != tone(i, j, false, c.tone_bytes, c.noise);
            }
        };
        std::thread second(read_back, 1), third(read_back, 2);
        read_back(0);
        second.join();
        third.join();
        EXPECT_EQ(wrong.load(), 0);

        // Each overview pixel the smallest of the 2 x 2 it covers in the level
        // above (one or two at an odd edge), and no more overviews.
        if (c.format == GdalFormat::geotiff) {
            int32_t rows = 0, columns = 0;
            std::vector<double> above = read_gdal_level(path, 0, rows, columns);
            for (int k = 1; k <= c.overviews; ++k) {
                int32_t half_rows = 0, half_columns = 0;
                const std::vector<double> level = read_gdal_level(path, k, half_rows, half_columns);
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
            EXPECT_THROW(read_gdal_level(path, c.overviews + 1, rows, columns), RunError);
        }

        // Pillow: the same pixels, and the background transparent (a gray
        // value, or the palette's one entry of alpha 0).
        if (c.format != GdalFormat::png || std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) continue;
        const std::string found = pillow_reads(path, path_of("pillow.bin"));
        const std::string mode = c.tone_bytes == 2 ? "I" : c.gray ? "L" : "P";
        EXPECT_EQ(found, mode + " " + std::to_string(c.column_count) + " " + std::to_string(c.row_count) + " " +
                             std::to_string(c.tone_bytes == 2 ? 65535 : 255));
        const std::vector<unsigned char> pixels = read_bytes(path_of("pillow.bin"));
        const size_t size = c.tone_bytes == 2 ? 4 : 1;  // mode I: 32-bit integers
        ASSERT_EQ(pixels.size(), size * static_cast<size_t>(c.row_count) * static_cast<size_t>(c.column_count));
        int pillow_wrong = 0;
        for (int32_t i = 0; i < c.row_count; ++i)
            for (int32_t j = 0; j < c.column_count; ++j) {
                int32_t value = 0;
                std::memcpy(&value, &pixels[size * (static_cast<size_t>(i) * c.column_count + j)], size);
                pillow_wrong += value != tone(i, j, false, c.tone_bytes, c.noise);
            }
        EXPECT_EQ(pillow_wrong, 0);
    }
}

// Parts compressed apart, with any filter, make one zlib stream: behind the
// header and followed by the Adler-32 combined from theirs, they inflate to
// the filtered rows, and each part alone gives its rows back.
TEST(PngParts, PartsMakeOneZlibStreamAndComeApartAgain)
{
    for (const int pixel_bytes : {1, 2})
        for (int f = 0; f <= 4; ++f) {
            SCOPED_TRACE(std::to_string(pixel_bytes) + " bytes, filter " + std::to_string(f));
            const int32_t rows = 23, part_rows = 5, columns = 11;
            const size_t row_bytes = static_cast<size_t>(columns * pixel_bytes);
            std::vector<unsigned char> image(rows * row_bytes);
            for (size_t k = 0; k < image.size(); ++k)
                image[k] = static_cast<unsigned char>(
                    tone(static_cast<int32_t>(k / row_bytes), static_cast<int32_t>(k % row_bytes), false, 1, k % 3 == 0));
            PartCodec codec(row_bytes, pixel_bytes, part_rows, static_cast<PngFilter>(f), 1);
            const std::array<unsigned char, 2> header = zlib_header(1);
            std::vector<unsigned char> stream(header.begin(), header.end());
            uLong adler = adler32(0, nullptr, 0);
            for (int32_t first = 0; first < rows; first += part_rows) {
                const int32_t count = std::min(part_rows, rows - first);
                PackedPart part;
                codec.pack(&image[first * row_bytes], count, first + count == rows, part);
                EXPECT_EQ(part.crc, crc32(0, part.bytes.data(), static_cast<uInt>(part.bytes.size())));
                std::vector<unsigned char> back(count * row_bytes);
                codec.unpack(part.bytes.data(), part.bytes.size(), count, back.data());
                EXPECT_TRUE(std::equal(back.begin(), back.end(), &image[first * row_bytes]));
                stream.insert(stream.end(), part.bytes.begin(), part.bytes.end());
                adler = adler32_combine(adler, part.adler, static_cast<z_off_t>(part.filtered_size));
            }
            for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(static_cast<unsigned char>(adler >> shift));
            std::vector<unsigned char> filtered(rows * (row_bytes + 1));
            uLongf size = filtered.size();
            ASSERT_EQ(uncompress(filtered.data(), &size, stream.data(), stream.size()), Z_OK);
            ASSERT_EQ(size, filtered.size());
            std::vector<unsigned char> pixels(image.size());
            ASSERT_TRUE(unfilter_rows(filtered.data(), rows, row_bytes, pixel_bytes, pixels.data()));
            EXPECT_EQ(pixels, image);
        }
}

// A PNG whose compressed parts overflow into its scratch file on a disk that
// fills (the file-size limit, as `ulimit -f` sets it): the run ends with the
// system's reason, naming the image, from the thread that met it or any other.
TEST_F(GdalImageSinkTest, AFullDiskEndsAPngWithTheSystemsReason)
{
    const int32_t size = 4200;  // of noise: more than memory keeps compressed
    static_assert(uint64_t{size} * size > png_packed_memory);
    const std::string path = path_of("full.png");
    write_text_file("scratch.tmp", "");
    const GdalImage image{path, "shown.png", GdalFormat::png, size, size, 1, gray_palette(), true, Georeference{}};
    const std::unique_ptr<ImageFile> file = image_file("full.png");
    const std::unique_ptr<GdalImageSink> sink = gdal_formats(path).open_image_sink(path_of("scratch.tmp"), image, *file, nullptr);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = 256 << 10;
    const auto earlier = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string message;
    try {
        write_rows_of(*sink, size, size, [](int32_t) { return true; }, [](int32_t) { return false; }, 1, 1, true);
    } catch (const RunError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, earlier);
    EXPECT_EQ(message.rfind("cannot write shown.png: File too large", 0), 0u) << message;
}

// A PNG beyond a million pixels either way opens nowhere (libpng's readers
// stop there): it is refused before a row is traced, a million is written.
TEST_F(GdalImageSinkTest, APngWiderOrTallerThanLibpngReadsIsRefused)
{
    write_text_file("scratch.tmp", "");
    for (const auto& [rows, columns, refused] : {std::tuple{2, 1000001, true}, {1000001, 1, true}, {1, 1000000, false}}) {
        const GdalImage image{path_of("big.png"), "big.png", GdalFormat::png, rows, columns, 1, gray_palette(), true,
                              Georeference{}};
        std::string message;
        try {
            const std::unique_ptr<ImageFile> file = image_file("big.png");
            gdal_formats(image.path).open_image_sink(path_of("scratch.tmp"), image, *file, nullptr);
        } catch (const RunError& e) {
            message = e.what();
        }
        EXPECT_EQ(message.rfind("cannot write big.png: a PNG of " + std::to_string(rows) + " lines", 0) == 0, refused)
            << message;
    }
}

}  // namespace

#endif
