#include "tests/support/scene_harness.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "scenes/ring.h"
#include "scenes/scenes.h"
#include "scenes/scroller.h"
#include "scenes/slideshow.h"
#include "scenes/sphere.h"
#include "scenes/title.h"
#include "show/clock.h"
#include "show/sequencer.h"
#include "show/trace.h"

namespace testing_support {

SceneHarness::SceneHarness() {
    resetScenes();
    // The frame clock from the start; the show's clock keeps its mode (a
    // test's fixed step stays).
    restartFrameClock();
    frameSeconds = 0.0f;
    file_ = trace_.start();
    EXPECT_NE(file_, nullptr) << "no temporary file for the trace";
}

void SceneHarness::enterScene(int index) {
    scene_ = index;
    if (index >= 1) {
        sceneIndex = index - 1;
        nextScene();
    } else {
        sceneIndex = index;
    }
    // The trace from the scene's first frame on, without the hand-over's line.
    file_ = trace_.start();
    EXPECT_NE(file_, nullptr) << "no temporary file for the trace";
}

void SceneHarness::frame(float seconds) {
    frameSeconds = seconds;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    switch (scene_) {
    case -1: drawSlideshowScene(); break;
    case 0: drawTitleScene(); break;
    case 1: drawRingScene(); break;
    case 2: drawScrollerScene(); break;
    default: drawSphereScene(); break;
    }
    clockFrameDrawn();
}

std::vector<TraceEvent> SceneHarness::traceEvents() {
    std::vector<TraceEvent> events;
    if (file_ == nullptr) return events;
    for (const std::string& line : readTrace(file_)) {
        // "<frame> <ms> <event> [args]"
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos) {
            ADD_FAILURE() << "trace line without an event: " << line;
            continue;
        }
        events.push_back({static_cast<uint32_t>(std::stoul(line.substr(0, first))),
                          static_cast<uint32_t>(std::stoul(line.substr(first + 1, second - first - 1))),
                          line.substr(second + 1)});
    }
    return events;
}

std::vector<std::string> SceneHarness::traceEvents(const std::string& kind) {
    std::vector<std::string> texts;
    for (const TraceEvent& event : traceEvents())
        if (event.text.rfind(kind, 0) == 0) texts.push_back(event.text);
    return texts;
}

}  // namespace testing_support
