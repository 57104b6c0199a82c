// The frame: the show's clock and a clean buffer, then the current scene.
#include "scenes/scenes.h"

#include "scenes/ring.h"
#include "scenes/scroller.h"
#include "scenes/slideshow.h"
#include "scenes/sphere.h"
#include "scenes/title.h"
#include "show/sequencer.h"

bool renderFrame() {
    // 1. Time the frame, clear it, load the identity matrix.
    beginFrame();

    // 2. The slideshow; when it hands over in this frame, the title scene
    //    below draws in the same frame, on top, from the matrix the
    //    slideshow left.
    if (sceneIndex == -1) drawSlideshowScene();

    // 3. Any other scene, read again after the slideshow.
    sceneDrawn = sceneIndex;
    switch (sceneIndex) {
    case 0: drawTitleScene(); break;
    case 1: drawRingScene(); break;
    case 2: drawScrollerScene(); break;
    case 3: drawSphereScene(); break;
    default: break;
    }
    return true;
}

void resetScenes() {
    resetSceneState();
    slideshowState = {};
    titleState = {};
    ringState = {};
    scrollerState = {};
    sphereState = {};
}
