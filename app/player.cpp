// The player's controls: --from, pause, mute and jumps.
#include "app/player.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "scenes/scenes.h"
#include "scenes/slideshow.h"
#include "scenes/sphere.h"
#include "show/chapters.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"

namespace {

constexpr uint32_t jumpStepMs = 10000;     // Left and Right
constexpr double unknownRefreshFps = 60.0; // a jump's rate when the display tells none
// The furthest start moment aimed at: far past the show's end at any rate,
// and well inside the half of the wrapping clock that before() can tell
// apart; a start further still is past the end all the same.
constexpr double furthestStartSeconds = 1.0e6;

struct ShowControls {
    PlayerSettings settings;
    uint32_t showStartMs = 0;   // the clock reading start-up started the intro song at
    bool paused = false;        // by the Space key
    bool hidden = false;        // the page is hidden: held like a pause
    bool muted = false;         // by the M key
    bool jumping = false;       // frames are run until the first at targetMs or later
    uint32_t targetMs = 0;      // a chapter's jump: its first frame's moment at 60 frames a second
    int targetChapter = -1;     // a jump to a chapter's first frame, run to its scene's; -1: by targetMs
    // The song start the music's move to the jump's end was started for.
    std::optional<uint32_t> songPrepared;
    bool jumpEnds = false;      // the frame being drawn is the jump's last
    bool redrawing = false;     // the jump draws the held frame again, without its trace lines
    int jumpsDone = 0;          // jumps finished, the music placed anew after each
    bool startPending = false;  // --from's moment not reached yet
    bool cut = false;           // drawing is cut to the 1 x 1 box
    bool discarding = false;    // by the GL's discard rather than selection mode
    GLint scissorBox[4] = {};   // as it was before the cut
    GLboolean scissorTest = GL_FALSE;
    std::string title;          // the title last set
};

ShowControls controls;

constexpr GLenum rasterizerDiscard = 0x8C89;  // GL_RASTERIZER_DISCARD, GL 3.0
constexpr GLsizei selectBufferSize = 64;
GLuint selectBuffer[selectBufferSize];

double jumpFps() {
    if (controls.settings.jumpFps > 0.0) return controls.settings.jumpFps;
    const int refreshHz = platform::displayRefreshHz();
    return refreshHz > 0 ? refreshHz : unknownRefreshFps;
}

// The clock and the music stand still for a pause or a hidden page.
bool held() { return controls.paused || controls.hidden; }

// Whether reading a comes before reading b on the wrapping clock.
bool before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

void showTitle() {
    const std::string title = playerTitle();
    if (title == controls.title) return;
    controls.title = title;
    platform::setWindowTitle(title.c_str());
}

// Whether the GL can discard every primitive before rasterizing it (3.0 and
// on; never the page's). Asked once, with the context current.
bool canDiscard() {
#ifdef __EMSCRIPTEN__
    return false;
#else
    static const bool discard = [] {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        return version != nullptr && std::atoi(version) >= 3;
    }();
    return discard;
#endif
}

// A frame run through is drawn with nothing rasterized: a bitmap only moves
// the raster position instead of being uploaded as a texture (which costs
// more than all the rest of a skipped frame), the scroller leaves its tiles
// out (framesUnseen), and the 1 x 1 scissor box keeps the clears to a pixel.
// Selection mode does it everywhere, but builds vertex shading of its own
// for each new kind of drawing, which costs more than a scene's few large
// draws; the GL's discard keeps the drawn frames' shading but costs more for
// each draw, more than building that shading for the slideshow, whose every
// draw turns texturing, blending or lighting on or off. So the slideshow's
// frames (and the scroller's, with nothing left to choose between) run in
// selection mode and the others discarded, where the GL can. Everything the
// scenes read back (the raster position) and leave behind is as in a drawn
// frame, either way.
void cutDrawing() {
    const bool discard = canDiscard() && sceneIndex != -1 && sceneIndex != 2;  // the slideshow, the scroller
    if (controls.cut && controls.discarding == discard) return;
    if (!controls.cut) {
        glGetIntegerv(GL_SCISSOR_BOX, controls.scissorBox);
        controls.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        glEnable(GL_SCISSOR_TEST);
    } else if (controls.discarding) {
        glDisable(rasterizerDiscard);
    } else {
        glRenderMode(GL_RENDER);
    }
    if (discard) {
        glEnable(rasterizerDiscard);
    } else {
        glSelectBuffer(selectBufferSize, selectBuffer);
        glRenderMode(GL_SELECT);
    }
    traceQuiet = true;
    framesUnseen = true;
    controls.cut = true;
    controls.discarding = discard;
}

void restoreDrawing() {
    if (!controls.cut) return;
    if (controls.discarding)
        glDisable(rasterizerDiscard);
    else
        glRenderMode(GL_RENDER);
    glScissor(controls.scissorBox[0], controls.scissorBox[1], controls.scissorBox[2], controls.scissorBox[3]);
    if (!controls.scissorTest) glDisable(GL_SCISSOR_TEST);
    traceQuiet = false;
    framesUnseen = false;
    controls.cut = false;
}

// The clock's reading at second S of this run's show (held within the
// moments a show can start from).
uint32_t readingOfSecond(double seconds) {
    return controls.showStartMs + (readingAtSecond(std::clamp(seconds, 0.0, furthestStartSeconds)) - showStartReading);
}

// Which way a jump goes: by its target moment, or as a chapter's jump decided.
enum class Way { ByTime, Forward, Back };

// Starts (or moves) a jump to `target`: forward from the frame last drawn,
// or back through the show's start.
void jumpTo(uint32_t target, Way way = Way::ByTime) {
    if (before(target, controls.showStartMs)) target = controls.showStartMs;
    const bool forward = way == Way::ByTime ? lastFrameTime != 0 && before(lastFrameTime, target) : way == Way::Forward;
    controls.targetChapter = -1;
    if (!forward) {
        // The start state's scissor test is off: the next frame cuts again.
        restoreDrawing();
        runClockThrough(controls.showStartMs, jumpFps());
        const bool textFontRebuilt = sceneIndex == 3;
        const bool bigFontRebuilt = sphereState.greetPhase == 1;
        resetScenes();
        restartShow(textFontRebuilt, bigFontRebuilt);
    } else if (!controls.jumping) {
        // On the steps counted from the show's start, as --from runs them,
        // from the first one after the frame last drawn.
        runClockThrough(controls.showStartMs, jumpFps(), lastFrameTime);
    }
    // The music waits for the jump's end, where it is put in its place.
    platform::holdSound(true);
    controls.jumping = true;
    controls.targetMs = target;
    controls.songPrepared.reset();
}

// The jump's last frame is drawn: the clock runs on (or holds, paused) from
// its reading, and the music goes on from the same place.
void finishJump() {
    if (held())
        holdClock(lastFrameTime);
    else
        runClockFrom(lastFrameTime);
    if (!controls.settings.soundInStep) placeSongs(lastFrameTime);
    platform::holdSound(held());
    ++controls.jumpsDone;
}

// After a pause or the page's hiding changed: the clock and the music hold
// or go on from the reading they stand at. During a jump the clock steps
// on; its end holds or runs it.
void applyHold(bool wasHeld) {
    if (controls.jumping || held() == wasHeld) return;
    if (held())
        holdClock(clockMillis());
    else
        runClockFrom(clockMillis());
    platform::holdSound(held());
}

// The chapter shown, or a running jump's target.
int chapterShown() {
    if (controls.targetChapter >= 0) return controls.targetChapter;
    if (controls.jumping) return chapterAtMs(static_cast<double>(controls.targetMs - controls.showStartMs));
    return chapterOfScene(sceneDrawn);
}

// A chapter's first frame, as its scene's first: the chapter's jump runs
// to it from a scene before it, else from the show's start. The first
// chapter's is the show's first frame.
void goToChapter(int chapter) {
    const uint32_t moment = readingOfSecond(chapters[chapter].startMs / 1000.0);
    if (chapter == 0) {
        jumpTo(controls.showStartMs);
        return;
    }
    // The next frame starts the scene that sceneIndex holds once a scene
    // has handed over at the end of the frame shown: that scene's first
    // frame is not ahead any more, as the run forward would start past it.
    const bool ahead = lastFrameTime != 0 && chapters[chapter].scene > sceneIndex;
    jumpTo(moment, ahead ? Way::Forward : Way::Back);
    controls.targetChapter = chapter;
}

// Whether the frame about to be drawn is the target chapter's first.
bool chapterStartsNow() {
    const int32_t scene = chapters[controls.targetChapter].scene;
    return scene == 0 ? slideshowEndsNextFrame() : sceneIndex == scene;
}

void togglePause() {
    const bool wasHeld = held();
    controls.paused = !controls.paused;
    applyHold(wasHeld);
    showTitle();
}

}  // namespace

void setUpPlayer(const PlayerSettings& settings) {
    controls = ShowControls{};
    controls.settings = settings;
}

void startPlayer() {
    controls.showStartMs = songStartTime;
    controls.title = windowTitle;
    if (controls.settings.keys) saveStartState();
    showTitle();
    if (controls.settings.fromSeconds > 0.0) {
        runClockThrough(controls.showStartMs, jumpFps());
        platform::holdSound(true);
        controls.jumping = true;
        controls.startPending = true;
        const double seconds = std::min(controls.settings.fromSeconds, furthestStartSeconds);
        controls.targetMs = controls.showStartMs + (readingAtSecond(seconds) - showStartReading);
        // A chapter's name: its scene's first frame, at this run's rate.
        if (controls.settings.fromChapter > 0) controls.targetChapter = controls.settings.fromChapter;
    }
}

void playerKey(uintptr_t key) {
    if (!controls.settings.keys) return;
    const uint32_t position = controls.jumping ? controls.targetMs : clockMillis();
    switch (key) {
    case platform::VK_SPACE:
    case platform::VK_MEDIA_PLAY_PAUSE:
        togglePause();
        break;
    case platform::VK_M:
        // Without a sound device there is nothing to unmute.
        if (controls.settings.muted) break;
        controls.muted = !controls.muted;
        platform::muteSound(controls.muted);
        showTitle();
        break;
    case platform::VK_RIGHT:
        jumpTo(position + jumpStepMs);
        break;
    case platform::VK_LEFT:
        jumpTo(position - jumpStepMs);
        break;
    case platform::VK_HOME:
        jumpTo(controls.showStartMs);
        break;
    case platform::VK_NEXT:
    case platform::VK_MEDIA_NEXT_TRACK:
        goToChapter(std::min(chapterShown() + 1, chapterCount - 1));
        break;
    case platform::VK_PRIOR:
    case platform::VK_MEDIA_PREV_TRACK:
        goToChapter(std::max(chapterShown() - 1, 0));
        break;
    default:
        break;
    }
}

bool playerPaused() { return held() && !controls.jumping; }

bool beginPlayerFrame() {
    if (!controls.jumping) return true;
    // The music's move to the jump's end is mixed beside the frames, from the
    // first frame that knows the song that plays (again when another starts).
    if (!controls.settings.soundInStep && controls.songPrepared != songStartTime) {
        controls.songPrepared = songStartTime;
        preparePlacingSongs(stepReadingFrom(controls.targetMs));
    }
    // The frame takes the clock's reading now; a chapter's jump ends with
    // its scene's first frame.
    const bool early = controls.targetChapter >= 0 ? !chapterStartsNow() : before(clockMillis(), controls.targetMs);
    if (early) {
        cutDrawing();
        return false;
    }
    restoreDrawing();
    controls.jumping = false;
    controls.targetChapter = -1;
    controls.startPending = false;
    controls.jumpEnds = true;
    traceQuiet = controls.redrawing;
    return true;
}

void endPlayerFrame() {
    if (!controls.jumpEnds) return;
    controls.jumpEnds = false;
    finishJump();
    if (controls.redrawing) {
        controls.redrawing = false;
        traceQuiet = false;
    }
}

void playerRedraw() {
    if (!controls.settings.keys || !held() || controls.jumping || lastFrameTime == 0) return;
    jumpTo(lastFrameTime);
    controls.redrawing = true;
}

const char* playerTitle() {
    static std::string title;
    const bool muted = controls.muted || controls.settings.muted;
    title = windowTitle;
    if (controls.paused || muted)
        title += controls.paused && muted ? " (paused, muted)" : controls.paused ? " (paused)" : " (muted)";
    return title.c_str();
}

void playerJumpToSecond(double seconds) {
    if (!controls.settings.keys) return;
    jumpTo(readingOfSecond(seconds));
}

void playerGoToChapter(int chapter) {
    if (!controls.settings.keys) return;
    goToChapter(std::clamp(chapter, 0, chapterCount - 1));
}

void playerRunAheadTo(double seconds) {
    const uint32_t target = readingOfSecond(seconds);
    if (lastFrameTime != 0 && before(lastFrameTime, target) && !controls.jumping) jumpTo(target);
}

void playerHide(bool hidden) {
    if (!controls.settings.keys) return;
    const bool wasHeld = held();
    controls.hidden = hidden;
    applyHold(wasHeld);
}

PlayerView playerView() {
    const uint32_t at = controls.jumping ? controls.targetMs : lastFrameTime;
    PlayerView view;
    view.second = std::max(static_cast<int32_t>(at - controls.showStartMs), 0) / 1000.0;
    view.paused = controls.paused;
    view.muted = controls.muted || controls.settings.muted;
    view.jumps = controls.jumpsDone;
    view.chapter = chapterShown();
    return view;
}

bool playerStartPastEnd(double& endSeconds) {
    endSeconds = secondAtReading(lastFrameTime);
    return controls.startPending;
}

void resetPlayerState() { controls = ShowControls{}; }
