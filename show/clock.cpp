#include "show/clock.h"

#include <algorithm>
#include <cmath>

#include "platform/system/clock.h"

uint32_t lastFrameTime = 0;
float frameMillis = 0.0f;
float frameSeconds = 0.0f;

namespace {

struct ShowClock {
    ClockMode mode = ClockMode::Real;
    uint32_t shiftMs = 0;        // Real: taken off the platform's reading
    uint32_t heldMs = 0;         // Held: the reading
    uint32_t stepBaseMs = 0;     // Fixed, RunThrough: the reading at k = 0
    double stepFps = 60.0;       // Fixed, RunThrough: frames a second
    uint64_t framesDrawn = 0;    // the one counter; Fixed: k
    uint64_t stepBaseFrame = 0;  // RunThrough: the counter at k = 0
};

ShowClock showClock;

// k: the frames drawn since the step's base (modulo 2^64, as stepBaseFrame
// may have been set below 0 for a run-through that starts past its base).
uint64_t stepsTaken() { return showClock.framesDrawn - showClock.stepBaseFrame; }

uint32_t stepReading(uint64_t steps) {
    const double elapsed = std::floor(static_cast<double>(steps) * 1000.0 / showClock.stepFps);
    return showClock.stepBaseMs + static_cast<uint32_t>(static_cast<uint64_t>(elapsed));
}

}  // namespace

uint32_t clockMillis() {
    switch (showClock.mode) {
    case ClockMode::Held:
        return showClock.heldMs;
    case ClockMode::Fixed:
    case ClockMode::RunThrough:
        return stepReading(stepsTaken());
    case ClockMode::Real:
        break;
    }
    return platform::timeGetTime() - showClock.shiftMs;
}

ClockMode clockMode() { return showClock.mode; }

void useFixedClock(double framesPerSecond) {
    showClock = ShowClock{};
    if (framesPerSecond <= 0.0) return;
    showClock.mode = ClockMode::Fixed;
    showClock.stepBaseMs = showStartReading;
    showClock.stepFps = framesPerSecond;
}

bool clockIsFixed() { return showClock.mode == ClockMode::Fixed; }

void clockFrameDrawn() { ++showClock.framesDrawn; }

uint64_t clockFramesDrawn() { return showClock.framesDrawn; }

ClockFrame lastDrawnFrame() { return {showClock.framesDrawn, lastFrameTime, clockMillis()}; }

void holdClock(uint32_t reading) {
    if (clockIsFixed()) return;
    showClock.heldMs = reading;
    showClock.mode = ClockMode::Held;
}

void runClockFrom(uint32_t reading) {
    if (clockIsFixed()) return;
    showClock.shiftMs = platform::timeGetTime() - reading;
    showClock.mode = ClockMode::Real;
}

void runClockThrough(uint32_t baseMs, double framesPerSecond, std::optional<uint32_t> after) {
    if (clockIsFixed()) return;
    showClock.stepBaseMs = baseMs;
    showClock.stepFps = framesPerSecond;
    if (!after) showClock.framesDrawn = 0;
    uint64_t first = 0;
    if (after) {
        // The first step whose reading is past `after`, counted from the base.
        const uint32_t doneMs = *after - baseMs;
        first = static_cast<uint64_t>(std::floor(doneMs * framesPerSecond / 1000.0));
        while (stepReading(first) - baseMs <= doneMs) ++first;
    }
    showClock.stepBaseFrame = showClock.framesDrawn - first;
    showClock.mode = ClockMode::RunThrough;
}

uint32_t stepReadingFrom(uint32_t target) {
    if (showClock.mode != ClockMode::Fixed && showClock.mode != ClockMode::RunThrough) return target;
    // Steps counted from the base; readings compared by their difference,
    // as the counter wraps.
    const auto comesFirst = [](uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; };
    uint64_t k = stepsTaken();
    if (!comesFirst(stepReading(k), target)) return stepReading(k);
    const uint32_t doneMs = target - showClock.stepBaseMs;
    k = std::max(k, static_cast<uint64_t>(std::floor(doneMs * showClock.stepFps / 1000.0)));
    while (comesFirst(stepReading(k), target)) ++k;
    while (k > stepsTaken() && !comesFirst(stepReading(k - 1), target)) --k;
    return stepReading(k);
}

float frameDelta() {
    if (lastFrameTime == 0) lastFrameTime = clockMillis();
    const uint32_t now = clockMillis();
    // Unsigned subtraction: a wrap of the counter still gives the true gap.
    const uint32_t elapsed = now - lastFrameTime;
    lastFrameTime = now;
    frameMillis = static_cast<float>(elapsed);
    return frameMillis * 0.001f;
}

void restartFrameClock() {
    lastFrameTime = 0;
    frameMillis = 0.0f;
    showClock.framesDrawn = 0;
    showClock.stepBaseFrame = 0;
}

uint32_t readingAtSecond(double seconds) {
    const double reading = std::ceil(showStartReading + seconds * 1000.0);
    if (!(reading < 4294967295.0)) return 4294967295u;
    return reading > 0.0 ? static_cast<uint32_t>(reading) : 0u;
}

double secondAtReading(uint32_t reading) {
    return (static_cast<double>(reading) - showStartReading) / 1000.0;
}

void resetClockState() {
    restartFrameClock();
    frameSeconds = 0.0f;
    showClock = ShowClock{};
}
