// The show's display, message queue and message boxes.
//
// The display functions run on one of three back ends, chosen once with
// selectBackend before startVideo:
//   Window    an SDL window on the desktop's display (X11, Wayland, ...) with
//             a compatibility GL context; full screen changes the display mode.
//   Headless  SDL's offscreen driver: a GL context on an EGL pbuffer through
//             Mesa, no display needed; message boxes go to standard error.
//   Desktop   as Window, but full screen keeps the desktop's mode: the show
//             draws at the window size it asked for into an offscreen
//             framebuffer, shown scaled to fit with black bars.
// Each back end is a table of the functions in platform/display/backend.h,
// in a file of its own (window.cpp, headless.cpp, desktop.cpp). The browser
// build has one back end of its own instead (web.cpp): a canvas on the
// page with a WebGL context, whatever selectBackend is told.
//
// A function that can fail returns false and reports nothing: the caller
// shows the message. Tests reach the seams in platform/system/testing.h.
#pragma once

#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------
// Window messages the back ends post, with their codes.
constexpr uint32_t WM_SIZE       = 0x0005;
constexpr uint32_t WM_ACTIVATE   = 0x0006;
constexpr uint32_t WM_CLOSE      = 0x0010;
constexpr uint32_t WM_QUIT       = 0x0012;
constexpr uint32_t WM_KEYDOWN    = 0x0100;
constexpr uint32_t WM_KEYUP      = 0x0101;
constexpr uint32_t WM_CHAR       = 0x0102;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP   = 0x0105;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;

constexpr uintptr_t SC_SCREENSAVE     = 0xF140;
constexpr uintptr_t SC_MONITORPOWER   = 0xF170;
constexpr uintptr_t WA_MINIMIZED_HIGH = 1;   // high word of WM_ACTIVATE's wParam while minimised
constexpr uintptr_t VK_ESCAPE         = 27;
constexpr uintptr_t VK_SPACE          = 0x20;
constexpr uintptr_t VK_HOME           = 0x24;
constexpr uintptr_t VK_LEFT           = 0x25;
constexpr uintptr_t VK_RIGHT          = 0x27;
constexpr uintptr_t VK_PRIOR          = 0x21;  // Page Up
constexpr uintptr_t VK_NEXT           = 0x22;  // Page Down
constexpr uintptr_t VK_M              = 'M';
// The keyboard's media keys.
constexpr uintptr_t VK_MEDIA_NEXT_TRACK = 0xB0;
constexpr uintptr_t VK_MEDIA_PREV_TRACK = 0xB1;
constexpr uintptr_t VK_MEDIA_STOP       = 0xB2;
constexpr uintptr_t VK_MEDIA_PLAY_PAUSE = 0xB3;

struct Message {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

using WindowProcedure = intptr_t (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);

// What happens to a message the window procedure leaves alone: nothing. A
// close that reaches it destroys nothing; it returns 0 like every other.
intptr_t defaultWindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

// The lParam of WM_SIZE: width in the low word, height in the high word.
inline intptr_t packSize(int width, int height) {
    return static_cast<intptr_t>((static_cast<uint32_t>(height & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(width & 0xFFFF));
}

// ---------------------------------------------------------------------------
// The display, in the order the show opens and closes it.
enum class Backend { Window, Headless, Desktop };
void selectBackend(Backend backend);  // before startVideo; Window unless told

bool startVideo(WindowProcedure procedure);  // false: no video system (for a window: no display)
bool displayMissing();                 // startVideo failed for a window: there is no display to reach
const char* videoFailure();            // why startVideo failed, in the video system's words; "" unknown
bool changeDisplayMode(int width, int height, int bitsPerPixel);  // false: no mode of that size; nothing changed
void restoreDisplayMode();            // the desktop's own mode again
void showCursor(bool visible);
// A hidden window whose client area is width x height, with a double-
// buffered RGBA pixel format and a 16-bit depth buffer; full screen in the
// mode that changeDisplayMode found. False: no window.
bool createWindow(const char* title, int width, int height, bool fullscreen);
bool createContext();                 // a GL 1.1 compatibility context; false: none for this window
bool makeContextCurrent();            // false: it could not be made current
void showWindow();                    // shows, raises and gives it the keyboard
bool releaseContext();                // makes no context current; false: that failed
bool deleteContext();                 // the context is gone either way; false: deleting it failed
void destroyWindow();                 // also drops the messages still waiting
bool haveWindow();
bool haveContext();
void setWindowTitle(const char* title);  // nothing without a window
// Multisampling for the windows and contexts made from now on, samples a
// pixel (0: none). Where the system offers none, they are made without.
void askForSamples(int samples);
// The desktop's own size in pixels, once the video is started. False: unknown.
bool desktopSize(int& width, int& height);
int displayRefreshHz();               // of the window's display; 0: unknown, or headless
// Shows the frame drawn, then keeps the frame pacing (platform/system/clock.h).
// The headless back end has nowhere to show it: it waits until the frame is
// finished, so the driver never queues frame after frame (which it would,
// without bound).
void swapBuffers();

// The frame drawn so far, where glReadPixels reads it, before it is
// swapped: a multisampled frame is resolved, single-sampled, first.
void bindFrameForReading();

// A current GL context of width x height pixels on the headless back end,
// for tests, benchmarks and tools that draw without the show's display.
// False: none could be made (nothing is left open).
bool openOffscreenContext(int width, int height);
void closeOffscreenContext();

// ---------------------------------------------------------------------------
// The message queue of the show's thread.
bool peekMessage(Message& message);            // removes it; false when none waits
void dispatchMessage(const Message& message);  // to the procedure given to startVideo
void postQuitMessage(int exitCode);
void postMessage(const Message& message);      // queues one at the end

// ---------------------------------------------------------------------------
// Message boxes: shown with caption and buttons, waiting for the user. Where
// none can be shown (the headless back end, or no display), caption and text
// go to standard error, one line each, and the question is answered Yes.
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };
Answer messageBox(const char* text, const char* caption, Buttons buttons);

}  // namespace platform
