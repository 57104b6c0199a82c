// Bitmap files for the reader's tests: good files come from makedata's
// writer (tools/makedata/bmp_writer.h); the helpers here write the common
// ones and damage them where a test needs a bad one.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "platform/system/testing.h"
#include "tools/makedata/bmp_writer.h"

namespace dib_files {

using Bytes = std::vector<uint8_t>;

constexpr size_t pixelOffsetAt = 10;  // the file header's pixel offset field
constexpr size_t fileHeaderBytes = 14;

inline void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// A packed DIB (no "BM" header) of the description.
inline Bytes packedDib(bmp::Bitmap bitmap) {
    bitmap.fileHeader = false;
    return bmp::write(bitmap);
}

// The little-endian 32-bit field at `at`, read and overwritten.
inline uint32_t field(const Bytes& b, size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t(b.at(at + 3)) << 24;
}
inline void setField(Bytes& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// The file with its info header's size field set to size; a header larger
// than 40 bytes gets zeros after them, and the pixel offset moves along.
inline Bytes withHeaderSize(Bytes file, uint32_t size) {
    const bool hasFileHeader = file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
    const size_t headerAt = hasFileHeader ? fileHeaderBytes : 0;
    setField(file, headerAt, size);
    if (size > 40) {
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(headerAt + 40), size - 40, 0);
        if (hasFileHeader) setField(file, pixelOffsetAt, field(file, pixelOffsetAt) + (size - 40));
    }
    return file;
}

// Colour entries where entry i is (i, 2i, 3i) as red, green, blue mod 256.
inline std::vector<bmp::Colour> rampPalette(size_t count) {
    std::vector<bmp::Colour> palette;
    for (size_t i = 0; i < count; ++i)
        palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i)});
    return palette;
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
