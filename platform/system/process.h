// The program's own process: its folder and its standard streams.
// posix.cpp implements these on Linux and in the browser, windows.cpp on
// Windows.
#pragma once

#include <filesystem>

namespace platform {

// The folder the program's executable is in; empty when the system does
// not say.
std::filesystem::path executableFolder();

// Makes standard input, output and error usable before anything is written:
// on Linux, descriptors 0 to 2 that were closed for us open on /dev/null, so
// that no file the program opens later becomes its standard output or error
// and gets the trace or the messages written into it. On Windows a program
// started from a console writes into that console (a double-click opens
// none), and what was redirected to a file or a pipe stays there. True when
// standard output was closed (no console either): what is written there
// reaches no one.
bool openStandardStreams();

}  // namespace platform
