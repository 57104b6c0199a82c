// The chain of scenes, the hand-overs between them and the shared scene
// state.
//
//   sceneIndex  scene                          ends by
//   -1          photo slideshow                nextScene after its 14th slide
//    0          title zoom                     nextScene after its sixth line
//    1          ring tunnel                    nextScene 23.5 s after the main song started
//    2          block-letter scroller          nextScene after the last letter
//    3          sphere, credits and greetings  the quit message after the last greeting
#pragma once

#include <cstdint>

// The show's length at 60 frames a second, from its start to the quit (the
// trace's last reading minus 1000); other rates lengthen or shorten it a
// little, as the scroller and the sphere's bounce follow the frame rate.
constexpr double showLengthSeconds = 146.5;

// Seven scratch values shared by all scenes; each scene gives them its own
// meaning. nextScene resets all but fxE.
struct SceneVars {
    float fxA = 0.0f;
    float fxB = 0.0f;
    float fxC = 0.0f;          // the sphere's start height after every reset
    float fxD = 0.0f;
    float fxClock = 0.0f;
    float fxE = 0.0f;          // never reset
    float fxTextClock = 0.0f;
};

extern int32_t sceneIndex;     // -1 at start
// The scene the frame drawn last showed: sceneIndex as it stood when the
// frame's scene was drawn, before a hand-over at the end of the frame (the
// slideshow's last frame shows the title). -1 at start.
extern int32_t sceneDrawn;
extern SceneVars fx;

// What one scene leaves to a later one. Each scene keeps the rest of its
// state in a struct of its own (scenes/*.h).
extern float lightX;           // x of light 0: 3.0, swept by the title scene, used again by the sphere
extern uint8_t growFlag;       // ring tunnel and scroller; carried from one to the other

// Starts a drawn frame: times it (frameSeconds), clears colour and depth and
// loads the identity model-view matrix; from the second frame on it also
// makes a few of the lists the title font still waits for
// (makeWaitingGlyphs). renderFrame (scenes/scenes.h) then draws the current
// scene.
void beginFrame();
// Hands over from the current scene to the next one.
void nextScene();
// Ends the show: the main loop stops at the quit message, with this exit
// code, before it draws another frame.
void endShow(int exitCode);

// Puts sceneIndex, SceneVars and what the scenes hand on back to their
// values at program start; resetScenes (scenes/scenes.h) calls it.
void resetSceneState();
