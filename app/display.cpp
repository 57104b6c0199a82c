// The display: full-screen mode (or a window), the GL context, the view.
#include "app/shell.h"

#include <cstdio>

#include "app/options.h"
#include "platform/display/display.h"
#include "platform/system/testing.h"
#include "show/picture.h"
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
    if (shell.sizeFromDesktop && platform::desktopSize(width, height)) sizeOutput(width, height);

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
