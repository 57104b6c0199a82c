// The text rows of the closing scene. Each row is a fixed 20-byte field with
// a NUL-terminated printf format ("%%" prints one percent sign).
#pragma once

#include <cstdint>

#include "show/sequencer.h"

constexpr int creditRows = 4;
constexpr int greetingRows = 19;

extern const char creditHeadings[creditRows][20];
extern const char creditNames[creditRows][20];
extern const char greetingHeading[20];             // the heading of every greeting
extern const char greetings[greetingRows][20];

// What the closing scene keeps from frame to frame, at its values at program start.
struct SphereState {
    int32_t creditIndex = 0;   // current row
    uint8_t greetPhase = 0;    // 0 credits, 1 greetings
};
extern SphereState sphereState;

// Draws one frame of the scene (sceneIndex 3) and advances it by
// frameSeconds; the scene decides by itself when it is finished.
void drawSphereScene();
// Its unseen frames are discarded: a few large draws.
constexpr UnseenCut sphereUnseenCut = UnseenCut::Discard;
