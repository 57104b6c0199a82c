// An SDL window with a GL context and SDL's events as window messages: the
// part the window and headless back ends share. One window at a time.
#pragma once

#include <SDL2/SDL.h>

namespace platform::sdl {

extern SDL_Window* window;        // null when there is none
extern SDL_GLContext context;     // null when there is none

// A hidden GL window of width x height with a double-buffered RGBA format
// (5 bits a channel or more) and a 16-bit depth buffer, asking for a
// compatibility profile; flags are added to SDL_WINDOW_OPENGL. False: none.
bool createWindow(const char* title, int width, int height, Uint32 flags);
bool createContext();             // false: no window, or SDL made no context
bool makeContextCurrent();        // false: no context, or SDL refused
bool releaseContext();            // false: SDL refused
void deleteContext();
void destroyWindow();
void pollEvents();                // SDL's waiting events as window messages

}  // namespace platform::sdl
