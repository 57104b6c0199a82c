// Glyph display lists from a real typeface: the three font calls the show
// makes (create a font, build outline glyph lists, build bitmap glyph
// lists).
//
// The face is chosen by name, not by fontconfig's taste for "monospace":
// "Lucida Console" where it is installed, else "DejaVu Sans Mono" (which the
// install script and the package bring), each taken only when fontconfig
// returns that very family; only where neither is there, any monospaced
// face, with one warning line on standard error that names it. It is looked
// up and opened once and shared by every FontFace.
//
// Character codes are Windows-1252. Codes with no character (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) and characters the face lacks (the control codes) get a
// list that draws nothing and moves nothing, with all-zero metrics: a text
// never shows a missing-glyph box and never makes room for one.
#pragma once

#include <GL/gl.h>

#include <string>

namespace platform {

// Metrics of one outline glyph, in units where the em square is 1.0.
struct GlyphMetrics {
    float blackBoxX;  // width of the inked box
    float blackBoxY;  // height of the inked box
    float originX;    // left edge of the inked box, from the glyph origin
    float originY;    // top edge of the inked box, from the baseline
    float cellIncX;   // horizontal advance
    float cellIncY;   // vertical advance: always 0
};

struct FontFace;

// The face the text is set in: its family and its file. False when no face
// is found at all.
bool chosenFace(std::string& family, std::string& file);

// A font of em height `height` pixels (a font request's negative height:
// character height without internal leading). None when no face can be
// opened at all.
FontFace* createFont(int height);
void deleteFont(FontFace* font);

// Lists listBase + i for codes first + i, i = 0 .. count - 1, each drawing
// the glyph in em units: the front face at z = 0 facing +z, the back face at
// z = -extrusion facing -z, walls along every contour with outward normals,
// then a translation by the advance. lines: contours as line loops at both
// depths instead of filled faces. deviation: the largest distance of the
// flattened curves from the true ones, in em units; 0 takes a default fine
// enough for large 3-D text. metrics (may be null) receives count records.
// False (and no lists) when font is none or the face fails.
bool useFontOutlines(FontFace* font, int first, int count, GLuint listBase,
                     float deviation, float extrusion, bool lines, GlyphMetrics* metrics);

// Lists listBase + i for codes first + i, each a 1-bit glBitmap of the glyph
// at the font's pixel height, placed by the glyph's origin and moving the
// raster position on by its advance in whole pixels. False (and no lists)
// when font is none or the face fails.
bool useFontBitmaps(FontFace* font, int first, int count, GLuint listBase);

}  // namespace platform
