// One-time start-up of the show, in named steps that startShow runs one
// after the other in this order. Each step is callable on its own, so that
// tests set up exactly the state a scene finds.
#pragma once

// Runs steps 1 to 9 below in order and returns true: a step that fails says
// so in a message box and the show goes on without what it could not make
// (a missing song is silence); a show with no photo ends through the quit
// message instead.
bool startShow();

// Before the display opens: both songs read and parsed on threads of their
// own while the window and its GL context are made, for step 2 to take.
void readSongsAhead();

// 1. The sound output: the show's mix rate, 32 channels, a 40 ms buffer.
void startSound();
// 2. Both songs; a song that fails to load is reported in its box and that
//    part of the show runs silent.
void loadSongs();
// 3. The photo textures; without a single one the show ends through the
//    quit message before its first frame.
void loadPhotos();
// 4. Fixed GL state: smooth shading, black clear colour, depth test with
//    GL_LEQUAL, nicest perspective, an identity model-view matrix and the
//    additive blend function (blending itself stays off).
void setFixedGlState();
// 5. The scroller's column masks.
void fillBitMasks();
// 6. The wire sphere's display list.
void makeSphereList();
// 7. The three fonts: the outline textFont first (its metrics are the ones
//    centring uses), then bigFont and captionFont.
void makeFonts();
// 8. Lighting on, with the red light 0 at (3, 0, -4) under the identity.
void setUpRedLight();
// 9. The intro song, timed from now.
void startIntroSong();

// Keeps the GL state that start-up left (all of it but the viewport, which
// follows the window) for restartShow. Once, before the first frame.
void saveStartState();
// Puts the show back to where start-up left it, for the first frame to come:
// the GL state kept by saveStartState, the two fonts the show rebuilds on
// its way (as the flags say they were), the frame clock, the main song
// stopped and the intro song played from its start at the clock's reading
// now. The scenes' state is the caller's to reset first (resetScenes).
void restartShow(bool textFontRebuilt, bool bigFontRebuilt);

// Frees what the show keeps to its end, in the reverse order of making it:
// the text font's lists (while the GL context lives), then the main song,
// stopped first. The display's close calls it before the context goes.
void stopShow();
