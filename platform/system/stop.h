// The stop request's state and its grace time, shared by the two watchers:
// the stop signals' on Linux (signals.cpp) and the console events' on
// Windows (console_events.cpp). Each watcher takes the system's requests in
// its own way and hands them here.
#pragma once

namespace platform {

// Keeps what the program asked for at an end at once (watchStopSignals'
// argument).
void endAtStop(void (*atEnd)());
// The request `signal` taken: true for the first (now pending, stopSignal()
// returns it), false for any later one, which is to end the process at once.
bool takeStopRequest(int signal);
// Waits until the loop has seen the pending request (stopSeen); ends the
// process at once when a message box is open or the grace time passes first.
void waitForLoopToStop(int signal);
// Ends the process at once: the watcher's own clean-up (endOwnProcesses),
// what the program asked for at such an end, then exit with 128 + signal.
[[noreturn]] void endNow(int signal);
// The watcher's own clean-up before the process ends at once: the
// processes it started, where they would outlive it (each watcher's file).
void endOwnProcesses();

}  // namespace platform
