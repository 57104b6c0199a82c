#include "tools/makedata/bmp_writer.h"

#include <algorithm>

#include "tools/makedata/le_bytes.h"

namespace bmp {

namespace {

constexpr uint32_t fileHeaderBytes = 14;
constexpr uint32_t pixelsPerMetre = 2835;  // 72 dots an inch

uint32_t unfilledRowBytes(int32_t width, int bitsPerPixel) {
    return (static_cast<uint32_t>(width) * static_cast<uint32_t>(bitsPerPixel) + 7) / 8;
}

}  // namespace

uint32_t storedRowBytes(int32_t width, int bitsPerPixel) {
    return (unfilledRowBytes(width, bitsPerPixel) + 3) & ~3u;
}

std::vector<uint8_t> write(const Bitmap& bitmap) {
    const bool core = bitmap.headerBytes == 12;
    const uint32_t entryBytes = core ? 3 : 4;

    // 1. the pixels as stored, each plain row filled to a multiple of 4 bytes
    LeBytes pixels;
    const uint32_t rowBytes = unfilledRowBytes(bitmap.width, bitmap.bitsPerPixel);
    const bool plain = bitmap.compression == 0 || bitmap.compression == 3;
    if (!plain || rowBytes == 0) {
        pixels.data = bitmap.pixels;
    } else {
        for (size_t at = 0; at < bitmap.pixels.size(); at += rowBytes) {
            const size_t end = std::min(at + rowBytes, bitmap.pixels.size());
            pixels.data.insert(pixels.data.end(), bitmap.pixels.begin() + at, bitmap.pixels.begin() + end);
            if (end - at == rowBytes)
                pixels.data.insert(pixels.data.end(), storedRowBytes(bitmap.width, bitmap.bitsPerPixel) - rowBytes,
                                   bitmap.rowFill);
        }
    }

    // 2. the headers
    const uint32_t pixelOffset = (bitmap.fileHeader ? fileHeaderBytes : 0) + static_cast<uint32_t>(bitmap.headerBytes) +
                                 static_cast<uint32_t>(bitmap.masks.size()) * 4 +
                                 static_cast<uint32_t>(bitmap.palette.size()) * entryBytes;
    LeBytes out;
    if (bitmap.fileHeader) {
        out.u8('B');
        out.u8('M');
        out.u32(pixelOffset + static_cast<uint32_t>(pixels.size()));
        out.u32(0);  // two reserved words
        out.u32(pixelOffset);
    }
    if (core) {
        out.u32(12);
        out.u16(static_cast<unsigned>(bitmap.width));
        out.u16(static_cast<unsigned>(bitmap.height));
        out.u16(1);
        out.u16(static_cast<unsigned>(bitmap.bitsPerPixel));
    } else {
        out.u32(40);
        out.u32(static_cast<uint32_t>(bitmap.width));
        out.u32(static_cast<uint32_t>(bitmap.topDown ? -bitmap.height : bitmap.height));
        out.u16(1);
        out.u16(static_cast<unsigned>(bitmap.bitsPerPixel));
        out.u32(bitmap.compression);
        out.u32(static_cast<uint32_t>(pixels.size()));
        out.u32(pixelsPerMetre);
        out.u32(pixelsPerMetre);
        out.u32(bitmap.coloursUsed);
        out.u32(0);  // colours important: all
    }

    // 3. masks, colour table, pixels
    for (uint32_t mask : bitmap.masks) out.u32(mask);
    for (const Colour& c : bitmap.palette) {
        out.u8(c.blue);
        out.u8(c.green);
        out.u8(c.red);
        if (!core) out.u8(0);
    }
    out.append(pixels.data);
    return out.data;
}

}  // namespace bmp
