// A start from a given moment and jumps back, against the show played
// through: the same frames, pixel for pixel, and the same trace lines.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/testing.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/trace.h"
#include "tests/support/support.h"

using testing_support::WorkingDir;

namespace {

constexpr double fps = 24.0;

// A frame's pixels, by a 64-bit FNV-1a hash of the back buffer.
uint64_t frameHash() {
    const std::vector<uint8_t> rgb = testing_support::readFrame(640, 480);
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t byte : rgb) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

struct Played {
    std::vector<std::pair<uint32_t, uint64_t>> frames;  // show ms (reading - the start-up reading), pixels
    std::vector<std::string> trace;       // "<frame> <show ms> <event>"
};

// Which show times to keep frames of.
using Keep = std::function<bool(uint32_t showMs)>;

// The readings of the real clock's path, moved on 33 ms by every swap; and
// what to post at which swap.
uint32_t testNow = 0;
std::function<void(int)> script;
int swaps = 0;
uint32_t testClock() { return testNow; }
void onSwap() {
    testNow += 33;
    if (script) script(++swaps);
}
void press(uintptr_t key, int times = 1) {
    for (int i = 0; i < times; ++i) {
        platform::postMessage({platform::WM_KEYDOWN, key, 0});
        platform::postMessage({platform::WM_KEYUP, key, 0});
    }
}

// Runs the show from the build's data until the frame at stopMs of show
// time (on the fixed-step clock) or a close, keeping the frames shown at
// the times asked for.
Played play(const PlayerSettings& settings, uint32_t stopMs, const Keep& keep) {
    testing_support::resetShow();
    platform::selectBackend(platform::Backend::Headless);
    platform::selectSoundOutput(platform::SoundOutput::Silent);
    const bool fixedClock = !settings.keys;  // the keys act on the real clock only
    if (fixedClock) {
        useFixedClock(fps);
    } else {
        testNow = 5000;
        swaps = 0;
        platform::setClockForTesting(testClock);
        platform::setSwapHookForTesting(onSwap);
    }
    setUpPlayer(settings);
    testing_support::TraceCapture traceFile;
    std::FILE* file = traceFile.start();
    Played played;
    uint32_t startMs = 0;  // the start-up reading
    ShowRun run;
    if (fixedClock) run.stopAtMs = showStartReading + stopMs;
    run.afterFrame = [&](const DrawnFrame& frame) {
        if (frame.number == 1) startMs = songStartTime;
        const uint32_t showMs = frame.clockMs - startMs;
        if (!frame.skipped) {
            EXPECT_GE(showMs, static_cast<uint32_t>(settings.fromSeconds * 1000.0)) << "a frame before --from was shown";
            if (keep(showMs)) played.frames.emplace_back(showMs, frameHash());
        }
        return true;
    };
    {
        WorkingDir inside(testing_support::dataDir().parent_path());
        runShow(run);
    }
    played.trace = testing_support::readTrace(file);
    platform::setSwapHookForTesting(nullptr);
    script = nullptr;
    testing_support::resetShow();
    resetTextState();
    return played;
}

uint32_t showMsOf(const std::string& traceLine) {
    unsigned frame = 0, reading = 0;
    std::sscanf(traceLine.c_str(), "%u %u", &frame, &reading);
    return reading - 1000;
}

class Jumps : public ::testing::Test {
protected:
    static constexpr uint32_t lengthMs = 2000;
    // --from: the slideshow mid-slide; the switch to the title scene (found
    // below: the title's first frame is drawn over the slideshow's last);
    // the scroller between letters; the greetings, with both rebuilt fonts.
    static inline std::vector<uint32_t> startsMs = {20000, 0, 95500, 125000};
    static inline Played whole;
    static inline std::map<uint32_t, uint64_t> wholeFrames;

    static bool kept(uint32_t ms) {
        for (uint32_t start : startsMs)
            if (start != 0 && ms >= start && ms <= start + lengthMs) return true;
        return (ms >= 55000 && ms <= 66000) || (ms >= 125000 && ms <= 136000);  // where the keys land
    }
    static void SetUpTestSuite() {
        const Played outline = play(PlayerSettings{}, 60000, [](uint32_t) { return false; });
        for (const std::string& line : outline.trace)
            if (line.find(" scene 0") != std::string::npos) startsMs[1] = showMsOf(line);
        whole = play(PlayerSettings{}, 136000, kept);
        wholeFrames.insert(whole.frames.begin(), whole.frames.end());
    }
};

}  // namespace

TEST_F(Jumps, FromMomentGivesTheFramesAndTraceOfTheWholeRun) {
    ASSERT_NE(startsMs[1], 0u) << "no switch to the title scene in the first minute";
    for (uint32_t startMs : startsMs) {
        SCOPED_TRACE("--from " + std::to_string(startMs / 1000.0));
        const PlayerSettings from{.fromSeconds = startMs / 1000.0};
        const Played piece = play(from, startMs + lengthMs, [](uint32_t) { return true; });

        ASSERT_FALSE(piece.frames.empty());
        EXPECT_LT(piece.frames.begin()->first, startMs + 1000 / fps + 1) << "not the first frame at the moment";
        for (const auto& [ms, hash] : piece.frames) {
            const auto same = wholeFrames.find(ms);
            ASSERT_NE(same, wholeFrames.end()) << "no frame at " << ms << " ms in the whole run";
            EXPECT_EQ(hash, same->second) << "the frame at " << ms << " ms differs";
        }
        std::vector<std::string> expected;
        for (const std::string& line : whole.trace)
            if (showMsOf(line) >= startMs && showMsOf(line) <= startMs + lengthMs) expected.push_back(line);
        EXPECT_EQ(piece.trace, expected);
    }
    const PlayerSettings atSwitch{.fromSeconds = startsMs[1] / 1000.0};
    const Played piece = play(atSwitch, startsMs[1], [](uint32_t) { return false; });
    EXPECT_TRUE(std::any_of(piece.trace.begin(), piece.trace.end(),
                            [](const std::string& line) { return line.find(" scene 0") != std::string::npos; }))
        << "the switch to the title scene is not in the trace of a start at it";
}

// Keys on the real clock's path: far forward, back through the start into
// the title scene, and forward again into the greetings; then the page's
// position bar back to 60 s. Each jump's frames run at 24 a second, so the
// frame it ends on is the whole run's.
TEST_F(Jumps, KeysReachTheStatesOfTheShowPlayedThrough) {
    script = [](int swap) {
        if (swap == 1) press(platform::VK_RIGHT, 13);  // to 130 s
        if (swap == 2) press(platform::VK_LEFT, 7);    // back through the start to 60 s
        if (swap == 3) press(platform::VK_RIGHT, 7);   // forward from there to 130 s
        if (swap == 4) playerJumpToSecond(60.0);
        if (swap == 5) platform::postMessage({platform::WM_CLOSE, 0, 0});
    };
    const PlayerSettings keys{.keys = true, .jumpFps = fps};
    const Played played = play(keys, 0, kept);

    std::vector<uint32_t> landed;
    for (const auto& [ms, hash] : played.frames) {
        landed.push_back(ms);
        const auto same = wholeFrames.find(ms);
        ASSERT_NE(same, wholeFrames.end()) << "a jump ended at " << ms << " ms, off the 24 fps steps";
        EXPECT_EQ(hash, same->second) << "the frame at " << ms << " ms differs from the played-through one";
    }
    ASSERT_EQ(landed.size(), 4u) << "expected frames near 130 s, 60 s, 130 s and 60 s";
    // A key acts from the frame it arrives in: a few 24 fps frames off.
    constexpr double keyFramesMs = 200.0;
    const double aimed[4] = {130000.0, 60000.0, 130000.0, 60000.0};
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(landed[i], aimed[i], keyFramesMs) << "jump " << i + 1;
}

// Right past the end is the show's end, as when it plays there: the quit
// line, then the run ends.
TEST_F(Jumps, AJumpPastTheEndEndsTheShowWithItsQuitLine) {
    script = [](int swap) {
        if (swap == 1) press(platform::VK_RIGHT, 20);  // to 200 s
        if (swap == 50) platform::postMessage({platform::WM_CLOSE, 0, 0});
    };
    const Played played = play(PlayerSettings{.keys = true, .jumpFps = fps}, 0, [](uint32_t) { return false; });
    ASSERT_FALSE(played.trace.empty());
    EXPECT_NE(played.trace.back().find(" quit"), std::string::npos) << "the last line: " << played.trace.back();
    EXPECT_GT(showMsOf(played.trace.back()), 130000u) << "the show ended before the jump's end";
}
