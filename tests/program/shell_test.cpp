// The main loop, the window procedure and the display set-up, on the
// offscreen back end with a scripted message source.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "app/options.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/testing.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "show/clock.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"
#include "tests/support/support.h"

using testing_support::ScratchDir;
using testing_support::WorkingDir;

namespace {

// The script: what to post after the n-th buffer swap.
std::function<void(int)> script;
int swaps = 0;

void onSwap() {
    ++swaps;
    if (script) script(swaps);
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::selectBackend(platform::Backend::Headless);
        testing_support::resetShow();
        platform::selectSoundOutput(platform::SoundOutput::Silent);
        platform::enableJournal(true);
        platform::journal().clear();
        platform::setSwapHookForTesting(onSwap);
        useFixedClock(100.0);
        swaps = 0;
        script = nullptr;
        testing_support::makeShowData(scratch.path(), false);
    }
    void TearDown() override {
        platform::setSwapHookForTesting(nullptr);
        platform::enableJournal(false);
        platform::forceFailure("");
        useFixedClock(0.0);
        platform::resetSound();
        resetTextState();
    }
    int run() {
        WorkingDir inside(scratch.path());
        return runShow();
    }
    ptrdiff_t position(const std::string& entry) const {
        const auto& j = platform::journal();
        auto it = std::find(j.begin(), j.end(), entry);
        return it == j.end() ? -1 : it - j.begin();
    }
    ScratchDir scratch;
};

void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    platform::postMessage({message, wParam, lParam});
}

}  // namespace

// ---------------------------------------------------------------------------
// How the loop ends, and with which exit code.

TEST_F(ShellTest, EscapeEndsTheLoopWithItsKeyCodeAndTheFrameIsNotSwapped) {
    script = [](int swap) {
        if (swap == 3) post(platform::WM_KEYDOWN, platform::VK_ESCAPE);
    };
    EXPECT_EQ(run(), 27);
    // Three frames swapped, the fourth drawn on the turn that saw Escape.
    EXPECT_EQ(swaps, 3);
    EXPECT_EQ(clockFramesDrawn(), 4u);
}

TEST_F(ShellTest, ExitCodeAfterEscapeIsTheLastMessagesParameter) {
    script = [](int swap) {
        if (swap == 2) {
            post(platform::WM_KEYDOWN, platform::VK_ESCAPE);
            post(platform::WM_ACTIVATE, 1);
        }
    };
    EXPECT_EQ(run(), 1);
}

// A quick tap: its key-up arrives in the same run of messages as its
// key-down, and the key is up again by the idle turn. It still counts.
TEST_F(ShellTest, EscapePressedAndReleasedInOneRunOfMessagesEndsTheShow) {
    script = [](int swap) {
        if (swap == 2) {
            post(platform::WM_KEYDOWN, platform::VK_ESCAPE);
            post(platform::WM_KEYUP, platform::VK_ESCAPE);
        }
        if (swap == 5) post(platform::WM_CLOSE);
    };
    EXPECT_EQ(run(), 27);
    EXPECT_EQ(swaps, 2);
    EXPECT_FALSE(shell.keyDown[platform::VK_ESCAPE]) << "the key's own state stays as the messages left it";
}

TEST_F(ShellTest, CloseEndsWithExitCodeZeroAndReleasesTheDisplay) {
    script = [](int swap) {
        if (swap == 1) post(platform::WM_CLOSE);
    };
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(platform::haveWindow());
    EXPECT_FALSE(platform::haveContext());
    EXPECT_GE(position("restoreDisplayMode"), 0);
    EXPECT_LT(position("restoreDisplayMode"), position("destroyWindow"));
}

TEST_F(ShellTest, WhileMinimisedTheLoopSwapsWithoutDrawing) {
    script = [](int swap) {
        if (swap == 2) post(platform::WM_ACTIVATE, platform::WA_MINIMIZED_HIGH << 16);
        if (swap == 50) post(platform::WM_ACTIVATE, 1);
        if (swap == 53) post(platform::WM_CLOSE);
    };
    EXPECT_EQ(run(), 0);
    // Two frames before minimising, three after restoring.
    EXPECT_EQ(clockFramesDrawn(), 5u);
    EXPECT_EQ(swaps, 53);
}

TEST_F(ShellTest, EscapeIsSeenOnIdleTurnsWhileMinimised) {
    script = [](int swap) {
        if (swap == 1) post(platform::WM_ACTIVATE, platform::WA_MINIMIZED_HIGH << 16);
        if (swap == 4) post(platform::WM_KEYDOWN, platform::VK_ESCAPE);
    };
    EXPECT_EQ(run(), 27);
    EXPECT_EQ(clockFramesDrawn(), 1u);
}

TEST_F(ShellTest, ARunEndsAfterTheFrameAtItsStopReadingOrWhenItsHookSaysSo) {
    // At 100 frames a second frame n is drawn at 1000 + 10 (n - 1) ms.
    struct Case {
        uint32_t stopAtMs;
        uint64_t hookEndsAt;  // 0: the hook never ends the run
        ShowEnd end;
        uint64_t frames;
        int swaps;
    };
    const Case cases[] = {
        {1045, 0, ShowEnd::Stopped, 6, 5},
        {1050, 0, ShowEnd::Stopped, 6, 5},
        {1000, 0, ShowEnd::Stopped, 1, 0},
        {1045, 3, ShowEnd::HookEnded, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAtMs);
        testing_support::resetShow();
        platform::selectSoundOutput(platform::SoundOutput::Silent);
        useFixedClock(100.0);
        swaps = 0;
        std::vector<DrawnFrame> seen;
        ShowRun showRun;
        showRun.stopAtMs = c.stopAtMs;
        showRun.afterFrame = [&](const DrawnFrame& frame) {
            seen.push_back(frame);
            return frame.number != c.hookEndsAt;
        };
        WorkingDir inside(scratch.path());
        const ShowResult result = runShow(showRun);
        EXPECT_EQ(result.end, c.end);
        ASSERT_EQ(seen.size(), c.frames);
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].number, i + 1);
            EXPECT_EQ(seen[i].clockMs, 1000u + 10u * i);
            EXPECT_EQ(seen[i].last, c.end == ShowEnd::Stopped && i + 1 == c.frames) << "frame " << i + 1;
        }
        EXPECT_EQ(swaps, c.swaps) << "the last frame is not swapped";
        EXPECT_FALSE(platform::haveWindow());
    }
}

// ---------------------------------------------------------------------------
// The window procedure.

TEST(WindowProcedure, RecordsKeysActivationAndSwallowsScreenSaverRequests) {
    resetShellState();
    platform::selectBackend(platform::Backend::Headless);
    platform::enableJournal(true);
    platform::journal().clear();

    EXPECT_EQ(handleWindowMessage(platform::WM_KEYDOWN, 'A', 0), 0);
    EXPECT_TRUE(shell.keyDown['A']);
    EXPECT_EQ(handleWindowMessage(platform::WM_KEYUP, 'A', 0), 0);
    EXPECT_FALSE(shell.keyDown['A']);
    // A code outside the table is never used as an index.
    EXPECT_EQ(handleWindowMessage(platform::WM_KEYDOWN, 300, 0), 0);
    EXPECT_EQ(handleWindowMessage(platform::WM_KEYDOWN, static_cast<uintptr_t>(-1), 0), 0);

    // Only the minimised state (high word) counts, not the active flag.
    handleWindowMessage(platform::WM_ACTIVATE, 0, 0);
    EXPECT_TRUE(shell.appActive);
    handleWindowMessage(platform::WM_ACTIVATE, (1u << 16) | 0, 0);
    EXPECT_FALSE(shell.appActive);
    handleWindowMessage(platform::WM_ACTIVATE, 1, 0);
    EXPECT_TRUE(shell.appActive);

    EXPECT_EQ(handleWindowMessage(platform::WM_SYSCOMMAND, platform::SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(handleWindowMessage(platform::WM_SYSCOMMAND, platform::SC_MONITORPOWER, 0), 0);

    handleWindowMessage(platform::WM_CLOSE, 0, 0);
    platform::Message message;
    ASSERT_TRUE(platform::peekMessage(message));
    EXPECT_EQ(message.message, platform::WM_QUIT);
    EXPECT_EQ(message.wParam, 0u);
    platform::enableJournal(false);
}

// ---------------------------------------------------------------------------
// The display set-up and its failures.

TEST_F(ShellTest, EveryFailingStepShowsItsBoxAfterTheModeIsRestored) {
    struct Case {
        const char* step;
        const char* text;
    };
    const Case cases[] = {
        {"createWindow", "Window Creation Error."},
        {"getDeviceContext", "Can't Create A GL Device Context."},
        {"choosePixelFormat", "Can't Find A Suitable PixelFormat."},
        {"setPixelFormat", "Can't Set The PixelFormat."},
        {"createContext", "Can't Create A GL Rendering Context."},
        {"makeContextCurrent", "Can't Activate The GL Rendering Context."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        platform::journal().clear();
        platform::forceFailure(c.step);
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(testing_support::shownBoxes(), std::vector<std::string>{std::string("ERROR|") + c.text});
        const ptrdiff_t restored = position("restoreDisplayMode");
        const ptrdiff_t shown = position(std::string("messageBox ERROR|") + c.text);
        EXPECT_GE(restored, 0);
        EXPECT_LT(restored, shown);
        EXPECT_FALSE(platform::haveWindow());
        EXPECT_FALSE(platform::haveContext());
        EXPECT_EQ(clockFramesDrawn(), 0u) << "no frame is drawn after a failed set-up";
    }
}

TEST_F(ShellTest, FailingClassRegistrationShowsItsBox) {
    platform::forceFailure("startVideo");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(testing_support::shownBoxes(), std::vector<std::string>{"ERROR|Failed To Register The Window Class."});
}

TEST_F(ShellTest, RefusedModeAsksAndTheAnswerYesGivesAWindow) {
    platform::forceFailure("changeDisplayMode");
    script = [](int swap) {
        if (swap == 1) post(platform::WM_CLOSE);
    };
    EXPECT_EQ(run(), 0);
    ASSERT_FALSE(testing_support::shownBoxes().empty());
    EXPECT_EQ(testing_support::shownBoxes().front(),
              "ogl|The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?");
    EXPECT_FALSE(shell.fullscreen);
    EXPECT_EQ(position("restoreDisplayMode"), -1) << "a window changes no mode, so none is restored";
    EXPECT_EQ(clockFramesDrawn(), 1u);
}

TEST_F(ShellTest, WindowedOptionSkipsTheFullScreenAttempt) {
    shell.skipFullscreen = true;
    script = [](int swap) {
        if (swap == 1) post(platform::WM_CLOSE);
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(position("changeDisplayMode 640x480x16"), -1);
    for (const std::string& box : testing_support::shownBoxes()) EXPECT_NE(box.rfind("ogl|", 0), 0u) << "no question: " << box;
    EXPECT_FALSE(shell.fullscreen);
}

TEST_F(ShellTest, SizeMessagesSetTheViewportToTheClientArea) {
    script = [](int swap) {
        if (swap == 1) post(platform::WM_SIZE, 0, platform::packSize(320, 200));
        if (swap == 2) {
            GLint viewport[4];
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_EQ(viewport[2], 320);
            EXPECT_EQ(viewport[3], 200);
            post(platform::WM_CLOSE);
        }
    };
    EXPECT_EQ(run(), 0);
}

// ---------------------------------------------------------------------------
// The projection.

TEST(ResizeView, PerspectiveOf45DegreesWithTheSinglePrecisionNearPlane) {
    testing_support::OffscreenGL gl;
    struct Size {
        int width, height;
    };
    for (Size size : {Size{640, 480}, Size{800, 0}, Size{333, 777}}) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        resizeView(size.width, size.height);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        const int height = size.height == 0 ? 1 : size.height;
        EXPECT_EQ(viewport[2], size.width);
        EXPECT_EQ(viewport[3], height);

        double m[16];
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        const double aspect = static_cast<double>(static_cast<float>(size.width) / static_cast<float>(height));
        const double zNear = static_cast<double>(0.1f), zFar = 100.0;
        const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
        EXPECT_TRUE(std::isfinite(m[0]));
        EXPECT_NEAR(m[0], f / aspect, 1e-5);
        EXPECT_NEAR(m[5], f, 1e-5);
        EXPECT_NEAR(m[10], (zFar + zNear) / (zNear - zFar), 1e-6);
        EXPECT_NEAR(m[14], 2.0 * zFar * zNear / (zNear - zFar), 1e-6);
        EXPECT_DOUBLE_EQ(m[11], -1.0);

        GLint mode;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
}

// ---------------------------------------------------------------------------
// The command line.

TEST(Options, ParsesTheShowsOptionsAndRefusesOthers) {
    auto parse = [](std::vector<const char*> args, Options& options, std::string& error) {
        args.insert(args.begin(), "eyesonly");
        return parseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), options, error);
    };
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--headless", "--fps", "29.97", "--trace"}, options, error)) << error;
    EXPECT_TRUE(options.headless);
    EXPECT_TRUE(options.trace);
    EXPECT_DOUBLE_EQ(options.fps, 29.97);

    Options defaults;
    ASSERT_TRUE(parse({}, defaults, error));
    EXPECT_FALSE(defaults.windowed || defaults.headless || defaults.trace || defaults.help);
    EXPECT_EQ(defaults.fps, 0.0);

    for (std::vector<const char*> bad : {std::vector<const char*>{"--fps"}, {"--fps", "0"}, {"--fps", "-5"},
                                         {"--fps", "ten"}, {"--fps", "nan"}, {"--bogus"}, {"extra"},
                                         {"--windowed", "--headless"}}) {
        Options o;
        std::string e;
        EXPECT_FALSE(parse(bad, o, e)) << bad.front();
        EXPECT_FALSE(e.empty());
    }

    // The fixed-step clock runs from 1 to 1000 frames a second: far below,
    // a frame's milliseconds overflow the clock; far above, the show never
    // ends. A refused rate is named in the message; fps 0 marks a refusal.
    const struct { std::vector<const char*> args; const char* value; double fps; } rates[] = {
        {{"--fps", "1"}, "1", 1.0},         {{"--fps", "29.97"}, "29.97", 29.97},
        {{"--fps", "1000"}, "1000", 1000.0}, {{"--fps=60"}, "60", 60.0},
        {{"--fps", "0"}, "0", 0.0},         {{"--fps", "0.5"}, "0.5", 0.0},
        {{"--fps", "1e-15"}, "1e-15", 0.0}, {{"--fps", "1001"}, "1001", 0.0},
        {{"--fps", "1e9"}, "1e9", 0.0},     {{"--fps", "nan"}, "nan", 0.0},
        {{"--fps", "inf"}, "inf", 0.0},     {{"--fps", "-5"}, "-5", 0.0},
        {{"--fps=0.5"}, "0.5", 0.0},
    };
    for (const auto& r : rates) {
        Options o;
        std::string e;
        EXPECT_EQ(parse(r.args, o, e), r.fps != 0.0) << r.value << ": " << e;
        EXPECT_DOUBLE_EQ(o.fps, r.fps) << r.value;
        if (r.fps == 0.0) {
            EXPECT_EQ(e, std::string("--fps needs a number from 1 to 1000, not '") + r.value + "'");
        }
    }
    // The capture's scale and the real clock's pace, checked here for all
    // that runs behind the options; 0 marks a refusal.
    const struct { std::vector<const char*> args; int scale; double maxFps; } ranges[] = {
        {{"--capture", "x.mkv", "--scale", "1"}, 1, -1.0}, {{"--capture", "x.mkv", "--scale=8"}, 8, -1.0},
        {{"--capture", "x.mkv", "--scale", "0"}, 0, 0.0},  {{"--capture", "x.mkv", "--scale", "9"}, 0, 0.0},
        {{"--capture", "x.mkv", "--scale", "2x"}, 0, 0.0}, {{"--capture", "x.mkv", "--scale", "-1"}, 0, 0.0},
        {{"--capture", "x.mkv", "--scale", ""}, 0, 0.0},   {{"--capture", "x.mkv", "--fps", "1001"}, 0, 0.0},
        {{"--max-fps", "0"}, 1, 0.0},                      {{"--max-fps", "1000"}, 1, 1000.0},
        {{"--max-fps", "0.5"}, 0, 0.0},                    {{"--max-fps", "1001"}, 0, 0.0},
    };
    for (const auto& r : ranges) {
        Options o;
        std::string e;
        const std::string what = std::string(r.args[r.args.size() - 2]) + " " + r.args.back();
        EXPECT_EQ(parse(r.args, o, e), r.scale != 0) << what << ": " << e;
        if (r.scale == 0) continue;
        EXPECT_EQ(o.capture.scale, r.scale) << what;
        EXPECT_EQ(o.maxFps, r.maxFps) << what;
    }

    Options helped;
    EXPECT_TRUE(parse({"-h"}, helped, error));
    EXPECT_TRUE(helped.help);
}

TEST(Options, TheControlsOptionsGoWhereTheyCanTakeEffect) {
    auto parse = [](std::vector<const char*> args, Options& options, std::string& error) {
        args.insert(args.begin(), "eyesonly");
        return parseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), options, error);
    };
    const struct { std::vector<const char*> args; const char* refusal; } cases[] = {
        {{"--from", "60", "--windowed"}, nullptr},
        {{"--from=12.5", "--fps", "30", "--until", "14"}, nullptr},
        {{"--capture", "x.mp4", "--from", "60", "--until", "70", "--crf", "0", "--preset", "slow"}, nullptr},
        {{"--mute", "--desktop"}, nullptr},
        {{"--from", "-1"}, "--from needs a number of seconds from 0 to 4000000 or a chapter (slideshow, title, "
                           "ring-tunnel, scroller, credits-and-greetings), not '-1'"},
        {{"--fps", "30", "--until", "5e6"}, "--until needs a number of seconds from 0 to 4000000, not '5e6'"},
        // Every number is read one way: decimal, a sign and an exponent allowed.
        {{"--capture", "x.mp4", "--crf", "+20", "--scale", "2e0", "--fps", "3e1"}, nullptr},
        {{"--fps", "0x1e"}, "--fps needs a number from 1 to 1000, not '0x1e'"},
        {{"--capture", "x.mp4", "--crf", "0x10"}, "--crf needs a whole number from 0 to 51, not '0x10'"},
        {{"--fps", " 30"}, "--fps needs a number from 1 to 1000, not ' 30'"},
        {{"--size", "+640x1.2e3"}, nullptr},
        {{"--size", "-640x480"}, "--size needs a size WxH, each from 16 to 16384, not '-640x480'"},
        {{"--size", "640x 480"}, "--size needs a size WxH, each from 16 to 16384, not '640x 480'"},
        {{"--from", "20", "--fps", "60", "--until", "10"}, "--from needs to be at most --until"},
        // A chapter's name in any case, its words joined by a space, a hyphen
        // or an underscore; its start at 60 frames a second for --until.
        {{"--from", "scroller", "--windowed"}, nullptr},
        {{"--capture", "x.mkv", "--from", "Ring Tunnel", "--until", "70"}, nullptr},
        {{"--from", "credits-and-greetings", "--fps", "30", "--until", "109"}, "--from needs to be at most --until"},
        {{"--from", "tunnel"}, "--from needs a number of seconds from 0 to 4000000 or a chapter (slideshow, title, "
                               "ring-tunnel, scroller, credits-and-greetings), not 'tunnel'"},
        {{"--capture", "x.mp4", "--crf", "52"}, "--crf needs a whole number from 0 to 51, not '52'"},
        {{"--capture", "x.mp4", "--crf", "1.5"}, "--crf needs a whole number from 0 to 51, not '1.5'"},
        {{"--capture", "x.mkv", "--crf", "20"}, "--crf goes with an mp4 capture (--capture NAME.mp4)"},
        {{"--crf", "20"}, "--crf goes with an mp4 capture (--capture NAME.mp4)"},
        {{"--capture", "x/", "--preset", "slow"}, "--preset goes with an mp4 capture (--capture NAME.mp4)"},
        {{"--capture", "x.mp4", "--preset", "quick"},
         "--preset needs one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, not 'quick'"},
        {{"--capture", "x.mp4", "--mute"}, "--mute does not go with --capture: a capture always has its soundtrack"},
    };
    for (const auto& c : cases) {
        Options o;
        std::string e;
        const bool parsed = parse(c.args, o, e);
        EXPECT_EQ(parsed, c.refusal == nullptr) << c.args.front() << " " << c.args.back() << ": " << e;
        if (c.refusal != nullptr) {
            EXPECT_EQ(e, c.refusal);
        }
    }
    Options o;
    std::string e;
    ASSERT_TRUE(parse({"--capture", "x.mp4", "--from", "60", "--crf", "30", "--preset", "slow"}, o, e)) << e;
    EXPECT_DOUBLE_EQ(o.fromSeconds, 60.0);
    EXPECT_EQ(o.capture.crf, 30);
    EXPECT_EQ(o.capture.preset, "slow");
    EXPECT_NE(std::string(usageText()).find("Left, Right"), std::string::npos) << "--help lists the keys";
    EXPECT_NE(std::string(usageText()).find("PageDown"), std::string::npos) << "--help lists the chapter keys";
    for (const char* name : {"ring_TUNNEL", "68.033"}) {
        Options chapter;
        ASSERT_TRUE(parse({"--from", name}, chapter, e)) << e;
        EXPECT_DOUBLE_EQ(chapter.fromSeconds, 68.033) << name;
        EXPECT_EQ(chapter.fromChapter, name[0] == 'r' ? 2 : -1) << name;
    }
}
