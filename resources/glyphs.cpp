// Glyph display lists: the font calls the show makes to build outline glyph
// lists (with GLU's tessellator for the filled faces) and bitmap glyph lists,
// from the glyphs platform/fonts gives.
//
// Sections:
//   1. Outline glyphs: tessellation, faces and walls
//   2. Bitmap glyphs drawn from outlines
//   3. The font calls
#include "resources/glyphs.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// 1. Outline glyphs

using Point = platform::GlyphPoint;
using Contour = platform::GlyphContour;

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

}  // namespace

// ---------------------------------------------------------------------------
// 2. Bitmap glyphs drawn from outlines

namespace {
constexpr int maxGlyphPixels = 4096;  // a glyph drawn from its outline, each way
}  // namespace

platform::GlyphBitmap glyphFromOutline(const platform::GlyphOutline& outline, int pixels) {
    platform::GlyphBitmap glyph;
    const double em = pixels;
    glyph.advance = static_cast<float>(std::round(outline.metrics.cellIncX * em));
    if (outline.contours.empty()) {
        if (glyph.advance > 0.0f) platform::makeBlankPixel(glyph);
        return glyph;
    }
    // 1. The inked box in whole pixels around the outline.
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const platform::GlyphContour& c : outline.contours)
        for (const platform::GlyphPoint& p : c) {
            x0 = std::min(x0, p.x * em), x1 = std::max(x1, p.x * em);
            y0 = std::min(y0, p.y * em), y1 = std::max(y1, p.y * em);
        }
    const int left = static_cast<int>(std::floor(x0)), bottom = static_cast<int>(std::floor(y0));
    const int width = static_cast<int>(std::ceil(x1)) - left, rows = static_cast<int>(std::ceil(y1)) - bottom;
    if (width <= 0 || rows <= 0 || width > maxGlyphPixels || rows > maxGlyphPixels) return glyph;
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    glyph.bits.assign(rowBytes * static_cast<size_t>(rows), 0);
    // 2. Row by row, bottom first, through the centres of its pixels: where
    //    each edge crosses, with its direction, then the spans inside.
    std::vector<std::pair<double, int>> crossings;
    for (int r = 0; r < rows; ++r) {
        const double y = bottom + r + 0.5;
        crossings.clear();
        for (const platform::GlyphContour& c : outline.contours)
            for (size_t i = 0; i < c.size(); ++i) {
                const platform::GlyphPoint& a = c[i];
                const platform::GlyphPoint& b = c[(i + 1) % c.size()];
                const double ay = a.y * em, by = b.y * em;
                if ((ay <= y) == (by <= y)) continue;
                const double x = (a.x + (y - ay) / (by - ay) * (b.x - a.x)) * em;
                crossings.emplace_back(x, by > ay ? 1 : -1);
            }
        std::sort(crossings.begin(), crossings.end());
        int winding = 0;
        for (size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += outline.evenOdd ? 1 : crossings[k].second;
            const bool inside = outline.evenOdd ? winding % 2 != 0 : winding != 0;
            if (!inside) continue;
            const int from = std::max(static_cast<int>(std::ceil(crossings[k].first - left - 0.5)), 0);
            const int to = std::min(static_cast<int>(std::ceil(crossings[k + 1].first - left - 0.5)), width);
            for (int px = from; px < to; ++px)
                glyph.bits[static_cast<size_t>(r) * rowBytes + static_cast<size_t>(px) / 8] |=
                    static_cast<uint8_t>(0x80u >> (px % 8));
        }
    }
    glyph.width = width;
    glyph.rows = rows;
    glyph.xorig = static_cast<float>(-left);
    glyph.yorig = static_cast<float>(-bottom);
    return glyph;
}


// ---------------------------------------------------------------------------
// 3. The font calls

bool useFontOutlines(platform::FontFace* font, int first, int count, GLuint listBase,
                     float deviation, float extrusion, bool lines, platform::GlyphMetrics* metrics) {
    OutlineGlyphs glyphs;
    if (!readFontOutlines(font, first, count, listBase, deviation, extrusion, lines, metrics, glyphs)) return false;
    return makeOutlineLists(glyphs, glyphs.glyphs.size());
}

bool readFontOutlines(platform::FontFace* font, int first, int count, GLuint listBase, float deviation,
                      float extrusion, bool lines, platform::GlyphMetrics* metrics, OutlineGlyphs& glyphs) {
    if (!font || count < 0) return false;
    glyphs = OutlineGlyphs{listBase, extrusion, lines, {}, 0};
    glyphs.glyphs.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        glyphs.glyphs.push_back(
            platform::glyphOutline(*font, first + i, deviation > 0.0f ? deviation : defaultDeviation));
        if (metrics) metrics[i] = glyphs.glyphs.back().metrics;
    }
    return true;
}

bool makeOutlineLists(OutlineGlyphs& glyphs, size_t count) {
    const size_t end = std::min(glyphs.glyphs.size(), glyphs.made + count);
    if (glyphs.made >= end) return glyphs.made == glyphs.glyphs.size();
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

    for (; glyphs.made < end; ++glyphs.made) {
        const platform::GlyphOutline& glyph = glyphs.glyphs[glyphs.made];
        const platform::GlyphMetrics& m = glyph.metrics;
        glNewList(glyphs.listBase + static_cast<GLuint>(glyphs.made), GL_COMPILE);
        if (!glyph.contours.empty()) {
            if (glyphs.lines) {
                drawLines(glyph.contours, glyphs.extrusion);
            } else {
                drawFaces(tessellate(tess, glyph.contours, glyph.evenOdd), glyphs.extrusion);
                for (const Contour& c : glyph.contours) drawWalls(c, glyph.fillRight, glyphs.extrusion);
            }
        }
        glTranslatef(m.cellIncX, m.cellIncY, 0.0f);
        glEndList();
    }
    gluDeleteTess(tess);
    return glyphs.made == glyphs.glyphs.size();
}

bool useFontBitmaps(platform::FontFace* font, int first, int count, GLuint listBase, const SharpGlyphs* sharp,
                    float* advances) {
    if (!font || count < 0) return false;
    if (!platform::useBitmapHeight(*font)) return false;
    // A sharp glyph moves on by scale times the font's own advance, so that
    // a line of text keeps its length whatever the rounding of the larger
    // glyphs' advances. The font's own glyphs stand on whole pixels, the
    // raster position rounded down: half a pixel below and left of it on
    // the mean, which the sharp glyphs keep, scaled.
    if (sharp != nullptr && sharp->outlineFont == nullptr) sharp = nullptr;

    // glBitmap reads its bits when the list is compiled: rows bottom first,
    // packed to the byte, most significant bit first.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    for (int i = 0; i < count; ++i) {
        platform::GlyphBitmap glyph = platform::glyphBitmap(*font, first + i);
        if (sharp) {
            const float ownAdvance = glyph.advance;
            glyph = glyphFromOutline(platform::glyphOutline(*sharp->outlineFont, first + i, defaultDeviation),
                                     sharp->pixels);
            glyph.xorig = glyph.xorig + 0.5f * (sharp->scale - 1.0f);
            glyph.yorig = glyph.yorig + 0.5f * (sharp->scale - 1.0f);
            glyph.advance = ownAdvance * sharp->scale;
        }
        if (advances) advances[i] = glyph.advance;
        glNewList(listBase + static_cast<GLuint>(i), GL_COMPILE);
        glBitmap(glyph.width, glyph.rows, glyph.xorig, glyph.yorig, glyph.advance, 0.0f,
                 glyph.bits.empty() ? nullptr : glyph.bits.data());
        glEndList();
    }
    glPopClientAttrib();
    return true;
}
