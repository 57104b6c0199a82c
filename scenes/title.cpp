// Title zoom (scene 0): six lines of extruded 3-D text, one after the other.
// Each line starts in the viewer's own plane, flies straight away until its
// depth first passes 7, then comes back turning about the vertical axis and
// passes through the viewer. The last line, the production's title, waits at
// its farthest point while the red light sweeps across it from right to left.
//
// A frame draws the line with the values the previous frame left, then
// advances them. The text is lit by light 0 and GL's default material (no
// colour material), so the grey level set here does not show on it.
//
// State found on entry: lighting on with light 0, depth test on, texturing
// and blending off; on the first frame also the slideshow's translation to
// depth 3, which renderFrame does not undo in that frame. The scene turns no
// capability on or off; it leaves light 0 where the sweep put it.

#include "scenes/title.h"

#include <GL/gl.h>

#include <cassert>
#include <cstdint>

#include "resources/text.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/trace.h"

constexpr char titleLines[titleRows][20] = {
    "trelvank",     // 0
    "presents",     // 1
    "our smallest", // 2
    "production",   // 3
    "ever ..",      // 4
    "$vOrK$51pA",   // 5  waits for the light
};

namespace {

constexpr float greyPerSecond          = 0.9f;   // rise of the current colour's grey level
constexpr float greyWrap               = 3.0f;   // above: back to 0 (strict); only after long pauses
constexpr float depthUnitsPerSecond    = 7.7f;   // the line's speed, away and back
constexpr float farthestDepth          = -7.0f;  // below: the line comes back (strict)
constexpr float passedDepth            = 0.1f;   // above: the line has passed the viewer (strict)
constexpr float turnDegreesPerSecond   = 150.0f; // turn while coming back
constexpr float fullTurnDegrees        = 70.0f;  // below: still turning (strict); stops just past it
constexpr int32_t sweptLine            = 5;      // the title, swept by the light
constexpr float lightUnitsPerSecond    = 12.0f;  // the light moves right to left
constexpr float lightStopX             = -5.0f;  // below: the sweep is over (strict)
constexpr float lightY                 = 0.0f;   // eye coordinates of the swept light
constexpr float lightZ                 = -4.0f;

// The line approaches; its turn grows until it first reaches 70 degrees.
void comeBack(float& depth, float& turnDegrees) {
    depth = depth + frameSeconds * depthUnitsPerSecond;
    if (turnDegrees < fullTurnDegrees) {
        turnDegrees = turnDegrees + frameSeconds * turnDegreesPerSecond;
    }
}

}  // namespace

TitleState titleState;

void drawTitleScene() {
    int32_t& titleLine  = titleState.titleLine;
    uint8_t& titlePhase = titleState.titlePhase;
    assert(titleLine >= 0 && titleLine < titleRows && "the title scene runs only while a line is left");

    float& grey        = fx.fxA;     // the current colour's grey level
    float& depth       = fx.fxB;     // the line's depth, 0 face-on at the eye
    float& turnDegrees = fx.fxClock; // the line's turn about the vertical axis

    // 1. The line at its depth and turn, centred on the vertical axis
    //    with its baseline at y = 0. A line at depth 0 is cut by the near
    //    plane; only its extrusion behind it shows.
    glTranslatef(0.0f, 0.0f, depth);
    glColor3f(grey, grey, grey);
    glRotatef(turnDegrees, 0.0f, 1.0f, 0.0f);
    printCentered(textFont, titleLines[titleLine]);

    // 2. The grey level rises, unseen on the lit text.
    grey = grey + frameSeconds * greyPerSecond;

    // 3. Away, the title's light sweep, or back.
    if (titlePhase == 0) {
        depth = depth - frameSeconds * depthUnitsPerSecond;
    } else if (titleLine == sweptLine) {
        // The light's position is given in eye coordinates. The identity is
        // loaded on every frame of the title's way back too, after the
        // sweep is over; nothing is drawn after it in this frame.
        glLoadIdentity();
        if (!(lightX < lightStopX)) {
            // The title waits: neither depth nor turn moves while the light
            // goes from x = 3 to its first value below -5, where it stays.
            lightX = lightX - frameSeconds * lightUnitsPerSecond;
            const GLfloat position[4] = {lightX, lightY, lightZ, 1.0f};
            glLightfv(GL_LIGHT0, GL_POSITION, position);
        } else {
            comeBack(depth, turnDegrees);
        }
    } else {
        comeBack(depth, turnDegrees);
    }

    // 4. The farthest point is the first depth below -7. Tested in every
    //    frame; only the end of a line clears the phase again.
    if (depth < farthestDepth) {
        titlePhase = 1;
    }

    // 5. Past the viewer: the next line starts at depth 0, face-on,
    //    dark. After the sixth line the ring tunnel follows from the next
    //    frame; the resets here come after the scene switch's own.
    if (depth > passedDepth) {
        titleLine = titleLine + 1;
        traceEvent("title %d", titleLine);
        if (titleLine == titleRows) {
            nextScene();
        }
        turnDegrees = 0.0f;
        grey = 0.0f;
        depth = 0.0f;
        titlePhase = 0;
    } else if (grey > greyWrap) {
        grey = 0.0f;
    }
}
