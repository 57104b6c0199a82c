// Fonts held as GL display lists, and centred text output.
#include "resources/text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "resources/glyphs.h"

GLuint textFont = 0;
GLuint bigFont = 0;
GLuint captionFont = 0;
platform::GlyphMetrics glyphMetrics[256] = {};

namespace {

constexpr GLsizei listsPerFont = 256;  // codes 0 to 255; 255 stays empty
constexpr int glyphsPerFont = 255;     // codes 0 to 254 have glyphs
constexpr size_t textBufferBytes = 256;  // formatted text, terminator included

// The face object behind each font made, by list base, so that a rebuild can
// release the font it replaces.
struct FaceDeleter {
    void operator()(platform::FontFace* face) const { platform::deleteFont(face); }
};
struct MadeFont {
    GLuint base;
    std::unique_ptr<platform::FontFace, FaceDeleter> face;
    int bitmapPixels;             // a bitmap font's em height at 640 x 480 (its lists move the
                                  // raster position); 0 for an outline font (they move the matrix)
    std::vector<float> advances;  // by code: how far each list moves, along x
};
std::vector<MadeFont> madeFonts;

bool textUnseen = false;  // drawTextUnseen

// The outline font whose lists are still being made, a few a frame.
OutlineGlyphs waitingGlyphs;

// Forgets the lists still to make of the font at `base`, which goes.
void forgetWaitingGlyphs(GLuint base) {
    if (waitingGlyphs.listBase == base) waitingGlyphs = OutlineGlyphs{};
}

void forgetFont(GLuint base) {
    std::erase_if(madeFonts, [base](const MadeFont& font) { return font.base == base; });
}

void keepFace(GLuint base, platform::FontFace* face, int bitmapPixels, const float* advances) {
    if (face)
        madeFonts.push_back(MadeFont{base, std::unique_ptr<platform::FontFace, FaceDeleter>(face), bitmapPixels,
                                     std::vector<float>(advances, advances + glyphsPerFont)});
}

// A bitmap font's glyphs into its lists, drawn at `scale` times their size
// from the outlines where that is not 1; their advances into `advances`. The
// outlines are the title font's (every source of glyphs holds them at its
// height), so that every system draws the same larger text.
void setBitmapGlyphs(platform::FontFace* face, int pixels, GLuint base, float* advances, float scale) {
    if (scale == 1.0f) {
        useFontBitmaps(face, 0, glyphsPerFont, base, nullptr, advances);
        return;
    }
    const SharpGlyphs sharp{platform::createFont(textFontSize),
                            std::max(1, static_cast<int>(std::lround(static_cast<float>(pixels) * scale))),
                            scale};
    useFontBitmaps(face, 0, glyphsPerFont, base, &sharp, advances);
    if (sharp.outlineFont) platform::deleteFont(sharp.outlineFont);
}

// Makes up to `count` lists of the font still waiting for them.
void makeLists(int count) {
    if (waitingGlyphs.listBase == 0 || count <= 0) return;
    if (makeOutlineLists(waitingGlyphs, static_cast<size_t>(count))) waitingGlyphs = OutlineGlyphs{};
}

// Moves as the font's lists for the text would, drawing nothing.
void moveAsText(GLuint fontBase, const char* text, size_t length) {
    const auto font = std::find_if(madeFonts.begin(), madeFonts.end(),
                                   [fontBase](const MadeFont& f) { return f.base == fontBase; });
    if (font == madeFonts.end()) return;  // a font that failed has empty lists
    for (size_t i = 0; i < length; ++i) {
        const auto code = static_cast<unsigned char>(text[i]);
        const float advance = code < font->advances.size() ? font->advances[code] : 0.0f;
        if (font->bitmapPixels > 0)
            glBitmap(0, 0, 0.0f, 0.0f, advance, 0.0f, nullptr);
        else
            glTranslatef(advance, 0.0f, 0.0f);
    }
}

}  // namespace

GLuint makeOutlineFont(int size, GlyphStyle style) {
    // 1. The lists of a font still waiting, made first; then this font's
    //    reserved.
    makeLists(glyphsPerFont);
    const GLuint base = glGenLists(listsPerFont);
    // 2. The face at an em height of size pixels.
    platform::FontFace* face = platform::createFont(size);
    // 3. Its glyphs read; their metrics become the ones centring uses. A
    //    face that fails leaves the earlier metrics as they were. The
    //    lists wait for makeWaitingGlyphs, or the font's first text.
    platform::GlyphMetrics metrics[glyphsPerFont] = {};
    if (readFontOutlines(face, 0, glyphsPerFont, base, 0.0f, outlineExtrusion, style == GlyphStyle::Lines, metrics,
                         waitingGlyphs))
        std::copy(std::begin(metrics), std::end(metrics), glyphMetrics);
    float advances[glyphsPerFont];
    for (int i = 0; i < glyphsPerFont; ++i) advances[i] = metrics[i].cellIncX;
    keepFace(base, face, 0, advances);
    return base;
}

void makeWaitingGlyphs(int count) {
    if (!textUnseen) makeLists(count);
}

GLuint makeBitmapFont(int pixels, float scale) {
    const GLuint base = glGenLists(listsPerFont);
    platform::FontFace* face = platform::createFont(pixels);
    float advances[glyphsPerFont] = {};
    setBitmapGlyphs(face, pixels, base, advances, scale);
    keepFace(base, face, pixels, advances);
    return base;
}

void rescaleBitmapFonts(float scale) {
    for (MadeFont& font : madeFonts)
        if (font.bitmapPixels > 0)
            setBitmapGlyphs(font.face.get(), font.bitmapPixels, font.base, font.advances.data(), scale);
}

GLuint rebuildBitmapFont(GLuint oldBase, int pixels, float scale) {
    if (oldBase != 0) {
        forgetWaitingGlyphs(oldBase);
        glDeleteLists(oldBase, listsPerFont);
        forgetFont(oldBase);
    }
    return makeBitmapFont(pixels, scale);
}

void freeTextFont() {
    // With no font made there is nothing to delete, and list names 1 to 255
    // may belong to someone else.
    if (textFont == 0) return;
    forgetWaitingGlyphs(textFont);
    glDeleteLists(textFont, listsPerFont);
    forgetFont(textFont);
}

void printCentered(GLuint fontBase, const char* format, ...) {
    // 1. a null text draws nothing and moves nothing
    if (format == nullptr) return;

    // 2. format it; a text too long for the buffer is cut to 255 characters
    char text[textBufferBytes];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) text[0] = '\0';
    const size_t length = std::strlen(text);

    // 3. its width in the outline font's em units; the font's lists all
    //    made first, where they are still waiting and drawn now
    if (fontBase == waitingGlyphs.listBase) makeWaitingGlyphs(glyphsPerFont);
    float total = 0.0f;
    for (size_t i = 0; i < length; ++i) total = total + glyphMetrics[static_cast<unsigned char>(text[i])].cellIncX;

    // 4. half of it to the left; for a bitmap font this moves the matrix but
    //    not the raster position the caller set
    glTranslatef(-0.5f * total, 0.0f, 0.0f);

    // 5. one list per character, the caller's list base kept; in a frame
    //    drawn into nothing, only their moves
    if (textUnseen) {
        moveAsText(fontBase, text, length);
        return;
    }
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontBase);
    glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void drawTextUnseen(bool unseen) { textUnseen = unseen; }

void resetTextState() {
    textFont = 0;
    bigFont = 0;
    captionFont = 0;
    for (platform::GlyphMetrics& m : glyphMetrics) m = {};
    madeFonts.clear();
    waitingGlyphs = OutlineGlyphs{};
    textUnseen = false;
}
