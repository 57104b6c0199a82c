// The ring tunnel: its corner count, depth throb and flips at fixed frame
// times, its end on the millisecond clock (also across a wrap of the clock),
// and its grey wire outlines drawn on llvmpipe.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/system/testing.h"
#include "scenes/ring.h"
#include "scenes/scenes.h"
#include "show/clock.h"
#include "show/picture.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "tests/support/scene_harness.h"

namespace {

uint32_t clockNow = 0;
uint32_t testClock() { return clockNow; }

class RingScene : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setClockForTesting(testClock);
        songStartTime = 5000;
        clockNow = songStartTime;
        // What the title scene and its hand-over leave: depth test on,
        // lighting off, black clear colour.
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
        glEnable(GL_LIGHTING);
        show.enterScene(1);
    }
    void TearDown() override { platform::setClockForTesting(nullptr); }

    // The line segments one frame draws: a loop of n corners gives n
    // segments, a loop of none gives nothing.
    int segmentsDrawn(float seconds) {
        return static_cast<int>(testing_support::linesFedBack([&] { show.frame(seconds); }).size());
    }

    testing_support::OffscreenGL gl;
    testing_support::SceneHarness show;
};

TEST_F(RingScene, FirstFrameDrawsTenTrianglesWhateverTheCountHeld) {
    ASSERT_EQ(sceneIndex, 1);
    ringState.ringCount = 57;
    EXPECT_EQ(segmentsDrawn(0.016f), 10 * 3);
    EXPECT_EQ(ringState.ringCount, 3);
    EXPECT_EQ(sceneIndex, 1);
}

TEST_F(RingScene, LongFrameShowsItsCountOneFrameLateAndFlipsAtOnce) {
    // Growing by 4 s carries the count far above 20.
    EXPECT_EQ(segmentsDrawn(4.0f), 10 * 3);
    EXPECT_EQ(growFlag, 0) << "the direction flips in the frame of the long step";
    EXPECT_EQ(segmentsDrawn(0.0f), 10 * 22);
    EXPECT_EQ(ringState.ringCount, 22);

    // Shrinking by 4 s from there carries it below zero: no vertices at all.
    EXPECT_EQ(segmentsDrawn(4.0f), 10 * 22);
    EXPECT_LT(ringState.ringCountF, 0.0f);
    EXPECT_EQ(growFlag, 1);
    EXPECT_EQ(segmentsDrawn(0.0f), 0);
    EXPECT_LE(ringState.ringCount, 0);

    // And it comes back: the count grows again.
    segmentsDrawn(1.0f);
    EXPECT_EQ(segmentsDrawn(0.0f), 10 * ringState.ringCount);
    EXPECT_GE(ringState.ringCount, 1);
}

TEST_F(RingScene, FrameOfNoTimeMovesNothingButStillFlipsAndEnds) {
    fx.fxA = 12.5f;
    fx.fxClock = -0.6f;
    ringState.ringCountF = 4.1f;
    growFlag = 0;
    ringState.backFlag = 1;

    show.frame(0.0f);
    EXPECT_EQ(fx.fxA, 12.5f);
    EXPECT_EQ(fx.fxClock, -0.6f);
    EXPECT_EQ(ringState.ringCountF, 4.1f);
    EXPECT_EQ(ringState.ringCount, 4);
    EXPECT_EQ(ringState.backFlag, 0) << "the depth offset lies beyond -0.5";
    EXPECT_EQ(growFlag, 1) << "the count lies at 4.1";

    clockNow = songStartTime + 23501;
    show.frame(0.0f);
    EXPECT_EQ(sceneIndex, 2) << "the end test is made in every frame";
}

TEST_F(RingScene, EndsOnTheFirstReadingPastTwentyThreeAndAHalfSeconds) {
    clockNow = songStartTime + 23500;
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 1) << "a reading exactly at the end does not end it";
    clockNow = songStartTime + 23501;
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 2);
    EXPECT_EQ(fx.fxC, 1.5f) << "nextScene ran";
}

TEST_F(RingScene, ClockWrapDuringTheSceneDoesNotEndItEarly) {
    // The song started 1 s before the counter wraps.
    songStartTime = 0xFFFFFFFFu - 999u;
    clockNow = songStartTime + 500u;
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 1) << "0.5 s into the song";
    clockNow = songStartTime + 10000u;  // past the wrap: a small reading
    ASSERT_LT(clockNow, songStartTime);
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 1) << "10 s into the song, after the wrap";
    clockNow = songStartTime + 23500u;
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 1);
    clockNow = songStartTime + 23501u;
    show.frame(0.016f);
    EXPECT_EQ(sceneIndex, 2) << "23.501 s into the song, after the wrap";
}

TEST_F(RingScene, TimelineAtSixtyFramesASecond) {
    // Twelve seconds at 60 frames a second: the count starts as triangles for
    // about 0.2 s, grows to 20 in about 3.43 s, then swings between 20 and 4;
    // the depth offset starts away from the viewer and stays near +-0.5.
    const float step = 1.0f / 60.0f;
    float firstShrinkAt = -1.0f;
    int lastTriangleFrame = -1;
    int fewest = 100, most = 0;
    float nearest = 0.0f, farthest = 0.0f;
    for (int k = 0; k < 720; ++k) {
        show.frame(step);
        if (ringState.ringCount == 3 && k < 60) lastTriangleFrame = k;
        if (k >= 60) {
            fewest = std::min(fewest, ringState.ringCount);
            most = std::max(most, ringState.ringCount);
        }
        if (k == 0) {
            EXPECT_LT(fx.fxClock, 0.0f) << "the bundle first moves away";
        }
        nearest = std::max(nearest, fx.fxClock);
        farthest = std::min(farthest, fx.fxClock);
        if (firstShrinkAt < 0.0f && growFlag == 0) firstShrinkAt = (k + 1) * step;
    }
    EXPECT_NEAR(lastTriangleFrame, 12, 1) << "triangles while the count is below 4 (0.2 s)";
    EXPECT_NEAR(firstShrinkAt, 3.43f, step) << "the bundle first shrinks 3.43 s in, to the frame";
    EXPECT_EQ(most, 20);
    EXPECT_GE(fewest, 3);
    EXPECT_LE(fewest, 4);
    EXPECT_GT(nearest, 0.5f);
    EXPECT_LE(nearest, 0.5f + step * 6.0f);
    EXPECT_LT(farthest, -0.5f);
    EXPECT_GE(farthest, -0.5f - step * 6.0f);
    EXPECT_EQ(sceneIndex, 1) << "the clock did not move: no end";
}

// The columns of the middle row that one first frame of `seconds` lights,
// the scene as it was entered.
std::vector<int> litMiddleRow(testing_support::SceneHarness& show, float seconds) {
    show.frame(seconds);
    const std::vector<uint8_t> rgb = testing_support::readFrame(640, 480);
    std::vector<int> lit;
    for (int x = 0; x < 640; ++x) {
        const uint8_t* p = &rgb[(240 * 640 + x) * 3];
        if (p[0] > 16 || p[1] > 16 || p[2] > 16) lit.push_back(x);
    }
    return lit;
}

// At 6 times 640 x 480 lines are 6 pixels wide. GL widens a line that is
// more across than up by moving it up and down, and ends it square at its
// corner: right of the first corner, near x = 513, only the point that
// fills the corner is drawn.
TEST_F(RingScene, WideOutlinesMeetInFilledCorners) {
    const auto scaled = [](float scale) { picture.scale = scale, glLineWidth(scale), glPointSize(scale); };
    scaled(6.0f);
    const std::vector<int> lit = litMiddleRow(show, 0.0f);
    scaled(1.0f);
    ASSERT_FALSE(lit.empty());
    EXPECT_GE(lit.back(), 513 + 2) << "half a line's width past the corner";
}

// The angle step between outlines grows 16 degrees a second, before the
// frame draws: a first frame of 22.5 s turns each outline by whole turns,
// back onto a frame of no time; one of 11.25 s turns every other outline
// half round about the slanted axis, off the middle row's two edges.
TEST_F(RingScene, TheAngleStepGrowsSixteenDegreesASecondBeforeTheFrameDraws) {
    const RingState ringStart = ringState;
    const SceneVars fxStart = fx;
    const std::vector<int> still = litMiddleRow(show, 0.0f);
    auto onTheStillFrame = [&](float seconds) {
        ringState = ringStart;
        fx = fxStart;
        const std::vector<int> lit = litMiddleRow(show, seconds);
        return !lit.empty() && std::abs(lit.front() - still.front()) <= 2 && std::abs(lit.back() - still.back()) <= 2 &&
               std::all_of(lit.begin(), lit.end(), [&](int x) { return x <= still.front() + 3 || x >= still.back() - 3; });
    };
    ASSERT_FALSE(still.empty());
    EXPECT_TRUE(onTheStillFrame(22.5f)) << "360 degrees a step";
    EXPECT_FALSE(onTheStillFrame(11.25f)) << "180 degrees a step";
}

// Rendering: ten identical triangles at the start, 1.5 units ahead, grey on black.
TEST_F(RingScene, OutlinesAreMidGreyOnBlack) {
    // The middle row crosses the triangle's left edge, which joins
    // (-0.25, +-0.433) at depth 1.5 near x = 223, and touches its first
    // corner (0.5, 0) near x = 513; in between lies the black inside.
    const std::vector<int> litColumns = litMiddleRow(show, 0.0f);
    using testing_support::Rgb;
    const Rgb grey{128, 128, 128};
    const Rgb black{0, 0, 0};
    for (const auto& [x, y] : {std::pair{10, 10}, std::pair{320, 240}})
        EXPECT_TRUE(testing_support::near(testing_support::probe(x, y), black))
            << "at " << x << ", " << y << ": " << testing_support::describe(testing_support::probe(x, y));
    ASSERT_FALSE(litColumns.empty());
    constexpr int edgePixels = 2;  // a line's pixels round either way of the edge
    EXPECT_NEAR(litColumns.front(), 223, edgePixels) << "the left edge";
    EXPECT_NEAR(litColumns.back(), 513, edgePixels) << "the first corner";
    for (int x : litColumns) {
        EXPECT_TRUE(testing_support::near(testing_support::probe(x, 240), grey))
            << "at x " << x << ": " << testing_support::describe(testing_support::probe(x, 240));
        EXPECT_TRUE(x <= 226 || x >= 509) << "lit inside the triangle at x " << x;
    }

    // The bundle covers about 0.43 / 1.5 of the half-height above the centre.
    testing_support::Box box = testing_support::litBox();
    EXPECT_NEAR(box.top, 240 - 167, edgePixels + 1) << "the bundle's top, about 0.43 / 1.5 of the half-height";
    EXPECT_NEAR(box.bottom, 240 + 167, edgePixels + 1) << "the bundle's bottom";
    EXPECT_NEAR(box.right, 320 + 193, 3) << "the first corner lies at (0.5, 0)";
}

}  // namespace
