// The frame clock, the fixed-step clock, the scene hand-overs and start-up.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/options.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/testing.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"
#include "tests/support/scene_harness.h"
#include "tests/support/support.h"

using testing_support::OffscreenGL;
using testing_support::ScratchDir;
using testing_support::WorkingDir;

namespace {

// A clock that returns the scripted readings in turn, then the last again.
std::vector<uint32_t> readings;
size_t nextReading = 0;

uint32_t scriptedClock() {
    const uint32_t value = readings[std::min(nextReading, readings.size() - 1)];
    ++nextReading;
    return value;
}

void useReadings(std::vector<uint32_t> values) {
    readings = std::move(values);
    nextReading = 0;
    platform::setClockForTesting(scriptedClock);
}

std::array<float, 4> getLight(GLenum what) {
    std::array<float, 4> v{};
    glGetLightfv(GL_LIGHT0, what, v.data());
    return v;
}

using Vec4 = std::array<float, 4>;

}  // namespace

// ---------------------------------------------------------------------------
// The frame clock.

TEST(FrameClock, FirstCallMeasuresTwoBackToBackReadings) {
    testing_support::resetShow();
    useReadings({5000, 5001, 5017});
    EXPECT_FLOAT_EQ(frameDelta(), 0.001f);
    EXPECT_EQ(lastFrameTime, 5001u);
    EXPECT_FLOAT_EQ(frameDelta(), 16.0f * 0.001f);
    EXPECT_FLOAT_EQ(frameMillis, 16.0f);
    platform::setClockForTesting(nullptr);
}

TEST(FrameClock, CounterWrapGivesTheSmallTrueDifference) {
    testing_support::resetShow();
    useReadings({0xFFFFFFF0u, 0xFFFFFFF0u, 0x00000010u});
    EXPECT_EQ(frameDelta(), 0.0f);
    EXPECT_FLOAT_EQ(frameDelta(), 32.0f * 0.001f);
    platform::setClockForTesting(nullptr);
}

TEST(FrameClock, LongPauseArrivesAsOneStep) {
    testing_support::resetShow();
    useReadings({1000, 1000, 1016, 61016});
    frameDelta();
    frameDelta();
    EXPECT_FLOAT_EQ(frameDelta(), 60.0f);
    platform::setClockForTesting(nullptr);
}

TEST(FixedStepClock, ReadsOneThousandPlusTheFramesDrawnInMilliseconds) {
    testing_support::resetShow();
    struct Case {
        double fps;
        std::vector<uint32_t> expected;  // readings with k = 0, 1, 2, ...
    };
    const Case cases[] = {
        {100.0, {1000, 1010, 1020, 1030}},
        {30.0, {1000, 1033, 1066, 1100}},
        {29.97, {1000, 1033, 1066, 1100, 1133}},
        {144.0, {1000, 1006, 1013, 1020}},
        {2000.0, {1000, 1000, 1001, 1001, 1002}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        useFixedClock(c.fps);
        for (size_t k = 0; k < c.expected.size(); ++k) {
            EXPECT_EQ(clockMillis(), c.expected[k]) << "k = " << k;
            EXPECT_EQ(clockMillis(), c.expected[k]) << "a second reading in the same frame";
            clockFrameDrawn();
        }
    }
    useFixedClock(29.97);
    for (int k = 0; k < 2997; ++k) clockFrameDrawn();
    EXPECT_EQ(clockMillis(), 1000u + 100000u) << "2997 frames at 29.97 are exactly 100 s";
    useFixedClock(0.0);
}

// ---------------------------------------------------------------------------
// The hand-overs.

class HandOver : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::resetShow();
        platform::selectBackend(platform::Backend::Headless);
        platform::enableJournal(true);
        platform::journal().clear();
    }
    void TearDown() override {
        platform::enableJournal(false);
        useFixedClock(0.0);
        platform::resetSound();
        introSong = mainSong = nullptr;
    }
    OffscreenGL gl;
};

// A hand-over starts the next scene afresh, whatever the scene before left
// in the shared values, but for the square's roll, which is never reset: the
// first frame after it is the first frame of a scene entered from a clean
// start. What each hand-over changes in GL, the scenes' own tests see in
// their frames (grey outlines, a grey background, the bitmap heading).
TEST_F(HandOver, TheNextSceneStartsAfreshButTheSquareRollsOnFromWhereItWas) {
    useFixedClock(60.0);  // no scene's end comes in its first frame
    startShow();
    // The first frame of scene `index` after a hand-over from `left`.
    auto firstFrame = [](int index, const SceneVars& left) {
        testing_support::SceneHarness show;
        fx = left;
        show.enterScene(index);
        show.frame(1.0f / 60.0f);
        return testing_support::readFrame(640, 480);
    };
    // Pixels that differ by more than the probe tolerance on a channel.
    auto differing = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        int count = 0;
        for (size_t i = 0; i < a.size(); i += 3)
            count += !testing_support::near({a[i], a[i + 1], a[i + 2]}, {b[i], b[i + 1], b[i + 2]});
        return count;
    };
    // The title's hand-over turns depth test back on and blending off (the
    // slideshow leaves them the other way round): the title's first frame is
    // the one drawn from start-up's state.
    auto titleFrame = [](bool fromSlideshow) {
        testing_support::SceneHarness show;
        if (fromSlideshow) {
            glDisable(GL_DEPTH_TEST);
            glEnable(GL_BLEND);
            sceneIndex = -1;
            nextScene();
        } else {
            testing_support::setUpStartupGlState();
            fx.fxC = 1.5f;
        }
        show.enterScene(0);
        fx.fxB = -6.0f;  // line 0 face-on at depth 6, lit red, as in the title's own tests
        fx.fxA = 1.0f;
        show.frame(0.0f);
        return testing_support::readFrame(640, 480);
    };
    const std::vector<uint8_t> title = titleFrame(false);
    EXPECT_GT(differing(title, std::vector<uint8_t>(title.size(), 0)), 1000) << "the title's first frame is empty";
    EXPECT_EQ(differing(titleFrame(true), title), 0) << "pixels changed by what the slideshow left";

    const SceneVars clean{};
    // The closing scene's hand-over turns lighting on (the scroller finds it
    // off), for the red light on the square, and clears to black.
    glDisable(GL_LIGHTING);
    const std::vector<uint8_t> closing = firstFrame(3, clean);
    const uint8_t* centre = &closing[(240 * 640 + 320) * 3];
    EXPECT_GT(centre[0], centre[1] + 10) << "the square is not lit red: " << int(centre[0]) << ", " << int(centre[1]);
    EXPECT_EQ(closing[(470 * 640 + 630) * 3], 0) << "the corner is not black";

    const SceneVars leftOver{7.0f, 70.0f, 0.7f, 0.07f, 7.0f, 0.0f, 700.0f};
    SceneVars rolled{};
    rolled.fxE = 45.0f;
    struct Case { int scene; SceneVars left; bool same; };
    for (const Case& c : {Case{1, leftOver, true}, Case{2, leftOver, true}, Case{3, leftOver, true}, Case{3, rolled, false}}) {
        const int count = differing(firstFrame(c.scene, c.left), firstFrame(c.scene, clean));
        if (c.same) EXPECT_EQ(count, 0) << "scene " << c.scene << ": pixels changed by what the last scene left";
        else EXPECT_GT(count, 1000) << "scene " << c.scene << ": the square did not roll on from 45 degrees";
    }

    closeDisplay();
}

TEST_F(HandOver, IntroStopsAndTheMainSongStartsTimedFromNow) {
    ScratchDir scratch;
    testing_support::makeShowData(scratch.path(), true);
    WorkingDir inside(scratch.path());
    platform::selectSoundOutput(platform::SoundOutput::Capture);
    useFixedClock(100.0);
    startShow();
    ASSERT_NE(introSong, nullptr);
    ASSERT_NE(mainSong, nullptr);
    EXPECT_TRUE(platform::songPlaying(introSong));
    EXPECT_FALSE(platform::songPlaying(mainSong));
    EXPECT_EQ(songStartTime, 1000u);

    for (int k = 0; k < 250; ++k) clockFrameDrawn();
    nextScene();
    EXPECT_FALSE(platform::songPlaying(introSong));
    EXPECT_TRUE(platform::songPlaying(mainSong));
    EXPECT_EQ(songStartTime, 3500u);
    for (const std::string& box : testing_support::shownBoxes()) ADD_FAILURE() << "unexpected box " << box;
}

TEST_F(HandOver, MainSongThatCannotStartShowsItsBoxAndTheSwitchCompletes) {
    ScratchDir scratch;
    testing_support::makeShowData(scratch.path(), false);
    WorkingDir inside(scratch.path());
    startShow();
    platform::journal().clear();
    nextScene();
    EXPECT_EQ(testing_support::shownBoxes(), std::vector<std::string>{"hoho. fEIL!|fsck this. faakke starta musikken jo."});
    EXPECT_EQ(sceneIndex, 0);
    EXPECT_EQ(fx.fxC, 1.5f);
}

// A machine without sound: the main song cannot start and its box stops the
// show at the title, unless --mute asked for no device at all.
TEST_F(HandOver, MuteOpensNoDeviceAndSparesAMachineWithoutSoundTheBox) {
    ScratchDir scratch;
    testing_support::makeShowData(scratch.path(), true);
    WorkingDir inside(scratch.path());
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    startShow();
    nextScene();
    EXPECT_EQ(testing_support::shownBoxes(), std::vector<std::string>{"hoho. fEIL!|fsck this. faakke starta musikken jo."});

    testing_support::resetShow();
    platform::selectBackend(platform::Backend::Headless);
    platform::journal().clear();
    Options muted;
    muted.mute = true;
    applyOptions(muted);
    startShow();
    nextScene();
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_FALSE(platform::soundDeviceOpen());
    EXPECT_TRUE(platform::songPlaying(mainSong)) << "the main song plays on unheard";
    EXPECT_TRUE(testing_support::shownBoxes().empty()) << testing_support::shownBoxes().front();
}

// ---------------------------------------------------------------------------
// Start-up.

TEST_F(HandOver, StartUpLeavesTheFixedStateTheScenesRelyOn) {
    ScratchDir scratch;
    testing_support::makeShowData(scratch.path(), true);
    WorkingDir inside(scratch.path());
    platform::selectSoundOutput(platform::SoundOutput::Capture);
    useFixedClock(50.0);
    ASSERT_TRUE(startShow());

    EXPECT_EQ(platform::soundMixRate(), 44100);
    EXPECT_TRUE(testing_support::shownBoxes().empty());
    std::vector<std::string> soundCalls;
    for (const std::string& entry : platform::journal())
        if (entry.rfind("FSOUND_", 0) == 0 || entry.rfind("FMUSIC_", 0) == 0) soundCalls.push_back(entry);
    EXPECT_EQ(soundCalls, (std::vector<std::string>{"FSOUND_SetOutput 2", "FSOUND_SetBufferSize 40",
                                                    "FSOUND_Init 44100 32 0", "FMUSIC_LoadSong data/Tq_outro.xm",
                                                    "FMUSIC_LoadSong data/VELTO63K.XM"}));

    // The fixed GL state shows in the slideshow's frames (its tests draw
    // after the same step): the photo added over the square, the title over
    // the photo at its own depth.
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_EQ(getLight(GL_AMBIENT), (Vec4{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(getLight(GL_DIFFUSE), (Vec4{1.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(getLight(GL_POSITION), (Vec4{3.0f, 0.0f, -4.0f, 1.0f}));

    const int32_t expectedMasks[8] = {128, 64, 32, 16, 8, 4, 2, 1};
    EXPECT_TRUE(std::equal(std::begin(bitMasks), std::end(bitMasks), std::begin(expectedMasks)));

    EXPECT_NE(textFont, 0u);
    EXPECT_NE(bigFont, 0u);
    EXPECT_NE(captionFont, 0u);
    EXPECT_GT(glyphMetrics['W'].cellIncX, 0.3f) << "the glyph metrics are the outline font's, in em units";
    EXPECT_LT(glyphMetrics['W'].cellIncX, 1.0f);

    EXPECT_TRUE(platform::songPlaying(introSong));
    EXPECT_EQ(songStartTime, 1000u);

    // The sphere list: line segments whose ends all lie 0.25 from the centre.
    ASSERT_TRUE(glIsList(sphereList));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, 2, 2);
    const std::vector<testing_support::FedBackLine> fedBack = testing_support::linesFedBack([] { glCallList(sphereList); });
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, 640, 480);
    const size_t lines = fedBack.size();
    float maxRadius = 0.0f, minRadius = 1.0f;
    for (const testing_support::FedBackLine& line : fedBack) {
        for (const float* end : {line.from, line.to}) {
            // Window coordinates of a 2 x 2 viewport over [-1, 1].
            const float x = end[0] - 1.0f, y = end[1] - 1.0f, z = end[2] * 2.0f - 1.0f;
            const float r = std::sqrt(x * x + y * y + z * z);
            maxRadius = std::max(maxRadius, r);
            minRadius = std::min(minRadius, r);
        }
    }
    EXPECT_GT(lines, 15u * 10u) << "a wire sphere of 15 slices and 10 stacks";
    // Window coordinates fed back in single precision, and the polygon's
    // vertices on the sphere: within a hundredth of its radius.
    constexpr float onSphere = 0.002f;
    EXPECT_NEAR(maxRadius, 0.25f, onSphere) << "the farthest vertex";
    EXPECT_NEAR(minRadius, 0.25f, onSphere) << "the nearest vertex";
    closeDisplay();
}

// ---------------------------------------------------------------------------
// The whole program, without its data.

TEST(MissingData, EveryFileMissingShowsThreeBoxesAndDrawsNothing) {
    testing_support::resetShow();
    platform::selectBackend(platform::Backend::Headless);
    platform::selectSoundOutput(platform::SoundOutput::Silent);
    platform::enableJournal(true);
    platform::journal().clear();
    ScratchDir scratch;
    WorkingDir inside(scratch.path());
    EXPECT_EQ(runShow(), 1) << "a show with nothing to show is a failure";
    EXPECT_EQ(testing_support::shownBoxes(), (std::vector<std::string>{"hoho. fEIL!|ingen musikk:intro", "hoho. fEIL!|ingen musikk:velto",
                                                 "texturefeil|d0d over textures!"}));
    EXPECT_EQ(clockFramesDrawn(), 0u) << "the quit message ends the loop before the first frame";
    platform::enableJournal(false);
}

namespace {
int framesSeen = 0;
void closeAfterTenFrames() {
    if (++framesSeen == 10) platform::postMessage({platform::WM_CLOSE, 0, 0});
}
}  // namespace

TEST(MissingData, WithoutTheSongsTheShowRunsSilently) {
    testing_support::resetShow();
    platform::selectBackend(platform::Backend::Headless);
    platform::selectSoundOutput(platform::SoundOutput::Silent);
    useFixedClock(60.0);
    platform::enableJournal(true);
    platform::journal().clear();
    ScratchDir scratch;
    testing_support::makeShowData(scratch.path(), false);
    WorkingDir inside(scratch.path());
    framesSeen = 0;
    platform::setSwapHookForTesting(closeAfterTenFrames);
    EXPECT_EQ(runShow(), 0);
    platform::setSwapHookForTesting(nullptr);
    EXPECT_EQ(testing_support::shownBoxes(), (std::vector<std::string>{"hoho. fEIL!|ingen musikk:intro", "hoho. fEIL!|ingen musikk:velto"}));
    EXPECT_EQ(clockFramesDrawn(), 10u);
    EXPECT_EQ(introSong, nullptr);
    platform::enableJournal(false);
    useFixedClock(0.0);
}
