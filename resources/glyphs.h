// Glyph display lists from a real typeface: with the font of
// platform/fonts/fonts.h (createFont), the two font calls the show makes to
// build outline glyph lists and bitmap glyph lists.
//
// Character codes are Windows-1252. Codes with no character and characters
// the face lacks get a list that draws nothing and moves nothing, with
// all-zero metrics.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <vector>

#include "platform/fonts/fonts.h"

// The deviation a deviation of 0 takes: a curve's chords stay within 1/500
// em of it, about a pixel when one character fills the screen's height.
constexpr double defaultDeviation = 0.002;  // em units

// Lists listBase + i for codes first + i, i = 0 .. count - 1, each drawing
// the glyph in em units: the front face at z = 0 facing +z, the back face at
// z = -extrusion facing -z, walls along every contour with outward normals,
// then a translation by the advance. lines: contours as line loops at both
// depths instead of filled faces. deviation: the largest distance of the
// flattened curves from the true ones, in em units; 0 takes a default fine
// enough for large 3-D text. metrics (may be null) receives count records.
// False (and no lists) when font is none or the face fails.
bool useFontOutlines(platform::FontFace* font, int first, int count, GLuint listBase,
                     float deviation, float extrusion, bool lines, platform::GlyphMetrics* metrics);

// The same in two parts, for lists made a few at a time: readFontOutlines
// reads the glyphs' outlines and metrics (no GL), makeOutlineLists makes
// their lists in order, up to `count` of them a call. Together they make the
// lists useFontOutlines makes.
struct OutlineGlyphs {
    GLuint listBase = 0;                         // 0: nothing to make
    float extrusion = 0.0f;
    bool lines = false;
    std::vector<platform::GlyphOutline> glyphs;  // list listBase + i draws glyphs[i]
    size_t made = 0;                             // lists made so far
};
bool readFontOutlines(platform::FontFace* font, int first, int count, GLuint listBase, float deviation,
                      float extrusion, bool lines, platform::GlyphMetrics* metrics, OutlineGlyphs& glyphs);
// True once every list is made.
bool makeOutlineLists(OutlineGlyphs& glyphs, size_t count);

// A larger picture's glyphs: drawn from outlineFont's outlines (at
// defaultDeviation) at an em height of `pixels`, scale times the font's own.
struct SharpGlyphs {
    platform::FontFace* outlineFont;
    int pixels;
    float scale;
};

// Lists listBase + i for codes first + i, each a 1-bit glBitmap of the glyph
// at the font's pixel height, placed by the glyph's origin and moving the
// raster position on by its advance in whole pixels. With sharp, each glyph
// is drawn from its outline at sharp's height, moving the raster position on
// by scale times font's advance; where sharp's font is none, font's glyphs
// are drawn as without it. False (and no lists) when font is none or the
// face fails.
// advances (may be null) receives count advances, in pixels, as the lists
// move the raster position.
bool useFontBitmaps(platform::FontFace* font, int first, int count, GLuint listBase,
                    const SharpGlyphs* sharp = nullptr, float* advances = nullptr);

// The glyph of an outline (em units) as a 1-bit bitmap at an em height of
// `pixels`: a pixel is inked where its centre lies inside the outline, by
// the glyph's own fill rule; the advance is the outline's, rounded to whole
// pixels. Unhinted: at the sizes this is for, hinting is no longer seen,
// and every system draws the same pixels. A glyph with no ink that moves on
// is one blank pixel (fonts.h).
platform::GlyphBitmap glyphFromOutline(const platform::GlyphOutline& outline, int pixels);
