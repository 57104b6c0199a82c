// Ring tunnel (scene 1): ten grey wire outlines of one regular polygon around
// a common centre 1.0 to 2.0 units ahead, each turned one angle step further
// about a slanted axis than the one before, so that they fan out into a
// tumbling bundle. The bundle throbs towards and away from the viewer about
// three times a second, and the polygon swells from a triangle to twenty
// corners and shrinks back to four, over and over.
//
// Every motion follows frameSeconds; the scene's length does not: it ends
// 23.5 s after the main song started, on the millisecond clock.
//
// State found on entry and left as it is: depth test on, lighting, texturing
// and blending off, black clear colour.

#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "scenes/ring.h"
#include "show/clock.h"
#include "show/picture.h"
#include "show/music.h"
#include "show/sequencer.h"

namespace {

constexpr float baseDistance          = 1.5f;       // units ahead of the eye, at depth offset 0
constexpr float spinDegreesPerSecond  = 16.0f;      // growth of the angle step between outlines
constexpr int   outlineCount          = 10;
constexpr float axisX                 = 0.73457f;   // the slanted axis, not normalised
constexpr float axisY                 = 0.12315f;
constexpr float axisZ                 = 0.35825f;
constexpr float fullTurn              = 6.2831855f; // radians
constexpr double outlineRadius        = 0.5;        // units
constexpr float outlineGrey           = 0.5f;
constexpr float cornersGrownPerSecond = 4.9626f;
constexpr float cornersShrunkPerSecond = 5.932492f;
constexpr float fewestCorners         = 4.1f;       // at or below: grow again
constexpr float mostCorners           = 20.0f;      // at or above: shrink again
constexpr float depthUnitsPerSecond   = 6.0f;
constexpr float depthBound            = 0.5f;       // the offset turns beyond +-0.5 (strict)
constexpr uint32_t sceneLengthMs      = 23500;      // after the main song started

// Corner i of an outline of n corners, in the outline's plane.
void cornerVertex(int32_t i, int32_t n) {
    double a = i * static_cast<double>(fullTurn) / n;
    glVertex2f(static_cast<float>(outlineRadius * std::cos(a)), static_cast<float>(outlineRadius * std::sin(a)));
}

}  // namespace

RingState ringState;

void drawRingScene() {
    float& ringCountF  = ringState.ringCountF;
    int32_t& ringCount = ringState.ringCount;
    uint8_t& backFlag  = ringState.backFlag;
    float& depthOffset = fx.fxClock;  // units towards the eye from 1.5 ahead
    float& spinDegrees = fx.fxA;      // angle step between one outline and the next

    // 1. The bundle's centre sits at the depth offset, 1.5 units ahead.
    glTranslatef(0.0f, 0.0f, depthOffset - baseDistance);

    // 2. Corners drawn this frame: what the last frame left, truncated, so the
    //    first frame draws triangles and a long step shows up one frame late.
    ringCount = static_cast<int32_t>(ringCountF);

    // 3. The angle step grows before drawing; this frame uses the new one.
    spinDegrees = spinDegrees + frameSeconds * spinDegreesPerSecond;

    // 4. Ten outlines; the rotations accumulate, so outline k is turned by
    //    k times the angle step. A count of 0 or less gives empty loops.
    for (int outline = 0; outline < outlineCount; ++outline) {
        glRotatef(spinDegrees, axisX, axisY, axisZ);
        glBegin(GL_LINE_LOOP);
        glColor3f(outlineGrey, outlineGrey, outlineGrey);
        for (int32_t i = 0; i < ringCount; ++i) cornerVertex(i, ringCount);
        glEnd();
        if (lineCornersFilled() && frameSight != FrameSight::Unseen) {
            glBegin(GL_POINTS);
            for (int32_t i = 0; i < ringCount; ++i) cornerVertex(i, ringCount);
            glEnd();
        }
    }

    // 5. The corner count swells or shrinks.
    if (growFlag) {
        ringCountF = ringCountF + frameSeconds * cornersGrownPerSecond;
    } else {
        ringCountF = ringCountF - frameSeconds * cornersShrunkPerSecond;
    }

    // 6. The bundle moves away while backFlag is set, towards the eye otherwise.
    if (backFlag) {
        depthOffset = depthOffset - frameSeconds * depthUnitsPerSecond;
    } else {
        depthOffset = depthOffset + frameSeconds * depthUnitsPerSecond;
    }

    // 7. Depth flips, after the step that crossed a bound.
    if (depthOffset < -depthBound) {
        backFlag = 0;
    } else if (depthOffset > depthBound) {
        backFlag = 1;
    }

    // 8. Corner flips: two independent tests, in this order.
    if (ringCountF <= fewestCorners) {
        growFlag = 1;
    }
    if (ringCountF >= mostCorners) {
        growFlag = 0;
    }

    // 9. The end: 23.5 s after the main song started, measured as elapsed
    //    milliseconds so that a wrap of the clock during the scene does not
    //    end it early. A reading exactly at 23500 does not end it.
    uint32_t elapsedMs = clockMillis() - songStartTime;
    if (elapsedMs > sceneLengthMs) {
        nextScene();
    }
}
