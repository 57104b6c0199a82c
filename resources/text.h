// Fonts held as GL display lists, and centred text output.
//
// A font is 256 consecutive display lists: list base + k draws character
// code k (Windows-1252). Codes 0 to 254 have glyphs; list base + 255 stays
// empty. Outline fonts are extruded 3-D glyphs in units where the em square
// is 1.0, each list ending with a translation by the glyph's advance; bitmap
// fonts draw at the raster position and move it on by the advance.
#pragma once

#include <GL/gl.h>

#include "resources/glyphs.h"

extern GLuint textFont;     // outline, size 9, until the scroller ends; then a 24-pixel bitmap font
extern GLuint bigFont;      // bitmap, 72 pixels; 42 pixels once the greetings begin
extern GLuint captionFont;  // bitmap, 24 pixels
// Metrics of the last outline font built (always the start-up textFont).
// Record 255 is never written and stays zero.
extern platform::GlyphMetrics glyphMetrics[256];

// Depth of every outline font's glyphs along -z, in em units.
constexpr float outlineExtrusion = 0.2f;

// The em height of the outline title font, whose outlines every source of
// glyphs holds (the glyph pack too): a larger picture's bitmap text is drawn
// from them.
constexpr int textFontSize = 9;

// How an outline font draws its contours.
enum class GlyphStyle {
    Filled,  // filled front and back faces joined by walls
    Lines,   // line loops at both depths
};

// An outline font of em height `size` pixels, extruded by outlineExtrusion;
// it also takes over glyphMetrics at once. Returns its list base. Its lists
// are made later, in order: by makeWaitingGlyphs, and all that are left
// when text is first printed through it.
GLuint makeOutlineFont(int size, GlyphStyle style = GlyphStyle::Filled);
// Makes up to `count` lists of the outline font still waiting for them.
void makeWaitingGlyphs(int count);
// A bitmap font of `pixels` em height at 640 x 480, drawn `scale` times that
// size (the picture's scale). Returns its list base.
GLuint makeBitmapFont(int pixels, float scale);
// Releases the font behind oldBase (its 256 lists and its face) and builds a
// bitmap font in its place: for the two rebuilds during the show.
GLuint rebuildBitmapFont(GLuint oldBase, int pixels, float scale);
// Sets every bitmap font's glyphs again, in the same lists, at `scale` (the
// picture's output resized to another scale).
void rescaleBitmapFonts(float scale);
// Deletes the 256 lists of textFont.
void freeTextFont();
// Formats the text (printf style, cut to 255 characters) and draws it through
// the font, after translating the model-view matrix by half the text's width
// (from glyphMetrics) to the left. The list base in force before is restored.
// A null format draws nothing.
void printCentered(GLuint fontBase, const char* format, ...) __attribute__((format(printf, 2, 3)));

// While set, printCentered only moves as the font's lists would, without
// calling them, and makeWaitingGlyphs makes none: for the frames nobody
// sees (setFrameSight sets it).
void drawTextUnseen(bool unseen);

// Puts the font globals back to their initial values (tests).
void resetTextState();
