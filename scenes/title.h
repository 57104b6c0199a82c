// The six lines of the title zoom.
#pragma once

#include <cstdint>

#include "show/sequencer.h"

constexpr int32_t titleRows = 6;
// Each row is a fixed 20-byte field with a NUL-terminated printf format;
// row 5 is the production's title, the one the red light sweeps across.
extern const char titleLines[titleRows][20];

// What the title zoom keeps from frame to frame, at its values at program start.
struct TitleState {
    int32_t titleLine = 0;     // row being shown, 0..6
    uint8_t titlePhase = 0;    // 0 away, 1 back (or the light sweep)
};
extern TitleState titleState;

// Draws one frame of the scene (sceneIndex 0) and advances it by
// frameSeconds; the scene decides by itself when it is finished.
void drawTitleScene();
// Its unseen frames are discarded: a few large draws.
constexpr UnseenCut titleUnseenCut = UnseenCut::Discard;
