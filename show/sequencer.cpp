// The scene chain: the start of every frame, the hand-overs between scenes
// and the shared scene state.
#include "show/sequencer.h"

#include <GL/gl.h>

#include "platform/display/display.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/music.h"
#include "show/trace.h"

int32_t sceneIndex = -1;
int32_t sceneDrawn = -1;
SceneVars fx;

float lightX = 3.0f;
uint8_t growFlag = 1;

namespace {
constexpr int scrollerEndFontPixels = 24;  // textFont from the sphere scene on
constexpr int waitingGlyphsPerFrame = 8;   // about a millisecond; all 255 in half a second at 60 fps
// Every hand-over puts the sphere at its start height (units above the
// square's centre) in fxC; the closing scene is the one that reads it there.
constexpr float sphereStartHeight = 1.5f;
}  // namespace

void beginFrame() {
    // 1. Time the frame.
    frameSeconds = frameDelta();

    // 2. A clean frame from the identity matrix.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();

    // 3. From the second frame on, a few of the title font's lists that
    //    start-up left to make: the first frame is shown without them.
    if (clockFramesDrawn() > 0) makeWaitingGlyphs(waitingGlyphsPerFrame);
}

void nextScene() {
    switch (sceneIndex) {
    case -1:
        // From the intro song to the main song, whose start the ring tunnel
        // times its end from.
        FMUSIC_StopSong(introSong);
        if (!FMUSIC_PlaySong(mainSong))
            platform::messageBox("fsck this. faakke starta musikken jo.", "hoho. fEIL!", platform::Buttons::Ok);
        songStartTime = clockMillis();
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        break;
    case 0:
        glDisable(GL_LIGHTING);
        glColor3f(0.9f, 0.9f, 0.9f);
        break;
    case 1:
        glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
        break;
    case 2:
        textFont = rebuildBitmapFont(textFont, scrollerEndFontPixels);
        glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
        glEnable(GL_LIGHTING);
        break;
    default:
        break;
    }

    sceneIndex = (sceneIndex + 1) % 4;
    fx.fxA = 0.0f;
    fx.fxB = 0.0f;
    fx.fxC = sphereStartHeight;
    fx.fxD = 0.0f;
    fx.fxClock = 0.0f;
    fx.fxTextClock = 0.0f;
    traceEvent("scene %d", sceneIndex);
}

void endShow(int exitCode) {
    platform::postQuitMessage(exitCode);
}

void resetSceneState() {
    sceneIndex = -1;
    sceneDrawn = -1;
    fx = SceneVars{};
    lightX = 3.0f;
    growFlag = 1;
}
