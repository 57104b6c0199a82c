// The command line. With no arguments the program plays the show full
// screen (or in a window, if the user agrees), on the real clock.
#pragma once

#include <string>

struct Options {
    bool windowed = false;   // --windowed: a 640 x 480 window, no full-screen attempt
    bool headless = false;   // --headless: offscreen GL, no audio device, boxes on stderr
    double fps = 0.0;        // --fps F: fixed-step clock at F frames a second; 0 = real clock
    bool trace = false;      // --trace: the show's timeline on stdout
    bool help = false;       // --help
};

// Parses argv into options. Returns false with a one-line reason in error
// when an argument is unknown or malformed.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
// The usage text printed by --help and after a bad argument.
const char* usageText();
// Puts the options into effect (back ends, clock, trace) before the show opens.
void applyOptions(const Options& options);
