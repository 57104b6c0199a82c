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

// Seven scratch values shared by all scenes; each scene gives them its own
// meaning. nextScene resets all but fxE.
struct SceneVars {
    float fxA = 0.0f;
    float fxB = 0.0f;
    float fxC = 0.0f;          // 1.5 after every reset
    float fxD = 0.0f;
    float fxClock = 0.0f;
    float fxE = 0.0f;          // never reset
    float fxTextClock = 0.0f;
};

extern int32_t sceneIndex;     // -1 at start
extern SceneVars fx;

extern int32_t slideIndex;     // slideshow: photo of the current slide, 0..2
extern int32_t captionIndex;   // slideshow: caption row, 0..28
extern int32_t titleLine;      // title zoom: row being shown, 0..6
extern uint8_t titlePhase;     // title zoom: 0 away, 1 back (or the light sweep)
extern float lightX;           // x of light 0: 3.0, swept by the title scene
extern float ringCountF;       // ring tunnel: corner count as a continuous value
extern int32_t ringCount;      // ring tunnel: corner count drawn this frame
extern uint8_t backFlag;       // ring tunnel: the bundle moves away
extern uint8_t growFlag;       // ring tunnel and scroller; carried from one to the other
extern int32_t scrollPos;      // scroller: index of the current character
extern int32_t creditIndex;    // credits: current row
extern uint8_t greetPhase;     // credits: 0 credits, 1 greetings

extern uint32_t songStartTime; // ms clock reading when the current song started

// Starts a drawn frame: times it (frameSeconds), clears colour and depth and
// loads the identity model-view matrix. renderFrame (scenes/scenes.h) then
// draws the current scene.
void beginFrame();
// Hands over from the current scene to the next one.
void nextScene();
// Ends the show: the main loop stops at the quit message, with this exit
// code, before it draws another frame.
void endShow(int exitCode);

// Puts sceneIndex, SceneVars and every scene global back to their values at
// program start (tests).
void resetSceneState();
