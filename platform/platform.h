// The show's window, GL context, message queue, message boxes and clock.
//
// This is the narrow stand-in for the old desktop calls the show was built
// on: one function per call the show makes, with the meaning it relies on.
// Two back ends sit behind it: a real SDL2 window (X11, Wayland, ...) and a
// headless one (SDL's offscreen driver, an EGL context with no display at
// all, message boxes on standard error).
//
// Every function that can fail returns false (or none) and reports nothing:
// the caller shows the message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Window messages, with the codes the window procedure of the show knows.
constexpr uint32_t WM_SIZE       = 0x0005;
constexpr uint32_t WM_ACTIVATE   = 0x0006;
constexpr uint32_t WM_CLOSE      = 0x0010;
constexpr uint32_t WM_QUIT       = 0x0012;
constexpr uint32_t WM_KEYDOWN    = 0x0100;
constexpr uint32_t WM_KEYUP      = 0x0101;
constexpr uint32_t WM_CHAR       = 0x0102;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;

constexpr uintptr_t SC_SCREENSAVE   = 0xF140;
constexpr uintptr_t SC_MONITORPOWER = 0xF170;
constexpr uintptr_t WA_MINIMIZED_HIGH = 1;   // high word of WM_ACTIVATE's wParam while minimised
constexpr uintptr_t VK_ESCAPE = 27;

struct Message {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

using WindowProcedure = intptr_t (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);

// What the default window procedure does with a message nobody handled.
// A close that reaches it destroys nothing: it returns 0 like every other.
intptr_t defaultWindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

inline intptr_t packSize(int width, int height) {
    return static_cast<intptr_t>((static_cast<uint32_t>(height & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(width & 0xFFFF));
}

// ---------------------------------------------------------------------------
// Back end selection, made once before anything else.
enum class Backend { Window, Headless };
void selectBackend(Backend backend);
Backend currentBackend();

// ---------------------------------------------------------------------------
// Display set-up and tear-down, one call per step of opening the display.
// Each returns false when its step failed.
bool registerWindowClass(WindowProcedure procedure);     // the video system and the procedure
bool changeDisplayMode(int width, int height, int bitsPerPixel);  // full-screen mode; false when refused
void restoreDisplayMode();                                // back to the desktop mode
bool displayModeChanged();                                // a full-screen mode is in force
void showCursor(bool visible);
bool createWindow(const char* title, int width, int height, bool fullscreen);
bool getDeviceContext();
bool choosePixelFormat(int colourBits, int depthBits);    // a double-buffered RGBA format
bool setPixelFormat();
bool createRenderingContext();                            // a compatibility context for GL 1.1
bool makeContextCurrent();
void showWindow();                                        // show, raise and give it the keyboard
bool releaseContext();                                    // make no context current
bool deleteRenderingContext();
bool releaseDeviceContext();
bool destroyWindow();
bool haveRenderingContext();
bool haveDeviceContext();
bool haveWindow();
void swapBuffers();
void drawableSize(int& width, int& height);              // GL drawable in pixels

// Test seam: make the named step fail once it is reached. Steps are named by
// the functions above ("changeDisplayMode", "createWindow", ...). Empty
// clears it.
void forceFailure(const std::string& step);

// ---------------------------------------------------------------------------
// The message queue of the show's thread.
bool peekMessage(Message& message);              // removes it; false when none waits
void dispatchMessage(const Message& message);    // to the registered window procedure
void postQuitMessage(int exitCode);
void postMessage(const Message& message);        // queue one (tests, and the back end itself)

// ---------------------------------------------------------------------------
// Message boxes. Shown with their caption and buttons and wait for the user;
// where none can be shown, caption and text go to standard error, one line
// each, and the question is answered Yes.
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };
Answer messageBox(const char* text, const char* caption, Buttons buttons);

// ---------------------------------------------------------------------------
// The millisecond clock behind every clock reading in the program: monotonic,
// unsigned 32 bits, wrapping like the old multimedia timer. With a fixed step
// set it reads 1000 + floor(k * 1000 / fps), where k is the number of frames
// drawn so far.
uint32_t timeGetTime();
void setFixedStepClock(double framesPerSecond);  // 0 goes back to the real clock
void frameDrawn();                               // k += 1 for the fixed-step clock
void setClockForTesting(uint32_t (*clock)());     // null restores the normal clock
// Test seam: called after every buffer swap (scripted message sources).
void setSwapHookForTesting(void (*hook)());

// ---------------------------------------------------------------------------
// A journal of the platform calls, for tests that check order ("restore the
// display mode, then show the box"). Off unless switched on.
void enableJournal(bool on);
std::vector<std::string>& journal();
void noteJournal(const std::string& entry);

}  // namespace platform
