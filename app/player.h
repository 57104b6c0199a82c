// The player's controls over the show: a start from a given moment, and on
// the real clock with a keyboard, pause, mute and jumps.
//
//   Space        pauses and resumes: the clock and the music hold still, the
//                picture stays (no frame is drawn while paused, unless the
//                output is resized: then the same moment is drawn anew)
//   M            mutes and unmutes: the music plays on in its place, unheard
//   Left, Right  10 s back and forward
//   Home         back to the start
//   PageUp,      the previous and the next chapter's first frame (the
//   PageDown     first chapter's, in the first)
//   media keys   play/pause as Space, next and previous as PageDown and
//                PageUp (stop ends the show as a window close does: in
//                app/loop.cpp)
//
// A jump reaches its moment the only way the show's state can be made:
// frame by frame. Its frames run on a fixed-step clock at the pace's rate
// (backwards: from the start again, after restartShow), each drawn into a
// 1 x 1 scissor box so that no fragment is shaded, with no trace lines and
// not shown; the first frame at the moment or later is drawn in full and
// shown, and the clock then runs on from its reading, with the music moved
// to the same place.
#pragma once

#include <cstdint>

struct PlayerSettings {
    bool keys = false;           // the keys act (the real clock, a display with a keyboard)
    double fromSeconds = 0.0;    // --from S: the first frame shown is the first at S or later
    int fromChapter = -1;        // --from NAME: the first frame shown is that chapter's first; -1: none
    bool muted = false;          // --mute: no sound device, and the title says "muted"
    bool soundInStep = false;    // the sound is mixed frame by frame (capture): songs are never moved
    double jumpFps = 0.0;        // frames a second of a jump; 0: the display's refresh rate (60 if unknown)
};
void setUpPlayer(const PlayerSettings& settings);

// Once the display is open, before the first frame.
void startPlayer();
// A key that went down (not a repeat), by virtual-key code.
void playerKey(uintptr_t key);
// Paused with no jump to run: the loop draws nothing, so the picture stays.
bool playerPaused();
// Before a frame: false for a frame that a jump runs through (drawn into a
// 1 x 1 box, with no trace lines, not to be shown).
bool beginPlayerFrame();
// After that frame was drawn.
void endPlayerFrame();
// The output was resized while the picture is held (paused, or the page
// hidden): the frame shown is drawn again at the new size, as a jump to its
// own moment draws it, with the clock and the music held and no trace lines.
void playerRedraw();
// The window title for the current state: the show's own, with "paused"
// and "muted" while they hold.
const char* playerTitle();

// The page's controls beside the keys; like the keys, they act only where
// settings.keys is set. A jump to second S of the show, as Left, Right and
// Home jump (the position bar). A hold while the page is hidden: the clock
// and the music stand still as in a pause, but apart from the user's pause,
// so that showing the page again does not undo one.
void playerJumpToSecond(double seconds);
// A jump to a chapter's first frame (show/chapters.h), as PageUp and
// PageDown jump: the frames before it are run until its scene's first
// frame, which is shown, at any rate; back through the show's start when
// the chapter is not ahead.
void playerGoToChapter(int chapter);
void playerHide(bool hidden);
// A jump forward to second S that the program asks for itself, keys or
// not (showframe, between the moments it draws): run as --from runs to its
// moment. Nothing where S is not ahead of the frame last drawn.
void playerRunAheadTo(double seconds);
// What the controls show: the show's second of the frame shown (a running
// jump's target), and the user's pause and mute.
struct PlayerView {
    double second = 0.0;
    bool paused = false;
    bool muted = false;
    int jumps = 0;  // jumps finished in this run, each with the music placed anew
    int chapter = 0;  // the chapter of the frame shown (a running jump's target)
};
PlayerView playerView();

// True when the show ended before the first frame --from asked for (the
// start moment lies past the show's end at this rate); endSeconds is then
// the show second of the show's last frame.
bool playerStartPastEnd(double& endSeconds);

void resetPlayerState();
