#include "show/clock.h"

#include "platform/system/clock.h"

uint32_t lastFrameTime = 0;
float frameMillis = 0.0f;
float frameSeconds = 0.0f;

uint32_t clockMillis() {
    return platform::timeGetTime();
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

void resetClockState() {
    lastFrameTime = 0;
    frameMillis = 0.0f;
    frameSeconds = 0.0f;
}
