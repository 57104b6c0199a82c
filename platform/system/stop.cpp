// The stop request's state, its grace time and the end at once, which both
// watchers share (stop.h).
#include "platform/system/stop.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/system/signals.h"

namespace platform {

namespace {

constexpr auto graceTime = std::chrono::seconds(3);   // for the loop to see a stop
constexpr auto pollStep = std::chrono::milliseconds(20);

std::atomic<int> pendingSignal{0};
std::atomic<bool> loopSawSignal{false};
std::atomic<int> boxesOpen{0};
void (*beforeEnd)() = nullptr;  // as watchStopSignals was given it

}  // namespace

void endAtStop(void (*atEnd)()) {
    beforeEnd = atEnd;
}

bool takeStopRequest(int signal) {
    int none = 0;
    return pendingSignal.compare_exchange_strong(none, signal);
}

void waitForLoopToStop(int signal) {
    const auto deadline = std::chrono::steady_clock::now() + graceTime;
    while (!loopSawSignal) {
        if (boxesOpen > 0 || std::chrono::steady_clock::now() >= deadline) endNow(signal);
        std::this_thread::sleep_for(pollStep);
    }
}

void endNow(int signal) {
    endOwnProcesses();
    if (beforeEnd != nullptr) beforeEnd();
    std::_Exit(128 + signal);
}

BoxOpen::BoxOpen() {
    ++boxesOpen;
}

BoxOpen::~BoxOpen() {
    --boxesOpen;
}

int stopSignal() {
    return pendingSignal;
}

void stopSeen() {
    loopSawSignal = true;
}

}  // namespace platform
