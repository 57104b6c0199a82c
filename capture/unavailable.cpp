// The capture in a build without encoders (the Windows build): --capture is
// refused in one line before anything is drawn, and the run's own entry
// points have nothing to do.
#include "capture/run.h"

namespace capture {

bool beginCapture(CaptureSettings, double, double, std::string& error, bool& writeFailed) {
    error = "this build cannot capture: use the Linux build's --capture";
    writeFailed = true;
    return false;
}

bool captureDrawnFrame(const ClockFrame&, bool, bool) { return true; }

void captureWords(const std::string&) {}

int endCapture(int runExitCode) { return runExitCode; }

bool holdCaptureFilePlayable(std::chrono::milliseconds) { return true; }

}  // namespace capture
