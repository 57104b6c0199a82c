// The application shell: the program's entry and main loop, the window
// procedure, and the display window with its GL context and projection.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/display/display.h"
#include "show/clock.h"

// The shell's state, at its values at program start. The main loop owns it
// (app/loop.cpp); the display code reads and sets the display's part.
struct ShellState {
    bool keyDown[256] = {};        // keyDown[k]: the key with virtual-key code k is held
    // Escape went down since the loop started: a press ends the show however
    // short, even when its key-up came in the same run of messages.
    bool escapePressed = false;
    bool appActive = true;         // false while the window is minimised
    bool fullscreen = true;        // the display mode was (or is to be) changed
    // When set, openDisplay goes straight to a window of the requested size,
    // without the full-screen attempt or its question.
    bool skipFullscreen = false;
    // When set, the output is the desktop's own size (--desktop without
    // --size), known once the video has started.
    bool sizeFromDesktop = false;
    // The user answered No to the question whether a window will do: the
    // show was not opened by the user's own choice, not by a failure.
    bool windowDeclined = false;
};
extern ShellState shell;

constexpr const char* windowTitle = ".. for your eyes only ..";

// A frame the loop has just drawn, as the per-frame hook sees it: complete
// in the back buffer of the current context and not yet swapped, so the
// hook may read it back. Its number and reading are the clock's.
struct DrawnFrame : ClockFrame {
    bool last = false;      // the stop reading is reached: the run ends after the hook, unswapped
    bool skipped = false;   // a frame a jump runs through: drawn into a 1 x 1 box, never shown
};

// What a run of the show may add to the loop. The program itself uses none.
struct ShowRun {
    // The run ends after the first frame drawn at a clock reading of at
    // least this (meant for the fixed-step clock, which starts at 1000 ms).
    std::optional<uint32_t> stopAtMs;
    // Called after every drawn frame; false ends the run there, unswapped.
    std::function<bool(const DrawnFrame&)> afterFrame;
    // Called after a frame that is shown and puts other words on screen
    // than the frame shown before (show/words.h): the line's text ("" when
    // the words are gone) and the frame's show time in ms. Before
    // afterFrame; never for frames a jump runs through.
    std::function<void(const std::string& text, double showMs)> onWords;
};

enum class ShowEnd {
    NotOpened,  // openDisplay failed and told the user
    Quit,       // a quit message (the show's end, a window close, no photos)
    Escape,     // the Escape key went down
    Stopped,    // the frame at the stop reading was drawn
    HookEnded,  // afterFrame returned false
    Signalled,  // a stop signal (SIGINT, SIGTERM) came
};

struct ShowResult {
    int exitCode = 0;       // 0 when not opened, else the wParam of the last message retrieved
    ShowEnd end = ShowEnd::NotOpened;
};

// Opens the display, runs the message loop until the show ends, closes the
// display. Returns the exit code: 0 when the display could not be opened,
// otherwise the wParam of the last message retrieved (27 after Escape).
int runShow();
// The same loop with a stop reading and a per-frame hook (tools, capture).
ShowResult runShow(const ShowRun& run);

// The same loop a turn at a time, for a caller that must return between
// frames (the browser's): open it, turn it until a turn says Ended, close it.
struct ShowLoop {
    ShowEnd end = ShowEnd::Quit;
    platform::Message message;  // the last one retrieved
};
enum class LoopTurn {
    Message,  // a message was handled, or a frame drawn but not shown: turn again
    Shown,    // a frame was drawn and swapped
    Paused,   // paused: nothing drawn; wait a little before the next turn
    Ended,    // the run is over: close it
};
bool openShowLoop(ShowLoop& loop);  // false: the display could not be opened (and the user was told)
LoopTurn showLoopTurn(const ShowRun& run, ShowLoop& loop);
ShowResult closeShowLoop(const ShowLoop& loop);
intptr_t handleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

// Changes the display mode, makes the window and its GL context and starts
// the show. False after it has cleaned up and told the user.
bool openDisplay(const char* title, int width, int height, int bitsPerPixel);
// Releases the display mode, the text font, the main song, the GL context
// and the window. Safe on a half-built display.
void closeDisplay();
// Viewport and a 45-degree perspective for a client area of that size; on
// a sized output (show/drawing.h), for the picture placed in it.
void resizeView(int width, int height);
// Paints the bars of a sized output black, after a frame is drawn: the
// show's clears would give them its clear colour. Without bars: nothing.
void blackenBars();

// Puts the shell's state back to its values at program start (tests).
void resetShellState();
// Puts everything a run of the show leaves behind back to its state at
// program start: the songs, the shell, the player, the scenes, the clock,
// the fonts, the photos and the drawing state, for a run after an earlier
// one in the same process (the browser's Play again, tests).
void resetShowState();
