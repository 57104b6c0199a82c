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
// Prints one event line when tracing is on, in a frame shown the first
// time (frameSight): the frames a jump runs through are not part of the
// timeline shown, though they keep their numbers.
void traceEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints the show's end, "quit", when tracing is on, in whatever frame: a
// frame a jump runs through ends the show too.
void traceQuit();
// Where trace lines go (stdout unless a test redirects them).
void setTraceStream(std::FILE* stream);
