// Where the show's five data files come from. The show names each by its
// path under the working directory ("data/skorv1.bitmap"); each is looked up
// on its own, the first folder that has it wins:
//   1. the folder given with --data
//   2. data/ under the working directory (a user's own photos and songs)
//   3. the user's own data folder, $XDG_DATA_HOME/eyesonly/data
//      (~/.local/share/eyesonly/data when XDG_DATA_HOME is not set);
//      %APPDATA%\eyesonly\data on Windows
//   4. data/ beside the executable (the build folder, the unpacked zip)
//   5. the installed data, ../share/eyesonly/data from the executable's
//      folder, so that an unpacked package works under any prefix (not on
//      Windows)
// Paths are UTF-8, joined with the system's own separator.
// A file that exists there counts as found, whatever it holds. A place
// that does not let the file be read (the file's or a folder's permissions)
// is named on standard error, once a path, and passed over for the next.
#pragma once

#include <string>
#include <vector>

extern std::string dataOption;  // --data DIR; empty for none

// The five files, by their paths under the working directory.
extern const char* const dataFileNames[5];

// The folders looked at, in order; "data" stands for the working
// directory's own.
std::vector<std::string> dataFolders();
// The path to open for one of the show's files ("data/Tq_outro.xm"): in the
// first folder that has it readable, otherwise the name itself, which the
// show's messages then name.
std::string dataFilePath(const char* name);
// True when at least one of the five files is found somewhere.
bool anyDataFileFound();
// The folders looked at, as absolute paths, for a message.
std::string dataFoldersText();

void resetDataFiles();
