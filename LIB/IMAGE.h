// BMP image files: uncompressed, bottom-up bitmaps of two kinds, 8 bits per
// pixel with a palette of 256 entries, or 24 bits per pixel without a palette.
//
// Image type codes (the Type parameter of both operations):
//   0  8-bit gray image: the palette is the gray ramp (entry i = i, i, i)
//   1  8-bit image with any other palette
//   2  24-bit colour image, three bytes per pixel in file order (B, G, R)
//
// A pixel grid is a row-pointer grid of unsigned 8-bit cells (the shape made by
// ucmatrice): NbLig lines of NbCol x taille bytes, taille being 1 for 8 bits
// and 3 for 24 bits. Line 0 is the top line of the picture. The file stores
// the lines bottom-up, each padded with zero bytes to a multiple of 4 bytes.
//
// Neither operation prints anything; each opens, uses and closes its file
// within the call.
#ifndef IMAGE_H
#define IMAGE_H

#include <cstdint>
#include <vector>

// One palette entry, in the byte order of the file. O is the fourth byte: 0 in
// the gray ramp, stored by the writer, never examined by the reader.
struct Color32 {
    unsigned char B;
    unsigned char G;
    unsigned char R;
    unsigned char O;
};

// The 16 header fields in file order. In the file each is stored least
// significant byte first, the 16 fields together filling 54 bytes; the library
// copies them field by field, so this record's memory layout never matters.
struct BMP_Header {
    uint16_t BfType;           // offset 0: 19778, the letters "BM"
    uint32_t BfSize;           // offset 2: length of the whole file
    uint16_t Res1;             // offset 6
    uint16_t Res2;             // offset 8
    uint32_t BfOffBits;        // offset 10: start of the pixel rows (1078 or 54)
    uint32_t BiSize;           // offset 14: 40
    uint32_t BiWidth;          // offset 18: pixels per line
    uint32_t BiHeight;         // offset 22: number of lines
    uint16_t BiPlanes;         // offset 26: 1
    uint16_t BiBitCount;       // offset 28: 8 or 24
    uint32_t BiCompression;    // offset 30: 0
    uint32_t BiSizeImage;      // offset 34: bytes of all pixel rows
    uint32_t BiXPelsPerMeter;  // offset 38
    uint32_t BiYPelsPerMeter;  // offset 42
    uint32_t BiClrUsed;        // offset 46
    uint32_t BiClrImportant;   // offset 50
};

// Writes the grid Buff (NbLig lines of NbCol pixels) as the BMP file Nom,
// replacing any file of that name. Type 0 or 1 writes an 8-bit image with the
// palette ColorMAP (256 entries, always read whole when given) or, when
// ColorMAP is null, the gray ramp; Type 2 writes a 24-bit image and no palette.
//
// Returns 0 when the whole file was written, -1 otherwise. Refused before
// anything is created: a negative NbCol or NbLig, a Type other than 0, 1, 2, a
// null Nom or Buff (Buff may be null when there are no pixel bytes), and an
// image whose file would be longer than 4 GiB - 1 bytes (the header's size
// fields are 32 bits). A file that cannot be created, a short write, or a
// failed flush or close also give -1, with errno telling the system's reason
// (for example ENOSPC for a full disk); the shorter file is then left behind.
int32_t SauveBMP(const char* Nom, unsigned char** Buff, int32_t NbCol, int32_t NbLig, int32_t Type,
                 const Color32* ColorMAP);

// Streaming: a writer that produces the lines one by one, in any order, puts
// the bytes EnteteBMP gives at the start of the file and each line at its
// offset PositionLigneBMP, padded with zero bytes to the stored row length.
// The file then holds exactly the bytes SauveBMP writes for the same image.
//
// EnteteBMP: the bytes before the pixel rows (the 54-byte header, then for
// 8 bits the 1024-byte palette, ColorMAP or the gray ramp), in Entete. False,
// Entete untouched, for the sizes and types SauveBMP refuses.
bool EnteteBMP(int32_t NbCol, int32_t NbLig, int32_t Type, const Color32* ColorMAP, std::vector<unsigned char>& Entete);

// Stored row length TBuff: the line's bytes rounded up to a multiple of 4.
uint64_t LongueurLigneBMP(int32_t NbCol, int32_t Type);

// File offset of grid line Ligne (0 = top line, 0 <= Ligne < NbLig) of such an
// image; the file is EnteteBMP's size plus NbLig rows of LongueurLigneBMP.
uint64_t PositionLigneBMP(int32_t NbCol, int32_t NbLig, int32_t Type, int32_t Ligne);

// Reads the BMP file Name into a new grid and returns it, setting NbCol, NbLig
// and Type (0 when the stored palette is the gray ramp, O bytes aside; 1 for
// any other 8-bit palette; 2 for 24 bits). Returns null when the file cannot
// be read or is refused: not "BM"; a bit count and pixel offset other than
// (8, 1078) or (24, 54); compression 1 (other compression values are read as
// uncompressed); a width of 0, a negative width or height (top-down rows), a
// width or height above 32767; a palette or pixel rows longer than the file;
// or memory that cannot be obtained. Nothing large is allocated before the
// file's length has been checked against the header.
//
// Palette hand-over: a non-null ColorMAP on entry asks for the palette. It is
// at once replaced (never written through, never released) by a new buffer of
// 256 entries that the caller owns from then on, on every path including the
// refusals, and releases with frcolormap. For a 24-bit image its content is
// undefined; after a short palette it holds what was read. ColorMAP is left
// null if that buffer cannot be obtained. A null ColorMAP declines the palette
// and stays null.
//
// The grid: NbLig row pointers, each to a row of NbCol x taille bytes, made by
// ucmatrice; the caller releases it with frucmatrice(grid, NbLig). An image of
// 0 lines gives a non-null grid with no lines: a block of one null row pointer,
// released the same way, frucmatrice(grid, 0) (or std::free).
unsigned char** ChargeBMP(const char* Name, int32_t& NbCol, int32_t& NbLig, int32_t& Type, Color32*& ColorMAP);

// Gives back a palette buffer handed over by ChargeBMP (null is accepted).
void frcolormap(Color32* ColorMAP);

#endif
