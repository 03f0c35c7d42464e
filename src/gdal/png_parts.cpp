#include "gdal/png_parts.h"

#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void zlib_failed(const char* what, int code)
{
    throw std::runtime_error(std::string("zlib could not ") + what + " (" + zError(code) + ")");
}

}  // namespace

std::array<unsigned char, 2> zlib_header(int level)
{
    // Deflate with a window of 32 KiB; the level as the header names it
    // (fastest, fast, default, best); the check bits make the pair a
    // multiple of 31.
    const int method = 0x78;
    const int named = level <= 1 ? 0 : level <= 5 ? 1 : level == 6 ? 2 : 3;
    int flags = named << 6;
    flags += 31 - (method * 256 + flags) % 31;
    return {static_cast<unsigned char>(method), static_cast<unsigned char>(flags)};
}

PartCodec::PartCodec(size_t row_bytes, int pixel_bytes, int32_t part_rows, PngFilter filter, int level, int strategy)
    : row_bytes_(row_bytes), pixel_bytes_(pixel_bytes), filter_(filter)
{
    // Raw deflate (negative window bits): the zlib header and checksum are
    // the image's, written once around all the parts.
    int code = deflateInit2(&deflater_, level, Z_DEFLATED, -15, 8, strategy);
    if (code != Z_OK) zlib_failed("start compressing", code);
    code = inflateInit2(&inflater_, -15);
    if (code != Z_OK) {
        deflateEnd(&deflater_);
        zlib_failed("start decompressing", code);
    }
    filtered_.resize(static_cast<size_t>(part_rows) * (row_bytes + 1));
}

PartCodec::~PartCodec()
{
    deflateEnd(&deflater_);
    inflateEnd(&inflater_);
}

uint64_t PartCodec::bytes_for(size_t row_bytes, int32_t part_rows)
{
    // zlib's own state at the default memory level: about 256 KiB to deflate
    // (window, hash chains, pending output), 40 KiB to inflate; the
    // filtered rows, and the compressed part that can come out of them.
    const uint64_t filtered = static_cast<uint64_t>(part_rows) * (row_bytes + 1);
    return (uint64_t{300} << 10) + 2 * filtered + filtered / 64;
}

void PartCodec::pack(const unsigned char* rows, int32_t count, bool last, PackedPart& part)
{
    const size_t size = static_cast<size_t>(count) * (row_bytes_ + 1);
    filtered_.resize(std::max(filtered_.size(), size));
    filter_rows(rows, count, row_bytes_, pixel_bytes_, filter_, filtered_.data());
    int code = deflateReset(&deflater_);
    if (code != Z_OK) zlib_failed("compress", code);
    // The flush marker comes on top of what deflateBound allows for.
    packed_.resize(deflateBound(&deflater_, static_cast<uLong>(size)) + 16);
    deflater_.next_in = filtered_.data();
    deflater_.avail_in = static_cast<uInt>(size);
    size_t produced = 0;
    for (;;) {
        deflater_.next_out = packed_.data() + produced;
        deflater_.avail_out = static_cast<uInt>(packed_.size() - produced);
        code = deflate(&deflater_, last ? Z_FINISH : Z_FULL_FLUSH);
        produced = packed_.size() - deflater_.avail_out;
        if (code == Z_STREAM_ERROR) zlib_failed("compress", code);
        const bool done = last ? code == Z_STREAM_END : deflater_.avail_out > 0;
        if (done) break;
        packed_.resize(packed_.size() * 2);  // never with deflateBound's room, but safe
    }
    part.bytes.assign(packed_.begin(), packed_.begin() + static_cast<std::ptrdiff_t>(produced));
    part.adler = static_cast<uint32_t>(adler32(1, filtered_.data(), static_cast<uInt>(size)));
    part.filtered_size = size;
    part.crc = static_cast<uint32_t>(crc32(0, part.bytes.data(), static_cast<uInt>(part.bytes.size())));
}

void PartCodec::unpack(const unsigned char* bytes, size_t size, int32_t count, unsigned char* rows)
{
    const size_t filtered_size = static_cast<size_t>(count) * (row_bytes_ + 1);
    // A byte of room more than the part holds: a part that would fill it is
    // no part of this image.
    filtered_.resize(std::max(filtered_.size(), filtered_size + 1));
    int code = inflateReset(&inflater_);
    if (code != Z_OK) zlib_failed("decompress", code);
    inflater_.next_in = const_cast<unsigned char*>(bytes);
    inflater_.avail_in = static_cast<uInt>(size);
    inflater_.next_out = filtered_.data();
    inflater_.avail_out = static_cast<uInt>(filtered_size + 1);
    code = inflate(&inflater_, Z_SYNC_FLUSH);
    if ((code != Z_OK && code != Z_STREAM_END) || inflater_.avail_out != 1 || inflater_.avail_in != 0)
        zlib_failed("read a compressed part back", code == Z_OK || code == Z_STREAM_END ? Z_DATA_ERROR : code);
    if (!unfilter_rows(filtered_.data(), count, row_bytes_, pixel_bytes_, rows))
        zlib_failed("read a compressed part back", Z_DATA_ERROR);
}
