// The frame clock: seconds between drawn frames, from the millisecond clock.
#pragma once

#include <cstdint>

extern uint32_t lastFrameTime;  // ms, clock reading at the previous call; 0 = not yet set
extern float frameMillis;       // ms between the last two calls
extern float frameSeconds;      // s between the last two drawn frames (set by renderFrame)

// Seconds since the previous call. The first call measures two back-to-back
// readings, so it gives about 0. A wrap of the counter still gives the small
// true difference; a long pause arrives whole.
float frameDelta();

// The show's millisecond clock: every clock reading of the show (frame
// times, song start times, the ring tunnel's end) comes from here. Unsigned
// 32 bits; it wraps, so compare readings by their difference.
uint32_t clockMillis();

void resetClockState();
