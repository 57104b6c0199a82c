// The show's one-time start-up, in the order the show relies on.
#include "show/startup.h"

#include <algorithm>
#include <cmath>

#include "platform/platform.h"
#include "platform/sound.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "show/music.h"
#include "show/sequencer.h"

int32_t bitMasks[8] = {};
GLUquadric* quadric = nullptr;
GLuint sphereList = 0;
float lightAmbient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
float lightDiffuse[4] = {1.0f, 0.0f, 0.0f, 1.0f};
// Filled from lightX before the show starts and never refreshed from it:
// the scenes that move the light send their own vectors.
float lightPosition[4] = {lightX, 0.0f, -4.0f, 1.0f};

namespace {
constexpr int soundOutputType = 2;
constexpr int soundBufferMilliseconds = 40;
constexpr int mixRateHz = 44100;
constexpr int softwareChannels = 32;
constexpr double sphereRadius = 0.25;
constexpr int sphereSlices = 15;
constexpr int sphereStacks = 10;
}  // namespace

bool startShow() {
    // 1. Sound.
    FSOUND_SetOutput(soundOutputType);
    FSOUND_SetBufferSize(soundBufferMilliseconds);
    FSOUND_Init(mixRateHz, softwareChannels, 0);

    // 2. Both songs; the show goes on without them.
    introSong = FMUSIC_LoadSong(introSongPath);
    if (introSong == nullptr) platform::messageBox("ingen musikk:intro", "hoho. fEIL!", platform::Buttons::Ok);
    mainSong = FMUSIC_LoadSong(mainSongPath);
    if (mainSong == nullptr) platform::messageBox("ingen musikk:velto", "hoho. fEIL!", platform::Buttons::Ok);

    // 3. The photos; without a single one there is nothing to show, and the
    //    quit message ends the loop before its first frame.
    if (!loadPhotoTextures()) {
        platform::messageBox("d0d over textures!", "texturefeil", platform::Buttons::Ok);
        platform::postQuitMessage(0);
    }

    // 4. Fixed GL state.
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // 5. Column masks of the scroller's glyph rows.
    for (int k = 0; k < 8; ++k) bitMasks[k] = static_cast<int32_t>(std::pow(2.0, 7 - k));

    // 6. Additive blending, for when a scene turns blending on.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    // 7. The wire sphere.
    quadric = gluNewQuadric();
    gluQuadricDrawStyle(quadric, GLU_LINE);
    gluQuadricNormals(quadric, GLU_SMOOTH);
    sphereList = glGenLists(1);
    glNewList(sphereList, GL_COMPILE);
    gluSphere(quadric, sphereRadius, sphereSlices, sphereStacks);
    glEndList();

    // 8. Fonts; the outline font comes first, so the glyph metrics are its.
    textFont = makeFont(9, 0.2f, true, false);
    bigFont = makeFont(72, 0.2f, false, false);
    captionFont = makeFont(24, 0.2f, false, false);

    // 9. The red light, placed under the identity matrix.
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glEnable(GL_LIGHT0);

    // 10. The intro song, timed from now.
    songStartTime = platform::timeGetTime();
    FMUSIC_PlaySong(introSong);
    return true;
}

void resetStartupState() {
    std::fill(std::begin(bitMasks), std::end(bitMasks), 0);
    if (quadric != nullptr) gluDeleteQuadric(quadric);
    quadric = nullptr;
    sphereList = 0;
    lightPosition[0] = 3.0f;
}
