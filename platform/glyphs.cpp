// Glyph display lists over fontconfig and FreeType, with GLU's tessellator
// for the filled faces of outline glyphs.
//
// Sections:
//   1. The shared face: chosen by name through fontconfig, opened once
//   2. Windows-1252 to Unicode
//   3. Outline glyphs: flattening, tessellation, faces and walls
//   4. Bitmap glyph rows
//   5. The font calls
#include "platform/glyphs.h"

#include <GL/glu.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
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

struct Point {
    double x, y;
};
using Contour = std::vector<Point>;

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

// Triangles of the filled outline from GLU's tessellator, gathered rather
// than drawn so that the front and back faces come from one tessellation.
struct TessOutput {
    std::vector<Point> triangles;                // three points each
    std::deque<std::array<GLdouble, 3>> joints;  // vertices made where edges cross
};

void GLAPIENTRY tessBegin(GLenum, void*) {}
void GLAPIENTRY tessEnd(void*) {}
void GLAPIENTRY tessEdgeFlag(GLboolean, void*) {}  // its presence makes GLU emit plain triangles
void GLAPIENTRY tessError(GLenum, void*) {}
void GLAPIENTRY tessVertex(void* vertex, void* user) {
    const GLdouble* v = static_cast<const GLdouble*>(vertex);
    static_cast<TessOutput*>(user)->triangles.push_back({v[0], v[1]});
}
void GLAPIENTRY tessCombine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* user) {
    TessOutput& output = *static_cast<TessOutput*>(user);
    output.joints.push_back({coords[0], coords[1], coords[2]});
    *out = output.joints.back().data();
}

std::vector<Point> tessellate(GLUtesselator* tess, const std::vector<Contour>& contours, bool evenOdd) {
    std::vector<std::array<GLdouble, 3>> vertices;
    size_t total = 0;
    for (const Contour& c : contours) total += c.size();
    vertices.reserve(total);  // the tessellator keeps pointers into it

    TessOutput output;
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, evenOdd ? GLU_TESS_WINDING_ODD : GLU_TESS_WINDING_NONZERO);
    gluTessBeginPolygon(tess, &output);
    for (const Contour& c : contours) {
        gluTessBeginContour(tess);
        for (const Point& p : c) {
            vertices.push_back({p.x, p.y, 0.0});
            gluTessVertex(tess, vertices.back().data(), vertices.back().data());
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);

    // Every triangle counter-clockwise seen from +z.
    std::vector<Point>& t = output.triangles;
    t.resize(t.size() - t.size() % 3);
    for (size_t i = 0; i < t.size(); i += 3) {
        const double area = (t[i + 1].x - t[i].x) * (t[i + 2].y - t[i].y) -
                            (t[i + 2].x - t[i].x) * (t[i + 1].y - t[i].y);
        if (area < 0.0) std::swap(t[i + 1], t[i + 2]);
    }
    return std::move(output.triangles);
}

// The walls along one contour: a quad per edge, its normal pointing out of
// the glyph. Where the contour turns by less than 60 degrees (a flattened
// curve) the normals of the two edges are averaged so the wall shades
// smoothly; sharper corners stay sharp.
void drawWalls(const Contour& c, bool fillRight, float depth) {
    const size_t n = c.size();
    std::vector<Point> normal(n);  // of edge i, from c[i] to c[i + 1]
    for (size_t i = 0; i < n; ++i) {
        const Point& a = c[i];
        const Point& b = c[(i + 1) % n];
        double nx = -(b.y - a.y), ny = b.x - a.x;  // left of the edge
        if (!fillRight) nx = -nx, ny = -ny;
        const double length = std::hypot(nx, ny);
        normal[i] = {nx / length, ny / length};
    }
    constexpr double smoothTurn = 0.5;  // cosine of 60 degrees
    auto atVertex = [&](size_t edge, size_t vertex) {
        const size_t other = vertex == edge ? (edge + n - 1) % n : (edge + 1) % n;
        const Point& e = normal[edge];
        const Point& o = normal[other];
        if (e.x * o.x + e.y * o.y < smoothTurn) return e;
        const double x = e.x + o.x, y = e.y + o.y, length = std::hypot(x, y);
        return Point{x / length, y / length};
    };

    glBegin(GL_QUADS);
    for (size_t i = 0; i < n; ++i) {
        const size_t j = (i + 1) % n;
        const Point ni = atVertex(i, i), nj = atVertex(i, j);
        const float xi = static_cast<float>(c[i].x), yi = static_cast<float>(c[i].y);
        const float xj = static_cast<float>(c[j].x), yj = static_cast<float>(c[j].y);
        // Counter-clockwise seen from outside.
        if (fillRight) {
            glNormal3f(static_cast<float>(ni.x), static_cast<float>(ni.y), 0.0f);
            glVertex3f(xi, yi, 0.0f);
            glNormal3f(static_cast<float>(nj.x), static_cast<float>(nj.y), 0.0f);
            glVertex3f(xj, yj, 0.0f);
            glVertex3f(xj, yj, -depth);
            glNormal3f(static_cast<float>(ni.x), static_cast<float>(ni.y), 0.0f);
            glVertex3f(xi, yi, -depth);
        } else {
            glNormal3f(static_cast<float>(ni.x), static_cast<float>(ni.y), 0.0f);
            glVertex3f(xi, yi, 0.0f);
            glVertex3f(xi, yi, -depth);
            glNormal3f(static_cast<float>(nj.x), static_cast<float>(nj.y), 0.0f);
            glVertex3f(xj, yj, -depth);
            glVertex3f(xj, yj, 0.0f);
        }
    }
    glEnd();
}

void drawFaces(const std::vector<Point>& triangles, float depth) {
    glBegin(GL_TRIANGLES);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (const Point& p : triangles) glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), 0.0f);
    glNormal3f(0.0f, 0.0f, -1.0f);
    for (size_t i = triangles.size(); i-- > 0;)
        glVertex3f(static_cast<float>(triangles[i].x), static_cast<float>(triangles[i].y), -depth);
    glEnd();
}

void drawLines(const std::vector<Contour>& contours, float depth) {
    for (float z : {0.0f, -depth}) {
        glNormal3f(0.0f, 0.0f, z == 0.0f ? 1.0f : -1.0f);
        for (const Contour& c : contours) {
            glBegin(GL_LINE_LOOP);
            for (const Point& p : c) glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), z);
            glEnd();
        }
    }
}

// ---------------------------------------------------------------------------
// 4. Bitmap glyph rows

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

// A curve's chords stay within 1/500 em of it: about a pixel when one
// character fills the screen's height.
constexpr double defaultDeviation = 0.002;  // em units

bool useFontOutlines(FontFace* font, int first, int count, GLuint listBase,
                     float deviation, float extrusion, bool lines, GlyphMetrics* metrics) {
    if (!font || count < 0) return false;
    FT_Face face = font->face;
    const double scale = 1.0 / face->units_per_EM;

    FT_Outline_Funcs funcs{};
    funcs.move_to = &Flattener::moveTo;
    funcs.line_to = &Flattener::lineTo;
    funcs.conic_to = &Flattener::conicTo;
    funcs.cubic_to = &Flattener::cubicTo;

    GLUtesselator* tess = gluNewTess();
    if (!tess) return false;
    using Callback = _GLUfuncptr;
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<Callback>(&tessBegin));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<Callback>(&tessEnd));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<Callback>(&tessEdgeFlag));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<Callback>(&tessVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&tessCombine));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<Callback>(&tessError));
    gluTessNormal(tess, 0.0, 0.0, 1.0);

    for (int i = 0; i < count; ++i) {
        GlyphMetrics m{};
        Flattener flat{scale, deviation > 0.0f ? deviation : defaultDeviation, {}};
        bool fillRight = true, evenOdd = false;

        const FT_UInt index = glyphIndex(face, first + i);
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
            fillRight = FT_Outline_Get_Orientation(&outline) != FT_ORIENTATION_POSTSCRIPT;
            evenOdd = (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
            FT_Outline_Decompose(&outline, &funcs, &flat);
            flat.finish();
        }

        glNewList(listBase + static_cast<GLuint>(i), GL_COMPILE);
        if (!flat.contours.empty()) {
            if (lines) {
                drawLines(flat.contours, extrusion);
            } else {
                drawFaces(tessellate(tess, flat.contours, evenOdd), extrusion);
                for (const Contour& c : flat.contours) drawWalls(c, fillRight, extrusion);
            }
        }
        glTranslatef(m.cellIncX, m.cellIncY, 0.0f);
        glEndList();
        if (metrics) metrics[i] = m;
    }
    gluDeleteTess(tess);
    return true;
}

bool useFontBitmaps(FontFace* font, int first, int count, GLuint listBase) {
    if (!font || count < 0) return false;
    FT_Face face = font->face;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::max(font->height, 1))) != 0) return false;

    // glBitmap reads its bits when the list is compiled: rows bottom first,
    // packed to the byte, most significant bit first.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    std::vector<uint8_t> bits;
    for (int i = 0; i < count; ++i) {
        GLsizei width = 0, rows = 0;
        float xorig = 0.0f, yorig = 0.0f, advance = 0.0f;
        bits.clear();

        const FT_UInt index = glyphIndex(face, first + i);
        if (index != 0 && FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
            const FT_GlyphSlot slot = face->glyph;
            const FT_Bitmap& bitmap = slot->bitmap;
            advance = static_cast<float>((slot->advance.x + 32) >> 6);
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO && bitmap.width > 0 && bitmap.rows > 0) {
                width = static_cast<GLsizei>(bitmap.width);
                rows = static_cast<GLsizei>(bitmap.rows);
                const size_t rowBytes = (bitmap.width + 7) / 8;
                bits.resize(rowBytes * bitmap.rows);
                for (unsigned r = 0; r < bitmap.rows; ++r)
                    std::copy_n(bitmapRow(bitmap, r), rowBytes, bits.data() + (bitmap.rows - 1 - r) * rowBytes);
                xorig = static_cast<float>(-slot->bitmap_left);
                yorig = static_cast<float>(rows - slot->bitmap_top);
            }
        }

        glNewList(listBase + static_cast<GLuint>(i), GL_COMPILE);
        glBitmap(width, rows, xorig, yorig, advance, 0.0f, bits.empty() ? nullptr : bits.data());
        glEndList();
    }
    glPopClientAttrib();
    return true;
}

}  // namespace platform
