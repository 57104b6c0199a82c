// The display: full-screen mode (or a window), the GL context, the view.
#include "app/shell.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

#include "app/options.h"
#include "platform/display/display.h"
#include "platform/system/testing.h"
#include "show/drawing.h"
#include "show/startup.h"

namespace {

bool fail(const char* text) {
    closeDisplay();
    platform::messageBox(text, "ERROR", platform::Buttons::Ok);
    return false;
}

}  // namespace

bool openDisplay(const char* title, int width, int height, int bitsPerPixel) {
    // 1. The video system, with the procedure that receives the window's
    //    messages; meanwhile the songs are read on threads of their own, for
    //    start-up to take.
    readSongsAhead();
    shell.fullscreen = true;
    if (!platform::startVideo(handleWindowMessage)) {
        if (platform::displayMissing()) {
            std::fputs("eyesonly: no display to show the show on: --headless plays it without one, "
                       "--capture show.mp4 renders it to a video file\n",
                       stderr);
            if (*platform::videoFailure() != '\0')
                std::fprintf(stderr, "eyesonly: the video system said: %s\n", platform::videoFailure());
        } else
            platform::messageBox("Failed To Register The Window Class.", "ERROR", platform::Buttons::Ok);
        return false;
    }

    //    Drawn at the desktop's own size, where asked, once it is known.
    if (shell.sizeFromDesktop && platform::desktopSize(width, height)) {
        sizeOutput(width, height);
        if (picture.scale > 1.0f) platform::askForSamples(pictureSamples);
    }

    // 2. Full screen, or a window when the mode is refused and the user agrees.
    if (shell.skipFullscreen) {
        shell.fullscreen = false;
    } else if (!platform::changeDisplayMode(width, height, bitsPerPixel)) {
        const platform::Answer answer = platform::messageBox(
            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
            "ogl", platform::Buttons::YesNo);
        if (answer != platform::Answer::Yes) {
            shell.windowDeclined = true;
            platform::messageBox("Program Will Now Close.", "ERROR", platform::Buttons::Ok);
            return false;
        }
        shell.fullscreen = false;
    }

    // 3. No cursor over a full screen.
    if (shell.fullscreen) platform::showCursor(false);

    // 4. The window, made with its pixel format.
    if (!platform::createWindow(title, width, height, shell.fullscreen)) return fail("Window Creation Error.");

    // 5. The device context, and a pixel format chosen and set on it: SDL
    //    makes these with the window in step 4, so they cannot fail here;
    //    only a test can fail them, through the platform's test seam.
    if (!platform::passes("getDeviceContext")) return fail("Can't Create A GL Device Context.");
    if (!platform::passes("choosePixelFormat")) return fail("Can't Find A Suitable PixelFormat.");
    if (!platform::passes("setPixelFormat")) return fail("Can't Set The PixelFormat.");

    // 6. The GL context, current on this thread.
    if (!platform::createContext()) return fail("Can't Create A GL Rendering Context.");
    if (!platform::makeContextCurrent()) return fail("Can't Activate The GL Rendering Context.");

    // 7. Shown, with the view set for its size.
    platform::showWindow();
    resizeView(width, height);

    // 8. The show's one-time start-up.
    if (!startShow()) return fail("Initialization Failed.");
    return true;
}

void closeDisplay() {
    // 1. The desktop's mode and cursor.
    if (shell.fullscreen) {
        platform::restoreDisplayMode();
        platform::showCursor(true);
    }
    // 2. What the show made and keeps to its end: the text font's lists,
    //    while their context lives, and the main song.
    stopShow();
    // 3. The GL context.
    if (platform::haveContext()) {
        if (!platform::releaseContext())
            platform::messageBox("Release Of DC And RC Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
        if (!platform::deleteContext())
            platform::messageBox("Release Rendering Context Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
    }
    // 4. The device context goes with the window under SDL, so releasing it
    //    cannot fail here; only a test can fail it, through the test seam.
    if (platform::haveWindow() && !platform::passes("releaseDeviceContext"))
        platform::messageBox("Release Device Context Failed.", "SHUTDOWN ERROR", platform::Buttons::Ok);
    // 5. The window.
    if (platform::haveWindow()) platform::destroyWindow();
}

void resizeView(int width, int height) {
    if (height == 0) height = 1;
    // A sized output draws the picture in its place, at the show's shape.
    if (picture.sized) {
        placePicture(width, height);
        width = picture.width;
        height = picture.height;
        glViewport(picture.x, picture.y, width, height);
    } else {
        glViewport(0, 0, width, height);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the single-precision 0.1 widened to double.
    gluPerspective(45.0, static_cast<double>(static_cast<float>(width) / static_cast<float>(height)),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void blackenBars() {
    if (!pictureHasBars()) return;
    // The show's clear colour and scissor state are its own and are put
    // back; the bars are the output outside the picture, at most two.
    GLfloat clearColour[4];
    GLint scissorBox[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glGetIntegerv(GL_SCISSOR_BOX, scissorBox);
    const GLboolean scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    const Picture& p = picture;
    if (p.x > 0) {
        glScissor(0, 0, p.x, p.outputHeight);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(p.x + p.width, 0, p.outputWidth - p.x - p.width, p.outputHeight);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (p.y > 0) {
        glScissor(0, 0, p.outputWidth, p.y);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(0, p.y + p.height, p.outputWidth, p.outputHeight - p.y - p.height);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glScissor(scissorBox[0], scissorBox[1], scissorBox[2], scissorBox[3]);
    if (!scissorTest) glDisable(GL_SCISSOR_TEST);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
}
