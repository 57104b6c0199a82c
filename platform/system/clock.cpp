// The real millisecond clock and the frame pacing.
//
// Sections:
//   1. the clock
//   2. frame pacing
#include "platform/system/clock.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/system/testing.h"

namespace platform {

// ---------------------------------------------------------------------------
// 1. the clock

namespace {

uint32_t (*testClock)() = nullptr;

}  // namespace

uint32_t timeGetTime() {
    if (testClock != nullptr) return testClock();
    // Milliseconds of the monotonic clock, cut to 32 bits.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void setClockForTesting(uint32_t (*clock)()) { testClock = clock; }

// ---------------------------------------------------------------------------
// 2. frame pacing

namespace {

using PaceClock = std::chrono::steady_clock;

constexpr int unknownRefreshHz = 60;       // when the display does not say, or there is none
constexpr double slowestPacedFps = 1.0;    // slower rates pace at this one

struct PacingState {
    double framesPerSecond = 0.0;          // as set: < 0 the display's refresh, 0 none
    PaceClock::duration period{};          // zero until the first paced swap finds it
    PaceClock::time_point deadline{};      // the earliest the next swap may return
    bool started = false;                  // a deadline has been set
    uint64_t sleeps = 0;                   // sleeps made, for the tests
};

PacingState pacing;

}  // namespace

void setFramePacing(double framesPerSecond) {
    pacing = PacingState{};
    pacing.framesPerSecond = std::isfinite(framesPerSecond) ? framesPerSecond : 0.0;
}

uint64_t framePacingSleeps() { return pacing.sleeps; }

// Deadlines a period apart, so the pace does not drift with the time the
// sleeps overshoot. A swap that already waited for the display finds its
// deadline passed and does not sleep.
void paceFrame(int (*refreshRateHz)()) {
    if (pacing.framesPerSecond == 0.0) return;
    // 1. The period, found at the first paced swap: by then the window, and
    //    so the display it is on, is known.
    if (pacing.period == PaceClock::duration::zero()) {
        double fps = pacing.framesPerSecond;
        if (fps < 0.0) {
            // A display reports whole hertz, rounded or cut down from its
            // true rate, which is less than one more. One frame a second
            // above the report keeps the pace a little shorter than the true
            // refresh, so where the swap waits for the refresh the deadline
            // has always passed; a pace even slightly longer would drift
            // against the refresh until it held a frame past one (a stutter
            // every second or so).
            const int refreshHz = refreshRateHz();
            fps = refreshHz > 0 ? refreshHz + 1.0 : unknownRefreshHz;
        }
        if (fps < slowestPacedFps) fps = slowestPacedFps;
        pacing.period = std::chrono::duration_cast<PaceClock::duration>(std::chrono::duration<double>(1.0 / fps));
        if (pacing.period == PaceClock::duration::zero()) pacing.period = PaceClock::duration(1);
    }
    // 2. The first paced frame, or one that fell more than a period behind
    //    (a slow frame, a pause), starts the pace again from now: the frames
    //    that were late are not made up by running the next ones early.
    const PaceClock::time_point now = PaceClock::now();
    if (!pacing.started || now - pacing.deadline > pacing.period) {
        pacing.deadline = now + pacing.period;
        pacing.started = true;
        return;
    }
    // 3. Otherwise wait for this frame's deadline, and set the next one.
    if (now < pacing.deadline) {
        std::this_thread::sleep_until(pacing.deadline);
        ++pacing.sleeps;
    }
    pacing.deadline += pacing.period;
}

}  // namespace platform
