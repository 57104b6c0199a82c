#include "show/clock.h"

#include <cmath>

#include "platform/system/clock.h"

uint32_t lastFrameTime = 0;
float frameMillis = 0.0f;
float frameSeconds = 0.0f;

namespace {

struct ShowClock {
    ClockMode mode = ClockMode::Running;
    uint32_t shiftMs = 0;        // Running: taken off the platform's reading
    uint32_t heldMs = 0;         // Held: the reading
    uint32_t stepBaseMs = 0;     // Stepping: the reading at k = 0
    double stepFps = 60.0;       // Stepping: frames a second
    uint64_t steps = 0;          // Stepping: k
};

ShowClock showClock;

}  // namespace

uint32_t clockMillis() {
    switch (showClock.mode) {
    case ClockMode::Held:
        return showClock.heldMs;
    case ClockMode::Stepping: {
        const double elapsed = std::floor(static_cast<double>(showClock.steps) * 1000.0 / showClock.stepFps);
        return showClock.stepBaseMs + static_cast<uint32_t>(static_cast<uint64_t>(elapsed));
    }
    case ClockMode::Running:
        break;
    }
    return platform::timeGetTime() - showClock.shiftMs;
}

ClockMode clockMode() { return showClock.mode; }

void holdClock(uint32_t reading) {
    showClock.heldMs = reading;
    showClock.mode = ClockMode::Held;
}

void runClockFrom(uint32_t reading) {
    showClock.shiftMs = platform::timeGetTime() - reading;
    showClock.mode = ClockMode::Running;
}

void stepClock(uint32_t baseMs, double framesPerSecond, uint64_t stepsTaken) {
    showClock.stepBaseMs = baseMs;
    showClock.stepFps = framesPerSecond;
    showClock.steps = stepsTaken;
    showClock.mode = ClockMode::Stepping;
}

void clockStepTaken() {
    if (showClock.mode == ClockMode::Stepping) ++showClock.steps;
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

uint32_t readingAtSecond(double seconds) {
    const double reading = std::ceil(showStartReading + seconds * 1000.0);
    if (!(reading < 4294967295.0)) return 4294967295u;
    return reading > 0.0 ? static_cast<uint32_t>(reading) : 0u;
}

double secondAtReading(uint32_t reading) {
    return (static_cast<double>(reading) - showStartReading) / 1000.0;
}

void resetClockState() {
    lastFrameTime = 0;
    frameMillis = 0.0f;
    frameSeconds = 0.0f;
    showClock = ShowClock{};
}
