// The player's controls: --from, pause, mute and jumps.
#include "app/player.h"

#include <GL/gl.h>

#include <cmath>
#include <string>

#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "scenes/scenes.h"
#include "scenes/sphere.h"
#include "show/clock.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"

namespace {

constexpr uint32_t jumpStepMs = 10000;     // Left and Right
constexpr double unknownRefreshFps = 60.0; // a jump's rate when the display tells none

struct Player {
    PlayerSettings settings;
    uint32_t showStartMs = 0;   // the clock reading start-up started the intro song at
    bool paused = false;
    bool muted = false;         // by the M key
    bool jumping = false;       // frames are run until the first at targetMs or later
    uint32_t targetMs = 0;
    bool jumpEnds = false;      // the frame being drawn is the jump's last
    bool startPending = false;  // --from's moment not reached yet
    bool cut = false;           // drawing is cut to the 1 x 1 box
    GLint scissorBox[4] = {};   // as it was before the cut
    GLboolean scissorTest = GL_FALSE;
    std::string title;          // the title last set
};

Player player;

constexpr GLsizei selectBufferSize = 64;
GLuint selectBuffer[selectBufferSize];

double jumpFps() {
    if (player.settings.jumpFps > 0.0) return player.settings.jumpFps;
    const int refreshHz = platform::displayRefreshHz();
    return refreshHz > 0 ? refreshHz : unknownRefreshFps;
}

// Whether reading a comes before reading b on the wrapping clock.
bool before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

void showTitle() {
    const std::string title = playerTitle();
    if (title == player.title) return;
    player.title = title;
    platform::setWindowTitle(title.c_str());
}

// Selection mode rasterizes nothing: a bitmap only moves the raster position
// instead of being uploaded as a texture (which costs more than all the rest
// of a skipped frame), and the 1 x 1 scissor box keeps the clears to a pixel.
// Everything the scenes read back (the raster position) and leave behind is
// as in a drawn frame.
void cutDrawing() {
    if (player.cut) return;
    glGetIntegerv(GL_SCISSOR_BOX, player.scissorBox);
    player.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    glSelectBuffer(selectBufferSize, selectBuffer);
    glRenderMode(GL_SELECT);
    traceQuiet = true;
    player.cut = true;
}

void restoreDrawing() {
    if (!player.cut) return;
    glRenderMode(GL_RENDER);
    glScissor(player.scissorBox[0], player.scissorBox[1], player.scissorBox[2], player.scissorBox[3]);
    if (!player.scissorTest) glDisable(GL_SCISSOR_TEST);
    traceQuiet = false;
    player.cut = false;
}

// Starts (or moves) a jump to `target`: forward from the frame last drawn,
// or back through the show's start.
void jumpTo(uint32_t target) {
    if (before(target, player.showStartMs)) target = player.showStartMs;
    const bool forward = lastFrameTime != 0 && before(lastFrameTime, target);
    if (!forward) {
        // The start state's scissor test is off: the next frame cuts again.
        restoreDrawing();
        if (!player.settings.fixedClock) stepClock(player.showStartMs, jumpFps(), 0);
        const bool textFontRebuilt = sceneIndex == 3;
        const bool bigFontRebuilt = sphereState.greetPhase == 1;
        resetScenes();
        restartShow(textFontRebuilt, bigFontRebuilt);
    } else if (!player.jumping && !player.settings.fixedClock) {
        // On the steps counted from the show's start, as --from runs them,
        // from the first one after the frame last drawn.
        const double fps = jumpFps();
        const uint32_t doneMs = lastFrameTime - player.showStartMs;
        auto steps = static_cast<uint64_t>(std::floor(doneMs * fps / 1000.0));
        while (std::floor(static_cast<double>(steps) * 1000.0 / fps) <= doneMs) ++steps;
        stepClock(player.showStartMs, fps, steps);
    }
    // The music waits for the jump's end, where it is put in its place.
    platform::holdSound(true);
    player.jumping = true;
    player.targetMs = target;
}

// The jump's last frame is drawn: the clock runs on (or holds, paused) from
// its reading, and the music goes on from the same place.
void finishJump() {
    if (!player.settings.fixedClock) {
        if (player.paused)
            holdClock(lastFrameTime);
        else
            runClockFrom(lastFrameTime);
    }
    if (!player.settings.soundInStep) placeSongs(lastFrameTime);
    platform::holdSound(player.paused);
}

void togglePause() {
    player.paused = !player.paused;
    // During a jump the clock steps on; its end holds or runs it.
    if (!player.jumping) {
        if (player.paused)
            holdClock(clockMillis());
        else
            runClockFrom(clockMillis());
        platform::holdSound(player.paused);
    }
    showTitle();
}

}  // namespace

void setUpPlayer(const PlayerSettings& settings) {
    player = Player{};
    player.settings = settings;
}

void startPlayer() {
    player.showStartMs = songStartTime;
    player.title = windowTitle;
    if (player.settings.keys) saveStartState();
    showTitle();
    if (player.settings.fromSeconds > 0.0) {
        const auto fromMs = static_cast<uint32_t>(std::ceil(player.settings.fromSeconds * 1000.0));
        if (!player.settings.fixedClock) stepClock(player.showStartMs, jumpFps(), 0);
        platform::holdSound(true);
        player.jumping = true;
        player.startPending = true;
        player.targetMs = player.showStartMs + fromMs;
    }
}

void playerKey(uintptr_t key) {
    if (!player.settings.keys) return;
    const uint32_t position = player.jumping ? player.targetMs : clockMillis();
    switch (key) {
    case platform::VK_SPACE:
        togglePause();
        break;
    case platform::VK_M:
        // Without a sound device there is nothing to unmute.
        if (player.settings.muted) break;
        player.muted = !player.muted;
        platform::muteSound(player.muted);
        showTitle();
        break;
    case platform::VK_RIGHT:
        jumpTo(position + jumpStepMs);
        break;
    case platform::VK_LEFT:
        jumpTo(position - jumpStepMs);
        break;
    case platform::VK_HOME:
        jumpTo(player.showStartMs);
        break;
    default:
        break;
    }
}

bool playerPaused() { return player.paused && !player.jumping; }

bool beginPlayerFrame() {
    if (!player.jumping) return true;
    // The frame takes the clock's reading now.
    if (before(clockMillis(), player.targetMs)) {
        cutDrawing();
        return false;
    }
    restoreDrawing();
    player.jumping = false;
    player.startPending = false;
    player.jumpEnds = true;
    return true;
}

void endPlayerFrame() {
    clockStepTaken();
    if (player.jumpEnds) {
        player.jumpEnds = false;
        finishJump();
    }
}

const char* playerTitle() {
    static std::string title;
    const bool muted = player.muted || player.settings.muted;
    title = windowTitle;
    if (player.paused || muted)
        title += player.paused && muted ? " (paused, muted)" : player.paused ? " (paused)" : " (muted)";
    return title.c_str();
}

bool playerStartPastEnd(double& endSeconds) {
    endSeconds = secondAtReading(lastFrameTime);
    return player.startPending;
}

void resetPlayerState() { player = Player{}; }
