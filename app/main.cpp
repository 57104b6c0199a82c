// eyesonly: a small real-time audio-visual show.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/options.h"
#include "app/player.h"
#include "app/shell.h"
#include "capture/output.h"
#include "capture/run.h"
#include "platform/display/display.h"
#include "platform/fonts/fonts.h"
#include "platform/system/process.h"
#include "platform/system/signals.h"
#include "resources/datafiles.h"
#include "show/clock.h"
#include "show/trace.h"

namespace {

// The exit code of a run that has ended: 0 for a show that ended by itself
// or was closed, 27 after Escape, 1 when it could not be shown or a file
// could not be written, 128 + the signal's number when a signal stopped it.
int exitCodeFor(const ShowResult& result) {
    switch (result.end) {
    case ShowEnd::NotOpened: return shell.windowDeclined ? 0 : 1;
    case ShowEnd::Quit:
    case ShowEnd::Escape: return result.exitCode;
    case ShowEnd::Stopped: return 0;
    case ShowEnd::HookEnded: return 1;
    case ShowEnd::Signalled: return 128 + platform::stopSignal();
    }
    return 1;
}

// Before the process ends at once (a second stop signal, a box that
// waits): a capture's file is let reach a state that plays, within a
// second, and the desktop gets its display mode back.
void beforeEndingAtOnce() {
    capture::holdCaptureFilePlayable(std::chrono::milliseconds(900));
    platform::restoreDisplayMode();
}

}  // namespace

int main(int argc, char** argv) {
    platform::keepFreedMemory();
    const bool outputClosed = platform::openStandardStreams();
    platform::utf8Arguments(argc, argv);

    // 1. The command line. A text asked for on a standard output that is
    //    closed cannot reach its reader: a failed write.
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "eyesonly: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (outputClosed && (options.help || options.version || options.trace)) {
        std::fprintf(stderr, "eyesonly: cannot write the %s: standard output is closed\n",
                     options.help ? "help" : options.version ? "version" : "trace");
        return 1;
    }
    if (options.help || options.version) {
        if (options.help) {
            std::fputs(usageText(), stdout);
        } else {
            std::printf("eyesonly %s\n", EYESONLY_VERSION);
            platform::findGlyphPackWith(dataFilePath);
            std::string family, file;
            if (platform::chosenFace(family, file))
                std::printf("face: %s (%s)\n", family.c_str(), platform::glyphSource().c_str());
            else
                std::printf("face: none found\n");
        }
        // A text that did not reach its reader (a full disk, a closed pipe)
        // is a failed write.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "eyesonly: cannot write the %s: %s\n", options.help ? "help" : "version",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    }

    // 2. Stop signals go to their watcher, before any other thread exists.
    platform::watchStopSignals(beforeEndingAtOnce);
    applyOptions(options);

    // 3. Without a single one of the show's files there is nothing to show:
    //    said before any window opens or any file is made.
    if (!anyDataFileFound()) {
        std::fprintf(stderr, "eyesonly: none of the show's files (photos and songs) found; looked in %s\n",
                     dataFoldersText().c_str());
        return 1;
    }
    //    Nor without the glyphs the text is set in.
    platform::findGlyphPackWith(dataFilePath);
    if (std::string problem; !platform::faceOpens(problem)) {
        std::fprintf(stderr, "eyesonly: %s\n", problem.c_str());
        return 1;
    }

    // 4. A capture's output is made before anything is drawn, so that a path
    //    that cannot be written is a usage error with nothing shown.
    const bool capturing = !options.capture.path.empty();
    //    A path that is there already is a usage error (2); one that
    //    cannot be written is a failed write (1).
    bool writeFailed = false;
    if (capturing && !capture::beginCapture(options.capture, options.fromSeconds * 1000.0,
                                   options.untilSeconds >= 0.0 ? options.untilSeconds * 1000.0 : -1.0, error,
                                   writeFailed)) {
        std::fprintf(stderr, "eyesonly: %s\n", error.c_str());
        return writeFailed ? 1 : 2;
    }

    // 5. The show, each frame captured when asked; a trace that cannot be
    //    written ends it.
    ShowRun run;
    if (options.untilSeconds >= 0.0)
        run.stopAtMs = readingAtSecond(options.untilSeconds);
    run.afterFrame = [capturing](const DrawnFrame& frame) {
        if (traceFailed) return false;
        return !capturing || capture::captureDrawnFrame(frame, frame.skipped, frame.last);
    };
    if (capturing) run.onWords = [](const std::string& text, double) { capture::captureWords(text); };
    const ShowResult result = runShow(run);
    int code = exitCodeFor(result);

    //    A start moment past the show's end (its length depends on the
    //    rate) is a usage error, known only once the show has ended.
    double endSeconds = 0.0;
    if (result.end == ShowEnd::Quit && code == 0 && playerStartPastEnd(endSeconds)) {
        std::fprintf(stderr, "eyesonly: --from %.15g is past the show's end: at this rate it is %s s long\n",
                     options.fromSeconds, secondsText(endSeconds).c_str());
        if (capturing) capture::endCapture(code);
        return 2;
    }

    // 6. The capture's file is finished whatever ended the show.
    //    A stop signal that came while the file was being finished still
    //    says the run was stopped.
    if (capturing) code = capture::endCapture(code);
    if (code == 0 && platform::stopSignal() != 0) code = 128 + platform::stopSignal();
    if (traceFailed && code == 0) code = 1;
    return code;
}
