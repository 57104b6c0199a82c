// The window back end: an SDL window with a GL context on whatever video
// driver SDL picks (X11, Wayland, ...). Full screen is a real change of the
// display mode to the requested size, made when the window is shown and
// undone by restoreDisplayMode.
#include "platform/backend.h"
#include "platform/sdl_gl.h"

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
    if (state.videoStarted) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // With no display SDL falls back to its offscreen driver, which would
    // play the show where nobody can see it. A window needs a real one,
    // unless the user asked for that driver by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        (asked == nullptr || SDL_strcasecmp(asked, driver) != 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // No screen saver or monitor power-down while the show runs.
    SDL_DisableScreenSaver();
    state.videoStarted = true;
    return true;
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

bool showMessageBox(const char* text, const char* caption, Buttons buttons, Answer& answer) {
    const SDL_MessageBoxButtonData okButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"},
    };
    // Return answers Yes and Escape answers No.
    const SDL_MessageBoxButtonData yesNoButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
    };
    const bool question = buttons == Buttons::YesNo;
    SDL_MessageBoxData data{};
    data.flags = question ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_ERROR;
    data.window = nullptr;
    data.title = caption;
    data.message = text;
    data.numbuttons = question ? 2 : 1;
    data.buttons = question ? yesNoButtons : okButtons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return false;
    answer = !question ? Answer::Ok : pressed == 1 ? Answer::Yes : Answer::No;
    return true;
}

}  // namespace
}  // namespace windowed

const DisplayBackend windowBackend = {
    windowed::startVideo,
    windowed::changeDisplayMode,
    windowed::restoreDisplayMode,
    windowed::showCursor,
    windowed::createWindow,
    sdl::createContext,
    sdl::makeContextCurrent,
    windowed::showWindow,
    sdl::releaseContext,
    sdl::deleteContext,
    sdl::destroyWindow,
    windowed::swapBuffers,
    sdl::pollEvents,
    windowed::showMessageBox,
};

}  // namespace platform
