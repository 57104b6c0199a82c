// The show's timeline on standard output (--trace): one line per event,
// "<frame> <ms> <event> [args]": the frame being drawn as the clock numbers
// it (clockFramesDrawn() + 1) and its clock reading (lastFrameTime).
#pragma once

#include <cstdint>
#include <cstdio>

extern bool traceEnabled;
// A trace line could not be written (a full disk, a closed pipe): reported
// once on standard error, and no more lines are written.
extern bool traceFailed;
// No lines are written while set: the frames a jump runs through are not
// part of the timeline shown, though they keep their numbers.
extern bool traceQuiet;

// Prints one event line when tracing is on.
void traceEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Where trace lines go (stdout unless a test redirects them).
void setTraceStream(std::FILE* stream);
