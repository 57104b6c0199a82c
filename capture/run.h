// Capture: the whole show rendered offscreen on the fixed-step clock, each
// frame read back after it is drawn and handed to the video encoder with the
// stretch of soundtrack that belongs to it.
//
//   frame n of the file   the frame drawn at clock reading
//                         1000 + floor((n - 1) x 1000 / fps)
//   its sound             from sample round((t - 1000) x 44100 / 1000) of
//                         the soundtrack, t being that reading, up to the
//                         next frame's first sample; a song played at
//                         reading t is heard from that frame's first sample
//   chapters              one per scene, from the frame that switched to it
#pragma once

#include <string>

#include "platform/encode/encode.h"

// Opens the output that settings names (path, rate, scale and force, as the
// options checked them), with the format its path asks for and frames of the
// show's size. False with one line in error (a usage error: nothing was
// written) when the path cannot be used.
bool beginCapture(platform::CaptureSettings settings, std::string& error);

// Reads back the frame just drawn and hands it over with its sound; adds a
// chapter when the frame switched scenes; reports progress. False once the
// encoder failed (the show should stop); the failure is reported here.
bool captureDrawnFrame();

// Finishes the file with the soundtrack up to the end of the last frame and
// prints where it is. Returns the exit code for the run: runExitCode when
// the file is whole, 1 when writing it failed.
int endCapture(int runExitCode);
