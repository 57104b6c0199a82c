// The desktop back end: full screen at the desktop's own mode, for displays
// and compositors that will not switch to the show's size. Nothing changes
// the display mode. The show draws at its own size (the window size it asks
// for, 640 x 480) into an offscreen framebuffer that stays bound, so its
// drawing, its viewport and any pixels read back are those of a 640 x 480
// screen; every swap shows that frame scaled to fit the screen, its shape
// kept, with black bars beside or above and below it.
//
// A context without framebuffer objects counts as no context at all.
#include <cstdint>

#include "platform/display/backend.h"
#include "platform/display/framebuffer.h"
#include "platform/display/sdl_gl.h"

namespace platform {

namespace desktop {
namespace {

struct DesktopState {
    bool videoStarted = false;
    framebuffer::Frame frame;      // the size the show draws at, its samples
};

DesktopState state;

// Where the frame goes on a drawable: the largest rectangle of the frame's
// shape that fits, centred. Corners in GL's pixels (origin bottom left).
struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

Rect fitFrame(int drawableWidth, int drawableHeight) {
    const int64_t fw = state.frame.width, fh = state.frame.height;
    int64_t width = drawableWidth, height = drawableHeight;
    if (width * fh > height * fw)
        width = height * fw / fh;   // wider than the frame: bars left and right
    else
        height = width * fh / fw;   // taller (or the same shape): bars above and below
    const int x0 = static_cast<int>((drawableWidth - width) / 2);
    const int y0 = static_cast<int>((drawableHeight - height) / 2);
    return {x0, y0, x0 + static_cast<int>(width), y0 + static_cast<int>(height)};
}

bool startVideo() {
    state.videoStarted = sdl::startDisplayVideo();
    return state.videoStarted;
}

// The desktop keeps its mode: every size is drawn at its own size and scaled.
bool changeDisplayMode(int, int, int) {
    return state.videoStarted;
}

void restoreDisplayMode() {
    if (sdl::window != nullptr) SDL_SetWindowFullscreen(sdl::window, 0);
}

void showCursor(bool visible) {
    if (state.videoStarted) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

// Full screen covers the desktop in its own mode. The window manager makes
// a full-screen window cover the screen; the window is made the screen's
// size as well, so that it covers it where no window manager runs (a bare
// X server, a kiosk). A window (no full screen) keeps a client area of
// width x height and can be resized, the frame following it scaled.
bool createWindow(const char* title, int width, int height, bool fullscreen) {
    if (!state.videoStarted || width <= 0 || height <= 0) return false;
    int windowWidth = width, windowHeight = height;
    SDL_Rect screen{};
    if (fullscreen && SDL_GetDisplayBounds(0, &screen) == 0 && screen.w > 0 && screen.h > 0) {
        windowWidth = screen.w;
        windowHeight = screen.h;
    }
    const Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_RESIZABLE);
    // The samples asked for are the frame's: the window only receives it.
    state.frame.samples = sdl::samplesAsked;
    sdl::samplesAsked = 0;
    const bool made = sdl::createWindow(title, windowWidth, windowHeight, flags);
    sdl::samplesAsked = state.frame.samples;
    if (!made) return false;
    state.frame.width = width;
    state.frame.height = height;
    sdl::fixedViewSize = {width, height};
    return true;
}

// SDL makes a new context current, so the framebuffer is made in it here;
// a context that cannot have one is deleted again.
bool createContext() {
    if (!sdl::createContext()) return false;
    sdl::askForVsync();
    if (framebuffer::make(state.frame)) return true;
    framebuffer::forget(state.frame);
    sdl::deleteContext();
    return false;
}

bool makeContextCurrent() {
    if (state.frame.framebuffer == 0 || !sdl::makeContextCurrent()) return false;
    framebuffer::gl.BindFramebuffer(GL_FRAMEBUFFER, state.frame.framebuffer);
    return true;
}

void showWindow() {
    if (sdl::window == nullptr) return;
    SDL_ShowWindow(sdl::window);
    SDL_RaiseWindow(sdl::window);
}

// The framebuffer's objects die with the context.
void deleteContext() {
    framebuffer::forget(state.frame);
    sdl::deleteContext();
}

void destroyWindow() {
    sdl::destroyWindow();
    sdl::fixedViewSize = {};
}

void bindFrameForReading() {
    if (state.frame.framebuffer != 0) framebuffer::bindForReading(state.frame);
}

void swapBuffers() {
    if (sdl::window == nullptr) return;
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(sdl::window, &drawableWidth, &drawableHeight);
    if (state.frame.framebuffer == 0 || drawableWidth <= 0 || drawableHeight <= 0) {
        SDL_GL_SwapWindow(sdl::window);
        return;
    }
    const framebuffer::Calls& gl = framebuffer::gl;
    const framebuffer::Frame& frame = state.frame;
    // 1. The frame's place on the screen.
    const Rect place = fitFrame(drawableWidth, drawableHeight);
    // 2. The screen black, bars and all. The show's clear colour is its own
    //    state and is put back. The show never turns on the scissor test or
    //    masks colours, either of which would keep parts of the bars.
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    // 3. The frame, scaled into its place. At a whole-number scale (640 x
    //    480 shown at 1280 x 960 or 1920 x 1440) nearest-pixel copies every
    //    pixel into an equal square, exactly as a display in that mode does.
    //    At any other scale nearest-pixel gives some source rows and columns
    //    one more screen pixel than their neighbours (2, 2, 3, 2, ... at
    //    2.25), so one-pixel lines of the bitmap text and the wire sphere
    //    come out unevenly thick and shimmer as they move; linear filtering
    //    keeps every line the same weight at the cost of a slight softness,
    //    as a flat panel's own scaler shows a 640 x 480 mode.
    const bool wholeScale = (place.x1 - place.x0) % frame.width == 0 && (place.y1 - place.y0) % frame.height == 0;
    //    A multisampled frame is resolved first, at its own size.
    framebuffer::bindForReading(frame);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.BlitFramebuffer(0, 0, frame.width, frame.height, place.x0, place.y0, place.x1, place.y1,
                       GL_COLOR_BUFFER_BIT, wholeScale ? GL_NEAREST : GL_LINEAR);
    // 4. Shown, and the frame's buffer bound again for the next frame's drawing.
    SDL_GL_SwapWindow(sdl::window);
    gl.BindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
}

}  // namespace
}  // namespace desktop

const DisplayBackend desktopBackend = {
    desktop::startVideo,
    desktop::changeDisplayMode,
    desktop::restoreDisplayMode,
    desktop::showCursor,
    desktop::createWindow,
    desktop::createContext,
    desktop::makeContextCurrent,
    desktop::showWindow,
    sdl::releaseContext,
    desktop::deleteContext,
    desktop::destroyWindow,
    desktop::swapBuffers,
    desktop::bindFrameForReading,
    sdl::pollEvents,
    sdl::refreshRateHz,
    sdl::showMessageBox,
};

}  // namespace platform
