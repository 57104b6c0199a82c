// Photo slideshow (scene -1): the opening of the show, while the intro song
// plays. A lit square tumbles about a slanted axis; over it, fourteen slides
// of a little over four seconds each. Slides 0 to 12 show two captions in
// white bitmap text one after the other, then their photo flickers over the
// square for two thirds of a second; slide 13 has no caption. At the 14th
// slide change the scene hands over to the title zoom, which renderFrame
// draws in the same frame on top of this one.
//
// The slide clock (fxClock) runs at 3 units a second:
//   0 .. 5    first caption of the slide
//   5 .. 10   second caption
//   10 .. 12  no caption; the photo's opacity (fxC) steps 0.5, 1, 0 per frame
//   > 12      slide change, tested once per frame, so a slide lasts 4 s plus
//             up to one frame
// Every test reads the clock as it stood before this frame's step, so a long
// pause between frames can jump over a caption, or over the whole flicker.
//
// State found on entry: depth test on, lighting on with the red light 0,
// blending off with the additive blend function, texturing off. State left
// at the end of every frame: lighting on; depth test, texturing and blending
// off; colour (1, 1, 1, photo opacity); the model-view matrix at the photo's
// depth (moved left by the caption's centring when one was printed).

#include "scenes/slideshow.h"

#include <GL/gl.h>

#include <cstdint>

#include "resources/photos.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/trace.h"

constexpr char captionLines[captionRows][40] = {
    "nice firkant, eh?",                          //  0  slide 0
    "really cool, eh?",                           //  1
    "mip00ral schreibt",                          //  2  slide 1
    "koden hier:",                                //  3
    "for (int i = 0; i < 32000; i++) ",           //  4  slide 2
    "  printf(\"l33tkoders drinkt pepsi\");",     //  5
    "hohohoho",                                   //  6  slide 3
    "this was in fact our magic 64k-intro",       //  7
    " .. but we never got it done in time..",     //  8  slide 4
    "so now it's in the democompo.",              //  9
    "with a few more shitty things.",             // 10  slide 5
    "and things take up space.",                  // 11
    "we dont care.",                              // 12  slide 6
    "its a fastprod. very fastprod.",             // 13
    "and, guess what?",                           // 14  slide 7
    "muzaK",                                      // 15
    "coke roolez.",                               // 16  slide 8
    "shurrup mippe",                              // 17
    "these lines are",                            // 18  slide 9
    "here just to make sure",                     // 19
    "this extra intro lasts",                     // 20  slide 10
    "long enough to use",                         // 21
    "the whole chiptrointrotoone.",               // 22  slide 11
    "magically, isnt it?",                        // 23
    "next year. yeah. next year",                 // 24  slide 12
    "we'll do the same again.",                   // 25
};

namespace {

constexpr float viewDistance         = 3.0f;        // units from the eye to the square and the photo
constexpr float squareGrey           = 0.5f;        // current colour of the square; lighting hides it
constexpr float spinDegreesPerSecond = 60.0f;       // the square's turn, never wrapped
constexpr float axisX                = 0.4854956f;  // the slanted axis, not normalised
constexpr float axisY                = 0.82348f;
constexpr float axisZ                = 0.526f;
constexpr float clockPerSecond       = 3.0f;        // slide clock units
constexpr float secondCaptionClock   = 5.0f;        // above: the second caption (strict)
constexpr float flickerClock         = 10.0f;       // above: no caption, the photo flickers (strict)
constexpr float slideEndClock        = 12.0f;       // above: the next slide (strict)
constexpr float flickerStep          = 0.5f;        // opacity added per frame up to full
constexpr float fullOpacity          = 1.0f;        // reached: the next frame is dark again
constexpr int32_t photoCount         = 3;           // slides show photos 0, 1, 2, 0, 1, ...
constexpr int32_t endCaptionIndex    = 28;          // reached by the 14th slide change
constexpr float captionX             = -1.0f;       // raster position of a caption's left end,
constexpr float captionY             = 0.3f;        //   in units at the photo's depth

}  // namespace

SlideshowState slideshowState;

void drawSlideshowScene() {
    int32_t& slideIndex   = slideshowState.slideIndex;
    int32_t& captionIndex = slideshowState.captionIndex;
    float& squareDegrees = fx.fxB;     // the square's turn, never wrapped
    float& opacity       = fx.fxC;     // the photo's opacity during its flicker
    float& slideClock    = fx.fxClock; // 3 units a second, from 0 at each slide change

    // 1. The square's colour; it never shows, since the square is lit and
    //    no colour material is enabled.
    glColor4f(squareGrey, squareGrey, squareGrey, 0.0f);

    // 2. The square and the photo overlap in depth as they turn: no depth
    //    test, the photo is simply drawn over the square.
    glDisable(GL_DEPTH_TEST);

    // 3. The square turns on about the slanted axis.
    glTranslatef(0.0f, 0.0f, -viewDistance);
    squareDegrees = squareDegrees + frameSeconds * spinDegreesPerSecond;
    glRotatef(squareDegrees, axisX, axisY, axisZ);

    // 4. The lit square, with GL's default normal (0, 0, 1) turning with it.
    glBegin(GL_QUADS);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glEnd();

    // 5. The photo is added over the square, unlit. The bind comes
    //    before the slide change below, so the frame of a change still shows
    //    the leaving slide's photo.
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, photoTextures[slideIndex]);

    // 6. The slide clock as it stood before this frame: past 10 the photo
    //    flickers; past 5 the first caption gives way to the second. Only an
    //    even index moves on here, so a slide never skips two rows.
    if (slideClock > flickerClock) {
        if (opacity < fullOpacity) {
            opacity = opacity + flickerStep;
        } else {
            opacity = 0.0f;
        }
    } else if (captionIndex % 2 == 0 && slideClock > secondCaptionClock) {
        captionIndex = captionIndex + 1;
        // The last slide moves on to a row too, but shows none: only a
        // caption that appears is an event of the timeline.
        if (captionIndex < 26) traceEvent("caption %d", captionIndex);
    }

    // 7. Past 12 the next slide starts, dark, with the next photo and the
    //    next even row (or the next odd one after a skipped caption). Every
    //    change raises the row, so the index always meets 28 exactly.
    if (slideClock > slideEndClock) {
        slideIndex = (slideIndex + 1) % photoCount;
        captionIndex = captionIndex + 1;
        slideClock = 0.0f;
        opacity = 0.0f;
        traceEvent("slide %d %d", slideIndex, captionIndex);
        if (captionIndex == endCaptionIndex) {
            // Turns blending off and the depth test on and resets fxC to
            // 1.5: the rest of this frame draws the photo opaque.
            nextScene();
        }
    }

    // 8. The photo's opacity as it stands now. The clock steps on after any
    //    reset, so the title scene starts with a small turn.
    glColor4f(1.0f, 1.0f, 1.0f, opacity);
    slideClock = slideClock + frameSeconds * clockPerSecond;

    // 9. The photo: an unturned 2 x 2 square facing the viewer.
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -viewDistance);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glEnd();

    // 10. The caption, white (the raster colour is the current colour,
    //     taken with lighting off), while the clock after this frame's step
    //     is below 10. Bitmap text starts at the raster position: the
    //     centring only moves the matrix, not the text.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glRasterPos2f(captionX, captionY);
    if (slideClock < flickerClock && static_cast<uint32_t>(captionIndex) < static_cast<uint32_t>(captionRows)) {
        printCentered(captionFont, captionLines[captionIndex]);
    }

    // 11. The square of the next frame is lit again.
    glEnable(GL_LIGHTING);
}

bool slideshowEndsNextFrame() {
    return sceneIndex == -1 && fx.fxClock > slideEndClock && slideshowState.captionIndex + 1 == endCaptionIndex;
}
