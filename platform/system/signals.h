// Stop signals, and what their watcher needs to know from the display:
// whether the main thread waits in a message box right now.
#pragma once

namespace platform {

// ---------------------------------------------------------------------------
// Stop signals. After watchStopSignals, the first SIGINT or SIGTERM asks the
// program to stop: stopSignal() then returns its number, and the main loop
// ends at its next turn. Where the loop cannot see it in time (a message box
// waits for the user, or start-up is busy for more than a few seconds) and
// at a second signal, restoreDisplay is called (the desktop's display mode
// restored) and the process ends at once with 128 + the signal's number.
// Call it first thing, before any other thread exists.
void watchStopSignals(void (*restoreDisplay)());
int stopSignal();          // 0 until a stop signal came
void stopSeen();           // the loop has seen it and is ending by itself

// Marks the life of a message box on the main thread.
struct BoxOpen {
    BoxOpen();
    ~BoxOpen();
    BoxOpen(const BoxOpen&) = delete;
    BoxOpen& operator=(const BoxOpen&) = delete;
};

}  // namespace platform
