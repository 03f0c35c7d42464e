// How the rows of a PNG result are best stored: the size and the time of
// each PNG row filter and deflate level, the image compressed in parts as
// the program compresses it, on real contour images (PNG or GeoTIFF results
// of the program, read with GDAL), against the size of the file given.
//
// Usage: png_choices IMAGE... [--levels 1,2,3] [--part-kib 64,256,1024]
// Prints, for each image, a line per filter and level: the bytes of the
// compressed rows, their ratio to the file's size, and the seconds one core
// took; then zlib's run-length strategy with the first three filters; then
// the chosen filter and level at other part sizes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gdal.h>

#include "gdal/png_parts.h"

namespace {

struct Image {
    int32_t rows = 0, columns = 0;
    int pixel_bytes = 1;
    std::vector<unsigned char> pixels;  // as a PNG holds them (16 bits most significant byte first)
};

Image load(const char* path)
{
    GDALDatasetH dataset = GDALOpen(path, GA_ReadOnly);
    if (dataset == nullptr) {
        std::fprintf(stderr, "%s: cannot open\n", path);
        std::exit(1);
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    Image image;
    image.rows = GDALGetRasterYSize(dataset);
    image.columns = GDALGetRasterXSize(dataset);
    image.pixel_bytes = GDALGetRasterDataType(band) == GDT_Byte ? 1 : 2;
    image.pixels.resize(static_cast<size_t>(image.rows) * static_cast<size_t>(image.columns) * image.pixel_bytes);
    if (GDALRasterIO(band, GF_Read, 0, 0, image.columns, image.rows, image.pixels.data(), image.columns, image.rows,
                     image.pixel_bytes == 1 ? GDT_Byte : GDT_UInt16, 0, 0) != CE_None) {
        std::fprintf(stderr, "%s: cannot read\n", path);
        std::exit(1);
    }
    GDALClose(dataset);
    if (image.pixel_bytes == 2)
        for (size_t k = 0; k + 1 < image.pixels.size(); k += 2) std::swap(image.pixels[k], image.pixels[k + 1]);
    return image;
}

// Bytes of the compressed rows and seconds taken (the fastest of three
// runs: the machine is shared), parts of `part_rows` rows.
std::pair<uint64_t, double> compress(const Image& image, PngFilter filter, int level, int32_t part_rows,
                                     int strategy = Z_DEFAULT_STRATEGY)
{
    const size_t row_bytes = static_cast<size_t>(image.columns) * image.pixel_bytes;
    PartCodec codec(row_bytes, image.pixel_bytes, part_rows, filter, level, strategy);
    PackedPart part;
    uint64_t bytes = 0;
    double fastest = 1e30;
    for (int run = 0; run < 3; ++run) {
        bytes = 2 + 4;  // the zlib header and checksum
        const auto start = std::chrono::steady_clock::now();
        for (int32_t first = 0; first < image.rows; first += part_rows) {
            const int32_t count = std::min(part_rows, image.rows - first);
            codec.pack(image.pixels.data() + static_cast<size_t>(first) * row_bytes, count, first + count == image.rows,
                       part);
            bytes += part.bytes.size() + 12;  // each part in a chunk of its own
        }
        fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return {bytes, fastest};
}

std::vector<int> numbers(const char* list)
{
    std::vector<int> out;
    for (const char* p = list; *p != '\0';) {
        out.push_back(std::atoi(p));
        p = std::strchr(p, ',');
        if (p == nullptr) break;
        ++p;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    GDALAllRegister();
    std::vector<const char*> paths;
    std::vector<int> levels{1, 2, 3, 4, 6};
    std::vector<int> part_kib{64, 256, 1024};
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--levels") == 0 && k + 1 < argc) levels = numbers(argv[++k]);
        else if (std::strcmp(argv[k], "--part-kib") == 0 && k + 1 < argc) part_kib = numbers(argv[++k]);
        else paths.push_back(argv[k]);
    }
    const char* names[] = {"none", "sub", "up", "average", "paeth"};
    for (const char* path : paths) {
        const Image image = load(path);
        struct stat st {};
        stat(path, &st);
        const auto file_size = static_cast<double>(st.st_size);
        const size_t row_bytes = static_cast<size_t>(image.columns) * image.pixel_bytes;
        std::printf("%s: %d x %d, %d bit, file %.0f bytes\n", path, image.columns, image.rows, 8 * image.pixel_bytes,
                    file_size);
        for (int f = 0; f <= 4; ++f)
            for (int level : levels) {
                const auto [bytes, seconds] = compress(image, static_cast<PngFilter>(f), level, png_part_rows(row_bytes));
                std::printf("  %-7s level %d: %10llu bytes  %.3f x file  %.3f s\n", names[f], level,
                            static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / file_size, seconds);
            }
        // zlib's run-length strategy: matches of the byte before only.
        for (int f = 0; f <= 2; ++f) {
            const auto [bytes, seconds] = compress(image, static_cast<PngFilter>(f), 1, png_part_rows(row_bytes), Z_RLE);
            std::printf("  %-7s runs   : %10llu bytes  %.3f x file  %.3f s\n", names[f],
                        static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / file_size, seconds);
        }
        for (int kib : part_kib) {
            const auto rows = static_cast<int32_t>(std::max<size_t>(1, (size_t(kib) << 10) / (row_bytes + 1)));
            const auto [bytes, seconds] = compress(image, png_row_filter, png_deflate_level, rows);
            std::printf("  chosen, parts of %4d KiB (%d rows): %10llu bytes  %.3f x file  %.3f s\n", kib, rows,
                        static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / file_size, seconds);
        }
    }
    return 0;
}
