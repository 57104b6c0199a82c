// One harness for the scene tests: a scene entered the way the show enters
// it, frames drawn the way renderFrame draws them but with the frame time
// given, and the trace read back as events.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace testing_support {

struct TraceEvent {
    uint32_t frame = 0;   // the trace's frame number
    uint32_t millis = 0;  // the frame's clock reading
    std::string text;     // the event and its arguments
    // The line as the trace wrote it: "<frame> <ms> <event> [args]".
    std::string line() const { return std::to_string(frame) + " " + std::to_string(millis) + " " + text; }
};

// Needs a current GL context for enterScene and frame. Made, it puts every
// scene and the frame clock back to their start and turns the trace on.
class SceneHarness {
public:
    SceneHarness();
    // Makes scene index (-1 to 3) the current one: scenes 1 to 3 through the
    // hand-over from the scene before (nextScene, with the GL state it
    // changes); the slideshow and the title zoom by setting sceneIndex alone,
    // since the hand-over into the title zoom starts the main song. The
    // trace starts again after it.
    void enterScene(int index);
    // One frame of the entered scene: the frame counted, the buffers
    // cleared, the identity matrix loaded, then the scene's frame step with
    // frameSeconds = seconds. It stays the entered scene's step after a
    // hand-over, as a test of one scene wants.
    void frame(float seconds);
    // The trace's events so far, in order.
    std::vector<TraceEvent> traceEvents();
    // The texts of the events so far that start with kind ("" for all).
    std::vector<std::string> traceEvents(const std::string& kind);

private:
    int scene_ = -1;
    TraceCapture trace_;
    std::FILE* file_ = nullptr;
};

}  // namespace testing_support
