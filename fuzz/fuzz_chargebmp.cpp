// Fuzz target: the bytes as a BMP file, read by ChargeBMP with and without the
// palette; every grid it returns is written back with SauveBMP and read
// again, and the two readings must agree (sizes, type, pixel bytes, palette).
//
// ChargeBMP takes a path, so the bytes go to a file in a private temporary
// folder made once per process.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "IMAGE.h"
#include "NRUTIL.h"
#include "fuzz_input.h"

namespace {

namespace fs = std::filesystem;

std::string g_folder;  // the private temporary folder, removed at exit
std::string g_input_path;
std::string g_copy_path;

void remove_folder()
{
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

void write_file(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

struct Image {
    unsigned char** grid = nullptr;
    int32_t NbCol = -1;
    int32_t NbLig = -1;
    int32_t Type = -1;
    Color32* palette = nullptr;  // only when asked for

    ~Image()
    {
        if (grid != nullptr) frucmatrice(grid, NbLig);
        frcolormap(palette);
    }
};

// Reads `path`, asking for the palette or not. Color32 pointers handed in are
// only a request: a non-null value is replaced, never written through.
void load(const std::string& path, bool with_palette, Image& image)
{
    static Color32 request{};  // any non-null address asks for the palette
    image.palette = with_palette ? &request : nullptr;
    image.grid = ChargeBMP(path.c_str(), image.NbCol, image.NbLig, image.Type, image.palette);
    if (with_palette) FUZZ_CHECK(image.palette != &request);  // a new buffer, or null when none could be had
    else FUZZ_CHECK(image.palette == nullptr);
}

size_t line_bytes(const Image& image) { return static_cast<size_t>(image.NbCol) * (image.Type == 2 ? 3 : 1); }

void check_same_image(const Image& a, const Image& b)
{
    FUZZ_CHECK(b.grid != nullptr);
    FUZZ_CHECK(a.NbCol == b.NbCol && a.NbLig == b.NbLig && a.Type == b.Type);
    for (int32_t i = 0; i < a.NbLig; ++i) FUZZ_CHECK(std::memcmp(a.grid[i], b.grid[i], line_bytes(a)) == 0);
    if (a.Type != 2 && a.palette != nullptr && b.palette != nullptr)
        FUZZ_CHECK(std::memcmp(a.palette, b.palette, 256 * sizeof(Color32)) == 0);
}

// The library's contract for an accepted file.
void check_accepted(const Image& image)
{
    FUZZ_CHECK(image.Type >= 0 && image.Type <= 2);
    FUZZ_CHECK(image.NbCol >= 1 && image.NbCol <= 32767);
    FUZZ_CHECK(image.NbLig >= 0 && image.NbLig <= 32767);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "fuzz_chargebmp-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    g_folder = pattern;
    std::atexit(remove_folder);
    g_input_path = pattern + "/in.bmp";
    g_copy_path = pattern + "/copy.bmp";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    write_file(g_input_path, data, size);

    Image plain;
    load(g_input_path, false, plain);
    Image with_palette;
    load(g_input_path, true, with_palette);

    // The palette request changes nothing else.
    FUZZ_CHECK((plain.grid == nullptr) == (with_palette.grid == nullptr));
    if (plain.grid == nullptr) return 0;
    check_accepted(plain);
    check_same_image(plain, with_palette);

    // Round trip: what was read is written again and reads back the same.
    const Color32* palette = plain.Type == 2 ? nullptr : with_palette.palette;
    FUZZ_CHECK(SauveBMP(g_copy_path.c_str(), plain.grid, plain.NbCol, plain.NbLig, plain.Type, palette) == 0);
    Image copy;
    load(g_copy_path, true, copy);
    check_same_image(with_palette, copy);
    return 0;
}
