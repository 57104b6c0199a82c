// Capture: the whole show rendered offscreen on the fixed-step clock, each
// frame read back after it is drawn and handed to the video encoder with the
// stretch of soundtrack that belongs to it.
//
//   frame n of the file   the frame drawn at clock reading
//                         1000 + floor((n - 1) x 1000 / fps)
//   its sound             from sample round((t - 1000) x the mix rate / 1000) of
//                         the soundtrack, t being that reading, up to the
//                         next frame's first sample; a song played at
//                         reading t is heard from that frame's first sample
//   chapters              one per scene, from the first frame that shows it
//   subtitles             the show's words, NAME.vtt beside the file
//
// With --from, the file is the piece of that whole capture from the first
// frame at or after the start moment on: the frames before it are run and
// their sound is mixed, but neither is written; the piece's first frame
// starts a chapter for the scene it shows.
#pragma once

#include <cstdint>
#include <string>

#include "capture/output.h"
#include "show/clock.h"

namespace capture {

// Opens the output that settings names (path, format, rate, scale and
// force, as the options worked them out), with frames of the picture's
// output size. fromMs and untilMs are the show times of the start moment and
// the stop (-1: the show's end), which the progress counts between. False
// with one line in error, and nothing written, when the path cannot be used:
// writeFailed tells a path that cannot be written (a missing or read-only
// folder, a full disk) from one that is refused (one that is there without
// force, another capture's).
bool beginCapture(CaptureSettings settings, double fromMs, double untilMs, std::string& error,
                  bool& writeFailed);

// Reads back the frame just drawn, as the clock numbered and read it (the
// clock, which has counted it, reads the next frame's moment now), and
// hands it over with its sound; adds a chapter when the frame switched
// scenes; reports progress. A skipped frame (one before the start moment)
// only has its sound mixed, unwritten. The last frame (the stop reading is
// reached) takes the soundtrack to its end while the songs still play. False
// once the encoder failed (the show should stop); the failure is reported
// here.
bool captureDrawnFrame(const ClockFrame& frame, bool skipped, bool last);

// A line of the show's words that appears in the frame just drawn (a
// frame shown, handed over next), for the subtitles beside the file
// (capture/subtitles.h).
void captureWords(const std::string& text);

// Finishes the file with the soundtrack up to the end of the last frame and
// prints where it is and how many frames it holds. Returns the exit code for
// the run: runExitCode when the file is whole, 1 when writing it failed or
// a run that ended well kept no frame.
int endCapture(int runExitCode);

}  // namespace capture
