// The main loop and the window procedure.
#include "app/shell.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/player.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/signals.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "scenes/scenes.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/picture.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "scenes/words.h"

ShellState shell;

namespace {
constexpr auto pausedTurn = std::chrono::milliseconds(10);  // a paused loop looks at messages this often
constexpr int displayBitsPerPixel = 16;
}  // namespace

int runShow() {
    return runShow(ShowRun{}).exitCode;
}

ShowResult runShow(const ShowRun& run) {
    ShowLoop loop;
    if (!openShowLoop(loop)) return {};
    for (;;) {
        const LoopTurn turn = showLoopTurn(run, loop);
        if (turn == LoopTurn::Ended) break;
        if (turn == LoopTurn::Paused) std::this_thread::sleep_for(pausedTurn);
    }
    return closeShowLoop(loop);
}

bool openShowLoop(ShowLoop& loop) {
    loop = ShowLoop{};
    if (!openDisplay(windowTitle, picture.outputWidth, picture.outputHeight, displayBitsPerPixel)) return false;
    startPlayer();
    return true;
}

LoopTurn showLoopTurn(const ShowRun& run, ShowLoop& loop) {
    // 1. A stop signal ends the run at once, like Escape.
    if (platform::stopSignal() != 0) {
        platform::stopSeen();
        loop.end = ShowEnd::Signalled;
        return LoopTurn::Ended;
    }
    // 2. Every waiting message first, one per turn.
    if (platform::peekMessage(loop.message)) {
        if (loop.message.message == platform::WM_QUIT) return LoopTurn::Ended;
        platform::dispatchMessage(loop.message);
        return LoopTurn::Message;
    }
    // 3. While paused nothing is drawn or swapped: the picture shown
    //    stays, and the caller waits a little between looks at messages.
    if (playerPaused()) {
        if (shell.keyDown[platform::VK_ESCAPE] || shell.escapePressed) {
            loop.end = ShowEnd::Escape;
            return LoopTurn::Ended;
        }
        return LoopTurn::Paused;
    }
    // 4. Then at most one frame, handed to the hook before anything
    //    else; while minimised none is drawn but the buffers are still
    //    swapped. A frame that a jump runs through is not shown.
    bool shown = true;
    if (shell.appActive) {
        shown = beginPlayerFrame();
        if (!renderFrame()) return LoopTurn::Ended;
        if (shown) blackenBars();
        clockFrameDrawn();
        endPlayerFrame();
        // The frame as the clock counted it; renderFrame read the clock
        // once, into lastFrameTime.
        DrawnFrame frame{lastDrawnFrame(), false, !shown};
        frame.last = shown && run.stopAtMs && frame.clockMs >= *run.stopAtMs;
        std::string words;
        if (shown && run.onWords && newShowWords(words))
            run.onWords(words, static_cast<double>(frame.clockMs - showStartReading));
        if (run.afterFrame && !run.afterFrame(frame)) {
            loop.end = ShowEnd::HookEnded;
            return LoopTurn::Ended;
        }
        if (frame.last) {
            loop.end = ShowEnd::Stopped;
            return LoopTurn::Ended;
        }
    }
    // 5. Escape is looked at on every idle turn, drawn or not; the frame
    //    of that turn is never shown. A press counts even when the key
    //    is up again by now.
    if (shell.keyDown[platform::VK_ESCAPE] || shell.escapePressed) {
        loop.end = ShowEnd::Escape;
        return LoopTurn::Ended;
    }
    if (!shown) return LoopTurn::Message;
    platform::swapBuffers();
    return LoopTurn::Shown;
}

ShowResult closeShowLoop(const ShowLoop& loop) {
    closeDisplay();
    return {static_cast<int>(loop.message.wParam), loop.end};
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
        if (wParam < 256) {
            // A held key repeats its key-down: the player acts on the first.
            const bool repeat = shell.keyDown[wParam];
            shell.keyDown[wParam] = true;
            if (wParam == platform::VK_ESCAPE) shell.escapePressed = true;
            // The media keys' stop ends the show as a window close does,
            // with 0: 27 is Escape's alone.
            if (wParam == platform::VK_MEDIA_STOP && !repeat) platform::postQuitMessage(0);
            if (!repeat) playerKey(wParam);
        }
        return 0;
    case platform::WM_KEYUP:
        if (wParam < 256) shell.keyDown[wParam] = false;
        return 0;
    case platform::WM_SIZE:
        resizeView(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
        playerRedraw();
        return 0;
    default:
        break;
    }
    return platform::defaultWindowProcedure(message, wParam, lParam);
}

void resetShellState() {
    shell = {};
}

void resetShowState() {
    platform::resetSound();
    resetShellState();
    resetPlayerState();
    resetScenes();
    resetClockState();
    resetTextState();
    resetPhotoState();
    resetDrawingState();
    resetMusicState();
    resetShowWordsState();
}
