// The window back end: an SDL window with a GL context on whatever video
// driver SDL picks (X11, Wayland, ...). Full screen is a real change of the
// display mode to the requested size, made when the window is shown and
// undone by restoreDisplayMode.
#include <GL/gl.h>

#include "platform/display/backend.h"
#include "platform/display/sdl_gl.h"

namespace platform {

namespace windowed {
namespace {

struct WindowState {
    bool videoStarted = false;
    bool fullscreen = false;     // a full-screen mode is requested or in force
    SDL_DisplayMode mode{};      // the mode changeDisplayMode found
};

WindowState state;

bool startVideo() {
    state.videoStarted = sdl::startDisplayVideo();
    return state.videoStarted;
}

bool changeDisplayMode(int width, int height, int bitsPerPixel) {
    if (!state.videoStarted) return false;
    // The exact size is needed; the depth is taken where the display offers it.
    bool found = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode candidate{};
        if (SDL_GetDisplayMode(0, i, &candidate) != 0) continue;
        if (candidate.w != width || candidate.h != height) continue;
        if (!found || static_cast<int>(SDL_BITSPERPIXEL(candidate.format)) == bitsPerPixel) {
            state.mode = candidate;
            found = true;
        }
    }
    state.fullscreen = found;
    return found;
}

void restoreDisplayMode() {
    if (sdl::window != nullptr) SDL_SetWindowFullscreen(sdl::window, 0);
    state.fullscreen = false;
}

void showCursor(bool visible) {
    if (state.videoStarted) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool createWindow(const char* title, int width, int height, bool fullscreen) {
    if (!state.videoStarted) return false;
    const Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI | (fullscreen ? SDL_WINDOW_FULLSCREEN : 0);
    if (!sdl::createWindow(title, width, height, flags)) return false;
    if (fullscreen && SDL_SetWindowDisplayMode(sdl::window, &state.mode) != 0) {
        sdl::destroyWindow();
        return false;
    }
    return true;
}

bool createContext() {
    if (!sdl::createContext()) return false;
    sdl::askForVsync();
    return true;
}

void showWindow() {
    if (sdl::window == nullptr) return;
    SDL_ShowWindow(sdl::window);
    SDL_RaiseWindow(sdl::window);
    if (!state.fullscreen) {
        // A bordered window keeps its outer size; its client area is what is
        // left inside the frame.
        int top = 0, left = 0, bottom = 0, right = 0;
        int width = 0, height = 0;
        SDL_GetWindowSize(sdl::window, &width, &height);
        if (SDL_GetWindowBordersSize(sdl::window, &top, &left, &bottom, &right) == 0 &&
            (top | left | bottom | right) != 0)
            SDL_SetWindowSize(sdl::window, width - left - right, height - top - bottom);
    }
}

void swapBuffers() {
    if (sdl::window != nullptr) SDL_GL_SwapWindow(sdl::window);
}

void bindFrameForReading() { glReadBuffer(GL_BACK); }

}  // namespace
}  // namespace windowed

const DisplayBackend windowBackend = {
    windowed::startVideo,
    windowed::changeDisplayMode,
    windowed::restoreDisplayMode,
    windowed::showCursor,
    windowed::createWindow,
    windowed::createContext,
    sdl::makeContextCurrent,
    windowed::showWindow,
    sdl::releaseContext,
    sdl::deleteContext,
    sdl::destroyWindow,
    windowed::swapBuffers,
    windowed::bindFrameForReading,
    sdl::pollEvents,
    sdl::refreshRateHz,
    sdl::showMessageBox,
};

}  // namespace platform
