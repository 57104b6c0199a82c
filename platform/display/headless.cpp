// The headless back end: SDL's offscreen driver, which makes its GL context
// on an EGL pbuffer through Mesa and needs no display at all. On Windows,
// which has no EGL and no offscreen video driver, a window of the system's
// own that is never shown, whose GL context draws into its back buffer.
// Either takes any display mode, has no cursor and shows no message boxes.
#include <GL/gl.h>

#include "platform/display/backend.h"
#include "platform/display/sdl_gl.h"

namespace platform {

namespace headless {
namespace {

bool videoStarted = false;

bool startVideo() {
#ifdef _WIN32
    if (!videoStarted) videoStarted = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
#else
    if (!videoStarted) videoStarted = SDL_VideoInit("offscreen") == 0;
#endif
    return videoStarted;
}

bool changeDisplayMode(int, int, int) { return videoStarted; }

void restoreDisplayMode() {}

void showCursor(bool) {}

#ifdef _WIN32
// Never shown, so never on the screen or in the task bar, and never given
// the keyboard.
bool createWindow(const char* title, int width, int height, bool) {
    return videoStarted && sdl::createWindow(title, width, height, SDL_WINDOW_SKIP_TASKBAR);
}

void showWindow() {}
#else
bool createWindow(const char* title, int width, int height, bool) {
    return videoStarted && sdl::createWindow(title, width, height, SDL_WINDOW_ALLOW_HIGHDPI);
}

void showWindow() {
    if (sdl::window == nullptr) return;
    SDL_ShowWindow(sdl::window);
    SDL_RaiseWindow(sdl::window);
}
#endif

// A pbuffer (or a window never shown) has no front buffer on show, so a
// swap may do nothing, not even flush. Left alone, the driver queues every
// frame's commands and the process grows by megabytes a second. Waiting for
// each frame keeps memory flat and makes the frame complete, as a swap on a
// display does.
void swapBuffers() {
    if (sdl::context != nullptr) glFinish();
}

// No display, so no refresh: frame pacing takes its own default.
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
