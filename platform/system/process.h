// The program's own process: its folder and its standard streams.
// posix.cpp implements these on Linux and in the browser, windows.cpp on
// Windows.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Paths are UTF-8 in the program's strings on every system; these turn
// them into the system's paths and back, whatever its code page.
inline std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The command line in UTF-8 (on Windows, from the system's own wide one,
// whatever the code page); elsewhere as given.
void utf8Arguments(int& argc, char**& argv);

// The folder the program's executable is in; empty when the system does
// not say.
std::filesystem::path executableFolder();

// The user's own folder for the show's data: $XDG_DATA_HOME/eyesonly/data
// (~/.local/share/eyesonly/data) on Linux, %APPDATA%\eyesonly\data on
// Windows; empty when the system does not say.
std::filesystem::path userDataFolder();

// The installed data from the program's folder: ../share/eyesonly/data on
// Linux; empty on Windows, where the data lies beside the program.
std::filesystem::path installedDataFolder();

// Makes standard input, output and error usable before anything is written:
// on Linux, descriptors 0 to 2 that were closed for us open on /dev/null, so
// that no file the program opens later becomes its standard output or error
// and gets the trace or the messages written into it. On Windows a program
// started from a console writes into that console (a double-click opens
// none), and what was redirected to a file or a pipe stays there. True when
// standard output was closed (no console either): what is written there
// reaches no one.
bool openStandardStreams();

// Freed memory kept for reuse: blocks below 4 MB come from the heap, and up
// to 8 MB of freed heap stays with the process. Mesa's software GL takes
// the vertices of immediate-mode drawing in buffers of a megabyte or more,
// made anew as they fill; handed back to the system at once, every page of
// the next one faulted in again, thousands a second in a jump's frames.
// Called first, before anything is allocated. Nothing where the C library
// keeps its own ways (Windows).
void keepFreedMemory();

}  // namespace platform
