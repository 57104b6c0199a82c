// Bitmap files built byte by byte for the reader's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing.h"

namespace dib_files {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

struct InfoHeader {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    uint32_t size = 40;  // header size field
};

// A 40-byte info header (or just its fields, for odd header sizes, filled up
// to size bytes with zeros).
inline Bytes infoHeader(const InfoHeader& h) {
    Bytes b;
    put32(b, h.size);
    put32(b, static_cast<uint32_t>(h.width));
    put32(b, static_cast<uint32_t>(h.height));
    put16(b, h.planes);
    put16(b, h.bits);
    put32(b, h.compression);
    put32(b, h.imageSize);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, h.colorsUsed);
    put32(b, 0);
    while (b.size() < h.size) b.push_back(0);
    return b;
}

inline Bytes coreHeader(uint16_t width, uint16_t height, uint16_t bits) {
    Bytes b;
    put32(b, 12);
    put16(b, width);
    put16(b, height);
    put16(b, 1);
    put16(b, bits);
    return b;
}

// The 14-byte "BM" file header with the given pixel data offset.
inline Bytes fileHeader(uint32_t pixelOffset, uint32_t fileSize = 0) {
    Bytes b = {'B', 'M'};
    put32(b, fileSize);
    put32(b, 0);
    put32(b, pixelOffset);
    return b;
}

// Colour entries blue, green, red (and a reserved 0 when four bytes wide):
// entry i is (i, 2i, 3i) as red, green, blue mod 256, unless given.
inline Bytes colourTable(size_t count, int entryBytes) {
    Bytes b;
    for (size_t i = 0; i < count; ++i) {
        b.push_back(static_cast<uint8_t>(3 * i));  // blue
        b.push_back(static_cast<uint8_t>(2 * i));  // green
        b.push_back(static_cast<uint8_t>(i));      // red
        if (entryBytes == 4) b.push_back(0);
    }
    return b;
}

// The message boxes recorded in the platform journal, as "caption|text".
inline std::vector<std::string> shownBoxes() {
    std::vector<std::string> boxes;
    const std::string tag = "messageBox ";
    for (const std::string& entry : platform::journal())
        if (entry.compare(0, tag.size(), tag) == 0) boxes.push_back(entry.substr(tag.size()));
    return boxes;
}

inline void startJournal() {
    platform::selectBackend(platform::Backend::Headless);
    platform::enableJournal(true);
    platform::journal().clear();
}

}  // namespace dib_files
