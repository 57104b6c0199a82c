// The show's words beside a capture, as WebVTT subtitles (show/words.h):
//
//   NAME.mp4, NAME.mkv   NAME.vtt beside the file
//   a folder             subtitles.vtt in it
//
// Each line is a cue from the file's frame it appears in to the frame the
// next line (or the end of its words) appears in, or the file's end: frame
// n of the file (from 1) is at (n - 1) / fps seconds, the video's own
// clock, so that with --from the times count from the file's first frame.
// Like the file itself, the subtitles never replace what is there without
// force, are made new, never written through a symbolic link, and put in
// place whole by a rename.
#pragma once

#include <cstdint>
#include <string>

#include "capture/output.h"

namespace capture {

// The subtitles' path for a capture's settings (its format already known).
std::string subtitlesPath(const CaptureSettings& settings);

// Before the capture makes anything: false, with one line in error, when
// the subtitles' path is taken and force is off.
bool subtitlesPathFree(const CaptureSettings& settings, std::string& error);

// A line of the show's words ("" when they are gone) that appears in frame
// `runFrame` of the run, as the clock numbers it.
void addSubtitle(const std::string& text, uint64_t runFrame);

// Writes the subtitles of a file whose frame 1 is the run's `firstRunFrame`
// and which kept `fileFrames` frames. False with one line in error when
// they could not be written. Forgets the lines either way.
bool writeSubtitles(const CaptureSettings& settings, uint64_t firstRunFrame, int64_t fileFrames,
                    std::string& error);

}  // namespace capture
