// Writes the seed bitmaps of the ChargeBMP fuzz target with the library's own
// writer: small images of every kind the reader accepts.
//
// Usage: make_seeds <folder>   (the files are written into <folder>)
#include <cstdint>
#include <cstdio>
#include <string>

#include "IMAGE.h"
#include "NRUTIL.h"

namespace {

// A grid of NbLig lines of `line_bytes` bytes holding a simple pattern.
unsigned char** pattern_grid(int32_t line_bytes, int32_t NbLig)
{
    unsigned char** grid = ucmatrice(line_bytes, NbLig);
    if (grid == nullptr) return nullptr;
    for (int32_t i = 0; i < NbLig; ++i)
        for (int32_t j = 0; j < line_bytes; ++j) grid[i][j] = static_cast<unsigned char>(17 * i + 5 * j + 1);
    return grid;
}

bool save(const std::string& folder, const char* name, int32_t NbCol, int32_t NbLig, int32_t Type,
          const Color32* palette)
{
    const int32_t line_bytes = NbCol * (Type == 2 ? 3 : 1);
    unsigned char** grid = NbLig > 0 ? pattern_grid(line_bytes, NbLig) : nullptr;
    const std::string path = folder + "/" + name;
    const bool ok = SauveBMP(path.c_str(), grid, NbCol, NbLig, Type, palette) == 0;
    if (grid != nullptr) frucmatrice(grid, NbLig);
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];

    Color32 colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = Color32{static_cast<unsigned char>(255 - i), static_cast<unsigned char>(i / 2),
                             static_cast<unsigned char>(i), static_cast<unsigned char>(i % 3)};

    bool ok = true;
    ok &= save(folder, "gray_5x3.bmp", 5, 3, 0, nullptr);         // 3 fill bytes per row
    ok &= save(folder, "gray_1x1.bmp", 1, 1, 0, nullptr);
    ok &= save(folder, "palette_4x2.bmp", 4, 2, 1, colours);      // not the gray ramp: type 1
    ok &= save(folder, "gray_no_lines.bmp", 7, 0, 0, nullptr);    // header and palette alone
    ok &= save(folder, "colour_4x2.bmp", 4, 2, 2, nullptr);       // 24 bits, no fill bytes
    ok &= save(folder, "colour_1x3.bmp", 1, 3, 2, nullptr);       // 24 bits, 1 fill byte
    ok &= save(folder, "colour_no_lines.bmp", 3, 0, 2, nullptr);
    return ok ? 0 : 1;
}
