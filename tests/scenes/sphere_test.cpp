// The closing scene: the tilt and the bounce, the credit and greeting rows
// with their timing, the font rebuilt for the greetings, the quit after the
// last row, and the heading and name drawn on llvmpipe.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "resources/text.h"
#include "scenes/scenes.h"
#include "scenes/sphere.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"
#include "tests/support/scene_harness.h"

namespace {

using testing_support::Rgb;

class SphereScene : public ::testing::Test {
protected:
    void SetUp() override {
        resetTextState();
        while (platform::peekMessage(leftover)) {
        }
        // What start-up and the scenes before leave: the wire sphere, the
        // three fonts, the red light; then the scroller's hand-over.
        resetDrawingState();
        makeSphereList();
        textFont = makeOutlineFont(9);
        bigFont = makeBitmapFont(72, 1.0f);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glLoadIdentity();
        setUpRedLight();
        glDisable(GL_LIGHTING);
        show.enterScene(3);
    }
    void TearDown() override {
        resetTextState();
        while (platform::peekMessage(leftover)) {
        }
    }

    bool quitPosted() {
        platform::Message message;
        while (platform::peekMessage(message))
            if (message.message == platform::WM_QUIT) {
                EXPECT_EQ(message.wParam, 0u) << "exit code";
                return true;
            }
        return false;
    }

    testing_support::OffscreenGL gl;
    testing_support::SceneHarness show;
    platform::Message leftover;
};

TEST_F(SphereScene, RowsLastTheirTimeThenTheShowQuitsAfterEof) {
    ASSERT_EQ(sceneIndex, 3);
    const float step = 1.0f / 60.0f;
    const GLuint bigFontBefore = bigFont;
    std::vector<float> rowEnds;  // seconds into the scene
    int frames = 0;
    bool quit = false;
    while (!quit && frames < 100000) {
        int row = sphereState.creditIndex;
        int phase = sphereState.greetPhase;
        show.frame(step);
        ++frames;
        if (sphereState.creditIndex != row || sphereState.greetPhase != phase) rowEnds.push_back(frames * step);
        quit = quitPosted();
        if (sphereState.greetPhase == 0) {
            EXPECT_EQ(bigFont, bigFontBefore);
        }
    }
    ASSERT_TRUE(quit);
    EXPECT_EQ(sphereState.creditIndex, 19);
    EXPECT_EQ(sphereState.greetPhase, 1);
    EXPECT_NE(bigFont, bigFontBefore);
    ASSERT_EQ(rowEnds.size(), 23u);
    float start = 0.0f;
    for (size_t k = 0; k < rowEnds.size(); ++k) {
        float length = rowEnds[k] - start;
        float least = k < 4 ? 200.0f / 60.0f : 75.0f / 60.0f;
        EXPECT_GT(length, least) << "row " << k;
        EXPECT_LE(length, least + step * 1.01f) << "row " << k;
        start = rowEnds[k];
    }
    // About 37.1 s, each of the 23 rows at most a frame longer.
    EXPECT_GT(start, 4 * 200.0f / 60.0f + 19 * 75.0f / 60.0f);
    EXPECT_LE(start, 37.1f + 23 * step);

    std::vector<std::string> lines = show.traceEvents("");
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[0], "row 0 1");
    EXPECT_EQ(lines[3], "row 1 0") << "the switch to the greetings";
    EXPECT_EQ(lines[4], "row 1 1");
    EXPECT_EQ(lines[21], "row 1 18");
    EXPECT_EQ(lines[22], "row 1 19");
    EXPECT_EQ(lines[23], "quit");
}

TEST_F(SphereScene, NoQuitBeforeTheLastGreetingEnds) {
    sphereState.greetPhase = 1;
    sphereState.creditIndex = 17;
    fx.fxTextClock = 75.0f;
    show.frame(0.01f);
    EXPECT_EQ(sphereState.creditIndex, 18);
    EXPECT_FALSE(quitPosted());
    show.frame(1.0f);
    EXPECT_EQ(sphereState.creditIndex, 18) << "75 units are not over 75";
    show.frame(0.26f);
    EXPECT_EQ(sphereState.creditIndex, 19);
    EXPECT_TRUE(quitPosted());
}

TEST_F(SphereScene, LongFrameAdvancesOneRowOnly) {
    show.frame(30.0f);
    EXPECT_EQ(sphereState.creditIndex, 1);
    EXPECT_EQ(fx.fxTextClock, 0.0f) << "the overshoot is dropped";
    show.frame(0.0f);
    EXPECT_EQ(sphereState.creditIndex, 1);

    // Through the switch to the greetings, also one row only.
    sphereState.creditIndex = 3;
    show.frame(30.0f);
    EXPECT_EQ(sphereState.greetPhase, 1);
    EXPECT_EQ(sphereState.creditIndex, 0);
    show.frame(30.0f);
    EXPECT_EQ(sphereState.creditIndex, 1);
}

TEST_F(SphereScene, GreetingsUseAFontRebuiltAtFortyTwoPixels) {
    // The height of 'H' through a font, drawn alone on a cleared frame.
    auto capitalHeight = [](GLuint font) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glLoadIdentity();
        glColor3f(1.0f, 1.0f, 1.0f);
        glTranslatef(0.0f, 0.0f, -1.0f);
        glRasterPos2f(-0.2f, 0.0f);
        glListBase(font);
        glCallLists(1, GL_UNSIGNED_BYTE, "H");
        glListBase(0);
        return testing_support::litBox().height();
    };
    const GLuint oldFont = bigFont;
    const int oldHeight = capitalHeight(oldFont);

    sphereState.creditIndex = 3;
    fx.fxTextClock = 200.0f;
    show.frame(0.02f);
    ASSERT_EQ(sphereState.greetPhase, 1);
    ASSERT_NE(bigFont, oldFont);
    EXPECT_FALSE(glIsList(oldFont + 'H')) << "the 72-pixel lists are released";
    const int newHeight = capitalHeight(bigFont);
    EXPECT_NEAR(static_cast<double>(newHeight) / oldHeight, 42.0 / 72.0, 0.06)
        << "heights " << newHeight << " and " << oldHeight;
}

TEST_F(SphereScene, SquareTiltsAloneThenTheSphereFallsAndBounces) {
    const float step = 1.0f / 60.0f;
    int tiltFrames = 0;
    while (fx.fxA > -70.0f && tiltFrames < 1000) {
        show.frame(step);
        ++tiltFrames;
        EXPECT_EQ(fx.fxC, 1.5f);
        EXPECT_EQ(fx.fxB, 0.0f);
        EXPECT_EQ(fx.fxE, 0.0f);
    }
    EXPECT_NEAR(tiltFrames, 140, 1) << "70 degrees at 30 a second";
    const float tiltEnd = fx.fxA;
    EXPECT_LE(tiltEnd, -70.0f);
    EXPECT_GT(tiltEnd, -70.0f - step * 30.0f);

    // At 60 frames a second the sphere first drops below 0.25 after about
    // 112 frames, then comes back up.
    int fallFrames = 0;
    while (fx.fxC >= 0.25f && fallFrames < 1000) {
        show.frame(step);
        ++fallFrames;
    }
    constexpr int bounceFrames = 2;  // the frame the drop below 0.25 falls in moves with rounding
    EXPECT_NEAR(fallFrames, 112, bounceFrames) << "frames to the first drop below 0.25";
    float lowest = fx.fxC;
    for (int k = 0; k < 200; ++k) {
        show.frame(step);
        lowest = std::min(lowest, fx.fxC);
    }
    EXPECT_GT(fx.fxC, 0.25f) << "bounced";
    EXPECT_GT(lowest, 0.0f);
    EXPECT_EQ(fx.fxA, tiltEnd) << "the tilt stays where it stopped";
    EXPECT_FLOAT_EQ(fx.fxB, fx.fxE);
}

TEST_F(SphereScene, SlowSphereIsReflectedOnSeveralFramesInARow) {
    fx.fxA = -70.0f;
    fx.fxC = 0.2f;
    fx.fxD = -0.001f;
    const float step = 1.0f / 60.0f;
    int reflections = 0;
    for (int k = 0; k < 4; ++k) {
        ASSERT_LT(fx.fxC, 0.25f);
        float pulled = fx.fxD - step * 0.012f;
        show.frame(step);
        EXPECT_EQ(fx.fxD, pulled * 0.033333335f - pulled) << "frame " << k;
        if ((fx.fxD > 0.0f) != (pulled > 0.0f)) ++reflections;
    }
    EXPECT_EQ(reflections, 4);
}

// Rendering: credit row 1 at 640 x 480. The white heading "%code." starts
// about 30 pixels from the left on a baseline about 66 pixels from the top;
// the grey name "brakkelum" follows on the same baseline.
TEST_F(SphereScene, HeadingIsWhiteAtTheUpperLeftAndTheNameGreyAfterIt) {
    sphereState.creditIndex = 1;
    show.frame(0.0f);

    std::vector<uint8_t> rgb = testing_support::readFrame(640, 480);
    testing_support::Box white, grey;
    white = grey = testing_support::Box{640, 480, -1, -1};
    auto grow = [](testing_support::Box& box, int x, int y) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
    };
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t* p = &rgb[(y * 640 + x) * 3];
            Rgb c{p[0], p[1], p[2]};
            if (testing_support::near(c, Rgb{255, 255, 255})) grow(white, x, y);
            if (testing_support::near(c, Rgb{128, 128, 128})) grow(grey, x, y);
        }
    ASSERT_FALSE(white.empty()) << "no white heading";
    ASSERT_FALSE(grey.empty()) << "no grey name";
    constexpr int glyphEdge = 4;  // pixels: the glyphs' bearing and rounding at 42 pixels
    EXPECT_NEAR(white.left, 30, glyphEdge) << "the heading's left edge";
    EXPECT_NEAR(white.bottom, 66, glyphEdge) << "'%code.' sits on the baseline";
    EXPECT_GT(white.height(), 10);
    EXPECT_LT(white.height(), 30);
    EXPECT_GE(grey.left, white.right - 2) << "the name follows the heading";
    EXPECT_NEAR(grey.bottom, 66, 4) << "'brakkelum' sits on the same baseline";
    EXPECT_GT(grey.height(), 35) << "the name is in the large font";
    EXPECT_GT(grey.right, 400) << "nine characters of the large font";
}

}  // namespace
