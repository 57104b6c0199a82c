// The block-letter scroller: how characters rise, sink and finish at fixed
// frame times, how the flag left by the ring tunnel decides the first
// character, the hand-over after the 79th, and the tiles drawn on llvmpipe.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/text.h"
#include "scenes/scenes.h"
#include "scenes/scroller.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"
#include "tests/support/scene_harness.h"

namespace {

class ScrollerScene : public ::testing::Test {
protected:
    void SetUp() override {
        resetTextState();
        // What start-up, the ring tunnel and its hand-over leave.
        fillBitMasks();
        textFont = makeOutlineFont(9);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_LIGHTING);
        show.enterScene(2);
    }
    void TearDown() override { resetTextState(); }

    testing_support::OffscreenGL gl;
    testing_support::SceneHarness show;
};

TEST_F(ScrollerScene, SpellsSeventyNineCharactersThenHandsOver) {
    ASSERT_EQ(sceneIndex, 2);
    ASSERT_EQ(growFlag, 1);
    const float step = 1.0f / 60.0f;
    int frames = 0;
    while (sceneIndex == 2 && frames < 100000) {
        show.frame(step);
        ++frames;
    }
    EXPECT_EQ(scrollerState.scrollPos, 79);
    EXPECT_EQ(sceneIndex, 3);
    // Each character rises about 0.18 s and sinks about 0.18 s: 22 frames.
    const float sixFrames = 6.0f * step;  // the rise and the sink each end on a whole frame
    EXPECT_NEAR(frames * step, 79 * 22 * step, sixFrames) << frames << " frames";

    std::vector<std::string> letters = show.traceEvents("letter ");
    ASSERT_EQ(letters.size(), 79u);
    for (int k = 0; k < 79; ++k) EXPECT_EQ(letters[k], "letter " + std::to_string(k + 1));
    std::vector<std::string> lines = show.traceEvents("");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "letter 79");
    EXPECT_EQ(lines.back(), "scene 3");
    EXPECT_EQ(growFlag, 1) << "set again after the last character";
    EXPECT_EQ(fx.fxClock, 0.0f);
}

TEST_F(ScrollerScene, FlagClearedByTheRingFinishesTheFirstCharacterAtOnce) {
    growFlag = 0;
    show.frame(1.0f / 60.0f);
    EXPECT_EQ(scrollerState.scrollPos, 1) << "the 'w' is never raised";
    EXPECT_EQ(growFlag, 1);
    EXPECT_EQ(fx.fxClock, 0.0f);
    std::vector<testing_support::TraceEvent> lines = show.traceEvents();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "letter 1");
    EXPECT_EQ(lines[0].frame, clockFramesDrawn()) << "in the scene's first frame";

    // The rest of the sentence still runs to the 79th character.
    int frames = 0;
    while (sceneIndex == 2 && frames < 100000) {
        show.frame(1.0f / 60.0f);
        ++frames;
    }
    EXPECT_EQ(scrollerState.scrollPos, 79);
}

TEST_F(ScrollerScene, CharacterWhoseFirstFrameTakesNoTimeFinishesAtOnce) {
    scrollerState.scrollPos = 5;
    show.frame(0.0f);
    EXPECT_EQ(scrollerState.scrollPos, 6);
    EXPECT_EQ(growFlag, 1);
    EXPECT_EQ(fx.fxClock, 0.0f);
}

TEST_F(ScrollerScene, RiseTurnsAtTheTopAndALongSinkFinishesInOneFrame) {
    scrollerState.scrollPos = 10;
    show.frame(0.1f);
    EXPECT_FLOAT_EQ(fx.fxClock, 0.17f);
    EXPECT_EQ(growFlag, 1);
    show.frame(0.1f);
    EXPECT_FLOAT_EQ(fx.fxClock, 0.34f);
    EXPECT_EQ(growFlag, 0) << "at or above 0.3 the glyph sinks";
    EXPECT_EQ(scrollerState.scrollPos, 10);
    show.frame(5.0f);
    EXPECT_EQ(scrollerState.scrollPos, 11);
    EXPECT_EQ(fx.fxClock, 0.0f);
    EXPECT_EQ(growFlag, 1);
}

// Rendering. The board is unturned on the first frame; a raised tile's
// centre is found by projecting it through the matrix the scene leaves.
TEST_F(ScrollerScene, GreyBackgroundFlatTilesAndBrightRaisedTile) {
    // 'l' raises column 1 in every row.
    scrollerState.scrollPos = 22;
    ASSERT_EQ(scrollerText[scrollerState.scrollPos], 'l');
    fx.fxClock = 0.3f;  // the top of the rise
    growFlag = 0;
    show.frame(0.0f);
    // fxClock 0.3 is not at or below 0: the character is still shown.
    ASSERT_EQ(scrollerState.scrollPos, 22);

    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    auto pixelOf = [&](double x, double y, double z, int& px, int& py) {
        GLdouble wx, wy, wz;
        ASSERT_TRUE(gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz));
        px = static_cast<int>(wx);
        py = viewport[3] - 1 - static_cast<int>(wy);
    };

    using testing_support::Rgb;
    using testing_support::describe;
    using testing_support::near;
    using testing_support::probe;

    Rgb background = probe(5, 5);
    EXPECT_TRUE(near(background, Rgb{128, 128, 128})) << "clear colour: " << describe(background);

    // Column 1, row 4: centre (-0.625, -0.125), raised to 0.3.
    int x = 0, y = 0;
    pixelOf(-0.625, -0.125, 0.3, x, y);
    Rgb raised = probe(x, y);
    EXPECT_TRUE(near(raised, Rgb{230, 230, 230})) << "raised tile at " << x << "," << y << ": " << describe(raised);

    // Column 5, row 4: flat.
    pixelOf(0.375, -0.125, 0.0, x, y);
    Rgb flat = probe(x, y);
    EXPECT_TRUE(near(flat, Rgb{77, 77, 77})) << "flat tile at " << x << "," << y << ": " << describe(flat);
}

}  // namespace
