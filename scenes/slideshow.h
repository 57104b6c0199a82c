// The captions of the opening slideshow.
#pragma once

#include <cstdint>

constexpr int32_t captionRows = 26;   // two per slide for slides 0 to 12; slide 13 has none
// Row 2k is the first caption of slide k, row 2k + 1 its second. Each row is
// a fixed 40-byte field with a NUL-terminated printf format; leading and
// trailing spaces belong to the text.
extern const char captionLines[captionRows][40];

// What the slideshow keeps from frame to frame, at its values at program start.
struct SlideshowState {
    int32_t slideIndex = 0;    // photo of the current slide, 0..2
    int32_t captionIndex = 0;  // caption row, 0..28
};
extern SlideshowState slideshowState;

// Draws one frame of the scene (sceneIndex -1) and advances it by
// frameSeconds; the scene decides by itself when it is finished.
void drawSlideshowScene();
// Whether the next frame drawn ends the slideshow (its 14th slide change),
// and so is the title scene's first frame: told from the state before it,
// as the frame's own step tests it.
bool slideshowEndsNextFrame();
