// The program's time: the millisecond clock and the frame pacing.
#pragma once

#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------
// The real millisecond clock under the show's clock: monotonic, unsigned 32
// bits, wrapping after about 49.7 days.
uint32_t timeGetTime();

// ---------------------------------------------------------------------------
// Frame pacing: swapBuffers returns no earlier than one period after the
// previous paced swap. framesPerSecond < 0 paces at the refresh rate of the
// window's display, one frame a second above the rate it reports (so that
// where swaps wait for the refresh, the pace never waits as well), and at 60
// when the display tells none (headless); 0 (the default) and a value that
// is not finite do not pace; any other value paces at that rate (at least
// one frame a second). The pace counts from deadlines, so it does not drift;
// a frame that falls more than a period behind starts it again from its own
// swap, and the frames missed are not made up.
void setFramePacing(double framesPerSecond);

// Sleeps until the next paced frame is due; swapBuffers calls it after every
// swap. refreshRateHz tells the display's refresh rate (0: unknown); it is
// asked once, at the first paced swap.
void paceFrame(int (*refreshRateHz)());

}  // namespace platform
