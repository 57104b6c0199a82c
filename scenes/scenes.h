// The frame that dispatches to the five scenes' frame steps (each declared
// in its scene's own header).
#pragma once

#include "show/sequencer.h"

// Draws one frame of the current scene into the back buffer and returns
// true: no step of a frame can fail, and the show ends through the quit
// message, never here.
bool renderFrame();

// How the current scene's unseen frames are cut (each scene's own choice).
UnseenCut unseenCut();

// Puts every scene's state and the sequencer's back to their values at
// program start (tests).
void resetScenes();
