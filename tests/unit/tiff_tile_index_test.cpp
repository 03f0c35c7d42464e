// The index of a GeoTIFF's tiles, written after the tiles themselves: read
// back by libtiff (not by the code that wrote it) from files of either byte
// order, classic and BigTIFF, whose directories hold their arrays in any
// type or inside the entry.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <vector>

#include "gdal/tiff_tile_index.h"
#include "shared/run_error.h"
#include "temp_folder.h"

namespace {

// A file in memory.
class MemoryFile final : public ImageFileAccess {
public:
    std::vector<unsigned char> bytes;

    void open() override {}
    void write_at(const unsigned char* data, size_t size, uint64_t offset) override
    {
        if (bytes.size() < offset + size) bytes.resize(offset + size);
        std::memcpy(bytes.data() + offset, data, size);
    }
    void read_at(unsigned char* data, size_t size, uint64_t offset) override
    {
        if (offset + size > bytes.size()) throw RunError("read past the end");
        std::memcpy(data, bytes.data() + offset, size);
    }
    uint64_t length() override { return bytes.size(); }
    void sync() override {}
};

// Writes numbers of `big_endian` order into a growing file.
struct TiffWriter {
    bool big_endian;
    bool big;
    std::vector<unsigned char> out;

    void put(uint64_t value, size_t bytes)
    {
        for (size_t k = 0; k < bytes; ++k)
            out.push_back(static_cast<unsigned char>(value >> (8 * (big_endian ? bytes - 1 - k : k))));
    }
    size_t offset_bytes() const { return big ? 8 : 4; }
    // An entry whose value fits in its field (left-justified, as TIFF keeps it).
    void entry(uint16_t tag, uint16_t type, uint64_t count, uint64_t value, size_t value_bytes)
    {
        put(tag, 2);
        put(type, 2);
        put(count, big ? 8 : 4);
        put(value, value_bytes);
        put(0, offset_bytes() - value_bytes);
    }
};

struct Level {
    uint32_t width, height;
};

// A tiled file of 8-bit gray whose directories give each level's size and an
// index of empty tiles: offsets as LONG (LONG8 in a BigTIFF) arrays, sizes as
// SHORT ones, both stored before the directories.
std::vector<unsigned char> empty_tiled_tiff(bool big_endian, bool big, const std::vector<Level>& levels)
{
    TiffWriter w{big_endian, big, {}};
    w.put(big_endian ? 0x4D4D : 0x4949, 2);
    w.put(big ? 43 : 42, 2);
    if (big) w.put(8, 2), w.put(0, 2);
    const size_t first_at = w.out.size();
    w.put(0, w.offset_bytes());
    std::vector<uint64_t> arrays;  // where each level's two arrays are
    for (const Level& level : levels) {
        const uint64_t tiles = ((level.width + 511) / 512) * uint64_t{(level.height + 511) / 512};
        arrays.push_back(w.out.size());
        for (uint64_t k = 0; k < tiles; ++k) w.put(0, w.offset_bytes());
        arrays.push_back(w.out.size());
        for (uint64_t k = 0; k < tiles; ++k) w.put(0, 2);
    }
    std::vector<size_t> links{first_at};
    for (size_t l = 0; l < levels.size(); ++l) {
        const uint64_t tiles = ((levels[l].width + 511) / 512) * uint64_t{(levels[l].height + 511) / 512};
        w.out.resize(w.out.size() + w.out.size() % 2);
        const size_t at = w.out.size();
        {
            TiffWriter link{big_endian, big, {}};
            link.put(at, w.offset_bytes());
            std::copy(link.out.begin(), link.out.end(), w.out.begin() + static_cast<std::ptrdiff_t>(links.back()));
        }
        w.put(9, big ? 8 : 2);
        const size_t o = w.offset_bytes();
        w.entry(256, 4, 1, levels[l].width, 4);
        w.entry(257, 3, 1, levels[l].height, 2);
        w.entry(258, 3, 1, 8, 2);
        w.entry(259, 3, 1, 8, 2);  // DEFLATE
        w.entry(262, 3, 1, 1, 2);
        w.entry(322, 3, 1, 512, 2);
        w.entry(323, 3, 1, 512, 2);
        const bool offsets_inside = tiles * o <= o;
        w.entry(324, big ? 16 : 4, tiles, offsets_inside ? 0 : arrays[2 * l], o);
        w.entry(325, 3, tiles, tiles * 2 <= o ? 0 : arrays[2 * l + 1], o);
        links.push_back(w.out.size());
        w.put(0, o);
    }
    return w.out;
}

class TiffTileIndex : public TempFolderTest {};

TEST_F(TiffTileIndex, LibtiffFindsEveryTileWhereItWasWritten)
{
    const std::vector<Level> levels{{1100, 600}, {550, 300}, {20, 7}};
    for (const bool big_endian : {false, true})
        for (const bool big : {false, true}) {
            SCOPED_TRACE(std::string(big_endian ? "MM" : "II") + (big ? " BigTIFF" : " classic"));
            MemoryFile file;
            file.bytes = empty_tiled_tiff(big_endian, big, levels);
            std::vector<DirectoryTiles> tiles;
            // Places past the end of the file, larger than a SHORT holds (and
            // past 4 GiB in a BigTIFF).
            uint64_t place = big ? (uint64_t{5} << 30) : 70000;
            for (const Level& level : levels) {
                DirectoryTiles directory{static_cast<int32_t>(level.width), static_cast<int32_t>(level.height), {}};
                const uint64_t count = ((level.width + 511) / 512) * uint64_t{(level.height + 511) / 512};
                for (uint64_t k = 0; k < count; ++k, place += 70001) directory.places.push_back({place, 70001 - k});
                tiles.push_back(directory);
            }
            // The directories in another order than the levels.
            std::swap(tiles[0], tiles[2]);
            write_tile_index(file, "shown.tif", tiles, file.bytes.size() + 10);
            std::swap(tiles[0], tiles[2]);

            const std::string path = write_file("index.tif", file.bytes);
            TIFF* tiff = TIFFOpen(path.c_str(), "r");
            ASSERT_NE(tiff, nullptr);
            for (size_t l = 0; l < levels.size(); ++l) {
                ASSERT_TRUE(l == 0 || TIFFReadDirectory(tiff));
                for (const bool offsets : {true, false}) {
                    uint64_t* values = nullptr;
                    ASSERT_TRUE(TIFFGetField(tiff, offsets ? TIFFTAG_TILEOFFSETS : TIFFTAG_TILEBYTECOUNTS, &values));
                    for (size_t k = 0; k < tiles[l].places.size(); ++k)
                        EXPECT_EQ(values[k], offsets ? tiles[l].places[k].offset : tiles[l].places[k].bytes)
                            << "level " << l << " tile " << k;
                }
            }
            EXPECT_FALSE(TIFFReadDirectory(tiff));
            TIFFClose(tiff);
        }
}

TEST_F(TiffTileIndex, DirectoriesThatAreNotTheImagesAreRefused)
{
    const std::vector<Level> levels{{1100, 600}, {550, 300}};
    const auto refusal = [&](bool big, const std::vector<DirectoryTiles>& tiles) {
        MemoryFile file;
        file.bytes = empty_tiled_tiff(false, big, levels);
        try {
            write_tile_index(file, "shown.tif", tiles, file.bytes.size() + 10);
        } catch (const RunError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const DirectoryTiles image{1100, 600, std::vector<TilePlace>(6, {16, 1})};
    const DirectoryTiles overview{550, 300, std::vector<TilePlace>(2, {16, 1})};
    const std::string unexpected = "cannot write shown.tif: GDAL did not make the TIFF directories expected";
    EXPECT_EQ(refusal(false, {image}), unexpected);                               // a directory too many
    EXPECT_EQ(refusal(false, {image, overview, {20, 7, {{16, 1}}}}), unexpected);  // one missing
    EXPECT_EQ(refusal(false, {image, {550, 301, overview.places}}), unexpected);   // another size
    EXPECT_EQ(refusal(false, {image, {550, 300, {{16, 1}}}}), unexpected);         // tiles of another count
    const DirectoryTiles far{1100, 600, std::vector<TilePlace>(6, {uint64_t{1} << 32, 1})};
    EXPECT_EQ(refusal(false, {far, overview}), "cannot write shown.tif: its tiles pass 4 GiB, the most a classic TIFF file holds");
    EXPECT_EQ(refusal(true, {far, overview}), "");
}

}  // namespace
