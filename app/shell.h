// The application shell: the program's entry and main loop, the window
// procedure, and the display window with its GL context and projection.
#pragma once

#include <cstdint>

extern bool keyDown[256];   // keyDown[k]: the key with virtual-key code k is held
extern bool appActive;      // false while the window is minimised
extern bool fullscreen;     // the display mode was (or is to be) changed

// When set, openDisplay goes straight to a window of the requested size,
// without the full-screen attempt or its question.
extern bool skipFullscreen;

// Opens the display, runs the message loop until the show ends, closes the
// display. Returns the exit code: 0 when the display could not be opened,
// otherwise the wParam of the last message retrieved (27 after Escape).
int runShow();
intptr_t handleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

// Changes the display mode, makes the window and its GL context and starts
// the show. False after it has cleaned up and told the user.
bool openDisplay(const char* title, int width, int height, int bitsPerPixel);
// Releases the display mode, the text font, the main song, the GL context
// and the window. Safe on a half-built display.
void closeDisplay();
// Viewport and a 45-degree perspective for a client area of that size.
void resizeView(int width, int height);

// Puts the shell's globals back to their initial values (tests).
void resetShellState();
