// Stop signals: SIGINT, SIGTERM and SIGHUP are taken by a watcher thread (sigwait)
// rather than a handler, so that nothing has to be async-signal-safe. The
// main thread sees the request on its next loop turn; when it cannot (a
// message box waits for the user, or it does not answer within a grace
// time) the watcher does what the program asked for at such an end (gives
// the display mode back, lets a capture's file reach a state that plays)
// and ends the process (stop.cpp, which the Windows watcher shares).
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/system/signals.h"
#include "platform/system/stop.h"

namespace platform {

// The message box on X11 runs in a child process of its own, which would
// outlive us with its box on the screen: our children go with us.
void endOwnProcesses() {
    const pid_t self = getpid();
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return;
    while (const dirent* entry = readdir(processes)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0) continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
        if (std::FILE* stat = std::fopen(path, "r")) {
            int parent = 0;
            // pid (name) state ppid: the name may hold spaces, so read past its ')'.
            char line[512] = {};
            if (std::fgets(line, sizeof line, stat) != nullptr) {
                const char* close = std::strrchr(line, ')');
                if (close != nullptr && std::sscanf(close + 1, " %*c %d", &parent) == 1 && parent == self)
                    kill(pid, SIGKILL);
            }
            std::fclose(stat);
        }
    }
    closedir(processes);
}

namespace {

void watch(sigset_t signals) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return;
    takeStopRequest(signal);
    // A second signal ends the process whatever it is doing.
    std::thread([signals] {
        sigset_t set = signals;
        int again = 0;
        if (sigwait(&set, &again) == 0) endNow(again);
    }).detach();
    waitForLoopToStop(signal);
}

}  // namespace

void watchStopSignals(void (*atEnd)()) {
    endAtStop(atEnd);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    std::signal(SIGPIPE, SIG_IGN);
    // Blocked here, so in every thread made from now on: only the watcher
    // takes them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(watch, signals).detach();
}

}  // namespace platform
