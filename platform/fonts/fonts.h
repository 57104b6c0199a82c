// Glyphs from a real typeface through fontconfig and FreeType: outlines as
// flattened contours with their metrics, and 1-bit bitmaps. No GL here: the
// display lists are made from these in resources/glyphs.cpp.
//
// The face is chosen by name, not by fontconfig's taste for "monospace":
// "Lucida Console" where it is installed, else "DejaVu Sans Mono" (which the
// install script and the package bring), each taken only when fontconfig
// returns that very family; only where neither is there, any monospaced
// face, with one warning line on standard error that names it. It is looked
// up and opened once and shared by every FontFace.
//
// Character codes are Windows-1252. Codes with no character (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) and characters the face lacks (the control codes) get an
// empty glyph with all-zero metrics: a text never shows a missing-glyph box
// and never makes room for one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Where the glyphs are read from, for --version: the face's file, or the
// glyph pack's.
std::string glyphSource();

// Whether the text can be set: true when the face opens; otherwise false,
// with the reason in one line for the user.
bool faceOpens(std::string& problem);

// Where the glyphs come from the show's data (the glyph pack of pack.h, on
// Windows and in the browser): lookUp gives a data file's path by its name
// ("data/glyphs.pack"), as the show's other files are found. The system's
// fonts read no pack and never call it.
void findGlyphPackWith(std::string (*lookUp)(const char* name));

// A font of em height `height` pixels (a font request's negative height:
// character height without internal leading). None when no face can be
// opened at all.
FontFace* createFont(int height);
void deleteFont(FontFace* font);

struct GlyphPoint {
    double x, y;  // em units
};
using GlyphContour = std::vector<GlyphPoint>;  // a closed polygon, last point not repeated

struct GlyphOutline {
    GlyphMetrics metrics{};              // all zero for a code with no glyph
    std::vector<GlyphContour> contours;  // empty for a code with no glyph; none of fewer than 3 points
    bool fillRight = true;               // the inside lies right of each contour's direction
    bool evenOdd = false;                // filled by the even-odd rule rather than non-zero winding
};

// The outline of code's glyph in em units, its curves cut into straight
// pieces no further than tolerance (em units) from the true ones.
GlyphOutline glyphOutline(FontFace& font, int code, double tolerance);

// A glyph with no ink that moves on (the space) is one blank pixel, never
// 0 x 0: a display list holding a 0 x 0 glBitmap does not move the raster
// position when it runs (Mesa), though the call run directly does.
struct GlyphBitmap {
    int width = 0;               // pixels; 0 for a glyph that neither inks nor moves
    int rows = 0;
    float xorig = 0.0f;          // glBitmap's origin: left of the glyph origin
    float yorig = 0.0f;          // below the glyph's bottom row
    float advance = 0.0f;        // whole pixels
    std::vector<uint8_t> bits;   // rows bottom first, packed to the byte, most significant bit first
};

// A glyph with no ink that moves on: one blank pixel (see GlyphBitmap).
inline void makeBlankPixel(GlyphBitmap& glyph) {
    glyph.width = glyph.rows = 1;
    glyph.bits.assign(1, 0);
}

// Sets the font's pixel height for glyphBitmap. False when the face refuses it.
bool useBitmapHeight(FontFace& font);
// Code's glyph as a 1-bit bitmap at the height set by useBitmapHeight.
GlyphBitmap glyphBitmap(FontFace& font, int code);

}  // namespace platform
