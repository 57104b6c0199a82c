// Glyphs of the shared face through fontconfig and FreeType: outlines as
// flattened contours, and 1-bit bitmaps. Nothing here draws.
//
// Sections:
//   1. The shared face: chosen by name through fontconfig, opened once
//   2. Windows-1252 to Unicode
//   3. Outline glyphs: flattening
//   4. Bitmap glyphs
//   5. The font calls
#include "platform/fonts/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

struct FontFace {
    int height;  // em height in pixels
    FT_Face face;
};

// ---------------------------------------------------------------------------
// 1. The shared face

namespace {

constexpr const char* firstFamily = "Lucida Console";    // the face the show asks for
constexpr const char* pinnedFamily = "DejaVu Sans Mono"; // brought by the install script and the package

// The face fontconfig returns for a pattern: its first family, its file and
// the face's index in that file. False when fontconfig returns nothing.
bool matchFace(FcPattern* pattern, std::string& family, std::string& file, int& index) {
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    FcChar8* name = nullptr;
    const bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path &&
                       FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name;
    if (found) {
        file = reinterpret_cast<const char*>(path);
        family = reinterpret_cast<const char*>(name);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    }
    FcPatternDestroy(match);
    return found;
}

// The face of one family by name, taken only when fontconfig returns that
// very family: a family it does not have is answered with its taste for a
// replacement, which differs from machine to machine.
bool namedFace(const char* wanted, std::string& family, std::string& file, int& index) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted));
    return matchFace(pattern, family, file, index) &&
           FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(family.c_str()),
                              reinterpret_cast<const FcChar8*>(wanted)) == 0;
}

// Where neither named face is installed: the generic monospace family and
// the mono spacing make fontconfig offer a monospaced face rather than its
// usual sans-serif default.
bool anyMonospacedFace(std::string& family, std::string& file, int& index) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(firstFamily));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
    FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    return matchFace(pattern, family, file, index);
}

bool chooseFace(std::string& family, std::string& file, int& index) {
    static bool warned = false;
    if (!FcInit()) return false;
    if (namedFace(firstFamily, family, file, index) || namedFace(pinnedFamily, family, file, index)) return true;
    if (!anyMonospacedFace(family, file, index)) return false;
    if (!warned)
        std::fprintf(stderr, "eyesonly: neither %s nor %s is installed; the text is set in %s (%s)\n",
                     firstFamily, pinnedFamily, family.c_str(), file.c_str());
    warned = true;
    return true;
}

class SharedFace {
public:
    ~SharedFace() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }

    // The face, opened on first use; none when it cannot be found or opened.
    FT_Face get() {
        if (!tried_) {
            tried_ = true;
            open();
        }
        return face_;
    }

private:
    void open() {
        std::string file;
        int index = 0;
        if (!findFile(file, index)) return;
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            return;
        }
        if (FT_New_Face(library_, file.c_str(), index, &face_) != 0) {
            face_ = nullptr;
            return;
        }
        if (FT_Select_Charmap(face_, FT_ENCODING_UNICODE) != 0 || !FT_IS_SCALABLE(face_)) {
            FT_Done_Face(face_);
            face_ = nullptr;
        }
    }

    static bool findFile(std::string& file, int& index) {
        std::string family;
        return chooseFace(family, file, index);
    }

    bool tried_ = false;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

SharedFace sharedFace;

}  // namespace

bool chosenFace(std::string& family, std::string& file) {
    int index = 0;
    return chooseFace(family, file, index);
}

std::string glyphSource() {
    std::string family, file;
    return chosenFace(family, file) ? file : std::string();
}

bool faceOpens(std::string& problem) {
    if (sharedFace.get()) return true;
    problem = "no monospaced typeface could be found or opened (fontconfig): the text cannot be set";
    return false;
}

void findGlyphPackWith(std::string (*)(const char*)) {}

namespace {

// ---------------------------------------------------------------------------
// 2. Windows-1252 to Unicode

// 0x80 to 0x9F; 0 where the code page has no character. The rest of the
// code page maps to the same Unicode value.
constexpr uint16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The face's glyph index for a code, or 0 when the code has no character or
// the face has no glyph for it.
FT_UInt glyphIndex(FT_Face face, int code) {
    if (code < 0 || code > 255) return 0;
    uint32_t unicode = static_cast<uint32_t>(code);
    if (code >= 0x80 && code <= 0x9F) unicode = windows1252High[code - 0x80];
    if (unicode == 0) return 0;
    return FT_Get_Char_Index(face, unicode);
}

// ---------------------------------------------------------------------------
// 3. Outline glyphs

using Point = GlyphPoint;
using Contour = GlyphContour;

// Collects an outline as closed polygons in em units, curves cut into
// straight pieces no further than `tolerance` from the curve.
struct Flattener {
    double scale;      // em units per font unit
    double tolerance;  // em units
    std::vector<Contour> contours;
    Point last{0.0, 0.0};

    Point toEm(const FT_Vector* v) const { return {v->x * scale, v->y * scale}; }

    void add(Point p) {
        Contour& c = contours.back();
        if (!c.empty() && c.back().x == p.x && c.back().y == p.y) return;
        c.push_back(p);
    }

    // Pieces for a curve whose second derivative is at most `bend` long: a
    // chord over a parameter step of 1/n strays from the curve by at most
    // bend / (8 n^2).
    int pieces(double bend) const {
        int n = static_cast<int>(std::ceil(std::sqrt(bend / (8.0 * tolerance))));
        return std::clamp(n, 1, 64);
    }

    static int moveTo(const FT_Vector* to, void* user) {
        Flattener& f = *static_cast<Flattener*>(user);
        f.contours.emplace_back();
        f.last = f.toEm(to);
        f.add(f.last);
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* user) {
        Flattener& f = *static_cast<Flattener*>(user);
        f.last = f.toEm(to);
        f.add(f.last);
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        Flattener& f = *static_cast<Flattener*>(user);
        const Point p0 = f.last, p1 = f.toEm(control), p2 = f.toEm(to);
        // B''(t) = 2 (p0 - 2 p1 + p2)
        const double bend = 2.0 * std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
        const int n = f.pieces(bend);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, s = 1.0 - t;
            f.add({s * s * p0.x + 2 * s * t * p1.x + t * t * p2.x,
                   s * s * p0.y + 2 * s * t * p1.y + t * t * p2.y});
        }
        f.last = p2;
        return 0;
    }
    static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        Flattener& f = *static_cast<Flattener*>(user);
        const Point p0 = f.last, p1 = f.toEm(c1), p2 = f.toEm(c2), p3 = f.toEm(to);
        // |B''(t)| <= 6 max(|p0 - 2 p1 + p2|, |p1 - 2 p2 + p3|)
        const double bend = 6.0 * std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                           std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
        const int n = f.pieces(bend);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n, s = 1.0 - t;
            const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
            f.add({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
        }
        f.last = p3;
        return 0;
    }

    // Drops the closing point that repeats the first, and contours that
    // enclose nothing.
    void finish() {
        for (Contour& c : contours)
            if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
        std::erase_if(contours, [](const Contour& c) { return c.size() < 3; });
    }
};

// ---------------------------------------------------------------------------
// 4. Bitmap glyphs

// One row of a FreeType mono bitmap: top row first, most significant bit
// first.
const uint8_t* bitmapRow(const FT_Bitmap& bitmap, unsigned row) {
    return bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
}

}  // namespace

// ---------------------------------------------------------------------------
// 5. The font calls

FontFace* createFont(int height) {
    FT_Face face = sharedFace.get();
    if (!face) return nullptr;
    return new FontFace{height, face};
}

void deleteFont(FontFace* font) {
    delete font;
}

GlyphOutline glyphOutline(FontFace& font, int code, double tolerance) {
    GlyphOutline glyph;
    FT_Face face = font.face;
    const double scale = 1.0 / face->units_per_EM;
    FT_Outline_Funcs funcs{};
    funcs.move_to = &Flattener::moveTo;
    funcs.line_to = &Flattener::lineTo;
    funcs.conic_to = &Flattener::conicTo;
    funcs.cubic_to = &Flattener::cubicTo;
    Flattener flat{scale, tolerance, {}};

    GlyphMetrics& m = glyph.metrics;
    const FT_UInt index = glyphIndex(face, code);
    if (index != 0 && FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline& outline = face->glyph->outline;
        m.cellIncX = static_cast<float>(face->glyph->advance.x * scale);
        FT_BBox box;
        if (outline.n_points > 0 && FT_Outline_Get_BBox(&outline, &box) == 0) {
            m.blackBoxX = static_cast<float>((box.xMax - box.xMin) * scale);
            m.blackBoxY = static_cast<float>((box.yMax - box.yMin) * scale);
            m.originX = static_cast<float>(box.xMin * scale);
            m.originY = static_cast<float>(box.yMax * scale);
        }
        glyph.fillRight = FT_Outline_Get_Orientation(&outline) != FT_ORIENTATION_POSTSCRIPT;
        glyph.evenOdd = (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
        FT_Outline_Decompose(&outline, &funcs, &flat);
        flat.finish();
    }
    glyph.contours = std::move(flat.contours);
    return glyph;
}

bool useBitmapHeight(FontFace& font) {
    return FT_Set_Pixel_Sizes(font.face, 0, static_cast<FT_UInt>(std::max(font.height, 1))) == 0;
}

GlyphBitmap glyphBitmap(FontFace& font, int code) {
    GlyphBitmap glyph;
    FT_Face face = font.face;
    const FT_UInt index = glyphIndex(face, code);
    if (index != 0 && FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.advance = static_cast<float>((slot->advance.x + 32) >> 6);
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO && bitmap.width > 0 && bitmap.rows > 0) {
            glyph.width = static_cast<int>(bitmap.width);
            glyph.rows = static_cast<int>(bitmap.rows);
            const size_t rowBytes = (bitmap.width + 7) / 8;
            glyph.bits.resize(rowBytes * bitmap.rows);
            for (unsigned r = 0; r < bitmap.rows; ++r)
                std::copy_n(bitmapRow(bitmap, r), rowBytes, glyph.bits.data() + (bitmap.rows - 1 - r) * rowBytes);
            glyph.xorig = static_cast<float>(-slot->bitmap_left);
            glyph.yorig = static_cast<float>(glyph.rows - slot->bitmap_top);
        } else if (glyph.advance > 0.0f) {
            makeBlankPixel(glyph);
        }
    }
    return glyph;
}

}  // namespace platform
