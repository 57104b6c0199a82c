// An SDL window with a GL context and SDL's events as window messages: the
// part the back ends share. One window at a time.
#pragma once

#include <SDL2/SDL.h>

#include "platform/display/display.h"

namespace platform::sdl {

extern SDL_Window* window;        // null when there is none
extern SDL_GLContext context;     // null when there is none

// The size WM_SIZE reports. 0 x 0 follows the window's GL drawable, in
// pixels; a back end that draws at a size of its own sets that size.
struct ViewSize {
    int width = 0;
    int height = 0;
};
extern ViewSize fixedViewSize;
extern int samplesAsked;          // askForSamples: multisampling of the windows made next, 0 none

// SDL's video on a display somebody can see, with the screen saver and
// monitor power-down kept off. With no display SDL would fall back to its
// offscreen or dummy driver; that is refused unless the user asked for that
// driver by name (SDL_VIDEODRIVER). False: no display. Once started it stays.
bool startDisplayVideo();

// A hidden GL window of width x height with a double-buffered RGBA format
// (5 bits a channel or more) and a 16-bit depth buffer, asking for a
// compatibility profile, multisampled as asked where offered; flags are
// added to SDL_WINDOW_OPENGL. False: none.
bool createWindow(const char* title, int width, int height, Uint32 flags);
bool createContext();             // false: no window, or SDL made no context
// Swaps of the current context wait for the display's refresh: adaptive
// (a late frame is shown at once) where the driver offers it, else every
// refresh. A driver that offers neither swaps at once.
void askForVsync();
bool makeContextCurrent();        // false: no context, or SDL refused
bool releaseContext();            // false: SDL refused
void deleteContext();
void destroyWindow();
void pollEvents();                // SDL's waiting events as window messages
int refreshRateHz();              // of the display the window is on (else the first); 0: unknown
// SDL's message box; false when none can be shown (no display, no fonts).
bool showMessageBox(const char* text, const char* caption, Buttons buttons, Answer& answer);

}  // namespace platform::sdl
