#include "gdal/png_file.h"

#include <algorithm>

#include <zlib.h>

#include "shared/levels.h"

void add_big_endian(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void add_chunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, size_t size)
{
    add_big_endian(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    add_big_endian(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}

uint32_t idat_crc(const std::vector<unsigned char>& before, uint32_t crc, uint64_t size,
                  const std::vector<unsigned char>& after)
{
    // zlib's crc32 of no buffer gives its initial value: empty pieces are skipped.
    uLong c = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
    if (!before.empty()) c = crc32(c, before.data(), static_cast<uInt>(before.size()));
    c = crc32_combine(c, crc, static_cast<z_off_t>(size));
    if (!after.empty()) c = crc32(c, after.data(), static_cast<uInt>(after.size()));
    return static_cast<uint32_t>(c);
}

bool png_has_palette(const GdalImage& image) { return !image.gray && image.tone_bytes == 1; }

std::vector<unsigned char> png_head(const GdalImage& image)
{
    std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    add_big_endian(header, static_cast<uint32_t>(image.column_count));
    add_big_endian(header, static_cast<uint32_t>(image.row_count));
    // Bit depth, colour type (3 palette, 0 gray), then deflate, the five
    // filters, no interlacing.
    header.insert(header.end(), {static_cast<unsigned char>(8 * image.tone_bytes),
                                 static_cast<unsigned char>(png_has_palette(image) ? 3 : 0), 0, 0, 0});
    add_chunk(out, "IHDR", header.data(), header.size());
    const int background = background_of(image.tone_bytes);
    std::vector<unsigned char> transparency;
    if (png_has_palette(image)) {
        const size_t entries = std::min<size_t>(image.palette.size(), 256);
        std::vector<unsigned char> colours;
        for (size_t k = 0; k < entries; ++k) {
            colours.insert(colours.end(), {image.palette[k].R, image.palette[k].G, image.palette[k].B});
            transparency.push_back(static_cast<int>(k) == background ? 0 : 255);
        }
        add_chunk(out, "PLTE", colours.data(), colours.size());
    } else {
        transparency = {static_cast<unsigned char>(background >> 8), static_cast<unsigned char>(background & 0xFF)};
    }
    add_chunk(out, "tRNS", transparency.data(), transparency.size());
    return out;
}

std::vector<unsigned char> png_end()
{
    std::vector<unsigned char> out;
    add_chunk(out, "IEND", nullptr, 0);
    return out;
}
