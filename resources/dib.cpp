// The reader of Windows device-independent bitmaps.
//
// Sections:
//   1. Little-endian fields and the messages
//   2. The file, read in place through a read-only map
//   3. Colour count and the source description
//   4. convertDib: the DIB conversion into a 24-bit section
//   5. readDibFile: the steps from file to Image
//
// The reader never decodes from the file directly: it normalises the header
// and colour table into a source description (a 40-byte info header and its
// 4-byte colour entries), hands that and the pixel data to convertDib, which
// renders them into a bottom-up 24-bit BGR section with rows filled to 4
// bytes, and then repacks the section's rows into the Image as packed RGB.
//
// What the reader accepts: core (12-byte) and info (40-byte) headers, with
// or without the "BM" file header; uncompressed 1-, 4-, 8-, 16-, 24- and
// 32-bit pixels; bit-field masks for 16 and 32 bits; run-length compressed
// 8-bit and 4-bit data; rows stored top to bottom (uncompressed only), which
// come out upright with a positive height. Everything that is read is first
// checked against the size of the file.
//
// Which message each refusal shows (caption "Error", at most one per call):
//   file missing, unreadable, empty, or not a regular file (a pipe, a device,
//   a directory)                                "Failed to open DIB file %s.\n"
//   header size not readable, or not 12 or 40   "Unknown DIB file format."
//   header, colour table or bit-field masks past the end of the file, a pixel
//   offset past the end, colours used above 65535, zero or negative width,
//   zero height, more than 64 megapixels (|height| x width), a pixel format
//   not converted here, pixel rows past the end of the file, run-length data
//   that runs past a row, moves outside the image, ends without its
//   end-of-bitmap code or is stored top to bottom
//                                               "Image file conversion error."
//   any allocation                              "Out of memory."
#include "resources/dib.h"

#include <unistd.h>

#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "platform/system/regular_file.h"

#if defined(__SANITIZE_ADDRESS__)
#define DIB_POISON_MAP_TAIL 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DIB_POISON_MAP_TAIL 1
#endif
#endif
#if DIB_POISON_MAP_TAIL
#include <sanitizer/asan_interface.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#define DIB_BYTE_SHUFFLE 1
#include <immintrin.h>
#endif

bool showImageErrors = true;

namespace {

// ---------------------------------------------------------------------------
// 1. Little-endian fields and the messages

constexpr size_t fileHeaderSize = 14;
constexpr uint32_t coreHeaderSize = 12;
constexpr uint32_t infoHeaderSize = 40;
constexpr uint16_t fileMagic = 0x4D42;  // "BM"

// Field offsets of an info header, and so of the source and target descriptions.
constexpr size_t fieldWidth = 4;
constexpr size_t fieldHeight = 8;
constexpr size_t fieldPlanes = 12;
constexpr size_t fieldBitCount = 14;
constexpr size_t fieldCompression = 16;
constexpr size_t fieldImageSize = 20;
constexpr size_t fieldColorsUsed = 32;
constexpr size_t fieldColorsImportant = 36;

// Core header fields.
constexpr size_t coreWidth = 4;
constexpr size_t coreHeight = 6;
constexpr size_t corePlanes = 8;
constexpr size_t coreBitCount = 10;

constexpr uint32_t compressionNone = 0;
constexpr uint32_t compressionRle8 = 1;
constexpr uint32_t compressionRle4 = 2;
constexpr uint32_t compressionBitFields = 3;

constexpr size_t openTextSize = 256;  // bytes, the terminating NUL included

// The most pixels a picture may have: far above any texture the show can
// use, and refused before anything is allocated for it, since a few bytes of
// run-length data can declare gigapixels.
constexpr uint64_t maxPixelCount = uint64_t{8192} * 8192;  // 64 megapixels

const char* const outOfMemoryText = "Out of memory.";
const char* const unknownFormatText = "Unknown DIB file format.";
const char* const conversionErrorText = "Image file conversion error.";

uint16_t read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t readSigned32(const uint8_t* p) {
    return static_cast<int32_t>(read32(p));
}

void write16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void write32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void showError(const char* text) {
    if (showImageErrors) platform::messageBox(text, "Error", platform::Buttons::Ok);
}

// ---------------------------------------------------------------------------
// 2. The file, read in place through a read-only map

// The whole file mapped read-only, for the life of the object. ok() is false
// when it could not be opened, sized or mapped; an empty file cannot be
// mapped, and only a regular file is opened at all.
class MappedFile {
public:
    explicit MappedFile(const char* path) {
        uint64_t bytes = 0;
        fd_ = platform::openRegularFile(path, bytes);
        if (fd_ < 0 || bytes == 0 || bytes > SIZE_MAX) return;
        size_ = static_cast<size_t>(bytes);
        data_ = platform::mapFile(fd_, size_);
        if (data_ == nullptr) return;
#if DIB_POISON_MAP_TAIL
        // The map ends on a page boundary, so a read just past the file would
        // go unnoticed; in checked builds the bytes after the file are fenced.
        __asan_poison_memory_region(data_ + size_, mappedLength() - size_);
#endif
    }
    ~MappedFile() {
        if (data_ != nullptr) {
#if DIB_POISON_MAP_TAIL
            __asan_unpoison_memory_region(data_ + size_, mappedLength() - size_);
#endif
            platform::unmapFile(data_, size_);
        }
        if (fd_ >= 0) close(fd_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool ok() const { return data_ != nullptr; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
#if DIB_POISON_MAP_TAIL
    size_t mappedLength() const {
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        return (size_ + page - 1) / page * page;
    }
#endif
    int fd_ = -1;
    size_t size_ = 0;
    const uint8_t* data_ = nullptr;
};

// The wide name in the locale's multibyte encoding. ok is false when a
// character has no encoding there; it is then shown as '?'.
std::string narrowName(const wchar_t* name, bool& ok) {
    ok = true;
    std::string narrow;
    if (name == nullptr) {
        ok = false;
        return narrow;
    }
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (const wchar_t* c = name; *c != L'\0'; ++c) {
        size_t length = std::wcrtomb(bytes, *c, &state);
        if (length == static_cast<size_t>(-1)) {
            ok = false;
            narrow += '?';
            state = std::mbstate_t{};
        } else {
            narrow.append(bytes, length);
        }
    }
    return narrow;
}

// "Failed to open DIB file <name>.\n" in at most openTextSize bytes: a name
// too long for it is cut, never in the middle of a UTF-8 character, so the
// text always ends in ".\n".
void showOpenFailure(const std::string& name) {
    static const char prefix[] = "Failed to open DIB file ";
    static const char suffix[] = ".\n";
    const size_t room = openTextSize - 1 - (sizeof prefix - 1) - (sizeof suffix - 1);
    size_t length = name.size();
    if (length > room) {
        length = room;
        while (length > 0 && (static_cast<uint8_t>(name[length]) & 0xC0) == 0x80) --length;
    }
    char text[openTextSize];
    std::snprintf(text, sizeof text, "%s%.*s%s", prefix, static_cast<int>(length), name.data(), suffix);
    showError(text);
}

// ---------------------------------------------------------------------------
// 3. Colour count and the source description

// Red, green and blue masks of 16- and 32-bit pixels.
struct BitMasks {
    uint32_t red = 0, green = 0, blue = 0;
};

// Fills the source description (already sized for count colour entries) from
// the header at header, of which headerBytes lie in the file, and the colour
// table after it; also the bit-field masks, and where the colour table ends
// counted from the header. False when any of it lies past the end of the file
// or the colours-used field does not fit the 16-bit count.
bool describeSource(const uint8_t* header, size_t headerBytes, uint16_t count,
                    std::vector<uint8_t>& source, BitMasks& masks, size_t& tableEnd) {
    uint8_t* desc = source.data();
    uint8_t* colours = desc + infoHeaderSize;
    if (read32(header) == coreHeaderSize) {
        tableEnd = coreHeaderSize + size_t{3} * count;
        if (headerBytes < tableEnd) return false;
        write32(desc, infoHeaderSize);
        write32(desc + fieldWidth, read16(header + coreWidth));
        write32(desc + fieldHeight, read16(header + coreHeight));
        write16(desc + fieldPlanes, read16(header + corePlanes));
        write16(desc + fieldBitCount, read16(header + coreBitCount));
        write32(desc + fieldCompression, compressionNone);
        write32(desc + fieldImageSize, 0);
        write32(desc + fieldColorsUsed, count);
        write32(desc + fieldColorsImportant, count);
        const uint8_t* table = header + coreHeaderSize;
        for (size_t i = 0; i < count; ++i) {
            colours[4 * i + 0] = table[3 * i + 0];
            colours[4 * i + 1] = table[3 * i + 1];
            colours[4 * i + 2] = table[3 * i + 2];
            colours[4 * i + 3] = 0;
        }
        return true;
    }
    if (headerBytes < infoHeaderSize) return false;
    // The count is 16 bits wide: a larger colours-used value would be cut.
    if (read32(header + fieldColorsUsed) > 0xFFFF) return false;
    // Bit-field masks sit between the header and the colour table.
    size_t maskBytes = 0;
    if (read32(header + fieldCompression) == compressionBitFields) {
        maskBytes = 12;
        if (headerBytes < infoHeaderSize + maskBytes) return false;
        masks.red = read32(header + infoHeaderSize);
        masks.green = read32(header + infoHeaderSize + 4);
        masks.blue = read32(header + infoHeaderSize + 8);
    }
    tableEnd = infoHeaderSize + maskBytes + size_t{4} * count;
    if (headerBytes < tableEnd) return false;
    std::memcpy(desc, header, infoHeaderSize);
    std::memcpy(colours, header + infoHeaderSize + maskBytes, size_t{4} * count);
    return true;
}

// Bytes per stored row of width pixels of bits each, filled to 4 bytes.
uint64_t rowBytes(uint64_t width, uint64_t bits) {
    return (width * bits + 31) / 32 * 4;
}

// Whether the source description is one that convertDib turns into a
// section, with its dimensions in range and its uncompressed rows inside the
// pixelBytes that the file holds from the pixel data position on.
bool convertible(const uint8_t* desc, size_t pixelBytes) {
    const int64_t width = readSigned32(desc + fieldWidth);
    const int64_t height = readSigned32(desc + fieldHeight);
    const uint16_t bits = read16(desc + fieldBitCount);
    const uint32_t compression = read32(desc + fieldCompression);
    if (width <= 0 || height == 0) return false;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    if (rows * static_cast<uint64_t>(width) > maxPixelCount) return false;
    switch (compression) {
    case compressionNone:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
        break;
    case compressionBitFields:
        if (bits != 16 && bits != 32) return false;
        break;
    case compressionRle8:
        return bits == 8 && height > 0;  // run-length data is always stored bottom up
    case compressionRle4:
        return bits == 4 && height > 0;
    default:
        return false;
    }
    return rowBytes(static_cast<uint64_t>(width), bits) * rows <= pixelBytes;
}

// ---------------------------------------------------------------------------
// 4. convertDib: the DIB conversion into a 24-bit section

// The section that convertDib renders into: bottom row first, 3 bytes per
// pixel (blue, green, red), rows filled to a multiple of 4 bytes.
struct Section {
    uint8_t* bits = nullptr;
    size_t stride = 0;  // bytes per row
    int32_t width = 0;
    int32_t height = 0;  // rows, always positive
    bool zeroFilled = false;
};

// Blue, green, red (and a 0) of every pixel value of a colour-table image.
// Values past the table come out black, so no index ever reads outside it.
struct Palette {
    uint8_t bgr[256][4] = {};
};

Palette makePalette(const uint8_t* desc) {
    Palette palette;
    const uint32_t count = read32(desc + fieldColorsUsed) != 0 ? read32(desc + fieldColorsUsed)
                                                                : dibColorCount(desc);
    const uint8_t* colours = desc + infoHeaderSize;
    for (uint32_t i = 0; i < count && i < 256; ++i) {
        palette.bgr[i][0] = colours[4 * i + 0];
        palette.bgr[i][1] = colours[4 * i + 1];
        palette.bgr[i][2] = colours[4 * i + 2];
    }
    return palette;
}

void putIndex(uint8_t* out, const Palette& palette, unsigned index) {
    out[0] = palette.bgr[index][0];
    out[1] = palette.bgr[index][1];
    out[2] = palette.bgr[index][2];
}

// 8-bit indices into a section row: four bytes stored per pixel, each store
// overwriting the spare byte of the one before; the last pixel of the row
// stores three, so nothing is written past the row's 3 x width bytes.
void putIndexRow8(uint8_t* out, const uint8_t* in, int32_t width, const Palette& palette) {
    int32_t x = 0;
    for (; x + 1 < width; ++x, out += 3) std::memcpy(out, palette.bgr[in[x]], 4);
    putIndex(out, palette, in[x]);
}

// One channel of a bit-field pixel, scaled to 0..255 with rounding.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1) == 0) ++shift;
        max = mask >> shift;
    }
    uint8_t operator()(uint32_t pixel) const {
        if (max == 0) return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint8_t>((value * 255 + max / 2) / max);
    }
};

// One stored row of uncompressed pixels into one section row.
void convertRow(uint8_t* out, const uint8_t* in, int32_t width, uint16_t bits, const Palette& palette,
                const Channel& red, const Channel& green, const Channel& blue) {
    switch (bits) {
    case 1:
        for (int32_t x = 0; x < width; ++x, out += 3)
            putIndex(out, palette, (in[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int32_t x = 0; x < width; ++x, out += 3)
            putIndex(out, palette, (x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4));
        break;
    case 8:
        putIndexRow8(out, in, width, palette);
        break;
    case 16:
        for (int32_t x = 0; x < width; ++x, out += 3, in += 2) {
            const uint32_t pixel = read16(in);
            out[0] = blue(pixel);
            out[1] = green(pixel);
            out[2] = red(pixel);
        }
        break;
    case 24:
        std::memcpy(out, in, static_cast<size_t>(width) * 3);
        break;
    case 32:
        for (int32_t x = 0; x < width; ++x, out += 3, in += 4) {
            const uint32_t pixel = read32(in);
            out[0] = blue(pixel);
            out[1] = green(pixel);
            out[2] = red(pixel);
        }
        break;
    default:
        break;
    }
}

// Run-length data (8 or 4 bits a pixel) into the section. Pixels that the
// data skips are black. False when a run passes the end of a
// row, a move leaves the image, or the data ends before its end code.
bool convertRle(const Section& section, const uint8_t* data, size_t bytes, uint16_t bits,
                const Palette& palette) {
    const int64_t width = section.width;
    const int64_t height = section.height;
    int64_t x = 0;
    int64_t y = 0;
    size_t at = 0;
    if (!section.zeroFilled) std::memset(section.bits, 0, section.stride * static_cast<size_t>(section.height));
    auto pixelAt = [&](int64_t column) {
        return section.bits + static_cast<size_t>(y) * section.stride + static_cast<size_t>(column) * 3;
    };
    for (;;) {
        if (bytes - at < 2) return false;
        const uint8_t first = data[at];
        const uint8_t second = data[at + 1];
        at += 2;
        if (first > 0) {
            // A run of first pixels of the colour(s) in second.
            if (y >= height || x + first > width) return false;
            for (int k = 0; k < first; ++k) {
                const unsigned index = bits == 8 ? second : ((k & 1) ? (second & 0x0F) : (second >> 4));
                putIndex(pixelAt(x + k), palette, index);
            }
            x += first;
        } else if (second == 0) {  // end of line
            if (y >= height) return false;
            x = 0;
            ++y;
        } else if (second == 1) {  // end of bitmap
            return true;
        } else if (second == 2) {  // move right and up
            if (bytes - at < 2) return false;
            x += data[at];
            y += data[at + 1];
            at += 2;
            if (x > width || y >= height) return false;
        } else {
            // second literal pixels, their bytes filled to a 16-bit boundary.
            const size_t count = second;
            const size_t literalBytes = bits == 8 ? count : (count + 1) / 2;
            if (bytes - at < literalBytes) return false;
            if (y >= height || x + static_cast<int64_t>(count) > width) return false;
            const uint8_t* literal = data + at;
            for (size_t k = 0; k < count; ++k) {
                const unsigned index =
                    bits == 8 ? literal[k] : ((k & 1) ? (literal[k / 2] & 0x0F) : (literal[k / 2] >> 4));
                putIndex(pixelAt(x + static_cast<int64_t>(k)), palette, index);
            }
            x += static_cast<int64_t>(count);
            at += literalBytes + (literalBytes & 1);
            if (at > bytes) at = bytes;
        }
    }
}

// The DIB conversion: renders the pixelBytes of pixel data at pixels,
// described by the source description desc (and masks for bit fields), into
// the section described by target. Returns the number of lines converted: 0
// on failure, else the section's height.
uint32_t convertDib(const Section& section, const uint8_t* target, const uint8_t* pixels,
                    size_t pixelBytes, const uint8_t* desc, const BitMasks& masks) {
    if (read16(target + fieldBitCount) != 24 || !convertible(desc, pixelBytes)) return 0;
    const int32_t width = readSigned32(desc + fieldWidth);
    const int32_t height = readSigned32(desc + fieldHeight);
    const uint16_t bits = read16(desc + fieldBitCount);
    const uint32_t compression = read32(desc + fieldCompression);
    const Palette palette = bits <= 8 ? makePalette(desc) : Palette{};

    if (compression == compressionRle8 || compression == compressionRle4)
        return convertRle(section, pixels, pixelBytes, bits, palette) ? static_cast<uint32_t>(section.height) : 0;

    BitMasks m = masks;
    if (compression == compressionNone && bits == 16) m = {0x7C00, 0x03E0, 0x001F};
    if (compression == compressionNone && bits == 32) m = {0xFF0000, 0x00FF00, 0x0000FF};
    const Channel red(m.red), green(m.green), blue(m.blue);

    const size_t stride = rowBytes(static_cast<uint64_t>(width), bits);
    for (int32_t row = 0; row < section.height; ++row) {
        // A negative height stores the top row first; the section is bottom up.
        const int32_t stored = height > 0 ? row : section.height - 1 - row;
        convertRow(section.bits + static_cast<size_t>(row) * section.stride,
                   pixels + static_cast<size_t>(stored) * stride, width, bits, palette, red, green, blue);
    }
    return static_cast<uint32_t>(section.height);
}

// One section row of width pixels, blue, green, red, into one Image row of
// red, green, blue, from pixel x on. Four pixels at a time as three 32-bit
// words where the bytes lie in little-endian order.
void repackRowWords(uint8_t* out, const uint8_t* in, int32_t width, int32_t x) {
    in += static_cast<size_t>(x) * 3;
    out += static_cast<size_t>(x) * 3;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 4 <= width; x += 4, in += 12, out += 12) {
            // Whole-register loads and stores, so no store waits on a part of one.
            uint64_t low = 0;
            uint32_t w2 = 0;
            std::memcpy(&low, in, 8);
            std::memcpy(&w2, in + 8, 4);
            const uint32_t w0 = static_cast<uint32_t>(low);
            const uint32_t w1 = static_cast<uint32_t>(low >> 32);
            // in:  B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3  (lowest byte first)
            // out: R0 G0 B0 R1 | G1 B1 R2 G2 | B2 R3 G3 B3
            const uint32_t o0 = ((w0 >> 16) & 0xFF) | (w0 & 0xFF00) | ((w0 & 0xFF) << 16) | ((w1 & 0xFF00) << 16);
            const uint32_t o1 = (w1 & 0xFF) | ((w0 >> 24) << 8) | ((w2 & 0xFF) << 16) | (w1 & 0xFF000000);
            const uint32_t o2 = ((w1 >> 16) & 0xFF) | ((w2 >> 24) << 8) | (w2 & 0xFF0000) | ((w2 & 0xFF00) << 16);
            const uint64_t outLow = o0 | static_cast<uint64_t>(o1) << 32;
            std::memcpy(out, &outLow, 8);
            std::memcpy(out + 8, &o2, 4);
        }
    }
    for (; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

#if DIB_BYTE_SHUFFLE
// The same with a byte shuffle: sixteen bytes read and written per four
// pixels, of which the last four are read again and rewritten by the next
// step; the loop stops while those sixteen bytes still lie in the row.
__attribute__((target("ssse3"))) void repackRowShuffle(uint8_t* out, const uint8_t* in, int32_t width) {
    const __m128i swap = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    int32_t x = 0;
    for (; 3 * static_cast<int64_t>(x) + 16 <= 3 * static_cast<int64_t>(width); x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * static_cast<size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<size_t>(x)), _mm_shuffle_epi8(pixels, swap));
    }
    repackRowWords(out, in, width, x);
}
#endif

// One section row into one Image row.
void repackRow(uint8_t* out, const uint8_t* in, int32_t width) {
#if DIB_BYTE_SHUFFLE
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) {
        repackRowShuffle(out, in, width);
        return;
    }
#endif
    repackRowWords(out, in, width, 0);
}

// ---------------------------------------------------------------------------
// 5. readDibFile: the steps from file to Image

// The memory of the 24-bit section. Small sections come from the heap, which
// hands the same memory back call after call, and are not cleared: the
// conversion writes every pixel of them (run-length data clears them first).
// Large ones are whole pages straight from the system, zero-filled, faulted
// in at once (in huge pages where the system offers them) instead of page by
// page while they are written.
class SectionMemory {
public:
    explicit SectionMemory(size_t bytes) : length_(bytes) {
        if (bytes == 0) return;
        if (bytes < largeSectionBytes) {
            bits_ = static_cast<uint8_t*>(std::malloc(bytes));
            return;
        }
        mapped_ = true;
        bits_ = platform::mapZeroedPages(length_);
    }
    ~SectionMemory() {
        if (bits_ == nullptr) return;
        if (mapped_)
            platform::unmapPages(bits_, length_);
        else
            std::free(bits_);
    }
    SectionMemory(const SectionMemory&) = delete;
    SectionMemory& operator=(const SectionMemory&) = delete;
    uint8_t* bits() const { return bits_; }
    bool zeroFilled() const { return mapped_; }

private:
    static constexpr size_t largeSectionBytes = size_t{4} << 20;
    size_t length_ = 0;
    bool mapped_ = false;
    uint8_t* bits_ = nullptr;
};

// The steps from a file named in the local encoding to an Image. opened
// tells whether the file was opened and mapped; every other failure has shown
// its message before this returns. What each step makes is released when it
// goes out of scope, in reverse order of making: the section, the target and
// source descriptions, the map and the file.
std::unique_ptr<Image> decodeDibFile(const char* path, bool& opened) {
    // 1. The file, mapped read-only and read in place.
    MappedFile file(path);
    opened = file.ok();
    if (!opened) return nullptr;
    const uint8_t* const base = file.data();
    const size_t fileSize = file.size();

    // 2. With "BM" in front, the DIB header follows the file header and the
    // pixel data lies at the offset the file header gives.
    size_t headerStart = 0;
    bool pixelPositionSet = false;
    size_t pixelPosition = 0;
    if (fileSize >= 2 && read16(base) == fileMagic) {
        headerStart = fileHeaderSize;
        if (fileSize >= fileHeaderSize) {
            pixelPosition = read32(base + 10);
            pixelPositionSet = true;
        }
    }
    const size_t headerBytes = fileSize > headerStart ? fileSize - headerStart : 0;
    const uint8_t* const header = base + (headerBytes > 0 ? headerStart : 0);
    const uint32_t headerSize = headerBytes >= 4 ? read32(header) : 0;

    // 3. The colour count, before the header size is known to be good; only
    // from fields that lie in the file.
    uint16_t count = 0;
    if (headerBytes >= (headerSize == coreHeaderSize ? coreHeaderSize : fieldColorsImportant))
        count = dibColorCount(header);

    // 4. The source description: an info header and count colour entries.
    std::vector<uint8_t> source;
    try {
        source.assign(infoHeaderSize + size_t{4} * count, 0);
    } catch (const std::bad_alloc&) {
        showError(outOfMemoryText);
        return nullptr;
    }

    // 5. Only core and info headers are known.
    if (headerSize != coreHeaderSize && headerSize != infoHeaderSize) {
        showError(unknownFormatText);
        return nullptr;
    }

    // 6. Fill the source description; the pixel data follows the colour
    // table unless the file header said where it is.
    BitMasks masks;
    size_t tableEnd = 0;
    if (!describeSource(header, headerBytes, count, source, masks, tableEnd)) {
        showError(conversionErrorText);
        return nullptr;
    }
    if (!pixelPositionSet) pixelPosition = headerStart + tableEnd;
    if (pixelPosition > fileSize || !convertible(source.data(), fileSize - pixelPosition)) {
        showError(conversionErrorText);
        return nullptr;
    }
    const uint8_t* const pixels = base + pixelPosition;
    const size_t pixelBytes = fileSize - pixelPosition;

    // 7. The target description, and the 24-bit section it describes.
    const int32_t width = readSigned32(source.data() + fieldWidth);
    const int32_t storedHeight = readSigned32(source.data() + fieldHeight);
    const int32_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    std::vector<uint8_t> target;
    try {
        target.assign(infoHeaderSize, 0);
    } catch (const std::bad_alloc&) {
        showError(outOfMemoryText);
        return nullptr;
    }
    write32(target.data(), infoHeaderSize);
    write32(target.data() + fieldWidth, static_cast<uint32_t>(width));
    write32(target.data() + fieldHeight, static_cast<uint32_t>(height));
    write16(target.data() + fieldPlanes, 1);
    write16(target.data() + fieldBitCount, 24);
    write32(target.data() + fieldCompression, compressionNone);
    const size_t stride = static_cast<size_t>(rowBytes(static_cast<uint64_t>(width), 24));
    SectionMemory sectionBits(static_cast<size_t>(height) * stride);
    if (sectionBits.bits() == nullptr) {
        showError(outOfMemoryText);
        return nullptr;
    }
    const Section section{sectionBits.bits(), stride, width, height, sectionBits.zeroFilled()};

    // 8. Convert.
    if (convertDib(section, target.data(), pixels, pixelBytes, source.data(), masks) == 0) {
        showError(conversionErrorText);
        return nullptr;
    }

    // 9. Repack the section's BGR rows into packed RGB rows, bottom row
    // first; each section row ends in (width mod 4) fill bytes.
    const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[pixelCount * 3]);
    if (!packed) {
        showError(outOfMemoryText);
        return nullptr;
    }
    const uint8_t* in = section.bits;
    uint8_t* out = packed.get();
    const size_t rowBytesOut = static_cast<size_t>(width) * 3;
    for (int32_t row = 0; row < height; ++row) {
        repackRow(out, in, width);
        in += rowBytesOut + static_cast<size_t>(width % 4);
        out += rowBytesOut;
    }

    // 10. The record.
    std::unique_ptr<Image> image(new (std::nothrow) Image);
    if (!image) {
        showError(outOfMemoryText);
        return nullptr;
    }
    image->width = width;
    image->height = height;
    image->pixels = std::move(packed);
    return image;
}

}  // namespace

uint16_t dibColorCount(const uint8_t* header) {
    uint16_t bits = 0;
    if (read32(header) == coreHeaderSize) {
        bits = read16(header + coreBitCount);
    } else {
        const uint32_t used = read32(header + fieldColorsUsed);
        if (used != 0) return static_cast<uint16_t>(used);
        bits = read16(header + fieldBitCount);
    }
    switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

std::unique_ptr<Image> readDibFile(const void* fileName, bool wideName) {
    std::string name;
    bool nameOk = true;
    if (wideName)
        name = narrowName(static_cast<const wchar_t*>(fileName), nameOk);
    else if (fileName != nullptr)
        name = static_cast<const char*>(fileName);
    else
        nameOk = false;

    bool opened = false;
    std::unique_ptr<Image> image = decodeDibFile(nameOk ? name.c_str() : nullptr, opened);
    // The open failure is shown once the file is released.
    if (!image && !opened) showOpenFailure(name);
    return image;
}

std::unique_ptr<Image> readDibFile(const char* fileName) {
    return readDibFile(fileName, false);
}
