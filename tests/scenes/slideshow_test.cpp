// The photo slideshow on a real offscreen GL: the slide clock, the captions
// and the flicker at fixed frame times, the hand-over to the title zoom, and
// a few probed pixels of what a frame shows.
#include "scenes/slideshow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system/clock.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "scenes/scenes.h"
#include "scenes/title.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/trace.h"
#include "tests/support/scene_harness.h"

namespace {

using testing_support::dumpFrame;

using testing_support::OffscreenGL;
using testing_support::Rgb;
using testing_support::colourTolerance;
using testing_support::describe;
using testing_support::near;
using testing_support::probe;

// The three photos as solid colours with no red, so that what they add is
// told apart from the red-lit square.
constexpr uint8_t photoColours[3][3] = {{0, 160, 80}, {0, 200, 100}, {0, 96, 192}};
constexpr int frameLimit = 20000;  // a scene that never ends fails instead of hanging

GLuint solidTexture(const uint8_t rgb[3]) {
    uint8_t pixels[4 * 4 * 3];
    for (int i = 0; i < 16; ++i) std::memcpy(pixels + 3 * i, rgb, 3);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return name;
}

Rgb photoRgb(int k) { return {photoColours[k][0], photoColours[k][1], photoColours[k][2]}; }

// What one frame showed: the caption row printed (-1 for none), found from
// how far the text moved the raster position on, and the photo's opacity.
struct Shown {
    int row = -1;
    float advancePixels = 0.0f;
    float opacity = 0.0f;
    int slide = 0;      // slideshowState.slideIndex after the frame
    int caption = 0;    // slideshowState.captionIndex after the frame
};

float captionStartX() {
    // Where the raster position stands before any text: the caption's left end.
    GLfloat raster[4];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -3.0f);
    glRasterPos2f(-1.0f, 0.3f);
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    glPopMatrix();
    return raster[0];
}

Shown shownBy(float startX) {
    Shown shown;
    GLfloat raster[4], colour[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    shown.advancePixels = raster[0] - startX;
    shown.opacity = colour[3];
    shown.slide = slideshowState.slideIndex;
    shown.caption = slideshowState.captionIndex;
    if (shown.advancePixels > 0.5f) shown.row = slideshowState.captionIndex;
    return shown;
}

class Slideshow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gl = new OffscreenGL();
        textFont = makeOutlineFont(9);
        captionFont = makeBitmapFont(24, 1.0f);
        for (int k = 0; k < 3; ++k) photoTextures[k] = solidTexture(photoColours[k]);
    }
    static void TearDownTestSuite() {
        glDeleteTextures(3, photoTextures);
        resetTextState();
        resetPhotoState();
        delete gl;
        gl = nullptr;
    }
    void SetUp() override {
        testing_support::setUpStartupGlState();
        frameSeconds = 0.0f;
        glViewport(0, 0, 640, 480);
        startX = captionStartX();
    }

    // The timeline tests draw thousands of frames and look at no pixel: a
    // small viewport keeps them quick. The caption's raster position moves
    // with it, its advance in pixels does not.
    void useSmallViewport() {
        glViewport(0, 0, 64, 48);
        startX = captionStartX();
    }

    // Runs frames of the given length (the first one of 0 s, as the clock's
    // first reading gives) until the scene hands over; one frame may instead
    // last pauseSeconds. Returns what each frame showed.
    std::vector<Shown> runScene(float seconds, int pauseFrame = -1, float pauseSeconds = 0.0f) {
        std::vector<Shown> frames;
        for (int frame = 0; sceneIndex == -1 && frame < frameLimit; ++frame) {
            const float step = frame == 0 ? 0.0f : frame == pauseFrame ? pauseSeconds : seconds;
            show.frame(step);
            frames.push_back(shownBy(startX));
        }
        return frames;
    }

    // The caption rows in the order they were shown, each run of frames
    // showing the same row counted once.
    static std::vector<int> rowRuns(const std::vector<Shown>& frames) {
        std::vector<int> runs;
        int last = -1;
        for (const Shown& s : frames) {
            if (s.row != -1 && s.row != last) runs.push_back(s.row);
            if (s.row != -1) last = s.row;
        }
        return runs;
    }

    static OffscreenGL* gl;
    testing_support::SceneHarness show;
    float startX = 0.0f;
};

OffscreenGL* Slideshow::gl = nullptr;

std::vector<int> rowsFromTo(int first, int last) {
    std::vector<int> rows;
    for (int r = first; r <= last; ++r) rows.push_back(r);
    return rows;
}

// --- the timeline at fixed frame times --------------------------------------

TEST_F(Slideshow, AtSteadyRatesEveryCaptionShowsOnceInOrderAndTheLastSlideHasNone) {
    useSmallViewport();
    for (float seconds : {1.0f / 60.0f, 0.04f}) {  // 100 frames a second: below
        SCOPED_TRACE("frame time " + std::to_string(seconds));
        resetScenes();
        testing_support::setUpStartupGlState();
        std::vector<Shown> frames = runScene(seconds);
        ASSERT_EQ(sceneIndex, 0) << "the scene should hand over by itself";
        EXPECT_EQ(rowRuns(frames), rowsFromTo(0, 25));
        EXPECT_EQ(slideshowState.slideIndex, 2) << "14 slide changes from photo 0";
        EXPECT_EQ(slideshowState.captionIndex, 28);

        // Slide 13 starts where slideshowState.captionIndex first reaches 26; nothing is
        // printed from there on.
        size_t lastSlideStart = 0;
        while (lastSlideStart < frames.size() && frames[lastSlideStart].caption < 26) ++lastSlideStart;
        ASSERT_LT(lastSlideStart + 100, frames.size()) << "the last slide lasts about 4 s";
        for (size_t i = lastSlideStart; i < frames.size(); ++i)
            ASSERT_EQ(frames[i].row, -1) << "frame " << i << " of the last slide printed text";

        // The printed width follows the row's length: the right row is drawn.
        float perCharacter = frames.front().advancePixels / float(std::strlen(captionLines[0]));
        EXPECT_GT(perCharacter, 8.0f) << "a 24-pixel font";
        for (const Shown& s : frames) {
            if (s.row < 0) continue;
            ASSERT_NEAR(s.advancePixels, perCharacter * float(std::strlen(captionLines[s.row])), 0.5f)
                << "row " << s.row;
        }
    }
}

TEST_F(Slideshow, SlideChangesComeEveryFourSecondsAndTheSceneEndsAfterFourteen) {
    useSmallViewport();
    std::vector<Shown> frames = runScene(0.01f);
    ASSERT_EQ(sceneIndex, 0);
    // 4.02 s, 8.03 s, ... after the first frame at 100 frames a second; the
    // scene's last frame is 56.15 s after its first.
    EXPECT_EQ(frames.size(), 5616u);
    EXPECT_EQ(rowRuns(frames), rowsFromTo(0, 25));
    std::vector<std::string> slides = show.traceEvents("slide ");
    ASSERT_EQ(slides.size(), 14u);
    EXPECT_EQ(slides.front(), "slide 1 2");
    EXPECT_EQ(slides.back(), "slide 2 28");
    // Slide 13 moves on to row 27 too, but shows no caption, so no event.
    EXPECT_EQ(show.traceEvents("caption ").size(), 13u);
    EXPECT_EQ(show.traceEvents("caption ").back(), "caption 25");
    EXPECT_EQ(slideshowState.captionIndex, 28);
    std::vector<testing_support::TraceEvent> lines = show.traceEvents();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().frame, 169u);
    EXPECT_EQ(lines.front().text, "caption 1");
    EXPECT_EQ(lines[1].frame, 403u);
    // The slide line comes before the scene switch it causes.
    EXPECT_EQ(lines[lines.size() - 2].text, "slide 2 28");
    EXPECT_EQ(lines.back().text, "scene 0");
}

TEST_F(Slideshow, ThePhotoStaysDarkUnderTheCaptionsAndFlickersFromTheFirstFramePastTen) {
    useSmallViewport();
    std::vector<float> clockBefore;
    std::vector<Shown> frames;
    for (int frame = 0; slideshowState.slideIndex == 0 && frame < 1000; ++frame) {
        clockBefore.push_back(fx.fxClock);
        show.frame(frame == 0 ? 0.0f : 0.01f);
        frames.push_back(shownBy(startX));
    }
    ASSERT_EQ(slideshowState.slideIndex, 1);
    size_t firstFlicker = 0;
    while (!(clockBefore[firstFlicker] > 10.0f)) {
        ASSERT_EQ(frames[firstFlicker].opacity, 0.0f) << "frame " << firstFlicker << ", clock " << clockBefore[firstFlicker];
        ++firstFlicker;
    }
    const float cycle[3] = {0.5f, 1.0f, 0.0f};
    const size_t change = frames.size() - 1;
    ASSERT_GT(change - firstFlicker, 30u) << "two thirds of a second of flicker";
    for (size_t i = firstFlicker; i < change; ++i) {
        ASSERT_EQ(frames[i].opacity, cycle[(i - firstFlicker) % 3]) << (i - firstFlicker) << " frames into the flicker";
        ASSERT_EQ(frames[i].row, -1) << "no caption during the flicker";
    }
    EXPECT_EQ(frames[change].opacity, 0.0f) << "the frame of the slide change draws dark";
    EXPECT_GT(clockBefore[change], 12.0f);
    EXPECT_FALSE(clockBefore[change - 1] > 12.0f);
}

TEST_F(Slideshow, OneLongFrameSkipsACaptionAndTheSceneLastsASlideLonger) {
    useSmallViewport();
    // The ninth frame carries the clock from about 0.24 to about 10.7.
    std::vector<Shown> frames = runScene(0.01f, 8, 3.5f);
    ASSERT_EQ(sceneIndex, 0);
    std::vector<std::string> slides = show.traceEvents("slide ");
    ASSERT_EQ(slides.size(), 15u);
    EXPECT_EQ(slides[0], "slide 1 1") << "the next slide starts on an odd row";
    EXPECT_EQ(slides[1], "slide 2 2") << "the pairs resume after it";
    EXPECT_EQ(slides.back(), "slide 0 28");
    EXPECT_EQ(show.traceEvents("caption ").size(), 12u)
        << "no caption change in the slide of the pause, nor in the next, nor in the last";

    // Slide 0 shows only row 0, slide 1 only row 1, the others their pairs.
    // A slide's first caption shows from the frame of the change on.
    std::vector<std::vector<int>> perSlide(1);
    int changes = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i > 0 && frames[i].slide != frames[i - 1].slide) {
            ++changes;
            perSlide.emplace_back();
        }
        if (frames[i].row >= 0 && (perSlide.back().empty() || perSlide.back().back() != frames[i].row))
            perSlide.back().push_back(frames[i].row);
    }
    EXPECT_EQ(changes, 15);
    ASSERT_GE(perSlide.size(), 16u);
    EXPECT_EQ(perSlide[0], std::vector<int>{0});
    EXPECT_EQ(perSlide[1], std::vector<int>{1});
    EXPECT_EQ(perSlide[2], (std::vector<int>{2, 3}));
    EXPECT_EQ(perSlide[13], (std::vector<int>{24, 25}));
    EXPECT_TRUE(perSlide[14].empty());
    EXPECT_EQ(rowRuns(frames), rowsFromTo(0, 25));
}

// --- the hand-over -----------------------------------------------------------

TEST_F(Slideshow, TheLastSlideChangeDrawsTheTitleSceneInTheSameFrameOverAnOpaquePhoto) {
    // Just before the 14th slide change; the frame goes through renderFrame
    // on the fixed-step clock, 10 ms after the previous one.
    slideshowState.slideIndex = 1;
    slideshowState.captionIndex = 27;
    fx.fxClock = 12.001f;
    fx.fxB = 3300.0f;
    resetClockState();
    useFixedClock(100.0);
    frameDelta();
    clockFrameDrawn();
    renderFrame();
    useFixedClock(0.0);
    dumpFrame("slideshow-handover");

    ASSERT_EQ(sceneIndex, 0);
    EXPECT_FLOAT_EQ(frameSeconds, 0.01f);
    EXPECT_EQ(fx.fxClock, frameSeconds * 3.0f) << "the title scene starts with the slide clock's last step";
    EXPECT_EQ(fx.fxB, 0.0f - frameSeconds * 7.7f) << "the title scene moved its line in the same frame";
    EXPECT_EQ(fx.fxC, 1.5f);
    EXPECT_EQ(titleState.titleLine, 0);
    EXPECT_EQ(show.traceEvents(""), (std::vector<std::string>{"slide 2 28", "scene 0"}));

    // Below the title's baseline the photo of slide 13 shows as it is,
    // blending off: not added onto the square.
    for (int y : {260, 330, 420})
        for (int x : {140, 320, 500}) {
            Rgb got = probe(x, y);
            EXPECT_TRUE(near(got, photoRgb(1), colourTolerance))
                << "at (" << x << ", " << y << "): expected " << describe(photoRgb(1)) << ", got " << describe(got);
        }
    // Above it, the first title line covers part of the photo, at the
    // photo's own depth.
    int covered = 0;
    for (int y = 150; y < 236; y += 2)
        for (int x = 130; x < 510; x += 2)
            if (!near(probe(x, y), photoRgb(1), colourTolerance)) ++covered;
    EXPECT_GT(covered, 200) << "pixels of the photo's upper half covered by the title";
}

// --- what a frame shows --------------------------------------------------------

TEST_F(Slideshow, ACaptionStartsAtTheRasterPositionWhateverItsLength) {
    for (int row : {0, 7, 15}) {
        SCOPED_TRACE("row " + std::to_string(row));
        resetScenes();
        slideshowState.captionIndex = row;
        fx.fxClock = row % 2 == 0 ? 1.0f : 6.0f;
        show.frame(0.0f);
        dumpFrame(("slideshow-caption-" + std::to_string(row)).c_str());
        // White pixels: the caption; the square is lit red only and the
        // photo is dark.
        std::vector<uint8_t> rgb = testing_support::readFrame(640, 480);
        int left = 640, right = -1, top = 480, bottom = -1;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint8_t* p = rgb.data() + (y * 640 + x) * 3;
                if (p[0] > 200 && p[1] > 200 && p[2] > 200) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        ASSERT_GE(right, left) << "no white caption pixels";
        // The raster position (-1, 0.3) at depth 3 falls on x = 126.9 and
        // y = 182.1 from the top; glyphs stand on that baseline.
        constexpr int glyphBearing = 3;  // pixels: the first glyph's left side bearing, from 127
        EXPECT_NEAR(left, 128, glyphBearing) << "the caption's left edge";
        EXPECT_NEAR(top, 182 - 17, 4) << "the tallest letters rise about 17 pixels above the baseline";
        EXPECT_LE(bottom, 182 + 7) << "descenders reach a few pixels below it";
        EXPECT_GT(std::abs((left + right) / 2 - 320), 20) << "bitmap text is not centred";
    }
}

TEST_F(Slideshow, DuringTheFlickerThePhotoIsAddedOverTheSquare) {
    // Three frames with the square at the same angle (no time passes): a
    // caption frame, and two flicker frames at opacity 0.5 and 1.
    fx.fxB = 90.0f;  // the square turned towards the light
    fx.fxClock = 1.0f;
    show.frame(0.0f);
    const int x = 300, y = 400;  // inside the photo, below the caption
    const Rgb square = probe(x, y);
    dumpFrame("slideshow-caption-frame");

    fx.fxClock = 10.5f;
    fx.fxC = 0.0f;
    show.frame(0.0f);
    const Rgb half = probe(x, y);
    show.frame(0.0f);
    const Rgb full = probe(x, y);
    dumpFrame("slideshow-flicker-frame");

    const Rgb photo = photoRgb(0);
    const Rgb expectedFull{std::min(255, square.r + photo.r), std::min(255, square.g + photo.g),
                           std::min(255, square.b + photo.b)};
    const Rgb expectedHalf{square.r + photo.r / 2, square.g + photo.g / 2, square.b + photo.b / 2};
    EXPECT_TRUE(near(full, expectedFull, colourTolerance))
        << "square " << describe(square) << " + photo: expected " << describe(expectedFull) << ", got " << describe(full);
    EXPECT_TRUE(near(half, expectedHalf, colourTolerance))
        << "square " << describe(square) << " + half the photo: expected " << describe(expectedHalf) << ", got "
        << describe(half);
    EXPECT_GT(square.r, 30) << "the probe should fall on the lit square, " << describe(square);
}

}  // namespace
