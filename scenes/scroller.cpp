// Block-letter scroller (scene 2): one sentence spelt a character at a time
// on a board of 8 x 8 grey tiles, three units ahead, tilted back 70 degrees
// and turning clockwise about its normal. For each character the tiles of its
// glyph rise out of the board, brightening as they rise, and sink back; then
// the next character comes up. A space shows the plain board for a full
// rise and sink. When the last character has sunk, the show moves on.
//
// growFlag comes over from the ring tunnel as it left it: clear, the first
// character is finished in the first frame without ever rising.
//
// State found on entry and left as it is: depth test on, lighting, texturing
// and blending off, grey clear colour.

#include <GL/gl.h>

#include <cstdint>

#include "scenes/scroller.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/sequencer.h"
#include "show/trace.h"

// The sentence: lower-case letters and spaces only (the glyph table's domain).
constexpr char scrollerText[scrollerLength + 1] =
    "we want to reinstate all the silly scrollers so we decided to go first blodhore";
static_assert(scrollerText[scrollerLength - 1] == 'e' && scrollerText[scrollerLength] == 0);

// Glyphs 0..25 are 'a'..'z', glyph 26 the space. Byte r is row r, top first;
// bit 7 is the leftmost column. k, p, q, u, v, x and z are blank: the
// sentence never needs them.
constexpr uint8_t letterGlyphs[27][8] = {
    {0x00, 0x30, 0x48, 0x08, 0x38, 0x48, 0x48, 0x38},  // a
    {0x00, 0x40, 0x40, 0x40, 0x70, 0x48, 0x48, 0x70},  // b
    {0x00, 0x00, 0x00, 0x30, 0x40, 0x40, 0x40, 0x30},  // c
    {0x08, 0x08, 0x08, 0x38, 0x48, 0x48, 0x48, 0x38},  // d
    {0x00, 0x00, 0x00, 0x30, 0x48, 0x78, 0x40, 0x38},  // e
    {0x00, 0x20, 0x40, 0x40, 0x60, 0x40, 0x40, 0x40},  // f
    {0x00, 0x38, 0x48, 0x48, 0x48, 0x38, 0x08, 0x70},  // g
    {0x40, 0x40, 0x40, 0x70, 0x48, 0x48, 0x48, 0x48},  // h
    {0x00, 0x00, 0x20, 0x00, 0x20, 0x20, 0x20, 0x20},  // i
    {0x00, 0x00, 0x10, 0x00, 0x10, 0x10, 0x10, 0x20},  // j
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // k
    {0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40},  // l
    {0x00, 0x00, 0x00, 0x40, 0x68, 0x4C, 0x4C, 0x4C},  // m
    {0x00, 0x00, 0x00, 0x40, 0x78, 0x48, 0x48, 0x48},  // n
    {0x00, 0x00, 0x00, 0x30, 0x48, 0x48, 0x48, 0x30},  // o
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // p
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // q
    {0x00, 0x00, 0x40, 0x70, 0x48, 0x40, 0x40, 0x40},  // r
    {0x00, 0x00, 0x00, 0x38, 0x40, 0x30, 0x08, 0x70},  // s
    {0x00, 0x00, 0x40, 0xE0, 0x40, 0x40, 0x50, 0x30},  // t
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // u
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // v
    {0x00, 0x00, 0x00, 0x00, 0x54, 0x54, 0x54, 0x28},  // w
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // x
    {0x00, 0x00, 0x50, 0x50, 0x50, 0x30, 0x10, 0x60},  // y
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // z
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // space
};
constexpr int spaceGlyph = 26;

namespace {

constexpr float boardDistance          = 3.0f;     // units ahead of the eye
constexpr float boardTiltDegrees       = -70.0f;   // about x: the board recedes upwards
constexpr float spinDegreesPerSecond   = 30.0f;    // clockwise: the angle decreases
constexpr int   tilesPerSide           = 8;
constexpr float tileSize               = 0.25f;    // board units; the board spans -1..1
constexpr float flatGrey               = 0.3f;
constexpr float raisedGreyPerUnit      = 2.0f;     // a raised tile is 2 x height + 0.3 grey
constexpr float extrusionPerSecond     = 1.7f;     // rise and sink rate, board units
constexpr float topOfRise              = 0.3f;     // at or above: start sinking
constexpr float bottomOfSink           = 0.0f;     // at or below: the character is done

}  // namespace

ScrollerState scrollerState;

void drawScrollerScene() {
    int32_t& scrollPos = scrollerState.scrollPos;
    float& spinDegrees = fx.fxA;     // the board's turn about its normal
    float& liftUnits   = fx.fxClock; // how far the glyph's tiles stand out, board units

    // 1. The board: three units ahead, tilted back, turned by this frame's angle.
    glTranslatef(0.0f, 0.0f, -boardDistance);
    glRotatef(boardTiltDegrees, 1.0f, 0.0f, 0.0f);
    glRotatef(spinDegrees, 0.0f, 0.0f, 1.0f);

    // 2. The spin runs on through every character; the next frame uses it.
    spinDegrees = spinDegrees - frameSeconds * spinDegreesPerSecond;

    // 3. The current character's glyph.
    char character = scrollerText[scrollPos];
    int glyph = character == ' ' ? spaceGlyph : character - 'a';

    // 4. 64 tiles, row by row from the top, left to right; each its own quad.
    //    A raised tile is lifted along the board's normal by the extrusion
    //    depth and put back after; only its top face is drawn.
    for (int row = 0; row < tilesPerSide; ++row) {
        for (int column = 0; column < tilesPerSide; ++column) {
            float top = 1.0f - tileSize * row;
            float bottom = 1.0f - tileSize * (row + 1);
            float left = tileSize * column - 1.0f;
            float right = tileSize * (column + 1) - 1.0f;
            bool raised = (letterGlyphs[glyph][row] & bitMasks[column]) != 0;
            if (raised) {
                float grey = raisedGreyPerUnit * liftUnits + flatGrey;
                glColor3f(grey, grey, grey);
                glTranslatef(0.0f, 0.0f, liftUnits);
            } else {
                glColor3f(flatGrey, flatGrey, flatGrey);
            }
            if (frameSight != FrameSight::Unseen) {
                glBegin(GL_QUADS);
                glVertex2f(left, top);
                glVertex2f(right, top);
                glVertex2f(right, bottom);
                glVertex2f(left, bottom);
                glEnd();
            }
            if (raised) {
                glTranslatef(0.0f, 0.0f, -liftUnits);
            }
        }
    }

    // 5. The glyph rises or sinks.
    if (growFlag) {
        liftUnits = liftUnits + frameSeconds * extrusionPerSecond;
    } else {
        liftUnits = liftUnits - frameSeconds * extrusionPerSecond;
    }

    // 6. At the top the glyph turns to sink; at the bottom the character is
    //    done, and after the last one the show moves on. Either way the next
    //    character starts flat and rising (a frame of 0 s finishes it at once).
    if (liftUnits >= topOfRise) {
        growFlag = 0;
        return;
    }
    if (liftUnits <= bottomOfSink) {
        scrollPos = scrollPos + 1;
        traceEvent("letter %d", scrollPos);
        if (scrollPos == scrollerLength) {
            nextScene();
        }
        growFlag = 1;
        liftUnits = 0.0f;
    }
}
