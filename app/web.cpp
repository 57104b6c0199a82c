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
//   &size=WxH   the picture drawn at W x H pixels, as --size draws it
//               (the canvas shown W:H, the 4:3 picture with bars in it);
//               without it, at the canvas's shown size times the device's
//               pixel ratio (at most the screen's own pixels), taken at
//               each Play and followed when the window or full screen
//               changes it (the picture placed anew at its new scale);
//               size=640x480 is the show's own picture
//   #t=S        the first frame shown is the first at S or later, as with
//               --from S (the page reads it at each Play)
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

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
#include "show/chapters.h"
#include "show/clock.h"
#include "show/picture.h"
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
// from it, their one source (an output the page made ahead at another rate
// is made anew).
EM_JS(void, pageReady, (int controls, double showSeconds, int mixRate), {
    eyesonlyPage.ready(controls !== 0, showSeconds, mixRate);
});
EM_JS(int, pageFrameShown, (uint32_t clockMs), { return eyesonlyPage.frameShown(clockMs) ? 1 : 0; });
EM_JS(void, pageKeepFrame, (const uint8_t* pixels, int width, int height, uint32_t clockMs), {
    eyesonlyPage.keepFrame(HEAPU8.slice(pixels, pixels + width * height * 4), width, height, clockMs);
});
// The canvas's shown size in the device's pixels, at most the screen's:
// width in the high 16 bits, height in the low; 0 while it is not shown.
EM_JS(int, pageCanvasPixels, (), {
    const canvas = document.getElementById('canvas');
    const ratio = window.devicePixelRatio || 1;
    const box = canvas.getBoundingClientRect();
    const width = Math.min(Math.round(box.width * ratio), Math.round(screen.width * ratio), 16384);
    const height = Math.min(Math.round(box.height * ratio), Math.round(screen.height * ratio), 16384);
    return width >= 16 && height >= 16 ? (width << 16) | height : 0;
});
// The box the canvas fills takes the shape of &size=WxH, as a window of that
// size would, so that the 4:3 picture drawn in it with bars keeps its shape.
EM_JS(void, pageShapeScreen, (int width, int height), {
    const screen = document.getElementById('screen').style;
    screen.width = `min(100vw, calc(100vh * ${width} / ${height}))`;
    screen.height = `min(100vh, calc(100vw * ${height} / ${width}))`;
});
// A step of the way to the first frame on the page's performance timeline.
EM_JS(void, pageMark, (const char* step), { performance.mark('eyesonly: ' + UTF8ToString(step)); });
EM_JS(void, pageShowEnded, (int exitCode, int escaped, double heapBytes), {
    eyesonlyPage.showEnded(exitCode, escaped !== 0, heapBytes);
});
// The show's words: the line that appears on screen, as text, with the
// show time of the frame it appears in (ms; text "" when the words are
// gone). The page may set Module.onShowWords(text, ms) to hear them.
EM_JS(void, pageShowWords, (const char* text, double showMs), {
    if (typeof Module.onShowWords === 'function') Module.onShowWords(UTF8ToString(text), showMs);
});
// A line for this run alone.
EM_JS(void, pageSay, (const char* caption, const char* text), {
    eyesonlyPage.showMessage(UTF8ToString(caption), UTF8ToString(text));
});

namespace {

// The sound is mixed this far ahead of what the page has played, so that
// a frame up to this long brings no gap.
constexpr double soundLeadSeconds = 0.25;
// On the real clock the music heard may fall behind the picture or run
// ahead of it when the browser is slow to stop or start its output (a pause,
// a hidden page): past this much it is moved back into step.
constexpr double soundSlackSeconds = 0.1;
// Within that, an offset that lasts (the output slow to start, or to come
// back after a pause) is moved back when its mean over a second or so of
// frames is past this much; the frame-to-frame jitter averages out.
constexpr double soundSettleSeconds = 0.03;
constexpr int soundSettleFrames = 60;
// The frames a long jump runs through are spread over animation frames, so
// that the page stays alive: an animation frame turns for at most this long.
constexpr double turnBudgetMs = 100.0;

enum class State { Waiting, Running };

struct WebRun {
    State state = State::Waiting;
    double fixedFps = 0.0;  // 0: the real clock
    double fromSeconds = 0.0;  // where the run starts (#t=)
    double untilSeconds = -1.0;  // where it ends (&until=), or -1
    int width = 0;          // &size=WxH; 0: the canvas's shown size in device pixels
    int height = 0;
    bool played = false;    // a run has ended before: the show's state is put back first
    ShowLoop loop;
    ShowRun run;
    // Where the music stood against the clock: the music frame due at a
    // reading, taken at the run's first frame and after each jump.
    bool soundPlaced = false;
    int soundJumps = 0;
    uint32_t soundReading = 0;
    int64_t soundMusicFrame = 0;
    double soundBehind = 0.0;  // seconds the music heard was behind the picture, last looked
    double soundBehindSum = 0.0;  // its sum over the frames looked at since the last mean was taken
    int soundLooks = 0;
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

// The real clock's music kept in step with the picture: frames of it are
// dropped when it is behind, silence is let in when it is ahead.
void keepSoundInStep(uint32_t reading) {
    const int jumps = playerView().jumps;
    if (!web.soundPlaced || jumps != web.soundJumps) {
        web.soundPlaced = true;
        web.soundJumps = jumps;
        web.soundReading = reading;
        web.soundMusicFrame = platform::soundDeviceNextMusicFrame();
        // The page's output ran on while the run started: the music starts
        // where the stream stands now, not cut by that much.
        const int64_t passed = platform::soundDeviceHeardMusicFrame() - web.soundMusicFrame;
        if (passed > 0) platform::shiftSoundDevice(-passed);
        web.soundBehindSum = 0.0;
        web.soundLooks = 0;
        return;
    }
    const double due = web.soundMusicFrame + (reading - web.soundReading) * (platform::showMixRate / 1000.0);
    const int64_t behind = std::llround(due) - platform::soundDeviceHeardMusicFrame();
    web.soundBehind = static_cast<double>(behind) / platform::showMixRate;
    web.soundBehindSum += web.soundBehind;
    int64_t shift = 0;
    if (std::fabs(web.soundBehind) > soundSlackSeconds) {
        shift = behind;
    } else if (++web.soundLooks == soundSettleFrames) {
        const double mean = web.soundBehindSum / soundSettleFrames;
        if (std::fabs(mean) > soundSettleSeconds) shift = std::llround(mean * platform::showMixRate);
    } else {
        return;
    }
    if (shift != 0) platform::shiftSoundDevice(shift);
    web.soundBehindSum = 0.0;
    web.soundLooks = 0;
}

bool handOverFrame(const DrawnFrame& frame) {
    if (frame.skipped) return true;
    if (web.fixedFps == 0.0) keepSoundInStep(frame.clockMs);
    feedSound();
    if (pageFrameShown(frame.clockMs)) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        web.pixels.resize(static_cast<size_t>(picture.outputWidth) * picture.outputHeight * 4);
        glReadPixels(0, 0, picture.outputWidth, picture.outputHeight, GL_RGBA, GL_UNSIGNED_BYTE, web.pixels.data());
        pageKeepFrame(web.pixels.data(), picture.outputWidth, picture.outputHeight, frame.clockMs);
    }
    return true;
}

// The size the page draws at now: the address's, or the canvas's own.
bool pageOutputSize(int& width, int& height) {
    if (web.width > 0) {
        width = web.width;
        height = web.height;
        return true;
    }
    const int packed = pageCanvasPixels();
    width = packed >> 16;
    height = packed & 0xFFFF;
    return packed != 0;
}

// The window or full screen changed the canvas's shown size: the canvas is
// made that size and the picture placed in it anew, at its new scale.
EM_BOOL onPageResized(int, const void*, void*) {
    int width = 0, height = 0;
    if (web.state != State::Running || web.width > 0 || !pageOutputSize(width, height)) return EM_FALSE;
    if (width == picture.outputWidth && height == picture.outputHeight) return EM_FALSE;
    emscripten_set_canvas_element_size("#canvas", width, height);
    platform::postMessage({platform::WM_SIZE, 0, platform::packSize(width, height)});
    return EM_FALSE;
}

void start() {
    pageMark("start-up");
    if (web.played) {
        resetShowState();
        shell.skipFullscreen = true;  // the page is its own window
    }
    // The picture at the page's size now, smoothed where it is larger
    // than the show's own.
    int width = showWidth, height = showHeight;
    pageOutputSize(width, height);
    sizeOutput(width, height);
    // The keys act on the real clock, as the program's do; on the fixed
    // one the sound is mixed frame by frame, as a capture's is.
    PlayerSettings player;
    player.keys = web.fixedFps == 0.0;
    player.soundInStep = !player.keys;
    player.jumpFps = web.fixedFps;
    player.fromSeconds = web.fromSeconds;
    setUpPlayer(player);
    useFixedClock(web.fixedFps);
    web.soundPlaced = false;
    web.soundBehind = 0.0;
    if (!openShowLoop(web.loop)) {
        web.state = State::Waiting;
        web.played = true;
        pageShowEnded(1, 0, mallinfo().uordblks);
        return;
    }
    web.state = State::Running;
    pageMark("started");
}

void finish() {
    const ShowResult result = closeShowLoop(web.loop);
    web.state = State::Waiting;
    web.played = true;
    // A start past the show's end (its length depends on the rate) is
    // refused as the program refuses --from there, known once it ended.
    int exitCode = result.exitCode;
    double endSeconds = 0.0;
    if (result.end == ShowEnd::Quit && exitCode == 0 && playerStartPastEnd(endSeconds)) {
        pageSay("Address", ("#t=" + secondsText(web.fromSeconds) + " is past the show's end: at this rate it is " +
                            secondsText(endSeconds) + " s long").c_str());
        exitCode = 2;
    }
    // What the run made is freed by now: the heap in use is what the next
    // run starts from.
    pageShowEnded(exitCode, result.end == ShowEnd::Escape ? 1 : 0, mallinfo().uordblks);
}

// One animation frame: turns of the loop until a frame is shown, the show
// pauses or it ends, or the turns (a jump's frames) have used the budget.
void animationFrame() {
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
// A start after &until= is refused, as --from after --until is, and the
// run ends at once.
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyPlay(double fromSeconds) {
    if (web.state != State::Waiting) return;
    web.fromSeconds = std::isfinite(fromSeconds) && fromSeconds > 0.0 ? fromSeconds : 0.0;
    if (web.untilSeconds >= 0.0 && web.fromSeconds > web.untilSeconds) {
        pageSay("Address", ("#t=" + secondsText(web.fromSeconds) + " is after until=" + secondsText(web.untilSeconds) +
                            ": the show has nothing to play there").c_str());
        pageShowEnded(2, 0, mallinfo().uordblks);
        return;
    }
    // The run starts up now, not at the next animation frame: its first
    // frame is drawn at that frame.
    start();
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
// How far the music heard was behind the picture when last looked, in
// seconds (ahead: below 0); 0 on the fixed-step clock.
extern "C" EMSCRIPTEN_KEEPALIVE double eyesonlySoundBehind() { return web.soundBehind; }
// Picture-in-picture: while the page is hidden the browser gives it no
// animation frames, so the show's turns are run on its timers instead
// (1), or on its animation frames (0, as ever).
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyDrawHidden(int hidden) {
    if (hidden != 0)
        emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, 16);
    else
        emscripten_set_main_loop_timing(EM_TIMING_RAF, 1);
}
// The picture's scale now: its height over the show's own.
extern "C" EMSCRIPTEN_KEEPALIVE double eyesonlyPictureScale() { return picture.scale; }
// The show's chapters (show/chapters.h): how many, each one's name and the
// show time of its first frame at 60 frames a second (ms); the chapter of
// the frame shown (-1 while no run is under way); and a jump to a chapter's
// first frame, which runs to its scene's first frame at the run's own rate.
extern "C" EMSCRIPTEN_KEEPALIVE int eyesonlyChapterCount() { return chapterCount; }
extern "C" EMSCRIPTEN_KEEPALIVE const char* eyesonlyChapterName(int chapter) {
    return chapter >= 0 && chapter < chapterCount ? chapters[chapter].name : "";
}
extern "C" EMSCRIPTEN_KEEPALIVE double eyesonlyChapterStartMs(int chapter) {
    return chapter >= 0 && chapter < chapterCount ? chapters[chapter].startMs : -1.0;
}
extern "C" EMSCRIPTEN_KEEPALIVE int eyesonlyChapter() {
    return web.state == State::Running ? playerView().chapter : -1;
}
extern "C" EMSCRIPTEN_KEEPALIVE void eyesonlyGoToChapter(int chapter) {
    if (web.state == State::Running) playerGoToChapter(chapter);
}
extern "C" EMSCRIPTEN_KEEPALIVE int eyesonlyPlayerState() {
    const PlayerView view = playerView();
    return (view.paused ? 1 : 0) | (view.muted ? 2 : 0);
}

int main() {
    pageMark("program");
    // 1. The run the address asks for.
    Options options;
    if (addressOption("fps", options)) web.fixedFps = options.fps;
    if (addressOption("until", options)) {
        web.untilSeconds = options.untilSeconds;
        web.run.stopAtMs = readingAtSecond(options.untilSeconds);
    }
    if (addressOption("size", options)) {
        web.width = options.width;
        web.height = options.height;
        pageShapeScreen(web.width, web.height);
    }
    traceEnabled = pageFlag("trace") != 0;
    web.run.afterFrame = handOverFrame;
    web.run.onWords = [](const std::string& text, double showMs) { pageShowWords(text.c_str(), showMs); };
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE,
                                   [](int type, const EmscriptenUiEvent* event, void* data) {
                                       return onPageResized(type, event, data);
                                   });
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             [](int type, const EmscriptenFullscreenChangeEvent* event, void* data) {
                                                 return onPageResized(type, event, data);
                                             });

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
