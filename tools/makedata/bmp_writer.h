// Windows bitmap files from a description: with the 14-byte "BM" file header
// or packed, with the 40-byte info header or the 12-byte core header, any
// bit depth, a colour table, bit-field masks, rows bottom first or top first,
// plain or run-length pixels. Fields a description does not name are the
// usual ones: one plane, 2835 pixels a metre (72 dots an inch), all colours
// important.
#pragma once

#include <cstdint>
#include <vector>

namespace bmp {

struct Colour {
    uint8_t red = 0, green = 0, blue = 0;
};

struct Bitmap {
    bool fileHeader = true;          // the "BM" header in front; false: a packed DIB
    int headerBytes = 40;            // 40: info header; 12: core header (16-bit sizes, 3-byte table entries)
    int32_t width = 1;               // pixels
    int32_t height = 1;              // pixels, written negated when topDown
    bool topDown = false;            // rows stored top row first (info header only)
    int bitsPerPixel = 24;           // 1, 4, 8, 16, 24 or 32
    uint32_t compression = 0;        // 0 plain, 1 run-length 8, 2 run-length 4, 3 bit fields
    uint32_t coloursUsed = 0;        // table entries the info header declares; 0: 2^bits up to 8 bits
    std::vector<uint32_t> masks{};   // red, green, blue masks right after the info header
    std::vector<Colour> palette{};   // the colour table, after the masks, as many entries as given
    std::vector<uint8_t> pixels{};   // plain: stored rows without their fill, each (width x bits + 7) / 8
                                     // bytes, 24 and 32 bits as blue, green, red (, unused);
                                     // run-length: the stream as stored
    uint8_t rowFill = 0;             // the bytes that fill each plain row to a multiple of 4
};

// The file's bytes: header fields (file size, pixel offset, image size)
// agree with what follows. Plain pixels are cut into rows and each row is
// filled; a short last row is written as it is, so a description may hold
// fewer rows than it declares.
std::vector<uint8_t> write(const Bitmap& bitmap);

// Bytes a plain stored row takes with its fill.
uint32_t storedRowBytes(int32_t width, int bitsPerPixel);

}  // namespace bmp
