// The display: full-screen mode (or a window), the GL context, the view.
#include "app/shell.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "platform/platform.h"
#include "resources/text.h"
#include "show/music.h"
#include "show/startup.h"

bool fullscreen = true;
bool skipFullscreen = false;

namespace {

constexpr int depthBits = 16;

bool fail(const char* text) {
    closeDisplay();
    platform::messageBox(text, "ERROR", platform::Buttons::Ok);
    return false;
}

}  // namespace

bool openDisplay(const char* title, int width, int height, int bitsPerPixel) {
    fullscreen = true;
    if (!platform::registerWindowClass(handleWindowMessage)) {
        platform::messageBox("Failed To Register The Window Class.", "ERROR", platform::Buttons::Ok);
        return false;
    }

    if (skipFullscreen) {
        fullscreen = false;
    } else if (!platform::changeDisplayMode(width, height, bitsPerPixel)) {
        const platform::Answer answer = platform::messageBox(
            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
            "ogl", platform::Buttons::YesNo);
        if (answer != platform::Answer::Yes) {
            platform::messageBox("Program Will Now Close.", "ERROR", platform::Buttons::Ok);
            return false;
        }
        fullscreen = false;
    }

    if (fullscreen) platform::showCursor(false);

    if (!platform::createWindow(title, width, height, fullscreen)) return fail("Window Creation Error.");
    if (!platform::getDeviceContext()) return fail("Can't Create A GL Device Context.");
    if (!platform::choosePixelFormat(bitsPerPixel, depthBits)) return fail("Can't Find A Suitable PixelFormat.");
    if (!platform::setPixelFormat()) return fail("Can't Set The PixelFormat.");
    if (!platform::createRenderingContext()) return fail("Can't Create A GL Rendering Context.");
    if (!platform::makeContextCurrent()) return fail("Can't Activate The GL Rendering Context.");

    platform::showWindow();
    resizeView(width, height);

    if (!startShow()) return fail("Initialization Failed.");
    return true;
}

void closeDisplay() {
    if (fullscreen) {
        platform::restoreDisplayMode();
        platform::showCursor(true);
    }
    if (platform::haveRenderingContext()) freeTextFont();
    FMUSIC_StopSong(mainSong);
    FMUSIC_FreeSong(mainSong);
    mainSong = nullptr;

    if (platform::haveRenderingContext()) {
        if (!platform::releaseContext())
            platform::messageBox("Release Of DC And RC Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
        if (!platform::deleteRenderingContext())
            platform::messageBox("Release Rendering Context Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
    }
    if (platform::haveDeviceContext() && !platform::releaseDeviceContext())
        platform::messageBox("Release Device Context Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
    if (platform::haveWindow()) platform::destroyWindow();
}

void resizeView(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the single-precision 0.1 widened to double.
    gluPerspective(45.0, static_cast<double>(static_cast<float>(width) / static_cast<float>(height)),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
