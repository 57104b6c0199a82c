// What every back end shares: the choice of back end and the hand-over of
// each display call to it through the test seam, the message queue and
// message boxes on standard error.
//
// Sections:
//   1. the back end and the display calls
//   2. the offscreen context
//   3. the message queue
//   4. message boxes
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/display/backend.h"
#include "platform/system/clock.h"
#include "platform/system/signals.h"
#include "platform/system/testing.h"

namespace platform {

// ---------------------------------------------------------------------------
// 1. the back end and the display calls

namespace {

struct DisplayState {
#ifdef __EMSCRIPTEN__
    const DisplayBackend* backend = &webBackend;
#else
    const DisplayBackend* backend = &windowBackend;
#endif
    bool videoStarted = false;
    bool needsDisplay = true;      // a back end with a window on the system's display
    bool displayMissing = false;   // startVideo found no display to reach
    std::string videoFailure;      // what the video system said when it would not start
    WindowProcedure procedure = nullptr;
    bool window = false;
    bool context = false;
    std::deque<Message> queue;
    void (*swapHook)() = nullptr;  // a test's, after every swap
};

DisplayState display;

const DisplayBackend& backend() { return *display.backend; }

}  // namespace

// The browser build has the one back end; the desktop build has the other three.
void selectBackend(Backend choice) {
    display.needsDisplay = choice != Backend::Headless;
#ifdef __EMSCRIPTEN__
    (void)choice;
    display.backend = &webBackend;
#else
    switch (choice) {
    case Backend::Window: display.backend = &windowBackend; break;
    case Backend::Headless: display.backend = &headlessBackend; break;
    case Backend::Desktop: display.backend = &desktopBackend; break;
    }
#endif
}

bool startVideo(WindowProcedure procedure) {
    if (!passes("startVideo")) return false;
    if (!backend().startVideo()) {
        display.displayMissing = display.needsDisplay;
        return false;
    }
    display.videoStarted = true;
    display.procedure = procedure;
    return true;
}

bool changeDisplayMode(int width, int height, int bitsPerPixel) {
    const std::string mode = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bitsPerPixel);
    return passes("changeDisplayMode " + mode) && backend().changeDisplayMode(width, height, bitsPerPixel);
}

bool displayMissing() {
    return display.displayMissing;
}

void noteVideoFailure(const char* reason) {
    display.videoFailure = reason != nullptr ? reason : "";
}

const char* videoFailure() {
    return display.videoFailure.c_str();
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

void swapBuffers() {
    backend().swapBuffers();
    paceFrame(backend().refreshRateHz);
    if (display.swapHook != nullptr) display.swapHook();
}

void bindFrameForReading() { backend().bindFrameForReading(); }

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

}  // namespace platform
