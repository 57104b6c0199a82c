// Stop requests on Windows (signals.h), as signals.cpp takes them on Linux:
// Ctrl-C and Ctrl-Break in the console stand for SIGINT, the console closed,
// a log-off or a shutdown for SIGTERM. The system calls the handler on a
// thread of its own, which waits here as the watcher on Linux does; the
// request's state and its grace time are stop.cpp's.
#include <windows.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/system/signals.h"
#include "platform/system/stop.h"

namespace platform {

namespace {

constexpr auto pollStep = std::chrono::milliseconds(20);  // a closing console's wait

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    // A second request ends the process whatever it is doing.
    if (!takeStopRequest(signal)) endNow(signal);
    waitForLoopToStop(signal);
    // The loop ends the process by itself now; a console being closed would
    // end it as soon as this returns, so that waits for it.
    if (signal == SIGINT) return TRUE;
    for (;;) std::this_thread::sleep_for(pollStep);
}

}  // namespace

// The message boxes on Windows are the process's own: no process of ours
// outlives it.
void endOwnProcesses() {}

void watchStopSignals(void (*atEnd)()) {
    endAtStop(atEnd);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace platform
