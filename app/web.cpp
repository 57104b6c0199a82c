// eyesonly in the browser: the page's entry. The browser owns the loop, so
// the show runs a turn at a time from its animation frames: one frame drawn
// and shown per animation frame. The page (app/page/page.js) starts a run
// when Play is pressed and offers the next one when a run ends; its
// controls reach the player through the functions exported at the end.
//
// The page's address may set the run, as the program's options do, with the
// program's own ranges; a value the program would refuse is not used, and
// the page says so:
//   ?fps=F      the fixed-step clock at F frames a second (1 to 1000)
//   &until=S    the run ends after the frame drawn S seconds into the show
//   &trace      the show's timeline on the console, a line per event
//   #t=S        the first frame shown is the first at S or later, as with
//               --from S (the page reads it at each Play)
#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <malloc.h>

#include "app/options.h"
#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/device.h"
#include "platform/audio/web_device.h"
#include "platform/display/display.h"
#include "platform/fonts/fonts.h"
#include "platform/fonts/pack.h"
#include "platform/system/clock.h"
#include "resources/datafiles.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/sequencer.h"
#include "show/trace.h"

// The page's side (app/page/page.js).
// The address's value for name into buffer (cut to size bytes, a final 0
// included): its length in UTF-8 bytes, or -1 when the address has none.
EM_JS(int, pageValue, (const char* name, char* buffer, int size), {
    const value = new URLSearchParams(location.search).get(UTF8ToString(name));
    if (value === null) return -1;
    stringToUTF8(value, buffer, size);
    return lengthBytesUTF8(value);
});
// A line that stays on the page for every run.
EM_JS(void, pageNotice, (const char* caption, const char* text), {
    eyesonlyPage.notice(UTF8ToString(caption), UTF8ToString(text));
});
EM_JS(int, pageFlag, (const char* name), { return new URLSearchParams(location.search).has(UTF8ToString(name)) ? 1 : 0; });
// The program is there; the page takes the show's length and the mix rate
// from it, their one source.
EM_JS(void, pageReady, (int controls, double showSeconds, int mixRate), {
    eyesonlyPage.ready(controls !== 0, showSeconds, mixRate);
});
EM_JS(int, pageFrameShown, (uint32_t clockMs), { return eyesonlyPage.frameShown(clockMs) ? 1 : 0; });
EM_JS(void, pageKeepFrame, (const uint8_t* pixels, int width, int height, uint32_t clockMs), {
    eyesonlyPage.keepFrame(HEAPU8.slice(pixels, pixels + width * height * 4), width, height, clockMs);
});
EM_JS(void, pageShowEnded, (int exitCode, int escaped, double heapBytes), {
    eyesonlyPage.showEnded(exitCode, escaped !== 0, heapBytes);
});

namespace {

// The sound is mixed this far ahead of what the page has played, so that
// a frame up to this long brings no gap.
constexpr double soundLeadSeconds = 0.25;
// The frames a long jump runs through are spread over animation frames, so
// that the page stays alive: an animation frame turns for at most this long.
constexpr double turnBudgetMs = 100.0;

enum class State { Waiting, Starting, Running };

struct WebRun {
    State state = State::Waiting;
    double fixedFps = 0.0;  // 0: the real clock
    double fromSeconds = 0.0;  // where the run starts (#t=)
    bool played = false;    // a run has ended before: the show's state is put back first
    ShowLoop loop;
    ShowRun run;
    std::vector<uint8_t> pixels;
};

WebRun web;

// The sound up to the next frame's clock reading on the fixed-step clock
// (as a capture mixes it), or a little ahead of the page on the real one.
void feedSound() {
    if (web.fixedFps > 0.0)
        platform::pumpSoundDevice(platform::mixFrameAt(clockMillis() - static_cast<double>(showStartReading)));
    else
        platform::pumpSoundDevice(platform::soundDevicePlayedFrames() + std::llround(soundLeadSeconds * platform::showMixRate));
}

bool handOverFrame(const DrawnFrame& frame) {
    if (frame.skipped) return true;
    feedSound();
    if (pageFrameShown(frame.clockMs)) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, showWidth, showHeight, GL_RGBA, GL_UNSIGNED_BYTE, web.pixels.data());
        pageKeepFrame(web.pixels.data(), showWidth, showHeight, frame.clockMs);
    }
    return true;
}

void start() {
    if (web.played) {
        resetShowState();
        shell.skipFullscreen = true;  // the page is its own window
    }
    // The keys act on the real clock, as the program's do; on the fixed
    // one the sound is mixed frame by frame, as a capture's is.
    PlayerSettings player;
    player.keys = web.fixedFps == 0.0;
    player.soundInStep = !player.keys;
    player.jumpFps = web.fixedFps;
    player.fromSeconds = web.fromSeconds;
    setUpPlayer(player);
    useFixedClock(web.fixedFps);
    if (!openShowLoop(web.loop)) {
        web.state = State::Waiting;
        web.played = true;
        pageShowEnded(1, 0, mallinfo().uordblks);
        return;
    }
    web.state = State::Running;
}

void finish() {
    const ShowResult result = closeShowLoop(web.loop);
    web.state = State::Waiting;
    web.played = true;
    // What the run made is freed by now: the heap in use is what the next
    // run starts from.
    pageShowEnded(result.exitCode, result.end == ShowEnd::Escape ? 1 : 0, mallinfo().uordblks);
}

// One animation frame: turns of the loop until a frame is shown, the show
// pauses or it ends, or the turns (a jump's frames) have used the budget.
void animationFrame() {
    if (web.state == State::Starting) start();
    if (web.state != State::Running) return;
    const double began = emscripten_get_now();
    for (;;) {
        const LoopTurn turn = showLoopTurn(web.run, web.loop);
        if (turn == LoopTurn::Ended) return finish();
        if (turn == LoopTurn::Shown || turn == LoopTurn::Paused) return;
        if (emscripten_get_now() - began > turnBudgetMs) return;
    }
}

// The option's value from the address, checked by the program's own option
// rules: true with the options it sets, false when the address has none or
// the program would refuse it (said on the page). The fixed-step clock goes
// first so that options that need it are judged on their value alone.
bool addressOption(const char* name, Options& options) {
    const int length = pageValue(name, nullptr, 0);
    if (length < 0) return false;
    std::string value(static_cast<size_t>(length), '\0');
    pageValue(name, value.data(), length + 1);
    std::string option = std::string("--") + name;
    char program[] = "eyesonly", fixedClock[] = "--fps", anyFps[] = "1";
    char* argv[] = {program, fixedClock, anyFps, option.data(), value.data()};
    std::string error;
    const bool taken = parseOptions(5, argv, options, error);
    if (!taken) pageNotice("Address", (std::string(name) + "=" + value + " is not used: " + error).c_str());
    return taken;
}

}  // namespace

// Play: from the page's button or key, once its sound is ready; the first
// frame shown is the first at fromSeconds or later.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyPlay(double fromSeconds) {
    if (web.state != State::Waiting) return;
    web.fromSeconds = std::isfinite(fromSeconds) && fromSeconds > 0.0 ? fromSeconds : 0.0;
    web.state = State::Starting;
}

// The page's buttons: a press of the key they stand for (Space, M, Left,
// Right, Home), queued as the key's own messages so that it takes the
// key's path through the window procedure to the player.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyPress(int key) {
    if (web.state != State::Running) return;
    const auto code = static_cast<uintptr_t>(key);
    platform::postMessage({platform::WM_KEYDOWN, code, 0});
    platform::postMessage({platform::WM_KEYUP, code, 0});
}

// The position bar: a jump to second S of the show.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyJumpTo(double seconds) {
    if (web.state == State::Running) playerJumpToSecond(seconds);
}

// The page was hidden (another tab in front, a minimised window) or shown.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyHide(int hidden) {
    if (web.state == State::Running) playerHide(hidden != 0);
}

// What the controls show: the show's second of the frame shown, or -1
// while no run is under way; and the player's pause (1) and mute (2).
extern "C" EMSCRIPTEN_KEEPALIVE double eyesonlySecond() {
    return web.state == State::Running ? playerView().second : -1.0;
}
// The show's clock reading of second S, for the frames the page keeps.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t eyesonlyReadingAt(double seconds) { return readingAtSecond(seconds); }
extern "C" EMSCRIPTEN_KEEPALIVE int eyesonlyPlayerState() {
    const PlayerView view = playerView();
    return (view.paused ? 1 : 0) | (view.muted ? 2 : 0);
}

int main() {
    // 1. The run the address asks for.
    Options options;
    if (addressOption("fps", options)) web.fixedFps = options.fps;
    if (addressOption("until", options)) web.run.stopAtMs = readingAtSecond(options.untilSeconds);
    traceEnabled = pageFlag("trace") != 0;
    web.run.afterFrame = handOverFrame;
    web.pixels.resize(static_cast<size_t>(showWidth) * showHeight * 4);

    // 2. The page is its own window: no display mode, no question. Its
    //    glyphs are in the show's data.
    shell.skipFullscreen = true;
    platform::useGlyphPack(dataFilePath(glyphpack::fileName));
    std::string family, file;
    if (!platform::chosenFace(family, file))
        pageNotice("Text", "the glyph pack (data/glyphs.pack) is missing, damaged or cut short: the text could not be set");

    // 3. The browser's animation frames drive the show from now on.
    emscripten_set_main_loop(animationFrame, 0, 0);
    pageReady(web.fixedFps > 0.0 ? 0 : 1, showLengthSeconds, platform::showMixRate);  // the controls act where the keys do
    return 0;
}
