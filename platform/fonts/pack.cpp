// Glyphs from the glyph pack (platform/fonts/pack.h) for the browser and
// Windows, where there is no fontconfig or FreeType: the outlines and
// bitmaps that fonts.cpp gave on the machine that built the show, for the
// heights and tolerances the show asks for. The pack is read from the
// show's data folder once, on first use; a pack that is absent, cut short
// or corrupt means no face at all, which the program refuses to play
// without.
//
// The test builds this file a second time with EYESONLY_PACK_FONTS naming
// another namespace, so that these calls live beside fonts.cpp's in one
// program; in the show they are platform's own.
//
// Sections:
//   1. The pack in memory
//   2. Reading it
//   3. The fonts contract (fonts.h): faces, outlines, bitmaps
#include "platform/fonts/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/fonts/pack.h"
#include "platform/system/process.h"

#ifndef EYESONLY_PACK_FONTS
#define EYESONLY_PACK_FONTS platform
#endif

namespace EYESONLY_PACK_FONTS {

// ---------------------------------------------------------------------------
// 1. The pack in memory

namespace {

struct OutlineSet {
    int height;
    double tolerance;
    std::vector<platform::GlyphOutline> glyphs;  // codes 0 to 254
};

struct BitmapSet {
    int height;
    std::vector<platform::GlyphBitmap> glyphs;  // codes 0 to 254
};

struct Pack {
    std::string family;
    std::string file;
    std::vector<OutlineSet> outlines;
    std::vector<BitmapSet> bitmaps;
};

// ---------------------------------------------------------------------------
// 2. Reading it

// The value with the same bits (the browser's library has no std::bit_cast).
template <class To, class From>
To sameBits(From from) {
    static_assert(sizeof(To) == sizeof(From));
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

// Reads the pack's fields in order. Every read checks what is left: a read
// past the end marks the reader failed and gives zeros, never a byte from
// outside the file.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    bool atEnd() const { return at_ == bytes_.size(); }
    size_t left() const { return bytes_.size() - at_; }

    // Whether count items of size bytes each can still be there; a count
    // no file could hold fails the reader at once.
    bool fits(uint64_t count, uint64_t size) {
        if (!ok_ || count > left() / size) ok_ = false;
        return ok_;
    }

    const uint8_t* take(size_t size) {
        if (!fits(size, 1)) return nullptr;
        const uint8_t* at = bytes_.data() + at_;
        at_ += size;
        return at;
    }

    uint8_t u8() {
        const uint8_t* b = take(1);
        return b ? b[0] : 0;
    }
    uint32_t u32() {
        const uint8_t* b = take(4);
        return b ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24 : 0;
    }
    uint64_t u64() {
        const uint64_t low = u32();
        return low | uint64_t(u32()) << 32;
    }
    int32_t i32() { return sameBits<int32_t>(u32()); }
    float f32() { return sameBits<float>(u32()); }
    double f64() { return sameBits<double>(u64()); }

    std::string string() {
        const uint32_t size = u32();
        const uint8_t* b = take(size);
        return b ? std::string(reinterpret_cast<const char*>(b), size) : std::string();
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

constexpr size_t outlineGlyphMinBytes = 6 * 4 + 1 + 4;  // metrics, flags, contour count
constexpr size_t pointBytes = 2 * 8;
constexpr size_t bitmapGlyphMinBytes = 5 * 4;           // sizes, origin, advance

platform::GlyphOutline readOutline(Reader& in) {
    platform::GlyphOutline glyph;
    platform::GlyphMetrics& m = glyph.metrics;
    m.blackBoxX = in.f32();
    m.blackBoxY = in.f32();
    m.originX = in.f32();
    m.originY = in.f32();
    m.cellIncX = in.f32();
    m.cellIncY = in.f32();
    const uint8_t flags = in.u8();
    glyph.fillRight = (flags & glyphpack::fillRightFlag) != 0;
    glyph.evenOdd = (flags & glyphpack::evenOddFlag) != 0;
    const uint32_t contours = in.u32();
    if (!in.fits(contours, 4)) return glyph;  // each contour holds at least its count
    glyph.contours.resize(contours);
    for (platform::GlyphContour& contour : glyph.contours) {
        const uint32_t points = in.u32();
        if (!in.fits(points, pointBytes)) return glyph;
        contour.resize(points);
        for (platform::GlyphPoint& p : contour) {
            p.x = in.f64();
            p.y = in.f64();
        }
    }
    return glyph;
}

platform::GlyphBitmap readBitmap(Reader& in) {
    platform::GlyphBitmap glyph;
    glyph.width = in.i32();
    glyph.rows = in.i32();
    glyph.xorig = in.f32();
    glyph.yorig = in.f32();
    glyph.advance = in.f32();
    if (glyph.width < 0 || glyph.rows < 0) {
        in.fail();
        return glyph;
    }
    const uint64_t rowBytes = (uint64_t(glyph.width) + 7) / 8;
    if (!in.fits(rowBytes, 1) || (rowBytes > 0 && !in.fits(glyph.rows, rowBytes))) return glyph;
    const size_t size = static_cast<size_t>(rowBytes * uint64_t(glyph.rows));
    const uint8_t* bits = in.take(size);
    if (bits) glyph.bits.assign(bits, bits + size);
    return glyph;
}

// The pack in bytes, or none when any field is missing, out of range, or
// followed by more bytes.
std::shared_ptr<const Pack> parsePack(const std::vector<uint8_t>& bytes) {
    Reader in(bytes);
    const uint8_t* magic = in.take(sizeof glyphpack::magic);
    if (!magic || std::memcmp(magic, glyphpack::magic, sizeof glyphpack::magic) != 0) return nullptr;
    if (in.u32() != glyphpack::version) return nullptr;

    auto pack = std::make_shared<Pack>();
    pack->family = in.string();
    pack->file = in.string();

    const uint32_t outlineSets = in.u32();
    if (!in.fits(outlineSets, 4 + 8 + glyphpack::glyphCount * outlineGlyphMinBytes)) return nullptr;
    pack->outlines.resize(outlineSets);
    for (OutlineSet& set : pack->outlines) {
        set.height = in.i32();
        set.tolerance = in.f64();
        set.glyphs.reserve(glyphpack::glyphCount);
        for (int code = 0; code < glyphpack::glyphCount && in.ok(); ++code) set.glyphs.push_back(readOutline(in));
    }

    const uint32_t bitmapSets = in.u32();
    if (!in.fits(bitmapSets, 4 + glyphpack::glyphCount * bitmapGlyphMinBytes)) return nullptr;
    pack->bitmaps.resize(bitmapSets);
    for (BitmapSet& set : pack->bitmaps) {
        set.height = in.i32();
        set.glyphs.reserve(glyphpack::glyphCount);
        for (int code = 0; code < glyphpack::glyphCount && in.ok(); ++code) set.glyphs.push_back(readBitmap(in));
    }

    if (!in.ok() || !in.atEnd()) return nullptr;
    return pack;
}

std::string packPath = glyphpack::fileName;
std::string (*packLookUp)(const char* name) = nullptr;  // finds packPath when set
std::filesystem::path readPath;  // where the pack was last looked for

// The pack's path for a message, in the system's own form.
std::string shownPath() {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(readPath, error);
    return platform::utf8Path((error ? readPath : absolute).lexically_normal().make_preferred());
}

// The pack at its path, which when relative is taken from the working
// folder and then from the program's own folder (where the Windows zip has
// it, whatever folder the program was started from).
std::shared_ptr<const Pack> readPack() {
    readPath = platform::pathFromUtf8(packLookUp ? packLookUp(glyphpack::fileName) : packPath);
    std::ifstream file(readPath, std::ios::binary);
    const std::filesystem::path besideProgram = platform::executableFolder();
    if (!file && readPath.is_relative() && !besideProgram.empty()) {
        file.open(besideProgram / readPath, std::ios::binary);
        if (file) readPath = besideProgram / readPath;
    }
    if (!file) return nullptr;
    // In one read where the size is known (the browser's file system reads
    // a byte at a time through a stream's iterator, 30 ms for the pack).
    std::vector<uint8_t> bytes;
    if (file.seekg(0, std::ios::end)) {
        const std::streamoff size = file.tellg();
        if (size > 0 && file.seekg(0, std::ios::beg)) {
            bytes.resize(static_cast<size_t>(size));
            file.read(reinterpret_cast<char*>(bytes.data()), size);
            if (file.gcount() != size) return nullptr;
        }
    }
    if (bytes.empty()) {
        file.clear();
        file.seekg(0, std::ios::beg);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (file.bad()) return nullptr;
    return parsePack(bytes);
}

bool packRead = false;
std::shared_ptr<const Pack> loadedPack;

// The pack, read on first use; none when it is absent or damaged.
std::shared_ptr<const Pack> thePack() {
    if (!packRead) {
        packRead = true;
        loadedPack = readPack();
    }
    return loadedPack;
}

}  // namespace

// ---------------------------------------------------------------------------
// 3. The fonts contract (fonts.h): faces, outlines, bitmaps

// Fonts hold the pack they were made from, so that a font outlives a pack
// read again.
struct FontFace {
    int height;
    std::shared_ptr<const Pack> pack;
};

void useGlyphPack(const std::string& path) {
    packPath = path;
    packLookUp = nullptr;
    packRead = false;
    loadedPack.reset();
}

void findGlyphPackWith(std::string (*lookUp)(const char* name)) {
    packLookUp = lookUp;
    packRead = false;
    loadedPack.reset();
}

std::string glyphSource() {
    return thePack() ? shownPath() : std::string();
}

bool faceOpens(std::string& problem) {
    if (thePack()) return true;
    problem = "the glyph pack " + shownPath() + " is missing, damaged or cut short: the text cannot be set";
    return false;
}

bool chosenFace(std::string& family, std::string& file) {
    const std::shared_ptr<const Pack> pack = thePack();
    if (!pack) return false;
    family = pack->family;
    file = pack->file;
    return true;
}

FontFace* createFont(int height) {
    std::shared_ptr<const Pack> pack = thePack();
    if (!pack) return nullptr;
    return new FontFace{height, std::move(pack)};
}

void deleteFont(FontFace* font) {
    delete font;
}

// Codes and heights the pack does not hold get the empty glyph.
platform::GlyphOutline glyphOutline(FontFace& font, int code, double tolerance) {
    if (code < 0 || code >= glyphpack::glyphCount) return {};
    for (const OutlineSet& set : font.pack->outlines)
        if (set.height == font.height && set.tolerance == tolerance) return set.glyphs[code];
    return {};
}

namespace {

const BitmapSet* bitmapSet(const FontFace& font) {
    for (const BitmapSet& set : font.pack->bitmaps)
        if (set.height == font.height) return &set;
    return nullptr;
}

}  // namespace

// Only the heights the pack holds: a larger picture's glyphs are drawn
// from the outlines (useFontBitmaps).
bool useBitmapHeight(FontFace& font) {
    return bitmapSet(font) != nullptr;
}

platform::GlyphBitmap glyphBitmap(FontFace& font, int code) {
    const BitmapSet* set = bitmapSet(font);
    if (code < 0 || code >= glyphpack::glyphCount || set == nullptr) return {};
    return set->glyphs[code];
}

}  // namespace EYESONLY_PACK_FONTS
