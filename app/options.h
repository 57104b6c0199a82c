// The command line. With no arguments the program plays the show full
// screen (or in a window, if the user agrees), on the real clock paced to
// the display, with sound.
#pragma once

#include <string>

#include "platform/encode/encode.h"

// The ranges the options allow; what runs behind the options trusts them.
// The fixed-step clock's frame rates, frames a second: a thousand is the
// most at which every frame still moves the millisecond clock (far above it
// the show never ends); near 0 a frame's milliseconds outgrow the clock's
// integer reading.
constexpr double minFps = 1.0;
constexpr double maxFps = 1000.0;
constexpr int maxScale = 8;  // --scale
constexpr int minSide = 16;     // --size, pixels each way
constexpr int maxSide = 16384;  // the largest framebuffer Mesa makes
constexpr int maxCaptureSide = 4096;  // --size with --capture
constexpr int pictureSamples = 4;  // multisampling of a picture larger than 640 x 480

struct Options {
    bool windowed = false;      // --windowed: a 640 x 480 window, no full-screen attempt
    bool desktop = false;       // --desktop: full screen at the desktop's mode, the show scaled to fit
    bool headless = false;      // --headless: offscreen GL, no audio device, boxes on stderr
    double fps = 0.0;           // --fps F: fixed-step clock at F frames a second; 0 = real clock
    double maxFps = -1.0;       // --max-fps F: pace of the real clock; -1 = the display's rate, 0 = none
    double untilSeconds = -1.0; // --until S: stop after the frame at S seconds of show time; -1 = the end
    double fromSeconds = 0.0;   // --from S: start S seconds into the show
    int fromChapter = -1;       // --from NAME: start at that chapter's first frame (fromSeconds: its
                                // start at 60 frames a second); -1: none
    bool mute = false;          // --mute: no sound device; the music plays on unheard
    int width = 0;              // --size WxH: the output's size in pixels; 0 x 0 = the show's own 640 x 480
    int height = 0;
    // --capture PATH: render to a video file (or a folder of images), with
    // --scale K (frames K times 640 x 480), --force (a capture may overwrite
    // what is there), and for mp4 --crf N (0 lossless to 51) and --preset NAME
    // (x264's); its rate is fps. No capture when the path is empty.
    platform::encode::CaptureSettings capture;
    std::string data;           // --data DIR: the show's files looked for there first
    bool trace = false;         // --trace: the show's timeline on stdout
    bool help = false;          // --help, -h
    bool version = false;       // --version
};

// Parses argv into options. Returns false with a one-line reason in error
// when an argument is unknown, malformed, out of range, or does not go with
// the others.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
// The usage text printed by --help and after a bad argument.
const char* usageText();
// Seconds to the millisecond, as the clock counts them, in the messages
// that give the show's length: 146.466, 149.3, 209.
std::string secondsText(double seconds);
// Puts the options into effect (back ends, clock, pacing, trace) before the
// show opens.
void applyOptions(const Options& options);
