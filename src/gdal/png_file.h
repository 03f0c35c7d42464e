// The chunks of a PNG file around its image data, as GDAL's PNG driver
// writes them for a result: the header, the palette and the transparent
// background (a palette entry of alpha 0, or the gray value in tRNS), then,
// after the image data, the end.
#ifndef GDAL_PNG_FILE_H
#define GDAL_PNG_FILE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdal/gdal_image_sink.h"

// Whether the image is stored with its palette (8 bits, colours) rather than
// as gray values (8 or 16 bits: a PNG palette holds 256 colours at most).
bool png_has_palette(const GdalImage& image);

// The signature, IHDR, and PLTE and tRNS as the image needs them.
std::vector<unsigned char> png_head(const GdalImage& image);

// The IEND chunk.
std::vector<unsigned char> png_end();

// The chunk of `type` holding `size` bytes at `data`, added to `out`.
void add_chunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, size_t size);

// The CRC of an IDAT chunk holding `before`, then `size` bytes of CRC-32
// `crc`, then `after`: the bytes in the middle need not be read again.
uint32_t idat_crc(const std::vector<unsigned char>& before, uint32_t crc, uint64_t size,
                  const std::vector<unsigned char>& after);

// The four bytes of `value`, most significant first, as PNG stores numbers.
void add_big_endian(std::vector<unsigned char>& out, uint32_t value);

#endif
