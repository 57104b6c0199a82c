// glyphpack OUT: writes the glyph pack (format in platform/fonts/pack.h): the
// show's glyphs from the face platform/fonts/fonts.cpp chooses, exactly as it
// gives them, for the fonts of platform/fonts/pack.cpp in the browser. The
// build writes it as data/glyphs.pack.
//
// Exit codes: 0 written; 1 no face, or OUT could not be written; 2 wrong
// arguments. OUT is written whole or not at all.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fonts/fonts.h"
#include "platform/fonts/pack.h"
#include "resources/glyphs.h"
#include "resources/text.h"
#include "tools/makedata/atomic_file.h"

namespace {

// What the show asks for: the outline title font at an em height of 9 with
// the default deviation; the bitmap fonts at 72 pixels (the big font), 24
// (captions, and the scroller's end font) and 42 (the greetings).
struct OutlineRequest {
    int height;
    double tolerance;
};
constexpr OutlineRequest outlineRequests[] = {{textFontSize, defaultDeviation}};
constexpr int bitmapHeights[] = {72, 24, 42};

void printUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: glyphpack OUT\n"
                 "Writes the show's glyphs (outlines and bitmaps, codes 0 to 254, at the\n"
                 "heights the show uses) from the face it sets its text in to the glyph\n"
                 "pack OUT, for the browser build.\n"
                 "Exit 0 on success, 1 when there is no face or OUT cannot be written,\n"
                 "2 for wrong arguments.\n");
}

class Writer {
public:
    std::vector<uint8_t> bytes;

    void u8(uint8_t v) { bytes.push_back(v); }
    void u32(uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
    void i32(int32_t v) { u32(std::bit_cast<uint32_t>(v)); }
    void f32(float v) { u32(std::bit_cast<uint32_t>(v)); }
    void f64(double v) { u64(std::bit_cast<uint64_t>(v)); }
    void string(const std::string& s) {
        u32(static_cast<uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
};

void writeOutline(Writer& out, const platform::GlyphOutline& glyph) {
    const platform::GlyphMetrics& m = glyph.metrics;
    for (float v : {m.blackBoxX, m.blackBoxY, m.originX, m.originY, m.cellIncX, m.cellIncY}) out.f32(v);
    out.u8(static_cast<uint8_t>((glyph.fillRight ? glyphpack::fillRightFlag : 0) |
                                (glyph.evenOdd ? glyphpack::evenOddFlag : 0)));
    out.u32(static_cast<uint32_t>(glyph.contours.size()));
    for (const platform::GlyphContour& contour : glyph.contours) {
        out.u32(static_cast<uint32_t>(contour.size()));
        for (const platform::GlyphPoint& p : contour) {
            out.f64(p.x);
            out.f64(p.y);
        }
    }
}

void writeBitmap(Writer& out, const platform::GlyphBitmap& glyph) {
    out.i32(glyph.width);
    out.i32(glyph.rows);
    out.f32(glyph.xorig);
    out.f32(glyph.yorig);
    out.f32(glyph.advance);
    out.bytes.insert(out.bytes.end(), glyph.bits.begin(), glyph.bits.end());
}

// The pack's bytes; false when there is no face.
bool makePack(Writer& out) {
    std::string family, file;
    if (!platform::chosenFace(family, file)) return false;
    out.bytes.insert(out.bytes.end(), std::begin(glyphpack::magic), std::end(glyphpack::magic));
    out.u32(glyphpack::version);
    out.string(family);
    out.string(file);

    out.u32(std::size(outlineRequests));
    for (const OutlineRequest& request : outlineRequests) {
        platform::FontFace* font = platform::createFont(request.height);
        if (!font) return false;
        out.i32(request.height);
        out.f64(request.tolerance);
        for (int code = 0; code < glyphpack::glyphCount; ++code)
            writeOutline(out, platform::glyphOutline(*font, code, request.tolerance));
        platform::deleteFont(font);
    }

    // A height the face refuses is left out, as the show then has no
    // glyphs at it either.
    uint32_t bitmapSets = 0;
    Writer sets;
    for (int height : bitmapHeights) {
        platform::FontFace* font = platform::createFont(height);
        if (!font) return false;
        if (platform::useBitmapHeight(*font)) {
            ++bitmapSets;
            sets.i32(height);
            for (int code = 0; code < glyphpack::glyphCount; ++code) writeBitmap(sets, platform::glyphBitmap(*font, code));
        } else {
            std::fprintf(stderr, "glyphpack: the face refuses a height of %d pixels; its bitmaps are left out\n", height);
        }
        platform::deleteFont(font);
    }
    out.u32(bitmapSets);
    out.bytes.insert(out.bytes.end(), sets.bytes.begin(), sets.bytes.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        printUsage(stderr);
        return 2;
    }
    Writer out;
    if (!makePack(out)) {
        std::fprintf(stderr, "glyphpack: no face to take the glyphs from (fontconfig finds no monospaced font)\n");
        return 1;
    }
    if (const int error = writeFileAtomically(argv[1], out.bytes); error != 0) {
        std::fprintf(stderr, "glyphpack: cannot write %s: %s\n", argv[1], std::strerror(error));
        return 1;
    }
    return 0;
}
