// Frame pacing through the real platform (the headless back end's swap) on
// the real clock. Only lower bounds: a paced run is never faster than its
// pace; how close it stays to the pace is for the benchmarks.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/testing.h"
#include "tests/support/support.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int swaps = 20;

// Milliseconds that `swaps` swaps take, counted from just before the first.
double timeSwaps() {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < swaps; ++i) platform::swapBuffers();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

TEST(PacingTest, SwapsKeepThePaceAndNeverCatchUp) {
    testing_support::OffscreenGL gl(64, 48);
    struct Case {
        const char* what;
        double framesPerSecond;
        int stallMs;          // a slow frame before the timed swaps
        double periodMs;      // the pace expected
    };
    const Case cases[] = {
        {"100 frames a second", 100.0, 0, 10.0},
        {"100 frames a second after a 200 ms frame: the late frames are not made up", 100.0, 200, 10.0},
        {"the display's refresh, 60 Hz with no display", -1.0, 0, 1000.0 / 60.0},
    };
    for (const Case& c : cases) {
        platform::setFramePacing(c.framesPerSecond);
        if (c.stallMs > 0) {
            platform::swapBuffers();
            platform::swapBuffers();
            std::this_thread::sleep_for(std::chrono::milliseconds(c.stallMs));
        }
        const double elapsedMs = timeSwaps();
        const double leastMs = (swaps - 1) * c.periodMs - 0.01;
        EXPECT_GE(elapsedMs, leastMs) << c.what << ": " << swaps << " swaps took " << elapsedMs << " ms";
        EXPECT_GT(platform::framePacingSleeps(), 0u) << c.what << ": no sleep was made";
    }

    // Off: never a sleep, whatever the frames take.
    platform::setFramePacing(0.0);
    timeSwaps();
    EXPECT_EQ(platform::framePacingSleeps(), 0u) << "pacing 0 slept";
}
