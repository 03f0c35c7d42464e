// BMP writer and reader: the exact bytes of written files, round trips, the
// palette and type rules, refusals of malformed and hostile files, and that a
// common image reader (Pillow) sees what was written.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "IMAGE.h"
#include "counting_blocks.h"
#include "NRUTIL.h"
#include "reference/grid.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t le32(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void set_le16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}

void set_le32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A grid of lines x bytes_per_line cells holding a pattern that differs from
// line to line and from byte to byte.
Grid<unsigned char> pattern_grid(int32_t bytes_per_line, int32_t lines)
{
    unsigned char** rows = ucmatrice(bytes_per_line, lines);
    for (int32_t l = 0; l < lines; ++l)
        for (int32_t c = 0; c < bytes_per_line; ++c) rows[l][c] = static_cast<unsigned char>(l * 31 + c * 7 + 3);
    return Grid<unsigned char>(rows, lines);
}

std::array<Color32, 256> gray_ramp()
{
    std::array<Color32, 256> map{};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<unsigned char>(i);
        map[i] = Color32{v, v, v, 0};
    }
    return map;
}

// What ChargeBMP gave back, released when the test ends.
struct Loaded {
    unsigned char** grid = nullptr;
    int32_t nb_col = -7;
    int32_t nb_lig = -7;
    int32_t type = -7;
    Color32* palette = nullptr;

    Loaded() = default;
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded()
    {
        if (grid != nullptr) frucmatrice(grid, nb_lig);
        frcolormap(palette);
    }
};

// A placeholder that asks ChargeBMP for the palette; never written through.
Color32 g_caller_entry{1, 2, 3, 4};

void load(const fs::path& path, Loaded& out, bool want_palette)
{
    out.palette = want_palette ? &g_caller_entry : nullptr;
    out.grid = ChargeBMP(path.string().c_str(), out.nb_col, out.nb_lig, out.type, out.palette);
}

class BmpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("image_test_" + std::to_string(getpid()) + "_" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path file(const std::string& name) const { return dir_ / name; }

    // Writes a grid of the pattern and returns the path of the file.
    fs::path save_pattern(const std::string& name, int32_t nb_col, int32_t nb_lig, int32_t type,
                          const Color32* map = nullptr)
    {
        const int32_t taille = type == 2 ? 3 : 1;
        Grid<unsigned char> grid = pattern_grid(nb_col * taille, nb_lig);
        const fs::path path = file(name);
        EXPECT_EQ(SauveBMP(path.string().c_str(), grid.rows(), nb_col, nb_lig, type, map), 0);
        return path;
    }

    fs::path dir_;
};

// ---------------------------------------------------------------------------
// Writer

TEST_F(BmpTest, EightBitFiveByThreeHasExactHeaderPaletteAndPaddedBottomUpRows)
{
    const fs::path path = save_pattern("five.bmp", 5, 3, 0);
    const Bytes b = read_bytes(path);
    ASSERT_EQ(b.size(), 1102u);

    const Bytes header(b.begin(), b.begin() + 54);
    const Bytes expected = {
        0x42, 0x4D, 0x4E, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // BM, size 1102, reserved
        0x36, 0x04, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00,              // offset 1078, info size 40
        0x05, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,              // width 5, height 3
        0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,              // planes 1, 8 bits, compression 0
        0x18, 0x00, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00,              // image size 24, 10000 pels/m
        0x10, 0x27, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(header, expected);

    for (int i = 0; i < 256; ++i) {
        const size_t at = 54 + 4 * static_cast<size_t>(i);
        EXPECT_EQ(b[at], i);
        EXPECT_EQ(b[at + 1], i);
        EXPECT_EQ(b[at + 2], i);
        EXPECT_EQ(b[at + 3], 0);
    }

    Grid<unsigned char> grid = pattern_grid(5, 3);
    for (int stored = 0; stored < 3; ++stored) {
        const int line = 2 - stored;  // the first stored row is the bottom line
        const size_t at = 1078 + 8 * static_cast<size_t>(stored);
        for (int c = 0; c < 5; ++c) EXPECT_EQ(b[at + c], grid[line][c]) << "stored row " << stored;
        for (int c = 5; c < 8; ++c) EXPECT_EQ(b[at + c], 0) << "fill byte of stored row " << stored;
    }
}

TEST_F(BmpTest, TwentyFourBitRowsAreNotPaddedWhenFourPixelsWideAndPaddedWhenOne)
{
    const Bytes four = read_bytes(save_pattern("four.bmp", 4, 2, 2));
    ASSERT_EQ(four.size(), 54u + 2 * 12);
    EXPECT_EQ(le32(four, 10), 54u);  // no palette
    EXPECT_EQ(four[28], 24);
    EXPECT_EQ(le32(four, 34), 24u);
    Grid<unsigned char> grid4 = pattern_grid(12, 2);
    EXPECT_TRUE(std::equal(grid4[1], grid4[1] + 12, four.begin() + 54));
    EXPECT_TRUE(std::equal(grid4[0], grid4[0] + 12, four.begin() + 66));

    const Bytes one = read_bytes(save_pattern("one.bmp", 1, 3, 2));
    ASSERT_EQ(one.size(), 54u + 3 * 4);
    EXPECT_EQ(le32(one, 2), 66u);
    Grid<unsigned char> grid1 = pattern_grid(3, 3);
    for (int stored = 0; stored < 3; ++stored) {
        const size_t at = 54 + 4 * static_cast<size_t>(stored);
        EXPECT_TRUE(std::equal(grid1[2 - stored], grid1[2 - stored] + 3, one.begin() + at));
        EXPECT_EQ(one[at + 3], 0);
    }
}

TEST_F(BmpTest, CallerPaletteIsStoredWithItsFourthBytesForEightBitsOnly)
{
    std::array<Color32, 256> map{};
    for (int i = 0; i < 256; ++i)
        map[i] = Color32{static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                         static_cast<unsigned char>(i / 2), static_cast<unsigned char>(i ^ 0x5A)};
    const Bytes b = read_bytes(save_pattern("map.bmp", 3, 2, 1, map.data()));
    for (int i = 0; i < 256; ++i) {
        const size_t at = 54 + 4 * static_cast<size_t>(i);
        EXPECT_EQ(b[at], map[i].B);
        EXPECT_EQ(b[at + 1], map[i].G);
        EXPECT_EQ(b[at + 2], map[i].R);
        EXPECT_EQ(b[at + 3], map[i].O);
    }
    EXPECT_EQ(read_bytes(save_pattern("map24.bmp", 3, 2, 2, map.data())).size(), 54u + 2 * 12);
}

TEST_F(BmpTest, ZeroLinesWritesHeaderAndPaletteAloneAndReadsBackAsEmptyGrid)
{
    const fs::path path = file("empty.bmp");
    ASSERT_EQ(SauveBMP(path.string().c_str(), nullptr, 6, 0, 0, nullptr), 0);
    const Bytes b = read_bytes(path);
    ASSERT_EQ(b.size(), 1078u);
    EXPECT_EQ(le32(b, 2), 1078u);
    EXPECT_EQ(le32(b, 22), 0u);
    EXPECT_EQ(le32(b, 34), 0u);

    Loaded got;
    load(path, got, false);
    ASSERT_NE(got.grid, nullptr);
    EXPECT_EQ(got.nb_col, 6);
    EXPECT_EQ(got.nb_lig, 0);
    EXPECT_EQ(got.type, 0);
    EXPECT_EQ(got.grid[0], nullptr);
}

TEST_F(BmpTest, ZeroWidthIsWrittenWithEmptyRowsButNotReadBack)
{
    const fs::path path = file("narrow.bmp");
    ASSERT_EQ(SauveBMP(path.string().c_str(), nullptr, 0, 4, 2, nullptr), 0);
    EXPECT_EQ(read_bytes(path).size(), 54u);
    Loaded got;
    load(path, got, false);
    EXPECT_EQ(got.grid, nullptr);
}

TEST_F(BmpTest, WriterRefusesBadArgumentsBeforeCreatingAnything)
{
    Grid<unsigned char> grid = pattern_grid(12, 2);
    const fs::path path = file("refused.bmp");
    EXPECT_EQ(SauveBMP(path.string().c_str(), grid.rows(), -1, 2, 0, nullptr), -1);
    EXPECT_EQ(SauveBMP(path.string().c_str(), grid.rows(), 4, -1, 0, nullptr), -1);
    EXPECT_EQ(SauveBMP(path.string().c_str(), grid.rows(), 4, 2, 3, nullptr), -1);
    EXPECT_EQ(SauveBMP(path.string().c_str(), grid.rows(), 4, 2, -1, nullptr), -1);
    EXPECT_EQ(SauveBMP(path.string().c_str(), nullptr, 4, 2, 0, nullptr), -1);
    EXPECT_FALSE(fs::exists(path));
}

// A failure leaves the system's reason in errno for the caller's message.
TEST_F(BmpTest, WriterFailureKeepsTheSystemsReason)
{
    Grid<unsigned char> grid = pattern_grid(12, 2);
    errno = 0;
    EXPECT_EQ(SauveBMP(file("no-such-folder/x.bmp").string().c_str(), grid.rows(), 12, 2, 0, nullptr), -1);
    EXPECT_EQ(errno, ENOENT);
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    errno = 0;
    EXPECT_EQ(SauveBMP("/dev/full", grid.rows(), 12, 2, 0, nullptr), -1);
    EXPECT_EQ(errno, ENOSPC);
}

TEST_F(BmpTest, WriterRefusesFilesBeyondThirtyTwoBitSizes)
{
    // 70000 lines of 70000 bytes: 4.9 GB, more than BfSize can hold. Every line
    // points to the same row so that the grid costs little.
    std::vector<unsigned char> row(70000, 9);
    std::vector<unsigned char*> lines(70000, row.data());
    const fs::path path = file("huge.bmp");
    EXPECT_EQ(SauveBMP(path.string().c_str(), lines.data(), 70000, 70000, 0, nullptr), -1);
    EXPECT_FALSE(fs::exists(path));

    // One 24-bit line of 2^31 - 1 pixels needs a 6 GiB row.
    EXPECT_EQ(SauveBMP(path.string().c_str(), lines.data(), 2147483647, 1, 2, nullptr), -1);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(BmpTest, WriterReportsFilesThatCannotBeCreatedOrWritten)
{
    Grid<unsigned char> small = pattern_grid(5, 3);
    EXPECT_EQ(SauveBMP(file("no_such_folder/x.bmp").string().c_str(), small.rows(), 5, 3, 0, nullptr), -1);

    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to make writes fail";
    // A small file fails when flushed; wide rows fail in the row writes.
    EXPECT_EQ(SauveBMP("/dev/full", small.rows(), 5, 3, 0, nullptr), -1);
    Grid<unsigned char> wide = pattern_grid(20000, 3);
    EXPECT_EQ(SauveBMP("/dev/full", wide.rows(), 20000, 3, 0, nullptr), -1);
}

TEST_F(BmpTest, WriterReplacesAnExistingFile)
{
    const fs::path path = file("old.bmp");
    write_bytes(path, Bytes(5000, 0xEE));
    save_pattern("old.bmp", 5, 3, 0);
    EXPECT_EQ(read_bytes(path).size(), 1102u);
}

// ---------------------------------------------------------------------------
// Round trips and the type found by the reader

TEST_F(BmpTest, EveryWrittenImageReadsBackWithSameSizeAndBytes)
{
    for (int32_t type : {0, 2}) {
        const int32_t taille = type == 2 ? 3 : 1;
        for (int32_t nb_col : {1, 2, 3, 4, 5, 7, 13}) {
            const int32_t nb_lig = 1 + nb_col % 4;
            const fs::path path = save_pattern("rt.bmp", nb_col, nb_lig, type);
            Loaded got;
            load(path, got, false);
            ASSERT_NE(got.grid, nullptr) << "type " << type << " width " << nb_col;
            EXPECT_EQ(got.nb_col, nb_col);
            EXPECT_EQ(got.nb_lig, nb_lig);
            EXPECT_EQ(got.type, type);
            Grid<unsigned char> expected = pattern_grid(nb_col * taille, nb_lig);
            for (int32_t l = 0; l < nb_lig; ++l)
                EXPECT_TRUE(std::equal(expected[l], expected[l] + nb_col * taille, got.grid[l]))
                    << "type " << type << " width " << nb_col << " line " << l;
        }
    }
}

TEST_F(BmpTest, WidestSupportedLineReadsBack)
{
    const fs::path path = save_pattern("wide.bmp", 32767, 2, 0);
    Loaded got;
    load(path, got, false);
    ASSERT_NE(got.grid, nullptr);
    EXPECT_EQ(got.nb_col, 32767);
    EXPECT_EQ(got.grid[0][32766], pattern_grid(32767, 1)[0][32766]);
}

TEST_F(BmpTest, TypeOneWithoutPaletteReadsBackAsGray)
{
    Loaded got;
    load(save_pattern("t1.bmp", 3, 2, 1), got, false);
    ASSERT_NE(got.grid, nullptr);
    EXPECT_EQ(got.type, 0);
}

TEST_F(BmpTest, PaletteDifferingInGreenOfEntry200ReadsBackAsTypeOne)
{
    std::array<Color32, 256> map = gray_ramp();
    map[200].G = 201;
    Loaded got;
    load(save_pattern("g200.bmp", 3, 2, 0, map.data()), got, true);
    ASSERT_NE(got.grid, nullptr);
    EXPECT_EQ(got.type, 1);
    ASSERT_NE(got.palette, &g_caller_entry);
    EXPECT_EQ(got.palette[200].G, 201);
    EXPECT_EQ(got.palette[199].G, 199);
}

TEST_F(BmpTest, FourthPaletteBytesDoNotCountForGrayButAreHandedBack)
{
    std::array<Color32, 256> map = gray_ramp();
    for (int i = 0; i < 256; ++i) map[i].O = static_cast<unsigned char>(255 - i);
    Loaded got;
    load(save_pattern("o.bmp", 3, 2, 0, map.data()), got, true);
    ASSERT_NE(got.grid, nullptr);
    EXPECT_EQ(got.type, 0);
    EXPECT_EQ(got.palette[0].O, 255);
    EXPECT_EQ(got.palette[255].O, 0);
}

// ---------------------------------------------------------------------------
// Palette hand-over

TEST_F(BmpTest, DeclinedPaletteStaysNullOnSuccessAndRefusal)
{
    Loaded ok;
    load(save_pattern("a.bmp", 2, 2, 0), ok, false);
    EXPECT_NE(ok.grid, nullptr);
    EXPECT_EQ(ok.palette, nullptr);

    Loaded missing;
    load(file("missing.bmp"), missing, false);
    EXPECT_EQ(missing.grid, nullptr);
    EXPECT_EQ(missing.palette, nullptr);
}

TEST_F(BmpTest, RequestedPaletteIsANewBufferEvenWhenTheFileIsRefused)
{
    const Color32 before = g_caller_entry;

    Loaded missing;
    load(file("missing.bmp"), missing, true);
    EXPECT_EQ(missing.grid, nullptr);
    EXPECT_NE(missing.palette, nullptr);
    EXPECT_NE(missing.palette, &g_caller_entry);

    Bytes b = read_bytes(save_pattern("bad.bmp", 2, 2, 0));
    b[0] = 'X';
    write_bytes(file("bad.bmp"), b);
    Loaded refused;
    load(file("bad.bmp"), refused, true);
    EXPECT_EQ(refused.grid, nullptr);
    EXPECT_NE(refused.palette, nullptr);
    EXPECT_NE(refused.palette, &g_caller_entry);

    Loaded colour;
    load(save_pattern("rgb.bmp", 2, 2, 2), colour, true);
    EXPECT_NE(colour.grid, nullptr);
    EXPECT_EQ(colour.type, 2);
    EXPECT_NE(colour.palette, nullptr);
    EXPECT_NE(colour.palette, &g_caller_entry);

    // The caller's previous pointer was never written through.
    EXPECT_EQ(g_caller_entry.B, before.B);
    EXPECT_EQ(g_caller_entry.G, before.G);
    EXPECT_EQ(g_caller_entry.R, before.R);
    EXPECT_EQ(g_caller_entry.O, before.O);
}

// ---------------------------------------------------------------------------
// Refused files

// Loads a copy of a valid file changed by `patch`; true when it was refused.
template <typename Patch>
bool refused_after(const fs::path& valid, Patch patch, const std::string& name)
{
    Bytes b = read_bytes(valid);
    patch(b);
    const fs::path path = valid.parent_path() / name;
    write_bytes(path, b);
    Loaded got;
    load(path, got, false);
    return got.grid == nullptr;
}

TEST_F(BmpTest, RefusesMalformedHeaders)
{
    const fs::path gray = save_pattern("gray.bmp", 5, 3, 0);
    const fs::path colour = save_pattern("colour.bmp", 4, 3, 2);

    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { b[1] = 'A'; }, "not_bm.bmp"));
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { b.resize(53); }, "short_header.bmp"));
    EXPECT_TRUE(refused_after(colour, [](Bytes& b) { set_le32(b, 10, 1078); }, "rgb_1078.bmp"));
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { set_le32(b, 10, 54); }, "gray_54.bmp"));
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { set_le16(b, 28, 4); }, "four_bits.bmp"));
    // A 16-entry palette: pixel offset 118, the file ending after one row.
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { set_le32(b, 10, 118); b.resize(118 + 8); },
                              "palette16.bmp"));
}

TEST_F(BmpTest, CompressionOneIsRefusedAndTwoIsReadAsUncompressed)
{
    const fs::path gray = save_pattern("gray.bmp", 5, 3, 0);
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { set_le32(b, 30, 1); }, "rle8.bmp"));

    Bytes b = read_bytes(gray);
    set_le32(b, 30, 2);
    write_bytes(file("rle4.bmp"), b);
    Loaded got;
    load(file("rle4.bmp"), got, false);
    ASSERT_NE(got.grid, nullptr);
    Grid<unsigned char> expected = pattern_grid(5, 3);
    for (int l = 0; l < 3; ++l) EXPECT_TRUE(std::equal(expected[l], expected[l] + 5, got.grid[l]));
}

TEST_F(BmpTest, RefusesFileCutShortInItsLastStoredRowOrPalette)
{
    const fs::path gray = save_pattern("gray.bmp", 5, 3, 0);
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { b.resize(b.size() - 1); }, "cut_row.bmp"));
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { b.resize(54 + 600); }, "cut_palette.bmp"));

    // A short palette still hands back the entries that were read.
    Bytes b = read_bytes(gray);
    b.resize(54 + 16 * 4);
    write_bytes(file("p16.bmp"), b);
    Loaded got;
    load(file("p16.bmp"), got, true);
    EXPECT_EQ(got.grid, nullptr);
    ASSERT_NE(got.palette, nullptr);
    EXPECT_EQ(got.palette[15].R, 15);
}

// ---------------------------------------------------------------------------
// Memory of the reader's grid

TEST_F(BmpTest, RefusesHostileSizesBeforeAllocatingThem)
{
    const fs::path gray = save_pattern("gray.bmp", 5, 3, 0);
    CountingBlocks counting(0);
    const auto width = [](uint32_t w) { return [w](Bytes& b) { set_le32(b, 18, w); }; };
    const auto height = [](uint32_t h) { return [h](Bytes& b) { set_le32(b, 22, h); }; };

    EXPECT_TRUE(refused_after(gray, width(0), "w0.bmp"));
    EXPECT_TRUE(refused_after(gray, width(0xFFFFFFFBu), "w_neg.bmp"));        // -5
    EXPECT_TRUE(refused_after(gray, height(0xFFFFFFFDu), "top_down.bmp"));    // -3
    EXPECT_TRUE(refused_after(gray, width(32768), "w_big.bmp"));
    EXPECT_TRUE(refused_after(gray, height(32768), "h_big.bmp"));
    EXPECT_TRUE(refused_after(gray, width(0x7FFFFFFFu), "w_max.bmp"));
    // 32767 x 32767 announces a gigabyte of rows in a file of 1102 bytes.
    EXPECT_TRUE(refused_after(gray, [](Bytes& b) { set_le32(b, 18, 32767); set_le32(b, 22, 32767); },
                              "w_h_max.bmp"));
    EXPECT_TRUE(refused_after(gray, height(4), "one_line_short.bmp"));
    EXPECT_EQ(CountingBlocks::obtained, 0) << "a grid was allocated for a refused size";
}

TEST_F(BmpTest, ReaderGridComesFromTheGridAllocatorAndIsReleasedByIt)
{
    const fs::path path = save_pattern("g.bmp", 5, 3, 0);
    CountingBlocks counting(0);
    int32_t nb_col = 0, nb_lig = 0, type = 0;
    Color32* palette = nullptr;
    unsigned char** grid = ChargeBMP(path.string().c_str(), nb_col, nb_lig, type, palette);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(CountingBlocks::obtained, 4);  // the row pointers and 3 rows
    frucmatrice(grid, nb_lig);
    EXPECT_EQ(CountingBlocks::given_back, 4);
}

TEST_F(BmpTest, GridThatCannotBeObtainedGivesNullAndLeavesNothingBehind)
{
    const fs::path path = save_pattern("g.bmp", 5, 3, 2);
    for (int fail_at = 1; fail_at <= 4; ++fail_at) {
        CountingBlocks counting(fail_at);
        int32_t nb_col = 0, nb_lig = 0, type = 0;
        Color32* palette = nullptr;
        EXPECT_EQ(ChargeBMP(path.string().c_str(), nb_col, nb_lig, type, palette), nullptr) << "failing block " << fail_at;
        EXPECT_EQ(CountingBlocks::given_back, CountingBlocks::obtained - 1) << "failing block " << fail_at;
    }
}

// ---------------------------------------------------------------------------
// A common image reader sees what was written

// The first Python that has Pillow, or an empty string.
std::string python_with_pillow()
{
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string probe = std::string(python) + " -c \"import PIL\" >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return python;
    }
    return "";
}

// Pillow's view of a bitmap: "width height", then one line per picture line,
// top line first, of "R,G,B" per pixel.
std::string pillow_view(const std::string& python, const fs::path& script, const fs::path& image)
{
    const std::string command = python + " '" + script.string() + "' '" + image.string() + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::string out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    pclose(pipe);
    return out;
}

TEST_F(BmpTest, PillowSeesTheSizeAndPixelsThatWereWritten)
{
#ifdef _WIN32
    GTEST_SKIP() << "Pillow is run from the POSIX build";
#endif
    const std::string python = python_with_pillow();
    if (python.empty()) GTEST_SKIP() << "python3 with Pillow is not available";

    const fs::path script = file("view.py");
    std::ofstream(script) << "import sys\n"
                             "from PIL import Image\n"
                             "im = Image.open(sys.argv[1]).convert('RGB')\n"
                             "w, h = im.size\n"
                             "print(w, h)\n"
                             "for y in range(h):\n"
                             "    print(' '.join('%d,%d,%d' % im.getpixel((x, y)) for x in range(w)))\n";

    // An 8-bit gray image 7 pixels wide (1 fill byte per row), background 255,
    // a few tones placed so that top and bottom, left and right differ.
    const int32_t nb_col = 7, nb_lig = 5;
    Grid<unsigned char> gray(ucmatrice(nb_col, nb_lig), nb_lig);
    for (int32_t l = 0; l < nb_lig; ++l)
        for (int32_t c = 0; c < nb_col; ++c) gray[l][c] = 255;
    gray[0][0] = 0;
    gray[0][1] = 1;
    gray[1][6] = 37;
    gray[2][3] = 128;
    gray[4][0] = 250;
    gray[4][5] = 12;
    ASSERT_EQ(SauveBMP(file("gray.bmp").string().c_str(), gray.rows(), nb_col, nb_lig, 0, nullptr), 0);

    std::ostringstream expected_gray;
    expected_gray << nb_col << ' ' << nb_lig << '\n';
    for (int32_t l = 0; l < nb_lig; ++l)
        for (int32_t c = 0; c < nb_col; ++c) {
            const int v = gray[l][c];
            expected_gray << v << ',' << v << ',' << v << (c + 1 < nb_col ? ' ' : '\n');
        }
    EXPECT_EQ(pillow_view(python, script, file("gray.bmp")), expected_gray.str());

    // A 24-bit image 3 pixels wide (3 fill bytes per row): bytes B, G, R.
    const int32_t rgb_col = 3, rgb_lig = 2;
    Grid<unsigned char> rgb = pattern_grid(rgb_col * 3, rgb_lig);
    ASSERT_EQ(SauveBMP(file("rgb.bmp").string().c_str(), rgb.rows(), rgb_col, rgb_lig, 2, nullptr), 0);
    std::ostringstream expected_rgb;
    expected_rgb << rgb_col << ' ' << rgb_lig << '\n';
    for (int32_t l = 0; l < rgb_lig; ++l)
        for (int32_t c = 0; c < rgb_col; ++c) {
            const unsigned char* px = rgb[l] + 3 * c;
            expected_rgb << int(px[2]) << ',' << int(px[1]) << ',' << int(px[0]) << (c + 1 < rgb_col ? ' ' : '\n');
        }
    EXPECT_EQ(pillow_view(python, script, file("rgb.bmp")), expected_rgb.str());
}

}  // namespace
