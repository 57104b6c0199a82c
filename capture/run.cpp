// Capture of the whole show to a video file.
#include "capture/run.h"

#include <GL/gl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "capture/output.h"
#include "capture/subtitles.h"
#include "platform/audio/device.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/signals.h"
#include "show/chapters.h"
#include "show/clock.h"
#include "show/picture.h"
#include "show/sequencer.h"

namespace capture {

namespace {

constexpr int soundBlockFrames = 4096;       // stereo frames mixed at a time
constexpr int barWidthMax = 30;              // characters of the live bar on a wide terminal
constexpr int columnsUnknown = 80;           // a terminal that does not tell its width
constexpr double expectedShowMs = showLengthSeconds * 1000.0;  // show time the progress measures against

struct CaptureRun {
    CaptureSettings settings;
    std::vector<uint8_t> pixels;             // one RGBA frame, bottom row first
    std::vector<int16_t> sound;              // one block of interleaved stereo
    ClockFrame lastFrame;                    // the run's frame handed over last, as the clock numbered it
    uint64_t firstFileFrame = 0;             // the run's frame that is the file's first; 0 before it
    int64_t soundFrames = 0;                 // stereo frames mixed so far, from the show's start
    double fromMs = 0.0;                     // show time of the start moment
    double untilMs = -1.0;                   // show time of the stop; -1: the show's end
    int32_t lastScene = -2;                  // scene of the previous frame; -2 before the first
    bool failed = false;
    bool liveBar = false;                    // standard error is a terminal
    int lastTenth = 0;                       // plain progress lines printed
    std::chrono::steady_clock::time_point started;
};

CaptureRun run;

// The show time of a clock reading, ms.
double showMsAt(uint32_t reading) {
    return static_cast<double>(reading - showStartReading);
}

// The file's frames so far: the run's frames from its first written one.
int64_t fileFrames() {
    return run.firstFileFrame == 0 ? 0 : static_cast<int64_t>(run.lastFrame.number - run.firstFileFrame + 1);
}

// The stereo frame the soundtrack ends at after the run's last frame: the
// end of that frame's time, exactly (frame n lasts 1 / fps from the (n - 1)th
// step on), where the clock's next reading is a whole millisecond.
int64_t soundEndOfLastFrame() {
    return std::llround(static_cast<double>(run.lastFrame.number) * platform::showMixRate /
                        run.settings.framesPerSecond);
}

void fail(const std::string& error) {
    if (!run.failed) std::fprintf(stderr, "%seyesonly: %s\n", run.liveBar ? "\n" : "", error.c_str());
    run.failed = true;
}

// The soundtrack up to (not including) stereo frame `until`; mixed but not
// written while `skipped`.
bool soundUntil(int64_t until, bool skipped = false) {
    while (run.soundFrames < until) {
        const int count = static_cast<int>(std::min<int64_t>(soundBlockFrames, until - run.soundFrames));
        platform::renderSound(run.sound.data(), count);
        std::string error;
        if (!skipped && !captureAudio(run.sound.data(), count, error)) {
            fail(error);
            return false;
        }
        run.soundFrames += count;
    }
    return true;
}

// Progress from the start moment to the stop (or the show's expected end).
void reportProgress(double showMs) {
    const double stopMs = run.untilMs >= 0.0 ? std::min(run.untilMs, expectedShowMs) : expectedShowMs;
    const double totalMs = std::max(stopMs - run.fromMs, 1.0);
    const double doneMs = std::max(showMs - run.fromMs, 0.0);
    const double share = std::min(doneMs / totalMs, 1.0);
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run.started).count();
    const double speed = wallSeconds > 0.0 ? doneMs / 1000.0 / wallSeconds : 0.0;
    if (run.liveBar) {
        // The line fits the terminal as it is now (it may have been
        // resized), one column spare so that it never wraps: the bar gives
        // way first, then the end of the text.
        winsize size {};
        const int columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : columnsUnknown;
        const double left = speed > 0.0 ? (totalMs - doneMs) / 1000.0 / speed : 0.0;
        char tail[128];
        std::snprintf(tail, sizeof tail, " %3d%%  frame %lld  %.1fx real time  %3.0f s left ",
                      static_cast<int>(share * 100.0), static_cast<long long>(fileFrames()), speed,
                      std::max(left, 0.0));
        const int room = columns - 1;
        const int barWidth = std::clamp(room - 2 - static_cast<int>(std::strlen(tail)), 0, barWidthMax);
        const int filled = static_cast<int>(share * barWidth);
        char line[256];
        std::snprintf(line, sizeof line, "[%.*s%*s]%s", filled, "##############################", barWidth - filled,
                      "", tail);
        std::fprintf(stderr, "\r%.*s", std::max(room, 0), line);
        return;
    }
    const int tenth = static_cast<int>(share * 10.0);
    if (tenth > run.lastTenth && tenth < 10) {
        run.lastTenth = tenth;
        std::fprintf(stderr, "eyesonly: %d%% captured, frame %lld, %.1fx real time\n", tenth * 10,
                     static_cast<long long>(fileFrames()), speed);
    }
}

// A test's hold on the finishing: with EYESONLY_TEST_HOLD_FINISH set in
// the environment, a capture whose file is in place waits there for a stop
// signal (at most holdFinishLimit), so that a test can stop it at that
// moment. Unset, nothing waits.
constexpr auto holdFinishLimit = std::chrono::seconds(30);
constexpr auto holdFinishStep = std::chrono::milliseconds(10);

void holdFinishingForTest() {
    if (std::getenv("EYESONLY_TEST_HOLD_FINISH") == nullptr) return;
    const auto limit = std::chrono::steady_clock::now() + holdFinishLimit;
    while (platform::stopSignal() == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(holdFinishStep);
}

}  // namespace

bool beginCapture(CaptureSettings settings, double fromMs, double untilMs, std::string& error,
                  bool& writeFailed) {
    writeFailed = false;
    settings.frameWidth = picture.outputWidth;
    settings.frameHeight = picture.outputHeight;
    if (!subtitlesPathFree(settings, error)) return false;
    // A file-size limit makes a write fail with EFBIG, which the encoder
    // reports like a full disk, instead of killing the process mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!openCapture(settings, error)) {
        // The writers' texts for a failed write: "cannot write ...", "cannot
        // make directory ...", "disk full while writing ...".
        writeFailed = error.rfind("cannot ", 0) == 0 || error.rfind("disk full ", 0) == 0;
        return false;
    }
    run = CaptureRun{};
    run.settings = settings;
    run.fromMs = fromMs;
    run.untilMs = untilMs;
    run.pixels.resize(static_cast<size_t>(settings.frameWidth) * settings.frameHeight * 4);
    run.sound.resize(static_cast<size_t>(soundBlockFrames) * 2);
    run.liveBar = isatty(STDERR_FILENO) != 0;
    run.started = std::chrono::steady_clock::now();
    return true;
}

bool captureDrawnFrame(const ClockFrame& frame, bool skipped, bool last) {
    if (run.failed) return false;
    run.lastFrame = frame;
    // The sound goes up to the next frame's moment.
    const double nextMs = showMsAt(frame.nextMs);
    // A frame before the start moment: its sound is mixed, unwritten, so
    // that the songs stay in step.
    if (skipped) return soundUntil(platform::mixFrameAt(nextMs), true);
    if (run.firstFileFrame == 0) run.firstFileFrame = frame.number;

    // 1. The frame as drawn, before it is swapped away.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    platform::bindFrameForReading();
    glReadPixels(0, 0, run.settings.frameWidth, run.settings.frameHeight, GL_RGBA, GL_UNSIGNED_BYTE, run.pixels.data());
    std::string error;
    if (!captureFrame(fileFrames(), run.pixels.data(), CapturePixels::Rgba, error)) {
        fail(error);
        return false;
    }

    // 2. A scene this frame is the first to show starts a chapter here: the
    //    frame after the one that handed over to it (the title's, the same
    //    frame), as the chapter table and the player's chapter keys have it.
    if (sceneDrawn != run.lastScene) {
        run.lastScene = sceneDrawn;
        addChapter(chapters[chapterOfScene(sceneDrawn)].name, fileFrames());
    }

    // 3. The sound up to the next frame's reading: whatever the next frame
    //    starts or stops is heard from its first sample on. After the last
    //    frame, up to the end of its time, mixed now: the songs are gone
    //    once the show has closed.
    if (!soundUntil(last ? soundEndOfLastFrame() : platform::mixFrameAt(nextMs))) return false;

    reportProgress(showMsAt(frame.clockMs));
    return true;
}

void captureWords(const std::string& text) {
    if (!run.failed) addSubtitle(text, lastDrawnFrame().number);
}

int endCapture(int runExitCode) {
    // 1. The soundtrack ends with the last frame; a capture that wrote no
    //    frame (its start past the end, or stopped during the jump there)
    //    writes no sound either, and so leaves nothing.
    if (!run.failed && fileFrames() > 0)
        soundUntil(soundEndOfLastFrame());

    // 2. Whatever was written stays playable, even after a failure, and is
    //    counted as it is on disk.
    std::string error;
    const bool whole = closeCapture(error);
    if (!whole) fail(error);
    const platform::encode::CaptureKept kept = capturedKept();
    //    The show's words beside what the file kept.
    if (kept.frames > 0 && !kept.path.empty() &&
        !writeSubtitles(run.settings, run.firstFileFrame, kept.frames, error))
        fail(error);
    holdFinishingForTest();
    if (run.liveBar) std::fputc('\n', stderr);
    const double showSeconds = static_cast<double>(kept.frames) / run.settings.framesPerSecond;
    if (kept.path.empty())
        std::fprintf(stderr, "eyesonly: kept no frames; nothing was written to %s\n", run.settings.path.c_str());
    else
        std::fprintf(stderr, "eyesonly: %s %lld frame%s (%.1f s of show) to %s\n", whole ? "wrote" : "kept",
                     static_cast<long long>(kept.frames), kept.frames == 1 ? "" : "s", showSeconds,
                     kept.path.c_str());
    if (run.failed || (kept.path.empty() && runExitCode == 0)) return 1;
    return runExitCode;
}

}  // namespace capture
