// The headless back end: SDL's offscreen driver, which makes its GL context
// on an EGL pbuffer through Mesa and needs no display at all. On Windows,
// which has no EGL and no offscreen video driver, a window of the system's
// own that is never shown, whose GL context draws into its back buffer.
// Either takes any display mode, has no cursor and shows no message boxes.
// A multisampled frame is drawn into a framebuffer of its own, resolved
// when it is read: a pbuffer or a hidden window that is given samples may
// not draw with them (Mesa's llvmpipe does not).
#include <GL/gl.h>

#include "platform/display/backend.h"
#include "platform/display/framebuffer.h"
#include "platform/display/sdl_gl.h"

namespace platform {

namespace headless {
namespace {

bool videoStarted = false;
framebuffer::Frame frame;  // multisampled: what the show draws into; else none

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
constexpr Uint32 windowFlags = SDL_WINDOW_SKIP_TASKBAR;

void showWindow() {}
#else
constexpr Uint32 windowFlags = SDL_WINDOW_ALLOW_HIGHDPI;

void showWindow() {
    if (sdl::window == nullptr) return;
    SDL_ShowWindow(sdl::window);
    SDL_RaiseWindow(sdl::window);
}
#endif

// The samples asked for are the frame's framebuffer's, made with the context.
bool createWindow(const char* title, int width, int height, bool) {
    if (!videoStarted) return false;
    frame = {width, height, sdl::samplesAsked};
    sdl::samplesAsked = 0;
    const bool made = sdl::createWindow(title, width, height, windowFlags);
    sdl::samplesAsked = frame.samples;
    return made;
}

// A context without framebuffer objects draws single-sampled, into the
// pbuffer (or the window) itself.
bool createContext() {
    if (!sdl::createContext()) return false;
    if (frame.samples > 0 && !framebuffer::make(frame)) {
        if (frame.framebuffer != 0 || frame.resolvedFramebuffer != 0)
            framebuffer::gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        framebuffer::forget(frame);
        frame.samples = 0;
    }
    return true;
}

bool makeContextCurrent() {
    if (!sdl::makeContextCurrent()) return false;
    if (frame.framebuffer != 0) framebuffer::gl.BindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    return true;
}

// The framebuffer's objects die with the context.
void deleteContext() {
    framebuffer::forget(frame);
    sdl::deleteContext();
}

void bindFrameForReading() {
    if (frame.framebuffer != 0)
        framebuffer::bindForReading(frame);
    else
        glReadBuffer(GL_BACK);
}

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
    headless::createContext,
    headless::makeContextCurrent,
    headless::showWindow,
    sdl::releaseContext,
    headless::deleteContext,
    sdl::destroyWindow,
    headless::swapBuffers,
    headless::bindFrameForReading,
    sdl::pollEvents,
    headless::refreshRateHz,
    headless::showMessageBox,
};

}  // namespace platform
