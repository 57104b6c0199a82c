// What every back end shares: the choice of back end and the hand-over of
// each display call to it through the test seam, the message queue, message
// boxes on standard error, and the clock.
//
// Sections:
//   1. the back end and the display calls
//   2. the offscreen context
//   3. the message queue
//   4. message boxes
//   5. the clock
//   6. frame pacing
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/signals.h"
#include "platform/testing.h"

namespace platform {

// ---------------------------------------------------------------------------
// 1. the back end and the display calls

namespace {

struct DisplayState {
    const DisplayBackend* backend = &windowBackend;
    bool videoStarted = false;
    WindowProcedure procedure = nullptr;
    bool window = false;
    bool context = false;
    std::deque<Message> queue;
    void (*swapHook)() = nullptr;  // a test's, after every swap
};

DisplayState display;

const DisplayBackend& backend() { return *display.backend; }

}  // namespace

void selectBackend(Backend choice) {
    switch (choice) {
    case Backend::Window: display.backend = &windowBackend; break;
    case Backend::Headless: display.backend = &headlessBackend; break;
    case Backend::Desktop: display.backend = &desktopBackend; break;
    }
}

bool startVideo(WindowProcedure procedure) {
    if (!passes("startVideo") || !backend().startVideo()) return false;
    display.videoStarted = true;
    display.procedure = procedure;
    return true;
}

bool changeDisplayMode(int width, int height, int bitsPerPixel) {
    const std::string mode = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bitsPerPixel);
    return passes("changeDisplayMode " + mode) && backend().changeDisplayMode(width, height, bitsPerPixel);
}

void restoreDisplayMode() {
    passes("restoreDisplayMode");
    backend().restoreDisplayMode();
}

void showCursor(bool visible) { backend().showCursor(visible); }

bool createWindow(const char* title, int width, int height, bool fullscreen) {
    display.window = passes("createWindow") && backend().createWindow(title, width, height, fullscreen);
    return display.window;
}

bool createContext() {
    display.context = passes("createContext") && backend().createContext();
    return display.context;
}

bool makeContextCurrent() {
    return passes("makeContextCurrent") && backend().makeContextCurrent();
}

void showWindow() {
    passes("showWindow");
    backend().showWindow();
}

bool releaseContext() {
    return passes("releaseContext") && backend().releaseContext();
}

bool deleteContext() {
    backend().deleteContext();
    display.context = false;
    return passes("deleteContext");
}

void destroyWindow() {
    passes("destroyWindow");
    backend().destroyWindow();
    display.window = false;
    display.queue.clear();
}

bool haveWindow() { return display.window; }

bool haveContext() { return display.context; }

int displayRefreshHz() { return backend().refreshRateHz(); }

void setSwapHookForTesting(void (*hook)()) { display.swapHook = hook; }

namespace {
void paceFrame();  // section 6
}  // namespace

void swapBuffers() {
    backend().swapBuffers();
    paceFrame();
    if (display.swapHook != nullptr) display.swapHook();
}

// ---------------------------------------------------------------------------
// 2. the offscreen context

// Straight to the back end: a test that forces a step of the show's display
// to fail still gets its context for drawing.
bool openOffscreenContext(int width, int height) {
    selectBackend(Backend::Headless);
    display.videoStarted = backend().startVideo();
    display.window = display.videoStarted && backend().createWindow("offscreen", width, height, false);
    display.context = display.window && backend().createContext();
    if (display.context && backend().makeContextCurrent()) return true;
    closeOffscreenContext();
    return false;
}

void closeOffscreenContext() {
    if (display.context) backend().releaseContext();
    backend().deleteContext();
    backend().destroyWindow();
    display.context = false;
    display.window = false;
}

// ---------------------------------------------------------------------------
// 3. the message queue

intptr_t defaultWindowProcedure(uint32_t, uintptr_t, intptr_t) { return 0; }

bool peekMessage(Message& message) {
    if (display.queue.empty() && display.videoStarted) backend().pollEvents();
    if (display.queue.empty()) return false;
    message = display.queue.front();
    display.queue.pop_front();
    return true;
}

void dispatchMessage(const Message& message) {
    if (display.procedure != nullptr) display.procedure(message.message, message.wParam, message.lParam);
}

void postQuitMessage(int exitCode) {
    noteJournal("postQuitMessage " + std::to_string(exitCode));
    display.queue.push_back({WM_QUIT, static_cast<uintptr_t>(exitCode), 0});
}

void postMessage(const Message& message) { display.queue.push_back(message); }

// ---------------------------------------------------------------------------
// 4. message boxes

Answer messageBox(const char* text, const char* caption, Buttons buttons) {
    noteJournal(std::string("messageBox ") + caption + "|" + text);
    Answer answer = buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    const BoxOpen open;
    if (!backend().showMessageBox(text, caption, buttons, answer)) {
        // No box can be shown: caption and text, one line each (a text
        // that ends its own line gets no second line break).
        const size_t textLength = std::strlen(text);
        const bool textEndsLine = textLength > 0 && text[textLength - 1] == '\n';
        std::fprintf(stderr, "%s\n%s%s", caption, text, textEndsLine ? "" : "\n");
        std::fflush(stderr);
        answer = buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    if (buttons == Buttons::YesNo) noteJournal(answer == Answer::Yes ? "answer Yes" : "answer No");
    return answer;
}

// ---------------------------------------------------------------------------
// 5. the clock

namespace {

struct ClockState {
    double fixedStepFps = 0.0;           // 0: the real clock
    uint64_t framesDrawn = 0;            // k of the fixed-step clock
    uint32_t (*testClock)() = nullptr;
};

ClockState clock;

}  // namespace

uint32_t timeGetTime() {
    if (clock.testClock != nullptr) return clock.testClock();
    if (clock.fixedStepFps > 0.0) {
        const double elapsed = std::floor(static_cast<double>(clock.framesDrawn) * 1000.0 / clock.fixedStepFps);
        return static_cast<uint32_t>(1000 + static_cast<uint64_t>(elapsed));
    }
    // Milliseconds of the monotonic clock, cut to 32 bits.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void setFixedStepClock(double framesPerSecond) {
    clock.fixedStepFps = framesPerSecond;
    clock.framesDrawn = 0;
}

void frameDrawn() { ++clock.framesDrawn; }

void setClockForTesting(uint32_t (*testClock)()) { clock.testClock = testClock; }

// ---------------------------------------------------------------------------
// 6. frame pacing

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

namespace {

// Deadlines a period apart, so the pace does not drift with the time the
// sleeps overshoot. A swap that already waited for the display finds its
// deadline passed and does not sleep.
void paceFrame() {
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
            const int refreshHz = backend().refreshRateHz();
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

}  // namespace

}  // namespace platform
