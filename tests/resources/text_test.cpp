// Fonts and centred text on a real GL: pixel probes of drawn text, and the
// model-view matrix and raster position read back after printing.
#include <array>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "resources/text.h"
#include "show/drawing.h"
#include "show/picture.h"
#include "tests/support/support.h"

namespace {

// Single-precision sums of a few numbers below 1 (advances, metrics).
constexpr float floatSum = 1e-5f;


using testing_support::litBox;

constexpr int width = 640, height = 480;

float modelviewX() {
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    return m[12];
}

float rasterX() {
    GLfloat p[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, p);
    return p[0];
}

// Sum of the outline font's advances over the bytes of a text.
float advances(const std::string& text) {
    float total = 0.0f;
    for (unsigned char c : text) total += glyphMetrics[c].cellIncX;
    return total;
}

// Pixels whose three channels all lie within tolerance of one grey level.
int pixelsNearGrey(int level, int tolerance = 4) {
    const std::vector<uint8_t> frame = testing_support::readFrame(width, height);
    int count = 0;
    for (size_t i = 0; i < frame.size(); i += 3)
        if (std::abs(frame[i] - level) <= tolerance && std::abs(frame[i + 1] - level) <= tolerance &&
            std::abs(frame[i + 2] - level) <= tolerance)
            ++count;
    return count;
}

void clearUnlitWhite() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1.0f, 1.0f, 1.0f);
    glLoadIdentity();
}

// The start-up outline font, so that glyphMetrics hold its advances.
class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        resetTextState();
        textFont = makeOutlineFont(9);
    }
    void TearDown() override { resetTextState(); }

    testing_support::OffscreenGL gl{width, height};
};

TEST_F(Fonts, OutlineMetricsAreOfAMonospacedFaceWithAUnitEm) {
    const float advance = glyphMetrics['H'].cellIncX;
    EXPECT_GT(advance, 0.4f);
    EXPECT_LT(advance, 0.8f);
    for (unsigned char c : std::string("iW %.$\x80\xe9"))
        EXPECT_FLOAT_EQ(glyphMetrics[c].cellIncX, advance) << "code " << int(c);
    EXPECT_GT(glyphMetrics['H'].blackBoxY, 0.5f);  // cap height of a unit em
    EXPECT_LT(glyphMetrics['H'].blackBoxY, 0.9f);
    EXPECT_NEAR(glyphMetrics['H'].originY, glyphMetrics['H'].blackBoxY, floatSum) << "'H' stands on the baseline";
    EXPECT_EQ(glyphMetrics[' '].blackBoxX, 0.0f);
    EXPECT_EQ(glyphMetrics['H'].cellIncY, 0.0f);

    // Codes with no character, and code 255, have all-zero records.
    const platform::GlyphMetrics zero{};
    for (int code : {0x81, 0x8D, 0x8F, 0x90, 0x9D, 255})
        EXPECT_EQ(std::memcmp(&glyphMetrics[code], &zero, sizeof zero), 0) << "code " << code;

    // A bitmap font leaves the outline font's metrics alone.
    platform::GlyphMetrics before[256];
    std::memcpy(before, glyphMetrics, sizeof before);
    bigFont = makeBitmapFont(72, 1.0f);
    EXPECT_EQ(std::memcmp(before, glyphMetrics, sizeof before), 0);
}

// Start-up reads the glyphs; their lists come a few at a time (the show's
// frames), in order, or all at once for the font's first text. Either way a
// glyph draws the same.
TEST_F(Fonts, OutlineListsMadeAFewAtATimeDrawAsThoseMadeForTheFirstText) {
    auto drawnH = [](GLuint font) {
        clearUnlitWhite();
        glTranslatef(0.0f, 0.0f, -3.0f);
        glListBase(font);
        glCallLists(1, GL_UNSIGNED_BYTE, "H");
        glListBase(0);
        return testing_support::readFrame(width, height);
    };
    drawnH(textFont);
    EXPECT_TRUE(litBox().empty()) << "no list made at start-up";
    for (int made = 0; made <= 'H'; made += 8) makeWaitingGlyphs(8);
    const auto fewAtATime = drawnH(textFont);
    EXPECT_GT(pixelsNearGrey(255), 500) << "an H drawn";

    const GLuint atOnce = makeOutlineFont(9);  // the rest of the one waiting is made first
    printCentered(atOnce, "%s", "");
    EXPECT_TRUE(drawnH(atOnce) == fewAtATime);
    drawnH(textFont + 'Z' - 'H');
    EXPECT_FALSE(litBox().empty()) << "the first font's Z";
}

// In the frames a jump runs through, text only moves: the matrix (outline
// fonts) and the raster position (bitmap fonts) end where drawing it leaves
// them, with nothing drawn and no list waited for.
TEST_F(Fonts, TextInAFrameDrawnIntoNothingOnlyMoves) {
    bigFont = makeBitmapFont(72, 1.0f);
    auto ends = [](bool movesOnly) {
        clearUnlitWhite();
        drawTextUnseen(movesOnly);
        glTranslatef(0.0f, 0.0f, -3.0f);
        glRasterPos2f(-1.0f, 0.0f);
        printCentered(bigFont, "Hi %d", 7);
        printCentered(textFont, "HIH");
        drawTextUnseen(false);
        std::array<GLfloat, 20> at{};
        glGetFloatv(GL_MODELVIEW_MATRIX, at.data());
        glGetFloatv(GL_CURRENT_RASTER_POSITION, at.data() + 16);
        return at;
    };
    const auto moved = ends(true);
    EXPECT_TRUE(litBox().empty()) << "nothing drawn";
    EXPECT_TRUE(ends(false) == moved);
    EXPECT_FALSE(litBox().empty());
}

TEST_F(Fonts, OutlineTextIsCentredOnTheOriginAndLeavesTheMatrixHalfItsWidthRight) {
    clearUnlitWhite();
    glTranslatef(0.0f, 0.0f, -3.0f);
    printCentered(textFont, "HIH");
    const testing_support::Box box = litBox();
    ASSERT_FALSE(box.empty());
    EXPECT_GT(box.width(), 200) << "three characters at depth 3 span a good part of the frame";
    const int leftMargin = box.left, rightMargin = width - 1 - box.right;
    EXPECT_LE(std::abs(leftMargin - rightMargin), 2) << "left " << box.left << ", right " << box.right;
    EXPECT_NEAR(modelviewX(), 0.5f * advances("HIH"), floatSum) << "half of \"HIH\" to the right";
}

TEST_F(Fonts, NothingToPrintDrawsNothingAndMovesNothing) {
    clearUnlitWhite();
    glTranslatef(0.0f, 0.0f, -3.0f);
    const char* none = nullptr;
    const char* empty = "";
    printCentered(textFont, none);
    printCentered(textFont, empty);
    printCentered(textFont, "\xff\x81\x9d");
    EXPECT_TRUE(litBox().empty());
    EXPECT_EQ(modelviewX(), 0.0f);

    // Byte 255 adds nothing between two characters either.
    printCentered(textFont, "H\xffH");
    EXPECT_NEAR(modelviewX(), 0.5f * advances("HH"), floatSum) << "half of \"HH\" to the right";
}

TEST_F(Fonts, PercentPercentPrintsNineCharacters) {
    glLoadIdentity();
    printCentered(textFont, "%%credits.");
    EXPECT_NEAR(modelviewX(), 0.5f * advances("%credits."), floatSum) << "half of nine characters";
    EXPECT_GT(advances("%credits."), 0.0f);

    captionFont = makeBitmapFont(24, 1.0f);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glRasterPos2f(-0.4f, 0.0f);
    const float start = rasterX();
    printCentered(captionFont, "H");
    const float oneAdvance = rasterX() - start;
    glLoadIdentity();  // the centring moved the matrix
    glTranslatef(0.0f, 0.0f, -1.0f);
    glRasterPos2f(-0.4f, 0.0f);
    printCentered(captionFont, "%%credits.");
    EXPECT_FLOAT_EQ(rasterX() - start, 9.0f * oneAdvance);
}

TEST_F(Fonts, ListBaseInForceBeforeIsRestored) {
    glListBase(1234);
    printCentered(textFont, "ever ..");
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 1234);
}

TEST_F(Fonts, TextTooLongForTheBufferIsCutTo255Characters) {
    glLoadIdentity();
    const std::string longText(300, 'H');
    printCentered(textFont, "%s", longText.c_str());
    EXPECT_NEAR(modelviewX(), 0.5f * 255.0f * glyphMetrics['H'].cellIncX, 255.0f * floatSum) << "255 characters";
}

TEST_F(Fonts, BitmapTextStartsAtTheRasterPositionWhateverItsLength) {
    captionFont = makeBitmapFont(24, 1.0f);
    int firstLeft = -1;
    for (const std::string text : {"H", "HHHHHHHHHHHH"}) {
        clearUnlitWhite();
        glTranslatef(0.0f, 0.0f, -1.0f);
        glRasterPos2f(-0.3f, 0.0f);
        const float start = rasterX();
        printCentered(captionFont, "%s", text.c_str());
        const testing_support::Box box = litBox();
        ASSERT_FALSE(box.empty()) << text;
        EXPECT_GE(box.left, start) << text;
        EXPECT_LE(box.left, start + 4) << text;
        if (firstLeft < 0) firstLeft = box.left;
        EXPECT_EQ(box.left, firstLeft) << text;
        EXPECT_NEAR(modelviewX(), -0.5f * advances(text), 1e-5f) << text;
        // The raster position moves on by whole-pixel advances of the 24-pixel face.
        const float pixelAdvance = (rasterX() - start) / text.size();
        EXPECT_NEAR(pixelAdvance, std::round(pixelAdvance), 1e-3f) << text;
        EXPECT_NEAR(pixelAdvance, glyphMetrics['H'].cellIncX * 24.0f, 1.0f) << text;
    }
}

// The bitmap size is the em height in pixels: the lit height of "H" is the
// outline font's cap height times the size, for the start-up size and for
// the size of the rebuild, and twice that once the picture is placed at
// twice its scale (in the same lists). "H" stands on the raster position's
// baseline, and "T" has its bar at the top.
TEST_F(Fonts, BitmapSizeIsTheEmHeightAlsoAfterARebuild) {
    bigFont = makeBitmapFont(72, 1.0f);
    captionFont = makeBitmapFont(24, 1.0f);
    const GLuint oldBase = bigFont;
    for (int size : {72, 42, 84}) {
        if (size == 42) bigFont = rebuildBitmapFont(bigFont, size, 1.0f);
        if (size == 84) {
            sizeOutput(width, height);
            placePicture(2 * width, 2 * height);
        }
        clearUnlitWhite();
        glTranslatef(0.0f, 0.0f, -1.0f);
        glRasterPos2f(-0.3f, -0.2f);
        GLfloat raster[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
        printCentered(bigFont, "H");
        const testing_support::Box box = litBox();
        ASSERT_FALSE(box.empty()) << size;
        EXPECT_NEAR(box.height(), glyphMetrics['H'].blackBoxY * size, 2.0f) << size;
        EXPECT_NEAR(box.bottom, height - 1 - std::floor(raster[1]), 1.0f) << size;

        clearUnlitWhite();
        glTranslatef(0.0f, 0.0f, -1.0f);
        glRasterPos2f(-0.3f, -0.2f);
        printCentered(bigFont, "T");
        const testing_support::Box t = litBox();
        int top = 0, bottom = 0;
        for (int x = t.left; x <= t.right; ++x) {
            top += testing_support::probe(x, t.top + 1).r > 128;
            bottom += testing_support::probe(x, t.bottom - 1).r > 128;
        }
        EXPECT_GT(top, 2 * bottom) << "lit pixels across the bar and across the stem, size " << size;
    }
    picture = Picture{};
    glLineWidth(1.0f);
    for (GLuint name = oldBase; name < oldBase + 256; ++name)
        if (name < bigFont || name >= bigFont + 256) {
            EXPECT_FALSE(glIsList(name)) << "list " << name;
        }
}

// White light from the viewer onto a white glyph: a face turned by a from
// the viewer shows 255 x cos a.
class LitFonts : public Fonts {
protected:
    void SetUp() override {
        Fonts::SetUp();
        const GLfloat black[] = {0.0f, 0.0f, 0.0f, 1.0f};
        const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
        const GLfloat fromViewer[] = {0.0f, 0.0f, 1.0f, 0.0f};
        glLoadIdentity();
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_POSITION, fromViewer);
        glEnable(GL_LIGHT0);
        glShadeModel(GL_SMOOTH);
        glDepthFunc(GL_LEQUAL);
    }
    void drawTurned(GLuint font, float degrees) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glLoadIdentity();
        glTranslatef(0.0f, -0.3f, -2.0f);
        glRotatef(degrees, 0.0f, 1.0f, 0.0f);
        printCentered(font, "H");
    }
};

TEST_F(LitFonts, ExtrudedGlyphTurnedShowsItsWallsLitFromOutside) {
    constexpr int enough = 2000;  // pixels; a stem's wall covers several thousand
    drawTurned(textFont, 0.0f);
    EXPECT_GT(pixelsNearGrey(255), enough) << "front face, facing the light";

    drawTurned(textFont, 60.0f);
    EXPECT_GT(pixelsNearGrey(128), enough) << "front face at 60 degrees";
    EXPECT_GT(pixelsNearGrey(221), enough) << "walls turned 30 degrees from the light";

    drawTurned(textFont, 180.0f);
    EXPECT_GT(pixelsNearGrey(255), enough) << "back face, turned to the light";
}

TEST_F(Fonts, FilledGlyphsKeepTheirHolesAndLineGlyphsAreOutlines) {
    auto drawO = [](GLuint font) {
        clearUnlitWhite();
        glTranslatef(0.0f, -0.3f, -2.0f);
        printCentered(font, "O");
        return litBox();
    };
    const testing_support::Box filled = drawO(textFont);
    ASSERT_FALSE(filled.empty());
    const int midX = (filled.left + filled.right) / 2, midY = (filled.top + filled.bottom) / 2;
    EXPECT_EQ(testing_support::probe(midX, midY).r, 0) << "inside the O";
    EXPECT_EQ(testing_support::probe(filled.left + 3, midY).r, 255) << "on the O's ring";
    const int filledPixels = pixelsNearGrey(255);

    const GLuint lines = makeOutlineFont(9, GlyphStyle::Lines);
    const testing_support::Box outlined = drawO(lines);
    constexpr int lineHalfWidth = 2;  // pixels: a line on the filled glyph's edge, rounded either way
    EXPECT_NEAR(outlined.left, filled.left, lineHalfWidth) << "the outline's left edge";
    EXPECT_NEAR(outlined.right, filled.right, lineHalfWidth) << "the outline's right edge";
    EXPECT_EQ(testing_support::probe(filled.left + 8, midY).r, 0) << "inside the ring's outline";
    EXPECT_LT(pixelsNearGrey(255), filledPixels / 2);
}

}  // namespace
