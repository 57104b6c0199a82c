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
SceneVars fx;

int32_t slideIndex = 0;
int32_t captionIndex = 0;
int32_t titleLine = 0;
uint8_t titlePhase = 0;
float lightX = 3.0f;
float ringCountF = 3.0f;
int32_t ringCount = 100;
uint8_t backFlag = 1;
uint8_t growFlag = 1;
int32_t scrollPos = 0;
int32_t creditIndex = 0;
uint8_t greetPhase = 0;

uint32_t songStartTime = 0;

namespace {
constexpr int scrollerEndFontPixels = 24;  // textFont from the sphere scene on
}  // namespace

void beginFrame() {
    // 1. Time the frame.
    ++traceFrame;
    frameSeconds = frameDelta();
    traceMillis = lastFrameTime;

    // 2. A clean frame from the identity matrix.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
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
    fx.fxC = 1.5f;
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
    fx = SceneVars{};
    slideIndex = 0;
    captionIndex = 0;
    titleLine = 0;
    titlePhase = 0;
    lightX = 3.0f;
    ringCountF = 3.0f;
    ringCount = 100;
    backFlag = 1;
    growFlag = 1;
    scrollPos = 0;
    creditIndex = 0;
    greetPhase = 0;
    songStartTime = 0;
    traceFrame = 0;
    traceMillis = 0;
}
