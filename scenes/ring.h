// The ring tunnel's state.
#pragma once

#include <cstdint>

#include "show/sequencer.h"

// What the ring tunnel keeps from frame to frame, at its values at program start.
struct RingState {
    float ringCountF = 3.0f;   // corner count as a continuous value
    int32_t ringCount = 100;   // corner count drawn this frame
    uint8_t backFlag = 1;      // the bundle moves away
};
extern RingState ringState;

// Draws one frame of the scene (sceneIndex 1) and advances it by
// frameSeconds; the scene decides by itself when it is finished.
void drawRingScene();
// Its unseen frames are discarded: a few large draws.
constexpr UnseenCut ringUnseenCut = UnseenCut::Discard;
