// The frame steps of the five scenes, and the frame that dispatches to them.
// Each step draws one frame of its scene and advances it by frameSeconds;
// each decides by itself when it is finished.
#pragma once

void drawSlideshowScene();  // sceneIndex -1
void drawTitleScene();      // sceneIndex 0
void drawRingScene();       // sceneIndex 1
void drawScrollerScene();   // sceneIndex 2
void drawSphereScene();     // sceneIndex 3

// Draws one frame of the current scene into the back buffer and returns
// true: no step of a frame can fail, and the show ends through the quit
// message, never here.
bool renderFrame();

// Puts every scene's state and the sequencer's back to their values at
// program start (tests).
void resetScenes();
