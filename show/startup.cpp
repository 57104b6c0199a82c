// The show's one-time start-up, in the order the show relies on.
#include "show/startup.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/audio/device.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "resources/datafiles.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/music.h"
#include "show/picture.h"
#include "show/sequencer.h"

int32_t bitMasks[8] = {};
GLUquadric* quadric = nullptr;
GLuint sphereList = 0;
GLuint sphereCornersList = 0;
float lightAmbient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
float lightDiffuse[4] = {1.0f, 0.0f, 0.0f, 1.0f};
// Filled from lightX before the show starts and never refreshed from it:
// the scenes that move the light send their own vectors.
float lightPosition[4] = {lightX, 0.0f, -4.0f, 1.0f};

namespace {
constexpr int soundOutputType = 2;
constexpr int soundBufferMilliseconds = 40;
constexpr int softwareChannels = 32;
constexpr double sphereRadius = 0.25;   // units
constexpr int sphereSlices = 15;
constexpr int sphereStacks = 10;
constexpr int bigFontPixels = 72;
constexpr int captionFontPixels = 24;
}  // namespace

bool startShow() {
    startSound();
    loadSongs();
    loadPhotos();
    setFixedGlState();
    fillBitMasks();
    makeSphereList();
    makeFonts();
    setUpRedLight();
    runClockFrom(showStartReading);
    startIntroSong();
    return true;
}

void readSongsAhead() {
    platform::readSongAhead(dataFilePath(introSongPath).c_str());
    platform::readSongAhead(dataFilePath(mainSongPath).c_str());
}

void startSound() {
    FSOUND_SetOutput(soundOutputType);
    FSOUND_SetBufferSize(soundBufferMilliseconds);
    FSOUND_Init(platform::showMixRate, softwareChannels, 0);
}

void loadSongs() {
    introSong = FMUSIC_LoadSong(dataFilePath(introSongPath).c_str());
    if (introSong == nullptr) platform::messageBox("ingen musikk:intro", "hoho. fEIL!", platform::Buttons::Ok);
    mainSong = FMUSIC_LoadSong(dataFilePath(mainSongPath).c_str());
    if (mainSong == nullptr) platform::messageBox("ingen musikk:velto", "hoho. fEIL!", platform::Buttons::Ok);
}

void loadPhotos() {
    // Without a single photo there is nothing to show: the quit message ends
    // the loop before its first frame, after start-up has run to its end,
    // with exit code 1, since the show could not be shown.
    if (!loadPhotoTextures()) {
        platform::messageBox("d0d over textures!", "texturefeil", platform::Buttons::Ok);
        endShow(1);
    }
}

void setFixedGlState() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Additive blending, for when a scene turns blending on.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    // Wire lines keep their weight in a larger picture.
    setPictureLineWidth();
}

void fillBitMasks() {
    // Computed in floating point and truncated: 2 to the power 7 - k.
    for (int k = 0; k < 8; ++k) bitMasks[k] = static_cast<int32_t>(std::pow(2.0, 7 - k));
}

void makeSphereList() {
    quadric = gluNewQuadric();
    gluQuadricDrawStyle(quadric, GLU_LINE);
    gluQuadricNormals(quadric, GLU_SMOOTH);
    sphereList = glGenLists(1);
    glNewList(sphereList, GL_COMPILE);
    gluSphere(quadric, sphereRadius, sphereSlices, sphereStacks);
    glEndList();
    // The same sphere's corners as points, for a sized picture, whose scale
    // a resize may take above 1 later.
    if (!picture.sized) return;
    sphereCornersList = glGenLists(1);
    gluQuadricDrawStyle(quadric, GLU_POINT);
    glNewList(sphereCornersList, GL_COMPILE);
    gluSphere(quadric, sphereRadius, sphereSlices, sphereStacks);
    glEndList();
    gluQuadricDrawStyle(quadric, GLU_LINE);
}

void makeFonts() {
    textFont = makeOutlineFont(textFontSize);
    bigFont = makeBitmapFont(bigFontPixels, picture.scale);
    captionFont = makeBitmapFont(captionFontPixels, picture.scale);
}

void setUpRedLight() {
    // The position is transformed by the identity model-view matrix.
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glEnable(GL_LIGHT0);
}

void startIntroSong() {
    // The intro song's result is not looked at: a missing song is already
    // reported, and the slideshow runs on the frame clock alone.
    songStartTime = clockMillis();
    FMUSIC_PlaySong(introSong);
}

void saveStartState() {
    glPushAttrib(GL_ALL_ATTRIB_BITS & ~GL_VIEWPORT_BIT);
}

void restartShow(bool textFontRebuilt, bool bigFontRebuilt) {
    // 1. The GL state start-up left, kept again for the next restart.
    glPopAttrib();
    setPictureLineWidth();  // at the picture's scale now, which a resize may have changed
    glPushAttrib(GL_ALL_ATTRIB_BITS & ~GL_VIEWPORT_BIT);

    // 2. The fonts rebuilt on the way: textFont when the sphere scene began,
    //    bigFont when the greetings did.
    if (textFontRebuilt) {
        freeTextFont();
        textFont = makeOutlineFont(textFontSize);
    }
    if (bigFontRebuilt) bigFont = rebuildBitmapFont(bigFont, bigFontPixels, picture.scale);

    // 3. The main song stopped and the frame clock as at program start: the
    //    first frame to come measures nothing, as the show's first frame does.
    FMUSIC_StopSong(mainSong);
    restartFrameClock();

    // 4. The intro song from its start.
    startIntroSong();
}

void stopShow() {
    if (platform::haveContext()) freeTextFont();
    FMUSIC_StopSong(mainSong);
    FMUSIC_FreeSong(mainSong);
    mainSong = nullptr;
}

void resetDrawingState() {
    std::fill(std::begin(bitMasks), std::end(bitMasks), 0);
    if (quadric != nullptr) gluDeleteQuadric(quadric);
    quadric = nullptr;
    sphereList = 0;
    sphereCornersList = 0;
    lightPosition[0] = 3.0f;
}
