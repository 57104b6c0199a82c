// The show's one clock: every reading of the show (frame times, song start
// times, the ring tunnel's end, a stop, a jump's target) comes from here,
// and the frame clock measures the seconds between drawn frames from it.
//
// The clock reads 1000 ms when the show starts (startShow sets it there),
// in every mode, so second S of the show is the reading 1000 + 1000 S
// (readingAtSecond). Unsigned 32
// bits: it wraps, so compare readings by their difference. It runs in one
// of four modes:
//   Real        the platform's milliseconds, shifted: the show's start, a
//               pause's end or a jump's end runs it on from a given reading
//   Held        one reading, unchanged: the show paused
//   Fixed       1000 + floor(k x 1000 / fps), k the frames drawn so far,
//               whatever the real time (--fps, a capture, showframe): set
//               for the whole run, and no pause or jump changes it
//   RunThrough  base + floor(k x 1000 / fps): the frames a jump runs
//               through on the real clock, at the pace's rate, k counted
//               from the jump's base
//
// The clock counts the frames drawn (clockFrameDrawn), in every mode: that
// one counter numbers the frames for the loop, the trace and a capture, and
// the fixed step and a run-through read their k from it. It starts at 0
// with the show and again where a jump back starts the show over.
#pragma once

#include <cstdint>
#include <optional>

extern uint32_t lastFrameTime;  // ms, clock reading at the previous call; 0 = not yet set
extern float frameMillis;       // ms between the last two calls
extern float frameSeconds;      // s between the last two drawn frames (set by beginFrame)

// Seconds since the previous call. The first call measures two back-to-back
// readings, so it gives about 0. A wrap of the counter still gives the small
// true difference; a long pause arrives whole.
float frameDelta();
// The frame clock as at the show's start: the next frame measures nothing
// and is frame 1 (k = 0 on the fixed step).
void restartFrameClock();

uint32_t clockMillis();

enum class ClockMode { Real, Held, Fixed, RunThrough };
ClockMode clockMode();

// The whole run on the fixed step at framesPerSecond; 0 goes back to the
// real clock. Set before the show starts.
void useFixedClock(double framesPerSecond);
bool clockIsFixed();
// After every frame drawn: one more on the counter (k += 1 on the fixed step
// and in a run-through).
void clockFrameDrawn();

// A frame as the clock numbers and reads it.
struct ClockFrame {
    uint64_t number = 0;    // 1 for the show's first frame
    uint32_t clockMs = 0;   // the clock reading it was drawn at
    uint32_t nextMs = 0;    // the clock's reading once it has counted the frame: the next frame's moment
};
// Frames drawn since the show started; the frame being drawn is number
// clockFramesDrawn() + 1, at reading lastFrameTime.
uint64_t clockFramesDrawn();
// The frame drawn last, once clockFrameDrawn has counted it, with the
// clock's reading now.
ClockFrame lastDrawnFrame();

// On the real clock (the fixed one ignores these):
// holds it still at `reading`;
void holdClock(uint32_t reading);
// runs it on from `reading`, in step with the platform's clock;
void runClockFrom(uint32_t reading);
// runs a jump's frames through from `baseMs` at framesPerSecond: from k = 0,
// the show's start again, where the frame counter starts over too; or from
// the first k whose reading comes after `after`, the counter going on.
void runClockThrough(uint32_t baseMs, double framesPerSecond, std::optional<uint32_t> after = {});

// On the fixed step and in a run-through: the first reading the steps from
// here on reach that is not before `target` (the reading of a jump's last
// frame). `target` itself on the other modes.
uint32_t stepReadingFrom(uint32_t target);

// The show's second S as a clock reading: ceil(1000 + 1000 S), held at the
// counter's top. The reading of a stop at S seconds, a jump's target, a
// frame to keep.
constexpr uint32_t showStartReading = 1000;
uint32_t readingAtSecond(double seconds);
// And back: the show's second at a clock reading.
double secondAtReading(uint32_t reading);

void resetClockState();
