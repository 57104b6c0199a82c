// Sphere, credits and greetings (scene 3), the last scene: a wire sphere
// hangs above a square, both lit by the red light. The square tilts back
// until it stands 70 degrees out of the screen; from then on it turns about
// its normal while the sphere spins, falls and bounces. The light circles
// the view axis all the while. At the upper left a line of text shows four
// credit rows, then nineteen greeting rows: a small white heading and, on
// the same baseline, a larger grey name. After the last greeting the show
// asks to quit.
//
// The bounce depends on the frame rate: the velocity is added once a frame.
//
// State found on entry: depth test and lighting on, black clear colour,
// textFont a 24-pixel bitmap font, bigFont a 72-pixel one. Lighting is off
// only while the text is drawn.

#include <GL/gl.h>

#include <cstdint>

#include "resources/text.h"
#include "scenes/sphere.h"
#include "scenes/squares.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/picture.h"
#include "show/sequencer.h"
#include "show/trace.h"

// Credit rows, in pairs: a small white heading and a large grey name.
constexpr char creditHeadings[creditRows][20] = {"%%credits.", "%%code.",   "%%gfx.", "%%music."};
constexpr char creditNames[creditRows][20]    = {"",           "brakkelum", "taddor", "mip00ral"};

// Greeting rows: every one under the same heading.
constexpr char greetingHeading[20] = "%%:. respect";
constexpr char greetings[greetingRows][20] = {
    "pelkor",
    "dravel",
    "velmorine",
    "snodgate",
    "tarn_vise",
    "blan3ok",
    "vexTamo",
    "dornak/valtuse",
    "ombrellix",
    "qmv",
    "tolka",
    "#gravlemoken",
    "#qx07.halle",
    "tarvenhall",
    "and",
    "everyone else..",
    " .:trelvank:.",
    " .:qx2007:. ",
    ".. eof",
};

namespace {

constexpr float sphereX               = -0.2f;    // units
constexpr float sphereDepth           = -3.0f;
constexpr float sphereAxisX           = 0.3f;     // spin axis, not normalised
constexpr float sphereAxisY           = 0.43f;
constexpr float sphereAxisZ           = 0.72f;
constexpr float lightY                = 0.0f;
constexpr float lightZ                = -4.0f;
constexpr float lightDegreesPerSecond = 90.0f;    // a full turn every 4 s
constexpr float squareDepth           = -3.0f;
constexpr float tiltDegreesPerSecond  = 30.0f;
constexpr float tiltStopDegrees       = -70.0f;   // the tilt ends at the first value at or below
constexpr float turnDegreesPerSecond  = 114.0f;   // square's turn and sphere's spin
constexpr float pullPerSecond         = 0.012f;   // taken off the velocity (units a frame) each second
constexpr float floorHeight           = 0.25f;    // the sphere's radius above the square's centre
constexpr float lostAtBounce          = 0.033333335f;  // share of the speed lost: v * (1/30) - v is -29/30 v
constexpr float textDepth             = -1.0f;
constexpr float textX                 = -0.5f;    // about 30 px from the left at 640 x 480
constexpr float textY                 = 0.3f;     // about 66 px below the top
constexpr float nameGrey              = 0.5f;
constexpr float rowUnitsPerSecond     = 60.0f;
constexpr float creditRowUnits        = 200.0f;   // just over 3 1/3 s a credit row
constexpr float greetingRowUnits      = 75.0f;    // just over 1.25 s a greeting row
constexpr int   greetingFontPixels    = 42;

}  // namespace

SphereState sphereState;

void drawSphereScene() {
    int32_t& creditIndex = sphereState.creditIndex;
    uint8_t& greetPhase  = sphereState.greetPhase;
    float& tiltDegrees  = fx.fxA;          // the square's tilt back about x
    float& spinDegrees  = fx.fxB;          // the sphere's spin
    float& height       = fx.fxC;          // the sphere's height, units
    float& velocity     = fx.fxD;          // units a frame, upwards
    float& lightDegrees = fx.fxClock;      // the light's turn about the view axis
    float& rollDegrees  = fx.fxE;          // the square's turn about its normal; never reset
    float& rowClock     = fx.fxTextClock;  // units of the current text row

    // 1. Sphere, lit with the light of the previous frame.
    glTranslatef(sphereX, height, sphereDepth);
    glRotatef(spinDegrees, sphereAxisX, sphereAxisY, sphereAxisZ);
    // The corners first, so that the wire's own last normal is the one left.
    if (lineCornersFilled() && frameSight != FrameSight::Unseen) glCallList(sphereCornersList);
    glCallList(sphereList);

    // 2. Light 0 circles the view axis at depth -4.
    glLoadIdentity();
    glRotatef(lightDegrees, 0.0f, 0.0f, 1.0f);
    GLfloat position[4] = {lightX, lightY, lightZ, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    lightDegrees = lightDegrees + frameSeconds * lightDegreesPerSecond;

    // 3. Square, lit with the normal that the sphere's list left behind.
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, squareDepth);
    glRotatef(tiltDegrees, 1.0f, 0.0f, 0.0f);
    glRotatef(rollDegrees, 0.0f, 0.0f, 1.0f);
    drawLitSquare();

    // 4. Motion: first the square tilts back, alone; then it turns, the
    //    sphere spins and falls, and bounces while below the floor height
    //    (so a slow sphere may be reflected on several frames in a row).
    if (tiltDegrees > tiltStopDegrees) {
        tiltDegrees = tiltDegrees - frameSeconds * tiltDegreesPerSecond;
    } else {
        float s = frameSeconds * turnDegreesPerSecond;
        rollDegrees = rollDegrees + s;
        spinDegrees = spinDegrees + s;
        velocity = velocity - frameSeconds * pullPerSecond;
        if (height < floorHeight) {
            velocity = velocity * lostAtBounce - velocity;
        }
        height = height + velocity;
    }

    // 5. Text, unlit. The heading starts at the raster position; the
    //    centring of printCentered moves only the matrix, so it stays there.
    glDisable(GL_LIGHTING);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, textDepth);
    glRasterPos2f(textX, textY);
    GLfloat headingStart[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, headingStart);
    printCentered(textFont, greetPhase == 0 ? creditHeadings[creditIndex] : greetingHeading);

    //    The name continues on the heading's baseline where the heading
    //    ended, in grey: a bitmap takes its colour from the raster position,
    //    so the start position is set again in grey and moved on to the
    //    heading's end by a bitmap of no pixels.
    GLfloat headingEnd[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, headingEnd);
    glColor3f(nameGrey, nameGrey, nameGrey);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, textDepth);
    glRasterPos2f(textX, textY);
    glBitmap(0, 0, 0.0f, 0.0f, headingEnd[0] - headingStart[0], headingEnd[1] - headingStart[1],
             nullptr);
    printCentered(bigFont, greetPhase == 0 ? creditNames[creditIndex] : greetings[creditIndex]);
    glEnable(GL_LIGHTING);

    // 6. Row clock: a row ends when its time is strictly over; one row at
    //    most per frame, and what the clock held beyond the end is dropped.
    //    After the fourth credit the greetings begin, with a smaller name font.
    rowClock = rowClock + frameSeconds * rowUnitsPerSecond;
    float rowUnits = greetPhase == 0 ? creditRowUnits : greetingRowUnits;
    if (rowClock > rowUnits) {
        creditIndex = creditIndex + 1;
        if (creditIndex == creditRows && greetPhase == 0) {
            creditIndex = 0;
            greetPhase = 1;
            bigFont = rebuildBitmapFont(bigFont, greetingFontPixels, picture.scale);
        }
        rowClock = 0.0f;
        traceEvent("row %d %d", greetPhase, creditIndex);
    }

    // 7. After ".. eof" the show ends; no later frame is drawn. The end is
    //    traced even in a frame a jump runs through, which it ends.
    if (creditIndex == greetingRows) {
        endShow(0);
        traceQuit();
    }
}
