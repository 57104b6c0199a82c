// The title zoom on a real offscreen GL: the timeline of the six lines at a
// steady 100 frames a second from the slideshow's hand-over, the light sweep
// of the last line, long frames, and probed pixels of the lit 3-D text.
#include "scenes/title.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/system/clock.h"
#include "resources/text.h"
#include "scenes/scenes.h"
#include "scenes/slideshow.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/trace.h"
#include "tests/support/scene_harness.h"

namespace {

using testing_support::dumpFrame;

using testing_support::OffscreenGL;
using testing_support::colourTolerance;

constexpr int frameLimit = 3000;           // a scene that never ends fails instead of hanging
constexpr int ambientLevel = 10;           // GL's default scene ambient on the default material, of 255

float lightPositionX() {
    GLfloat position[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    return position[0];
}

class Title : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gl = new OffscreenGL();
        textFont = makeOutlineFont(9);
    }
    static void TearDownTestSuite() {
        resetTextState();
        delete gl;
        gl = nullptr;
    }
    void SetUp() override {
        show.enterScene(0);
        fx.fxC = 1.5f;
        testing_support::setUpStartupGlState();
        glViewport(0, 0, 640, 480);
    }
    void TearDown() override { useFixedClock(0.0); }

    static OffscreenGL* gl;
    testing_support::SceneHarness show;
};

OffscreenGL* Title::gl = nullptr;

// --- the timeline ---------------------------------------------------------------

struct FrameState {
    int32_t line;
    float depth, turn, light;
    int32_t scene;
};

TEST_F(Title, AtOneHundredFramesASecondTheLinesChangeOnTimeAndTheLightSweepsOnce) {
    // From the slideshow's last frame, through renderFrame on the fixed-step
    // clock; frame n is drawn n / 100 s after the scene's first frame.
    glViewport(0, 0, 64, 48);  // thousands of frames, no pixel looked at
    sceneIndex = -1;
    fx = SceneVars{};
    slideshowState.slideIndex = 1;
    slideshowState.captionIndex = 27;
    fx.fxClock = 12.001f;
    resetClockState();
    useFixedClock(100.0);
    frameDelta();
    std::vector<FrameState> frames;
    for (int n = 0; n < frameLimit && sceneIndex != 1; ++n) {
        clockFrameDrawn();
        renderFrame();
        frames.push_back({titleState.titleLine, fx.fxB, fx.fxClock, lightPositionX(), sceneIndex});
    }
    ASSERT_EQ(sceneIndex, 1) << "the scene should end by itself";
    ASSERT_EQ(frames.size(), 1171u) << "nextScene 11.70 s after the first frame";
    EXPECT_EQ(titleState.titleLine, 6);
    EXPECT_EQ(titleState.titlePhase, 0);

    // The lines change 1.83, 3.67, 5.51, 7.35 and 9.19 s in.
    std::vector<int> changes;
    for (size_t n = 1; n < frames.size(); ++n)
        if (frames[n].line != frames[n - 1].line) changes.push_back(static_cast<int>(n));
    EXPECT_EQ(changes, (std::vector<int>{183, 367, 551, 735, 919, 1170}));
    std::vector<testing_support::TraceEvent> lines = show.traceEvents();
    ASSERT_EQ(lines.size(), 9u);
    // frames[n] reads the clock at 1000 + 10 (n + 1) ms, one step having
    // been taken by hand before it: the clock numbers it n + 2.
    EXPECT_EQ(lines[2].line(), "185 2840 title 1") << "frame number, its clock reading, the new line";
    EXPECT_EQ(lines[7].line(), "1172 12710 title 6");
    EXPECT_EQ(lines[8].line(), "1172 12710 scene 1") << "the last line's end comes before the switch";

    // Line 0 keeps the slideshow's last turn while it moves away; the later
    // lines move away face-on; a turn stops at its first value past 70.
    EXPECT_FLOAT_EQ(frames[50].turn, 0.03f) << "0.01 s x 3";
    EXPECT_EQ(frames[183 + 50].turn, 0.0f);
    float lastTurn = frames[182].turn;
    EXPECT_GE(lastTurn, 70.0f);
    EXPECT_LT(lastTurn, 70.0f + 1.5f + 0.1f) << "one frame's turn past 70";

    // The farthest point of a line is its first depth below -7.
    float farthest = 0.0f;
    for (int n = 184; n < 367; ++n) farthest = std::min(farthest, frames[n].depth);
    EXPECT_LT(farthest, -7.0f);
    EXPECT_GT(farthest, -7.0f - 0.077f - 0.001f);

    // Light 0 stays at x = 3 until the title has reached its farthest point,
    // 10.11 s in; it sweeps to its first value below -5 by 10.77 s while the
    // title neither moves nor turns, and stays there.
    int sweepStart = -1, sweepEnd = -1;
    for (size_t n = 0; n < frames.size(); ++n)
        if (frames[n].light != 3.0f) {
            sweepStart = static_cast<int>(n);
            break;
        }
    for (size_t n = 1; n < frames.size(); ++n)
        if (frames[n].light != frames[n - 1].light) sweepEnd = static_cast<int>(n);
    EXPECT_EQ(sweepStart, 1011);
    EXPECT_EQ(sweepEnd, 1077);
    ASSERT_GT(sweepStart, 0);
    for (int n = sweepStart; n <= sweepEnd; ++n) {
        ASSERT_EQ(frames[n].depth, frames[sweepStart - 1].depth) << "frame " << n;
        ASSERT_EQ(frames[n].turn, frames[sweepStart - 1].turn) << "frame " << n;
        ASSERT_LT(frames[n].light, frames[n - 1].light) << "frame " << n;
    }
    EXPECT_LT(lightX, -5.0f);
    EXPECT_GE(lightX, -5.0f - 12.0f * 0.01f - 0.001f);
    EXPECT_EQ(lightPositionX(), lightX) << "the light stays where the sweep left it";
    EXPECT_EQ(frames.back().light, lightX);
}

TEST_F(Title, OneLongFrameFromTheFarthestPointEndsTheLineAtOnce) {
    titleState.titleLine = 2;
    titleState.titlePhase = 1;
    fx.fxB = -7.05f;
    fx.fxClock = 70.5f;
    fx.fxA = 1.0f;
    show.frame(1.0f);  // 7.7 units in one frame: from -7.05 past 0.1
    EXPECT_EQ(titleState.titleLine, 3);
    EXPECT_EQ(titleState.titlePhase, 0);
    EXPECT_EQ(fx.fxB, 0.0f);
    EXPECT_EQ(fx.fxClock, 0.0f);
    EXPECT_EQ(fx.fxA, 0.0f);
    EXPECT_EQ(sceneIndex, 0);
    EXPECT_EQ(show.traceEvents(""), std::vector<std::string>{"title 3"});
}

TEST_F(Title, TheLastLineSeesTheLightFromTheIdentityInEveryFrameOfItsWayBack) {
    // Line 4 on its way back draws under the matrix it built.
    titleState.titleLine = 4;
    titleState.titlePhase = 1;
    fx.fxB = -5.0f;
    show.frame(0.01f);
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_NE(matrix[14], 0.0f) << "line 4 leaves its depth on the matrix";

    // The title: one long frame sweeps the light at once, past -5, with the
    // title held; the next frame brings the title back from the identity.
    titleState.titleLine = 5;
    fx.fxB = -7.01f;
    fx.fxClock = 0.0f;
    show.frame(1.0f);
    EXPECT_EQ(lightX, 3.0f - 12.0f);
    EXPECT_EQ(lightPositionX(), lightX);
    EXPECT_EQ(fx.fxB, -7.01f) << "the title waits for the light";
    EXPECT_EQ(fx.fxClock, 0.0f);
    show.frame(0.01f);
    EXPECT_EQ(lightX, 3.0f - 12.0f) << "the sweep happens once";
    EXPECT_GT(fx.fxB, -7.01f) << "the title comes back";
    EXPECT_EQ(fx.fxClock, 0.01f * 150.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(matrix[i], i % 5 == 0 ? 1.0f : 0.0f) << "element " << i;
}

// --- what a frame shows -------------------------------------------------------------

TEST_F(Title, TheTextIsLitByTheRedLightAloneWhateverTheCurrentColour) {
    // Line 0 at depth 6, beyond the light's depth of 4, face-on, with a
    // white current colour: the glyphs' fronts face the light.
    fx.fxB = -6.0f;
    fx.fxA = 1.0f;
    show.frame(0.0f);
    dumpFrame("title-lit");
    std::vector<uint8_t> rgb = testing_support::readFrame(640, 480);
    int red = 0, maxGreen = 0, maxBlue = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        if (rgb[i] > 100) ++red;
        maxGreen = std::max<int>(maxGreen, rgb[i + 1]);
        maxBlue = std::max<int>(maxBlue, rgb[i + 2]);
    }
    EXPECT_GT(red, 1000) << "bright red text pixels";
    EXPECT_LE(maxGreen, ambientLevel + colourTolerance) << "green comes from the scene ambient only";
    EXPECT_LE(maxBlue, ambientLevel + colourTolerance) << "blue comes from the scene ambient only";
    testing_support::Box box = testing_support::litBox(40);
    EXPECT_NEAR((box.left + box.right) / 2, 320, 6) << "the 3-D text is centred";
    EXPECT_LT(box.bottom, 240 + 3) << "it stands on the horizon";
}

TEST_F(Title, ALinesFirstFrameIsCutByTheNearPlane) {
    // The title's first frame: the text's front lies in the viewer's plane,
    // so only what lies deeper than the near plane shows, up to its 0.2-unit
    // extrusion: a corner of the "K" filling the view. Window depth of
    // z = -0.2 with near 0.1 and far 100: 0.5005.
    titleState.titleLine = 5;
    show.frame(0.0f);
    dumpFrame("title-first-frame");
    std::vector<float> depth(640 * 480);
    glReadPixels(0, 0, 640, 480, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    int drawn = 0;
    float deepest = 0.0f;
    for (float d : depth)
        if (d < 1.0f) {
            ++drawn;
            deepest = std::max(deepest, d);
        }
    EXPECT_GT(drawn, 640 * 480 / 20) << "the glyphs fill much of the view";
    EXPECT_LE(deepest, 0.5006f + 0.001f) << "nothing drawn beyond the extrusion";

    // Each frame draws where the one before left the line: the third frame
    // of 10 ms after this one draws it 0.154 units away, its front showing.
    show.frame(0.01f);
    show.frame(0.01f);
    show.frame(0.01f);
    glReadPixels(0, 0, 640, 480, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    float nearest = 1.0f;
    drawn = 0;
    for (float d : depth) {
        nearest = std::min(nearest, d);
        if (d < 1.0f) ++drawn;
    }
    EXPECT_GT(drawn, 640 * 480 / 20);
    EXPECT_GT(nearest, 0.3f) << "the front at 0.154 units, window depth 0.35";
}

}  // namespace
