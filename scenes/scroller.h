// The scroller's sentence and its block-letter glyphs.
#pragma once

#include <cstdint>

#include "show/sequencer.h"

constexpr int32_t scrollerLength = 79;                 // characters, spaces included
extern const char scrollerText[scrollerLength + 1];   // lower-case letters and spaces
// Glyph 0..25: 'a'..'z', glyph 26: the space. Byte r is row r from the top;
// bit 7 is the leftmost column; a set bit is a raised tile.
extern const uint8_t letterGlyphs[27][8];

// What the scroller keeps from frame to frame, at its values at program start.
struct ScrollerState {
    int32_t scrollPos = 0;     // index of the current character
};
extern ScrollerState scrollerState;

// Draws one frame of the scene (sceneIndex 2) and advances it by
// frameSeconds; the scene decides by itself when it is finished.
void drawScrollerScene();
// Its unseen frames run in selection mode: their tiles are left out, and
// with nothing left to choose between, it costs least.
constexpr UnseenCut scrollerUnseenCut = UnseenCut::Selection;
