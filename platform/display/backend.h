// What a display back end provides. display.cpp hands every display call of
// display.h to the back end selected once by selectBackend; a new back end
// is one more table, in a file of its own, and one more Backend value.
//
// The entries mean what the functions of the same names in display.h mean,
// with three differences: the test seams are already passed, the window
// procedure and the message queue stay in display.cpp, and showMessageBox
// may refuse (the caller then writes the box to standard error).
#pragma once

#include "platform/display/display.h"

namespace platform {

struct DisplayBackend {
    bool (*startVideo)();
    bool (*changeDisplayMode)(int width, int height, int bitsPerPixel);
    void (*restoreDisplayMode)();
    void (*showCursor)(bool visible);
    bool (*createWindow)(const char* title, int width, int height, bool fullscreen);
    bool (*createContext)();
    bool (*makeContextCurrent)();
    void (*showWindow)();
    bool (*releaseContext)();
    void (*deleteContext)();
    void (*destroyWindow)();
    void (*swapBuffers)();
    void (*bindFrameForReading)();
    void (*pollEvents)();  // turns what arrived from the system into postMessage calls
    int (*refreshRateHz)();  // the display's refresh rate; 0: unknown or none
    bool (*showMessageBox)(const char* text, const char* caption, Buttons buttons, Answer& answer);  // false: none shown
};

// A back end's startVideo that fails says why here, in the video system's
// words, for videoFailure.
void noteVideoFailure(const char* reason);

extern const DisplayBackend windowBackend;    // window.cpp
extern const DisplayBackend headlessBackend;  // headless.cpp
extern const DisplayBackend desktopBackend;   // desktop.cpp
extern const DisplayBackend webBackend;       // web.cpp, in the browser build only

}  // namespace platform
