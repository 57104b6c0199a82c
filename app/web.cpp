// eyesonly in the browser: the page's entry. The browser owns the loop, so
// the show runs a turn at a time from its animation frames: one frame drawn
// and shown per animation frame. The page (app/page/page.js) starts a run
// when Play is pressed and offers the next one when a run ends.
//
// The page's address may set the run, as the program's options do:
//   ?fps=F      the fixed-step clock at F frames a second (1 to 1000)
//   &until=S    the run ends after the frame drawn S seconds into the show
//   &trace      the show's timeline on the console, a line per event
#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include <GL/gl.h>

#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/web_device.h"
#include "platform/fonts/pack.h"
#include "platform/system/clock.h"
#include "resources/datafiles.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/trace.h"

// The page's side (app/page/page.js).
EM_JS(double, pageNumber, (const char* name), {
    const value = new URLSearchParams(location.search).get(UTF8ToString(name));
    return value === null || value.length === 0 ? NaN : Number(value);
});
EM_JS(int, pageFlag, (const char* name), { return new URLSearchParams(location.search).has(UTF8ToString(name)) ? 1 : 0; });
EM_JS(void, pageReady, (), { eyesonlyPage.ready(); });
EM_JS(int, pageFrameShown, (uint32_t clockMs), { return eyesonlyPage.frameShown(clockMs) ? 1 : 0; });
EM_JS(void, pageKeepFrame, (const uint8_t* pixels, int width, int height, uint32_t clockMs), {
    eyesonlyPage.keepFrame(HEAPU8.slice(pixels, pixels + width * height * 4), width, height, clockMs);
});
EM_JS(void, pageShowEnded, (int exitCode, int escaped), { eyesonlyPage.showEnded(exitCode, escaped !== 0); });

namespace {

// The sound is mixed this far ahead of what the page has played, so that
// a frame up to this long brings no gap.
constexpr double soundLeadSeconds = 0.25;
constexpr double samplesPerMs = 44100 / 1000.0;

enum class State { Waiting, Starting, Running };

struct WebRun {
    State state = State::Waiting;
    double fixedFps = 0.0;  // 0: the real clock
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
        platform::pumpSoundDevice(std::llround((clockMillis() - static_cast<double>(showStartReading)) * samplesPerMs));
    else
        platform::pumpSoundDevice(platform::soundDevicePlayedFrames() + std::llround(soundLeadSeconds * 44100));
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
    setUpPlayer(player);
    useFixedClock(web.fixedFps);
    if (!openShowLoop(web.loop)) {
        web.state = State::Waiting;
        web.played = true;
        pageShowEnded(1, 0);
        return;
    }
    web.state = State::Running;
}

void finish() {
    const ShowResult result = closeShowLoop(web.loop);
    web.state = State::Waiting;
    web.played = true;
    pageShowEnded(result.exitCode, result.end == ShowEnd::Escape ? 1 : 0);
}

// One animation frame: turns of the loop until a frame is shown, the show
// pauses or it ends. Messages are few, so the turns are few.
void animationFrame() {
    if (web.state == State::Starting) start();
    if (web.state != State::Running) return;
    for (;;) {
        const LoopTurn turn = showLoopTurn(web.run, web.loop);
        if (turn == LoopTurn::Ended) return finish();
        if (turn == LoopTurn::Shown || turn == LoopTurn::Paused) return;
    }
}

}  // namespace

// Play: from the page's button or key, once its sound is ready.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyPlay() {
    if (web.state == State::Waiting) web.state = State::Starting;
}

int main() {
    // 1. The run the address asks for.
    const double fps = pageNumber("fps");
    if (std::isfinite(fps) && fps >= 1.0 && fps <= 1000.0) web.fixedFps = fps;
    const double until = pageNumber("until");
    if (std::isfinite(until) && until >= 0.0)
        web.run.stopAtMs = readingAtSecond(until);
    traceEnabled = pageFlag("trace") != 0;
    web.run.afterFrame = handOverFrame;
    web.pixels.resize(static_cast<size_t>(showWidth) * showHeight * 4);

    // 2. The page is its own window: no display mode, no question. Its
    //    glyphs are in the show's data.
    shell.skipFullscreen = true;
    platform::useGlyphPack(dataFilePath(glyphpack::fileName));

    // 3. The browser's animation frames drive the show from now on.
    emscripten_set_main_loop(animationFrame, 0, 0);
    pageReady();
    return 0;
}
