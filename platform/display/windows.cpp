// The headless back end on Windows, which has no EGL and no offscreen video
// driver: a window of the system's own that is never shown, whose GL context
// draws into the window's back buffer. It takes any display mode, has no
// cursor and shows no message boxes, as the headless back end on Linux.
#include <GL/gl.h>

#include "platform/display/backend.h"
#include "platform/display/sdl_gl.h"

namespace platform {

namespace headless {
namespace {

bool videoStarted = false;

bool startVideo() {
    if (!videoStarted) videoStarted = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    return videoStarted;
}

bool changeDisplayMode(int, int, int) { return videoStarted; }

void restoreDisplayMode() {}

void showCursor(bool) {}

// Never shown, so never on the screen or in the task bar, and never given
// the keyboard.
bool createWindow(const char* title, int width, int height, bool) {
    return videoStarted && sdl::createWindow(title, width, height, SDL_WINDOW_SKIP_TASKBAR);
}

void showWindow() {}

// Nothing is shown: waiting for each frame keeps the driver from queueing
// frame after frame, and makes the frame complete, as a swap on a display
// does.
void swapBuffers() {
    if (sdl::context != nullptr) glFinish();
}

// Nothing shown, so no refresh: frame pacing takes its own default.
int refreshRateHz() { return 0; }

bool showMessageBox(const char*, const char*, Buttons, Answer&) { return false; }

}  // namespace
}  // namespace headless

const DisplayBackend headlessBackend = {
    headless::startVideo,
    headless::changeDisplayMode,
    headless::restoreDisplayMode,
    headless::showCursor,
    headless::createWindow,
    sdl::createContext,
    sdl::makeContextCurrent,
    headless::showWindow,
    sdl::releaseContext,
    sdl::deleteContext,
    sdl::destroyWindow,
    headless::swapBuffers,
    sdl::pollEvents,
    headless::refreshRateHz,
    headless::showMessageBox,
};

}  // namespace platform
