// The main loop and the window procedure.
#include "app/shell.h"

#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/signals.h"
#include "scenes/scenes.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/sequencer.h"

ShellState shell;

namespace {
constexpr const char* windowTitle = ".. for your eyes only ..";
constexpr int displayBitsPerPixel = 16;
}  // namespace

int runShow() {
    return runShow(ShowRun{}).exitCode;
}

ShowResult runShow(const ShowRun& run) {
    if (!openDisplay(windowTitle, showWidth, showHeight, displayBitsPerPixel)) return {};

    ShowEnd end = ShowEnd::Quit;
    uint64_t framesDrawn = 0;
    platform::Message message;
    for (;;) {
        // 1. A stop signal ends the run at once, like Escape.
        if (platform::stopSignal() != 0) {
            platform::stopSeen();
            end = ShowEnd::Signalled;
            break;
        }
        // 2. Every waiting message first, one per turn.
        if (platform::peekMessage(message)) {
            if (message.message == platform::WM_QUIT) break;
            platform::dispatchMessage(message);
            continue;
        }
        // 3. Then at most one frame, handed to the hook before anything
        //    else; while minimised none is drawn but the buffers are still
        //    swapped.
        if (shell.appActive) {
            if (!renderFrame()) break;
            platform::frameDrawn();
            // renderFrame read the clock once, into lastFrameTime.
            const DrawnFrame frame{++framesDrawn, lastFrameTime, run.stopAtMs && lastFrameTime >= *run.stopAtMs};
            if (run.afterFrame && !run.afterFrame(frame)) {
                end = ShowEnd::HookEnded;
                break;
            }
            if (frame.last) {
                end = ShowEnd::Stopped;
                break;
            }
        }
        // 4. Escape is looked at on every idle turn, drawn or not; the frame
        //    of that turn is never shown.
        if (shell.keyDown[platform::VK_ESCAPE]) {
            end = ShowEnd::Escape;
            break;
        }
        platform::swapBuffers();
    }

    closeDisplay();
    return {static_cast<int>(message.wParam), end};
}

intptr_t handleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case platform::WM_ACTIVATE:
        // Only minimising stops the drawing; losing the focus does not.
        shell.appActive = ((wParam >> 16) & 0xFFFF) == 0;
        return 0;
    case platform::WM_SYSCOMMAND:
        if (wParam == platform::SC_SCREENSAVE || wParam == platform::SC_MONITORPOWER) return 0;
        break;
    case platform::WM_CLOSE:
        platform::postQuitMessage(0);
        return 0;
    case platform::WM_KEYDOWN:
        if (wParam < 256) shell.keyDown[wParam] = true;
        return 0;
    case platform::WM_KEYUP:
        if (wParam < 256) shell.keyDown[wParam] = false;
        return 0;
    case platform::WM_SIZE:
        resizeView(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
        return 0;
    default:
        break;
    }
    return platform::defaultWindowProcedure(message, wParam, lParam);
}

void resetShellState() {
    shell = {};
}
