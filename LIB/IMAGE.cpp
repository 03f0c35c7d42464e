#include "IMAGE.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "NRUTIL.h"

namespace {

constexpr uint16_t kBmType = 19778;  // the bytes 'B', 'M' read least significant first
constexpr size_t kHeaderBytes = 54;
constexpr int kPaletteEntries = 256;
constexpr size_t kEntryBytes = 4;
constexpr uint32_t kOffBits8 = 1078;  // header + palette
constexpr uint32_t kOffBits24 = 54;   // header alone
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kPelsPerMeter = 10000;
constexpr uint64_t kLargestFileSize = 0xFFFFFFFFull;  // BfSize is 32 bits
constexpr int32_t kLargestReadDimension = 32767;

// ---------------------------------------------------------------------------
// Header bytes: every field least significant byte first at its own offset.

void put16(unsigned char* at, uint16_t value)
{
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
}

uint16_t get16(const unsigned char* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t get32(const unsigned char* at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

void header_to_bytes(const BMP_Header& h, unsigned char* bytes)
{
    put16(bytes + 0, h.BfType);
    put32(bytes + 2, h.BfSize);
    put16(bytes + 6, h.Res1);
    put16(bytes + 8, h.Res2);
    put32(bytes + 10, h.BfOffBits);
    put32(bytes + 14, h.BiSize);
    put32(bytes + 18, h.BiWidth);
    put32(bytes + 22, h.BiHeight);
    put16(bytes + 26, h.BiPlanes);
    put16(bytes + 28, h.BiBitCount);
    put32(bytes + 30, h.BiCompression);
    put32(bytes + 34, h.BiSizeImage);
    put32(bytes + 38, h.BiXPelsPerMeter);
    put32(bytes + 42, h.BiYPelsPerMeter);
    put32(bytes + 46, h.BiClrUsed);
    put32(bytes + 50, h.BiClrImportant);
}

BMP_Header header_from_bytes(const unsigned char* bytes)
{
    BMP_Header h{};
    h.BfType = get16(bytes + 0);
    h.BfSize = get32(bytes + 2);
    h.Res1 = get16(bytes + 6);
    h.Res2 = get16(bytes + 8);
    h.BfOffBits = get32(bytes + 10);
    h.BiSize = get32(bytes + 14);
    h.BiWidth = get32(bytes + 18);
    h.BiHeight = get32(bytes + 22);
    h.BiPlanes = get16(bytes + 26);
    h.BiBitCount = get16(bytes + 28);
    h.BiCompression = get32(bytes + 30);
    h.BiSizeImage = get32(bytes + 34);
    h.BiXPelsPerMeter = get32(bytes + 38);
    h.BiYPelsPerMeter = get32(bytes + 42);
    h.BiClrUsed = get32(bytes + 46);
    h.BiClrImportant = get32(bytes + 50);
    return h;
}

// ---------------------------------------------------------------------------
// Shared by writer and reader.

// Stored row length: the line's bytes rounded up to a multiple of 4.
uint64_t row_stride(uint64_t line_bytes)
{
    return (line_bytes + 3) / 4 * 4;
}

Color32 gray_ramp_entry(int i)
{
    const auto level = static_cast<unsigned char>(i);
    return Color32{level, level, level, 0};
}

// ---------------------------------------------------------------------------
// Writing.

// The header of an image whose sizes were already checked to fit 32 bits.
BMP_Header make_header(int32_t NbCol, int32_t NbLig, bool eight_bits, uint64_t TBuff)
{
    BMP_Header h{};
    h.BfType = kBmType;
    h.BfOffBits = eight_bits ? kOffBits8 : kOffBits24;
    h.BiSizeImage = static_cast<uint32_t>(static_cast<uint64_t>(NbLig) * TBuff);
    h.BfSize = h.BfOffBits + h.BiSizeImage;
    h.Res1 = 0;
    h.Res2 = 0;
    h.BiSize = kInfoHeaderBytes;
    h.BiWidth = static_cast<uint32_t>(NbCol);
    h.BiHeight = static_cast<uint32_t>(NbLig);
    h.BiPlanes = 1;
    h.BiBitCount = eight_bits ? 8 : 24;
    h.BiCompression = 0;
    h.BiXPelsPerMeter = kPelsPerMeter;
    h.BiYPelsPerMeter = kPelsPerMeter;
    h.BiClrUsed = 0;
    h.BiClrImportant = 0;
    return h;
}

// True when every line the writer will copy from is there.
bool grid_present(unsigned char** Buff, int32_t NbLig)
{
    if (Buff == nullptr) return false;
    for (int32_t i = 0; i < NbLig; ++i)
        if (Buff[i] == nullptr) return false;
    return true;
}

// The caller's palette, or the gray ramp when there is none, as 256 entries of
// B, G, R, O.
void palette_to_bytes(const Color32* ColorMAP, unsigned char* bytes)
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        const Color32 entry = ColorMAP != nullptr ? ColorMAP[i] : gray_ramp_entry(i);
        unsigned char* at = bytes + i * kEntryBytes;
        at[0] = entry.B;
        at[1] = entry.G;
        at[2] = entry.R;
        at[3] = entry.O;
    }
}

// The sizes of an image that SauveBMP accepts: false for negative sizes, an
// unknown type, or a file longer than the header's 32-bit sizes can describe.
bool image_layout(int32_t NbCol, int32_t NbLig, int32_t Type, uint64_t& line_bytes, uint64_t& TBuff)
{
    if (NbCol < 0 || NbLig < 0 || Type < 0 || Type > 2) return false;
    line_bytes = static_cast<uint64_t>(NbCol) * (Type != 2 ? 1 : 3);
    TBuff = row_stride(line_bytes);
    const uint64_t offset = Type != 2 ? kOffBits8 : kOffBits24;
    return offset + static_cast<uint64_t>(NbLig) * TBuff <= kLargestFileSize;
}

// Writes the lines bottom-up through the scratch row, whose fill bytes at the
// end stay 0 because only the first line_bytes are ever overwritten.
bool write_rows(std::FILE* f, unsigned char** Buff, int32_t NbLig, size_t line_bytes, unsigned char* BuffTmp,
                size_t TBuff)
{
    for (int32_t i = NbLig - 1; i >= 0; --i) {
        std::memcpy(BuffTmp, Buff[i], line_bytes);
        if (std::fwrite(BuffTmp, 1, TBuff, f) != TBuff) return false;
    }
    return true;
}

// Writes the whole file; false on the first write, flush or close that fails,
// with errno still telling the system's reason for that first failure.
bool write_file(const char* Nom, const std::vector<unsigned char>& head, unsigned char** Buff, int32_t NbLig,
                size_t line_bytes, unsigned char* BuffTmp, size_t TBuff)
{
    std::FILE* f = std::fopen(Nom, "wb");
    if (f == nullptr) return false;
    bool written = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    if (written && TBuff > 0) written = write_rows(f, Buff, NbLig, line_bytes, BuffTmp, TBuff);
    if (written && std::fflush(f) != 0) written = false;
    const int first_error = errno;
    if (std::fclose(f) != 0) return false;
    if (!written) errno = first_error;
    return written;
}

// ---------------------------------------------------------------------------
// Reading.

// The kind given by the bit count and the pixel offset: bytes per pixel and
// image type, or 0 bytes per pixel for a pair the reader does not know.
int bytes_per_pixel_read(const BMP_Header& h, int32_t& Type)
{
    if (h.BiBitCount == 8 && h.BfOffBits == kOffBits8) {
        Type = 0;
        return 1;
    }
    if (h.BiBitCount == 24 && h.BfOffBits == kOffBits24) {
        Type = 2;
        return 3;
    }
    return 0;
}

// Width from 1 and height from 0 up to 32767; a negative height would mean
// rows stored top-down, which the reader does not handle.
bool dimensions_supported(int32_t width, int32_t height)
{
    return width > 0 && width <= kLargestReadDimension && height >= 0 && height <= kLargestReadDimension;
}

// Reads the 256 palette entries; false when the file holds fewer. A short
// palette still leaves the entries that were read in the buffer.
bool read_palette(std::FILE* f, Color32* palette)
{
    unsigned char bytes[kPaletteEntries * kEntryBytes];
    const size_t entries_read = std::fread(bytes, kEntryBytes, kPaletteEntries, f);
    for (size_t i = 0; i < entries_read; ++i) {
        const unsigned char* at = bytes + i * kEntryBytes;
        palette[i] = Color32{at[0], at[1], at[2], at[3]};
    }
    return entries_read == kPaletteEntries;
}

// True when entry i is gray level i for every i; the O bytes do not count.
bool is_gray_ramp(const Color32* palette)
{
    for (int i = 0; i < kPaletteEntries; ++i)
        if (palette[i].R != i || palette[i].G != i || palette[i].B != i) return false;
    return true;
}

// True when the file is long enough for the pixel rows the header announces,
// so that a hostile header cannot make the reader allocate more than the file
// could ever fill.
bool file_holds(const char* Name, uint64_t needed_bytes)
{
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(Name, error);
    return !error && length >= needed_bytes;
}

// A grid with no lines that is still not null: one null row pointer, released
// by frucmatrice(grid, 0) like any other grid.
unsigned char** empty_grid()
{
    return static_cast<unsigned char**>(std::calloc(1, sizeof(unsigned char*)));
}

// Reads the lines bottom-up into a new grid; null when a row falls short or
// memory runs out, the grid then given back.
unsigned char** read_rows(std::FILE* f, int32_t NbLig, int32_t line_bytes, size_t TBuff)
{
    if (NbLig == 0) return empty_grid();
    auto* BuffTmp = static_cast<unsigned char*>(std::calloc(TBuff, 1));
    unsigned char** grid = BuffTmp != nullptr ? ucmatrice(line_bytes, NbLig) : nullptr;
    if (grid != nullptr) {
        for (int32_t i = NbLig - 1; i >= 0; --i) {
            if (std::fread(BuffTmp, 1, TBuff, f) != TBuff) {
                frucmatrice(grid, NbLig);
                grid = nullptr;
                break;
            }
            std::memcpy(grid[i], BuffTmp, static_cast<size_t>(line_bytes));
        }
    }
    std::free(BuffTmp);
    return grid;
}

// Reads an open file from its start; null when it is refused.
unsigned char** read_image(std::FILE* f, const char* Name, int32_t& NbCol, int32_t& NbLig, int32_t& Type,
                           Color32* palette)
{
    unsigned char bytes[kHeaderBytes];
    if (std::fread(bytes, kHeaderBytes, 1, f) != 1) return nullptr;
    const BMP_Header h = header_from_bytes(bytes);
    if (h.BfType != kBmType) return nullptr;
    const int taille = bytes_per_pixel_read(h, Type);
    if (taille == 0) return nullptr;
    if (h.BiCompression == 1) return nullptr;

    const auto width = static_cast<int32_t>(h.BiWidth);
    const auto height = static_cast<int32_t>(h.BiHeight);
    if (!dimensions_supported(width, height)) return nullptr;
    NbCol = width;
    NbLig = height;

    if (taille == 1) {
        if (!read_palette(f, palette)) return nullptr;
        if (!is_gray_ramp(palette)) Type = 1;
    }

    const int32_t line_bytes = width * taille;
    const uint64_t TBuff = row_stride(static_cast<uint64_t>(line_bytes));
    if (!file_holds(Name, h.BfOffBits + static_cast<uint64_t>(height) * TBuff)) return nullptr;
    return read_rows(f, height, line_bytes, static_cast<size_t>(TBuff));
}

}  // namespace

bool EnteteBMP(int32_t NbCol, int32_t NbLig, int32_t Type, const Color32* ColorMAP, std::vector<unsigned char>& Entete)
{
    uint64_t line_bytes = 0;
    uint64_t TBuff = 0;
    if (!image_layout(NbCol, NbLig, Type, line_bytes, TBuff)) return false;
    const bool eight_bits = Type != 2;
    const BMP_Header h = make_header(NbCol, NbLig, eight_bits, TBuff);
    Entete.assign(h.BfOffBits, 0);
    header_to_bytes(h, Entete.data());
    if (eight_bits) palette_to_bytes(ColorMAP, Entete.data() + kHeaderBytes);
    return true;
}

uint64_t LongueurLigneBMP(int32_t NbCol, int32_t Type)
{
    return row_stride(static_cast<uint64_t>(NbCol) * (Type != 2 ? 1 : 3));
}

uint64_t PositionLigneBMP(int32_t NbCol, int32_t NbLig, int32_t Type, int32_t Ligne)
{
    const uint64_t offset = Type != 2 ? kOffBits8 : kOffBits24;
    return offset + static_cast<uint64_t>(NbLig - 1 - Ligne) * LongueurLigneBMP(NbCol, Type);
}

int32_t SauveBMP(const char* Nom, unsigned char** Buff, int32_t NbCol, int32_t NbLig, int32_t Type,
                 const Color32* ColorMAP)
{
    std::vector<unsigned char> head;
    if (Nom == nullptr || !EnteteBMP(NbCol, NbLig, Type, ColorMAP, head)) return -1;
    const uint64_t line_bytes = static_cast<uint64_t>(NbCol) * (Type != 2 ? 1 : 3);
    const uint64_t TBuff = row_stride(line_bytes);

    // Only an image with pixel bytes needs its lines and a scratch row.
    const bool has_pixels = NbLig > 0 && TBuff > 0;
    if (has_pixels && !grid_present(Buff, NbLig)) return -1;
    unsigned char* BuffTmp = nullptr;
    if (has_pixels) {
        BuffTmp = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(TBuff), 1));
        if (BuffTmp == nullptr) return -1;
    }

    const bool written = write_file(Nom, head, Buff, NbLig, static_cast<size_t>(line_bytes), BuffTmp,
                                    has_pixels ? static_cast<size_t>(TBuff) : 0);
    const int error = errno;
    std::free(BuffTmp);
    errno = error;  // the caller may report the system's reason for a failure
    return written ? 0 : -1;
}

unsigned char** ChargeBMP(const char* Name, int32_t& NbCol, int32_t& NbLig, int32_t& Type, Color32*& ColorMAP)
{
    // The palette buffer is obtained first and handed over at once when asked
    // for; the caller then owns it whatever becomes of the file.
    auto* palette = static_cast<Color32*>(std::calloc(kPaletteEntries, sizeof(Color32)));
    const bool palette_wanted = ColorMAP != nullptr;
    if (palette_wanted) ColorMAP = palette;

    unsigned char** grid = nullptr;
    if (palette != nullptr && Name != nullptr) {
        std::FILE* f = std::fopen(Name, "rb");
        if (f != nullptr) {
            grid = read_image(f, Name, NbCol, NbLig, Type, palette);
            std::fclose(f);
        }
    }
    if (!palette_wanted) frcolormap(palette);
    return grid;
}

void frcolormap(Color32* ColorMAP)
{
    std::free(ColorMAP);
}
