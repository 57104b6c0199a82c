// The frame clock: seconds between drawn frames, from the show's millisecond
// clock, which runs on the platform's clock and can be held still (a pause)
// or stepped at a fixed rate (the frames a jump runs through).
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
// 32 bits; it wraps, so compare readings by their difference. It reads the
// platform's clock unless held or stepped below.
uint32_t clockMillis();

// How clockMillis reads.
enum class ClockMode {
    Running,   // the platform's clock, shifted by a fixed number of ms
    Held,      // one reading, unchanged
    Stepping,  // base + floor(k x 1000 / fps), k counted by clockStepTaken
};
ClockMode clockMode();
// Holds the clock still at `reading`.
void holdClock(uint32_t reading);
// Runs the clock on from `reading`, in step with the platform's clock.
void runClockFrom(uint32_t reading);
// Steps the clock from `baseMs` at framesPerSecond, k = `stepsTaken` now.
void stepClock(uint32_t baseMs, double framesPerSecond, uint64_t stepsTaken);
// k += 1 while stepping (after every frame drawn); nothing otherwise.
void clockStepTaken();

// The show's second S as a clock reading: the clock reads 1000 ms when the
// show starts, so S is ceil(1000 + 1000 S), held at the counter's top. The
// reading of a stop at S seconds, a jump's target, a frame to keep.
constexpr uint32_t showStartReading = 1000;
uint32_t readingAtSecond(double seconds);
// And back: the show's second at a clock reading.
double secondAtReading(uint32_t reading);

void resetClockState();
